// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/controls.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

class TWheelGuard : public QObject {
public:
    explicit TWheelGuard(QObject* control) : QObject(control) { setObjectName(QLatin1String(name)); }
    static constexpr const char* name = "wheelGuard";
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && !w->hasFocus()) {
                event->ignore();
                return true;
            }
        }
        return false;
    }
};

}   // namespace

void guardWheel(QWidget* control)
{
    control->setFocusPolicy(Qt::StrongFocus);
    // The guard is the control's own and goes with it; it is put first again, before
    // any filter installed since.
    QObject* guard =
        control->findChild<QObject*>(QLatin1String(TWheelGuard::name), Qt::FindDirectChildrenOnly);
    if (!guard)
        guard = new TWheelGuard(control);
    control->removeEventFilter(guard);
    control->installEventFilter(guard);
}

TNumberBox::TNumberBox(int width, Mask mask, QWidget* parent) : QLineEdit(parent)
{
    // The width limits what the user types (a sign counts as a character). It is not
    // a maximum length: that would cut short a stored number the program shows, such
    // as -128 in a three-character box, and the cut text would then be stored.
    QString pattern;
    switch (mask) {
    case Digits: pattern = QStringLiteral("[0-9]{0,%1}").arg(width); break;
    case SignedDigits:
        pattern = QStringLiteral("[-+][0-9]{0,%1}|[0-9]{0,%2}").arg(std::max(width - 1, 0)).arg(width);
        break;
    case SignedDigitsBlanks: pattern = QStringLiteral("[-+ 0-9]{0,%1}").arg(width); break;
    }
    setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text == lastText)
            return;
        lastText = text;
        emit changed();
    });
}

bool TNumberBox::number(int& value) const
{
    const QString t = text();
    int i = 0;
    while (i < t.size() && t[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    int digits = 0;
    long n = 0;
    while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128) {
        n = n * 10 + (t[i].unicode() - '0');
        if (n > 1000000)
            n = 1000000;   // far outside every range; keeps the sum from overflowing
        ++i;
        ++digits;
    }
    if (digits == 0)
        return false;
    value = static_cast<int>(negative ? -n : n);
    return true;
}

void TNumberBox::keyPressEvent(QKeyEvent* event)
{
    const QString t = event->text();
    if (!t.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        emit keyPressed(t.at(0));
    typing = true;
    QLineEdit::keyPressEvent(event);
    typing = false;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        leaveWithoutNumber();
}

void TNumberBox::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    leaveWithoutNumber();
}

void TNumberBox::leaveWithoutNumber()
{
    int n = 0;
    if (!number(n))
        emit changed();
}

void setNumberText(QLineEdit* edit, int value)
{
    const QString text = QString::number(value);
    if (edit->text() != text)
        edit->setText(text);
}

TUpDown::TUpDown(int minimum, int maximum, QWidget* parent)
    : QWidget(parent), lo(minimum), hi(maximum), pos(minimum)
{
    up = new QToolButton(this);
    down = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up, down}) {
        b->setAutoRepeat(true);
        b->setAutoRepeatDelay(400);
        b->setAutoRepeatInterval(60);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(16, 11);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up);
    layout->addWidget(down);
    setFixedSize(16, 22);
    // Pressing steps once; while the button is held, auto-repeat emits
    // released/clicked/pressed again and again with the button still down, so every
    // repeat steps once more through `pressed`.
    connect(up, &QToolButton::pressed, this, [this] { step(+1); });
    connect(down, &QToolButton::pressed, this, [this] { step(-1); });
    // The final position is reported once the user lets go of the mouse button.
    // While auto-repeating, `released` is emitted with isDown() still true. Leaving
    // the button with the mouse held also counts as letting go.
    connect(up, &QToolButton::released, this, [this] {
        if (!up->isDown())
            emit released(pos);
    });
    connect(down, &QToolButton::released, this, [this] {
        if (!down->isDown())
            emit released(pos);
    });
}

void TUpDown::setPosition(int value)
{
    pos = qBound(lo, value, hi);
}

