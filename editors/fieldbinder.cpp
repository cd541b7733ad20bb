// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/fieldbinder.h"

#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>

#include "editors/controls.h"

TFieldBinder::TFieldBinder(TEditSink& sink, QObject* parent) : QObject(parent), sink(sink)
{
}

bool TFieldBinder::held(const QObject* control)
{
    if (const auto* slider = qobject_cast<const QAbstractSlider*>(control))
        return slider->isSliderDown();
    if (const auto* number = qobject_cast<const TNumberBox*>(control))
        return number->userTyping();
    if (const auto* list = qobject_cast<const TPickList*>(control))
        return list->userTyping();
    if (const auto* box = qobject_cast<const QLineEdit*>(control))
        return box->hasFocus();
    return false;
}

void TFieldBinder::report(QObject* control)
{
    if (ready())
        sink.fieldEdited(control, held(control));
}

QString TFieldBinder::rangeTip(const QString& tip, int minimum, int maximum, const QString& rangeText)
{
    const QString range =
        !rangeText.isEmpty() ? rangeText : QStringLiteral("(%1 to %2)").arg(minimum).arg(maximum);
    return tip.isEmpty() ? range : tip + QLatin1Char(' ') + range;
}

size_t TFieldBinder::add(Binding b, QWidget* control, const QString& tip)
{
    if (control && !tip.isEmpty())
        control->setToolTip(tip);
    bindings.push_back(std::move(b));
    return bindings.size() - 1;
}

void TFieldBinder::bindNumber(TNumberBox* box, TUpDown* ud, TFieldRow row, const QString& tip,
                              std::optional<int> spinnerMaximum)
{
    const QString text = tip.isEmpty() ? QString() : rangeTip(tip, row.minimum, row.maximum, row.rangeText);
    if (ud)
        ud->setRange(row.minimum, spinnerMaximum.value_or(row.maximum));
    Binding b{Kind::Number, std::move(row)};
    b.box = box;
    b.ud = ud;
    const size_t index = add(std::move(b), box, text);
    if (box) {
        box->installEventFilter(this);
        connect(box, &TNumberBox::changed, this, [this, index] { boxChanged(index); });
    }
    if (ud) {
        if (!text.isEmpty())
            ud->setToolTip(text);
        connect(ud, &TUpDown::released, this, [this, index] { spinnerReleased(index); });
    }
}

void TFieldBinder::bindList(TPickList* list, TFieldRow row, const QString& tip)
{
    Binding b{Kind::List, std::move(row)};
    b.list = list;
    const size_t index = add(std::move(b), list, tip);
    // A name typed over several keys is one change, stored at each key.
    connect(list, &TPickList::typingOver, this, [this] {
        if (ready())
            sink.editOver();
    });
    connect(list, &TPickList::picked, this, [this, index](int item) {
        Binding& b = bindings[index];
        store(b, b.row.minimum + item, b.list);
    });
}

void TFieldBinder::bindCheck(QCheckBox* box, TFieldRow row, const QString& tip)
{
    Binding b{Kind::Check, std::move(row)};
    b.check = box;
    const size_t index = add(std::move(b), box, tip);
    connect(box, &QCheckBox::clicked, this, [this, index](bool on) {
        Binding& b = bindings[index];
        store(b, on ? b.row.maximum : b.row.minimum, b.check);
    });
}

void TFieldBinder::bindSlider(TSlider* slider, TFieldRow row, const QString& tip)
{
    {
        // A position the range moves the slider to is no user's.
        const Refreshing guard(*this);
        slider->setRange(row.minimum, row.maximum);
    }
    Binding b{Kind::Slider, std::move(row)};
    b.slider = slider;
    const size_t index = add(std::move(b), slider, tip);
    connect(slider, &TSlider::userMoved, this, [this, index](int p) {
        Binding& b = bindings[index];
        store(b, p, b.slider);
    });
}

void TFieldBinder::bindBar(QScrollBar* bar, TFieldRow row, const QString& tip)
{
    {
        const Refreshing guard(*this);
        bar->setRange(row.minimum, row.maximum);
    }
    Binding b{Kind::Bar, std::move(row)};
    b.bar = bar;
    const size_t index = add(std::move(b), bar, tip);
    connect(bar, &QScrollBar::valueChanged, this, [this, index](int p) {
        Binding& b = bindings[index];
        store(b, p, b.bar);
    });
}

