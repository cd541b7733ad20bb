// SPDX-License-Identifier: GPL-3.0-or-later
// The editor windows' controls and the rules of when they report, kept in one place:
//   - a number box (tf...) reports whenever its shown text changes, also when the
//     program writes it, but never when the same text is written again;
//   - an up-down spinner (ud...) steps its own position while an arrow is held and
//     reports once, when the mouse button is released;
//   - sliders (tb...) and pick-only lists (cb...) report only the user's own actions;
//   - scroll bars (sb...) and check boxes report every change (plain QScrollBar and
//     QCheckBox do that already).
// These rules are what let the binder tell a refresh from an edit and send each
// edit once.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <initializer_list>
#include <utility>

class QGroupBox;
class QLabel;
class QPixmap;
class QTimer;
class QToolButton;

// Numeric text box. Accepts only its mask's characters up to its width.
class TNumberBox : public QLineEdit {
    Q_OBJECT
public:
    enum Mask {
        Digits,               // 0-9 only
        SignedDigits,         // an optional sign, then digits
        SignedDigitsBlanks,   // digits, + or - and blanks, in any place
    };
    TNumberBox(int width, Mask mask = Digits, QWidget* parent = nullptr);

    // The leading decimal integer of the text (blanks, an optional sign, digits).
    // False when the text holds no number at all (empty, or a lone sign).
    bool number(int& value) const;

    // True while the user's own keystroke is changing the text. An empty box or a lone
    // sign is then a number still being typed ("-" on the way to "-5"): the editors
    // keep the stored value without answering yet. When the user leaves the box (Enter,
    // or the focus moves on) with still no number in it, the box reports once more, not
    // typing, and the editor shows the stored value again.
    bool userTyping() const { return typing; }

signals:
    // The shown text changed (typed, pasted or written by the program).
    void changed();
    // A character key was pressed in the box (before the text changes).
    void keyPressed(QChar key);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void leaveWithoutNumber();
    QString lastText;
    bool typing = false;
};

// Puts the decimal text of value into a number box. Writing the text the box already
// shows changes nothing and reports nothing.
void setNumberText(QLineEdit* edit, int value);

// The up-down spinner beside a number box. Holding an arrow steps the position
// (auto-repeat); on release the final position is reported once, also when it stood
// at a limit and did not move.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    TUpDown(int minimum, int maximum, QWidget* parent = nullptr);
    // A spinner whose range its binding sets.
    explicit TUpDown(QWidget* parent = nullptr) : TUpDown(0, 0, parent) {}

    int position() const { return pos; }
    int minimum() const { return lo; }
    int maximum() const { return hi; }
    // Program-set position, clamped to the spinner's own limits; reports nothing.
    void setPosition(int value);
    // New limits; the spinner stands at the minimum, as a new one does.
    void setRange(int minimum, int maximum);

    QToolButton* upButton() const { return up; }
    QToolButton* downButton() const { return down; }

signals:
    void released(int position);

private:
    void step(int delta);
    int lo, hi, pos;
    QToolButton* up;
    QToolButton* down;
};

// Slider that reports only the user's own moves (drag, click, keys, wheel). A drag
// reports every position it passes.
class TSlider : public QSlider {
    Q_OBJECT
public:
    // Vertical sliders have their minimum at the top.
    TSlider(Qt::Orientation orientation, int minimum, int maximum, QWidget* parent = nullptr);
    // A slider whose range its binding sets.
    explicit TSlider(Qt::Orientation orientation, QWidget* parent = nullptr)
        : TSlider(orientation, 0, 0, parent)
    {
    }
    // Program-set position; reports nothing.
    void setPosition(int value);
    // Where the handle's centre lies, along the slider, when it stands at value (for
    // placing pictures beside the positions). Uses the slider's current size.
    int handleCentre(int value) const;

signals:
    void userMoved(int position);

private:
    bool programmatic = false;
};

// Pick-only drop-down list that reports only the user's picks (QComboBox::activated).
// Typing an item's name ("C#3") picks at each keystroke; the keystrokes that follow
// one another within the keyboard search interval are one typing, over when the
// interval passes without a key, the list loses the focus or Enter is pressed.
class TPickList : public QComboBox {
    Q_OBJECT
public:
    explicit TPickList(const QStringList& items = {}, QWidget* parent = nullptr);
    // Program-set selection; -1 (or any index outside the list) selects nothing.
    void select(int index);
    // True while the user is typing an item's name.
    bool userTyping() const { return typing; }

signals:
    void picked(int index);
    // The typing of a name is over.
    void typingOver();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void endTyping();
    QTimer* typingTimer;
    bool typing = false;
};

// Screen readers hear a drop-down list by its accessible name where it has one (the
// toolkit names it by the item it shows on this platform). Installed once, before
// any window is made; a pick list installs it too.
void installListNames();

// A wheel turned over a list, slider or scroll bar that does not have the focus
// changes nothing (it would change the voice without the user having chosen the
// control); the control takes the focus only by a click or the Tab key.
void guardWheel(QWidget* control);

// The editors' shared look: black background, lime bold text, yellow labels, grey
// panels and maroon lists with yellow text.
QString editorStyleSheet();

// The editor windows' layout helpers: a framed group, a label and a picture placed
// at x, y in parent, the pixel width of a number box of some characters, and a
// number box with its spinner beside it for a layout.
QGroupBox* addGroup(QWidget* parent, const QString& title, int x, int y, int w, int h);
QLabel* addLabel(QWidget* parent, const QString& text, int x, int y);
QLabel* addPicture(QWidget* parent, const QPixmap& pixmap, int x, int y);
constexpr int boxPixels(int characters)
{
    return 14 + 8 * characters;
}
QWidget* numberWithArrows(TNumberBox* box, TUpDown* ud, int boxWidth);
// Gives each object that has no name yet its name (its member's, as the window's form
// names it): tests and the other windows find the controls by these names.
void nameObjects(std::initializer_list<std::pair<QObject*, const char*>> objects);

// "Attack rate" as it reads inside a longer name: "attack rate" (a word in capitals,
// "LFO", stays).
QString lowerFirst(const QString& text);

// Tab order as the screen reads: the window's groups (and loose controls) top to
// bottom, left to right in a row, and inside each group its controls the same way.
void orderTabsByScreen(QWidget* window);

// Escape closes window (as its Close button does), wherever the focus is inside it,
// unless the control with the focus takes the key itself.
void closeOnEscape(QWidget* window);

// The effect types in the synthesiser's order, as the voice common and multi editors
// list them.
QStringList effectTypeNames();