void TUpDown::setRange(int minimum, int maximum)
{
    lo = minimum;
    hi = maximum;
    pos = minimum;
}

void TUpDown::step(int delta)
{
    pos = qBound(lo, pos + delta, hi);
}

TSlider::TSlider(Qt::Orientation orientation, int minimum, int maximum, QWidget* parent)
    : QSlider(orientation, parent)
{
    setRange(minimum, maximum);
    guardWheel(this);
    if (orientation == Qt::Vertical) {
        setInvertedAppearance(true);
        setInvertedControls(true);
    }
    connect(this, &QSlider::valueChanged, this, [this](int value) {
        if (!programmatic)
            emit userMoved(value);
    });
}

void TSlider::setPosition(int value)
{
    programmatic = true;
    setValue(value);
    programmatic = false;
}

int TSlider::handleCentre(int value) const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const bool vertical = orientation() == Qt::Vertical;
    const int length = vertical ? handle.height() : handle.width();
    const int span = (vertical ? groove.height() : groove.width()) - length;
    const int offset = QStyle::sliderPositionFromValue(minimum(), maximum(), value, span, opt.upsideDown);
    return (vertical ? groove.y() : groove.x()) + offset + length / 2;
}

namespace {

// A pick list as a screen reader meets it: named by its accessible name (the toolkit
// names a drop-down list by the item it shows on this platform), its value the item.
class TPickListAccessible : public QAccessibleWidget {
public:
    explicit TPickListAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override
    {
        const auto* list = static_cast<const QComboBox*>(widget());
        if (t == QAccessible::Name && !list->accessibleName().isEmpty())
            return list->accessibleName();
        if (t == QAccessible::Name || t == QAccessible::Value)
            return list->currentText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* pickListAccessible(const QString&, QObject* object)
{
    // A pick list, or a plain drop-down list that was given a name.
    auto* list = qobject_cast<QComboBox*>(object);
    if (!list || list->isEditable() ||
        (!qobject_cast<TPickList*>(object) && list->accessibleName().isEmpty()))
        return nullptr;
    return new TPickListAccessible(list);
}

}   // namespace

void installListNames()
{
    // After the toolkit's own (the last installed is asked first), once.
    static const bool installed = [] {
        QAccessible::installFactory(pickListAccessible);
        return true;
    }();
    (void)installed;
}

TPickList::TPickList(const QStringList& items, QWidget* parent)
    : QComboBox(parent), typingTimer(new QTimer(this))
{
    installListNames();

    addItems(items);
    guardWheel(this);
    typingTimer->setSingleShot(true);
    connect(typingTimer, &QTimer::timeout, this, &TPickList::endTyping);
    connect(this, qOverload<int>(&QComboBox::activated), this, &TPickList::picked);
}

void TPickList::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint() && !text.at(0).isSpace() &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (printable) {
        typing = true;
        typingTimer->start(QApplication::keyboardInputInterval());
    } else if (typing) {
        endTyping();
    }
    QComboBox::keyPressEvent(event);
}

void TPickList::focusOutEvent(QFocusEvent* event)
{
    if (typing)
        endTyping();
    QComboBox::focusOutEvent(event);
}

void TPickList::endTyping()
{
    typingTimer->stop();
    if (!typing)
        return;
    typing = false;
    emit typingOver();
}

void TPickList::select(int index)
{
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

QString editorStyleSheet()
{
    // Only the editor windows themselves are painted black: sliders, scroll bars and
    // check boxes keep the platform's own drawing (grey grooves, visible check
    // marks), which a background rule on every widget would take away.
    return QStringLiteral("QWidget { color: lime; font-weight: bold; }"
                          "TAWMEdit, TFMEdit, TVoiceCommonEdit, TVectorEdit { background-color: black; }"
                          "QLabel { color: yellow; }"
                          "QGroupBox { border: 1px solid gray; margin-top: 8px; color: lime; }"
                          "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }"
                          "QComboBox { background-color: maroon; color: yellow; }"
                          "QComboBox QAbstractItemView { background-color: maroon; color: yellow; "
                          "selection-background-color: yellow; selection-color: maroon; }"
                          "QLineEdit { background-color: white; color: black; }"
                          "QLineEdit:disabled { background-color: silver; color: #464646; }"
                          "QPushButton { background-color: silver; color: black; }"
                          "QToolButton { background-color: silver; color: black; }"
                          "QCheckBox { color: lime; }"
                          "QToolTip { background-color: #ffffe1; color: black; font-weight: normal; }");
}

QGroupBox* addGroup(QWidget* parent, const QString& title, int x, int y, int w, int h)
{
    auto* g = new QGroupBox(title, parent);
    g->setGeometry(x, y, w, h);
    return g;
}

QLabel* addLabel(QWidget* parent, const QString& text, int x, int y)
{
    auto* l = new QLabel(text, parent);
    l->adjustSize();
    l->move(x, y);
    return l;
}

QLabel* addPicture(QWidget* parent, const QPixmap& pixmap, int x, int y)
{
    auto* l = new QLabel(parent);
    l->setPixmap(pixmap);
    l->setGeometry(x, y, pixmap.width(), pixmap.height());
    return l;
}

QWidget* numberWithArrows(TNumberBox* box, TUpDown* ud, int boxWidth)
{
    auto* w = new QWidget;
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(1);
    box->setFixedWidth(boxWidth);
    box->setFixedHeight(ud->height());
    l->addWidget(box);
    l->addWidget(ud);
    l->addStretch(1);
    return w;
}

void nameObjects(std::initializer_list<std::pair<QObject*, const char*>> objects)
{
    for (const auto& [object, name] : objects)
        if (object && object->objectName().isEmpty())
            object->setObjectName(QLatin1String(name));
}

QString lowerFirst(const QString& text)
{
    if (text.size() < 2 || text.at(1).isUpper())
        return text;
    return text.at(0).toLower() + text.mid(1);
}

void orderTabsByScreen(QWidget* window)
{
    if (window->layout())
        window->layout()->activate();
    // Where a control stands: for each of its containers from the window down, the
    // container's row (its top, to 12 pixels) and left edge in the one around it.
    const auto place = [window](QWidget* w) {
        std::vector<std::pair<int, int>> key;
        for (QWidget* at = w; at && at != window; at = at->parentWidget())
            key.insert(key.begin(), {at->y() / 12, at->x()});
        return key;
    };
    std::vector<std::pair<std::vector<std::pair<int, int>>, QWidget*>> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->focusPolicy() == Qt::NoFocus || w->window() != window || w->focusProxy())
            continue;
        bool inner = false;
        for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
            inner = inner || qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p);
        if (!inner)
            controls.emplace_back(place(w), w);
    }
    std::stable_sort(controls.begin(), controls.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls[i - 1].second, controls[i].second);
}

namespace {

// Escape that no control of the window took for itself (a name box putting back its
// name) reaches the window, and closes it.
class TEscapeCloser : public QObject {
public:
    explicit TEscapeCloser(QWidget* window) : QObject(window), window(window)
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != window || event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Escape || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        window->close();
        return true;
    }

private:
    QWidget* window;
};

}   // namespace

void closeOnEscape(QWidget* window)
{
    new TEscapeCloser(window);
}

QStringList effectTypeNames()
{
    return {QStringLiteral("Reverb Hall"),
            QStringLiteral("Reverb Room"),
            QStringLiteral("Reverb Plate"),
            QStringLiteral("Reverb Club"),
            QStringLiteral("Reverb Metal"),
            QStringLiteral("Single Short Delay"),
            QStringLiteral("Long Delay 1"),
            QStringLiteral("Long Delay 2"),
            QStringLiteral("Doubler"),
            QStringLiteral("Ping-Pong Delay"),
            QStringLiteral("Panned Reflections"),
            QStringLiteral("Early Reflections"),
            QStringLiteral("Gated Reverb"),
            QStringLiteral("Delay & Reverb 1"),
            QStringLiteral("Delay & Reverb 2"),
            QStringLiteral("Distortion & Reverb")};
}