void TFieldBinder::store(Binding& b, int value, QObject* control)
{
    if (!ready() || value < b.row.minimum || value > b.row.maximum)
        return;
    b.row.set(value);
    if (b.row.after)
        b.row.after();
    report(control);
}

void TFieldBinder::boxChanged(size_t index)
{
    Binding& b = bindings[index];
    int n = 0;
    const bool found = b.box->number(n);
    // An empty box or a lone sign being typed is a number on its way: wait for it.
    if (!found && b.box->userTyping())
        return;
    const int stored = b.row.get();
    // A box left with no number at all is refused like an out-of-range value.
    const bool accepted = found && n >= b.row.minimum && n <= b.row.maximum;
    if (!accepted) {
        if (b.ud)
            b.ud->setPosition(stored);
        // Showing the stored value again runs this once more, with a valid value (or,
        // for a stored value outside the range, with the same text: then nothing).
        setNumberText(b.box, stored);
        return;
    }
    if (b.ud)
        b.ud->setPosition(n);
    store(b, n, b.box);
}

void TFieldBinder::spinnerReleased(size_t index)
{
    Binding& b = bindings[index];
    const int p = b.ud->position();
    // Released at its limit, the spinner did not move: nothing changes.
    if (p == b.row.get())
        return;
    // The box's change stores the position and reports it.
    if (b.box)
        setNumberText(b.box, p);
    else
        store(b, p, b.ud);
}

void TFieldBinder::show(const Binding& b)
{
    QWidget* const controls[] = {b.box, b.list, b.check, b.slider, b.bar};
    if (!b.row.caption.isEmpty())
        for (QWidget* control : controls)
            if (control)
                control->setAccessibleName(readerName ? readerName(b.row.caption, control) : b.row.caption);
    const int value = b.row.get();
    switch (b.kind) {
    case Kind::Number:
        if (b.box)
            setNumberText(b.box, value);
        if (b.ud)
            b.ud->setPosition(value);
        break;
    case Kind::List: b.list->select(value - b.row.minimum); break;
    case Kind::Check: b.check->setChecked(value == b.row.maximum); break;
    case Kind::Slider: b.slider->setPosition(value); break;
    case Kind::Bar: b.bar->setValue(value); break;
    }
}

void TFieldBinder::refresh()
{
    const Refreshing guard(*this);
    for (const Binding& b : bindings)
        show(b);
}

void TFieldBinder::refreshControl(const QObject* control)
{
    const Refreshing guard(*this);
    for (const Binding& b : bindings)
        if (control && (b.box == control || b.ud == control || b.list == control || b.check == control ||
                        b.slider == control || b.bar == control))
            show(b);
}

bool TFieldBinder::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        sink.editOver();
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            sink.editOver();
    }
    return QObject::eventFilter(watched, event);
}

namespace {

bool isUndoKey(const QKeyEvent* key)
{
    const auto mods = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Z &&
            (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier))) ||
           (key->key() == Qt::Key_Y && mods == Qt::ControlModifier);
}

// Lets the window's undo keys win over a text box's own undo.
class TUndoKeyGuard : public QObject {
public:
    TUndoKeyGuard(QWidget* window) : QObject(window), window(window) { qApp->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ShortcutOverride)
            return false;
        auto* box = qobject_cast<QLineEdit*>(watched);
        return box && box->window() == window && isUndoKey(static_cast<QKeyEvent*>(event));
    }

private:
    QPointer<QWidget> window;
};

}   // namespace

void addUndoKeys(QWidget* window, const std::function<void()>& undo, const std::function<void()>& redo)
{
    auto* undoAction = new QAction(window);
    undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    undoAction->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(undoAction, &QAction::triggered, window, undo);
    window->addAction(undoAction);
    auto* redoAction = new QAction(window);
    redoAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    redoAction->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(redoAction, &QAction::triggered, window, redo);
    window->addAction(redoAction);
    new TUndoKeyGuard(window);
}
