// SPDX-License-Identifier: GPL-3.0-or-later
// Ties the editors' controls to the rows of a field table, so that every control of a
// window follows the same rules:
//   - store rule: a value the user gives is stored only while no refresh runs and
//     the value lies in the row's shown range; a refused value (or a box left with no
//     number) shows the stored value again, which stores that value once more; an
//     empty box or a lone sign while the user is still typing waits. A value equal
//     to the stored one is stored and reported like any other;
//   - a released spinner writes its position into its box, which stores it; released
//     at its limit without moving it changes nothing;
//   - a slider or scroll bar stores the positions the user moves it to;
//   - every control takes the row's range (a spinner may stop lower, as its binding
//     says), and a number's tooltip names it ("... (0 to 99)");
//   - each accepted change of the user is reported once to the window's sink, with
//     whether the action goes on (a drag, typing), and the end of typing (the box
//     left, Enter) once: the sink (the document) makes its undo step from there;
//   - while a refresh runs (`Refreshing`, which nests) the controls only show the
//     fields: nothing is stored or reported, so a value outside a control's range
//     stays as it came.
// A row reads and writes its field in shown form; the row's own get and set hold the
// store rule (stored form 127 - x, a level table, a signed byte).
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QEvent;
class QScrollBar;
class TSlider;
class QWidget;
class TNumberBox;
class TPickList;
class TUpDown;

struct TFieldRow {
    QString caption;   // the change's name ("Part 3 level")
    int minimum = 0;   // the shown range
    int maximum = 0;
    std::function<int()> get;   // the field in shown form
    std::function<void(int)> set;
    // What follows a stored value: a redraw, a related field (may be empty).
    std::function<void()> after;
    // The range as the tooltip gives it, when not "(minimum to maximum)".
    QString rangeText;
};

// Where a window's accepted edits go: the document they change.
class TEditSink {
public:
    virtual ~TEditSink() = default;
    // An accepted change made with control; held: the action goes on (a drag, typing)
    // and becomes one step at editOver.
    virtual void fieldEdited(QObject* control, bool held) = 0;
    // The user left a box (or pressed Enter in it): typing there is over.
    virtual void editOver() = 0;
};

class TFieldBinder : public QObject {
    Q_OBJECT
public:
    explicit TFieldBinder(TEditSink& sink, QObject* parent = nullptr);

    // Held while the window rewrites its controls from the record; nests.
    class Refreshing {
    public:
        explicit Refreshing(TFieldBinder& binder) : binder(binder) { ++binder.refreshing; }
        ~Refreshing() { --binder.refreshing; }
        Refreshing(const Refreshing&) = delete;
        Refreshing& operator=(const Refreshing&) = delete;

    private:
        TFieldBinder& binder;
    };

    // A number box and the spinner beside it (either may be null). tip is the
    // tooltip's text without the range (none when empty). The spinner stops at
    // spinnerMaximum when given, at the row's maximum otherwise.
    void bindNumber(TNumberBox* box, TUpDown* ud, TFieldRow row, const QString& tip = QString(),
                    std::optional<int> spinnerMaximum = std::nullopt);
    // A pick list whose item i stands for the value minimum + i.
    void bindList(TPickList* list, TFieldRow row, const QString& tip = QString());
    // A check box: checked is maximum, unchecked minimum.
    void bindCheck(QCheckBox* box, TFieldRow row, const QString& tip = QString());
    // A slider that reports the user's moves, and a scroll bar (its programmed
    // positions store nothing while refresh runs or the gate is closed).
    void bindSlider(TSlider* slider, TFieldRow row, const QString& tip = QString());
    void bindBar(QScrollBar* bar, TFieldRow row, const QString& tip = QString());
    // Rewrites every bound control from its field; nothing is stored back or reported.
    void refresh();
    // Rewrites the controls bound with control from their field, the same way.
    void refreshControl(const QObject* control);
    // False while a refresh runs.
    bool ready() const { return refreshing == 0; }

    // A change the window stored itself (a control of its own, not bound here): goes
    // to the sink like a bound control's, unless a refresh runs.
    void report(QObject* control);
    // Whether the user still holds control: drags a slider or bar, types in a box.
    static bool held(const QObject* control);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // What a screen reader calls a bound control, from its row's caption: the window
    // says which element, part or step it belongs to ("Element A pitch"). Unset: the
    // caption itself. Applied at every refresh, so that it follows what is shown.
    std::function<QString(const QString& caption, const QWidget* control)> readerName;

    // The tooltip of a row: tip, then the range in parentheses.
    static QString rangeTip(const QString& tip, int minimum, int maximum,
                            const QString& rangeText = QString());

private:
    enum class Kind { Number, List, Check, Slider, Bar };
    struct Binding {
        Kind kind;
        TFieldRow row;
        TNumberBox* box = nullptr;
        TUpDown* ud = nullptr;
        TPickList* list = nullptr;
        QCheckBox* check = nullptr;
        TSlider* slider = nullptr;
        QScrollBar* bar = nullptr;
    };
    size_t add(Binding b, QWidget* control, const QString& tip);
    void boxChanged(size_t index);
    void spinnerReleased(size_t index);
    void store(Binding& b, int value, QObject* control);
    void show(const Binding& b);

    TEditSink& sink;
    std::vector<Binding> bindings;
    int refreshing = 0;
};

// Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo anywhere in window, also while a text
// box has the focus (its own undo gives way).
void addUndoKeys(QWidget* window, const std::function<void()>& undo, const std::function<void()>& redo);
