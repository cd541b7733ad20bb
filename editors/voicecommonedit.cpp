// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/voicecommonedit.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>

#include "editors/controls.h"
#include "editors/editcommands.h"
#include "voice/voice.h"

// ---------------------------------------------------------------------------------
// The name box

TNameBox::TNameBox(QWidget* parent) : QLineEdit(parent)
{
    setMaxLength(voiceNameLength);
    // Only typed or pasted characters of the synthesiser's set may enter; a dropped
    // text or the context menu's paste would bypass that.
    setAcceptDrops(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(this, &QLineEdit::textEdited, this, [this] { edited = true; });
}

bool TNameBox::allowed(QChar c)
{
    // The synthesiser's own names use blanks and punctuation ("Dr.Kit", "E Piano1");
    // its character set has no backslash.
    const char16_t u = c.unicode();
    return u >= 0x20 && u <= 0x7E && u != '\\';
}

QByteArray TNameBox::name() const
{
    QByteArray result(voiceNameLength, ' ');
    const QString t = text();
    for (int i = 0; i < voiceNameLength && i < t.size(); ++i) {
        const char16_t u = t[i].unicode();
        result[i] = u < 256 ? static_cast<char>(u) : '?';
    }
    return result;
}

void TNameBox::showName(const char* name)
{
    const QString shown = QString::fromLatin1(name, static_cast<qsizetype>(strnlen(name, voiceNameLength)));
    setText(shown);
    entryText = shown;
    edited = false;
}

bool TNameBox::complete() const
{
    bool blank = true;
    for (QChar c : text()) {
        if (!allowed(c))
            return false;
        blank = blank && c == QLatin1Char(' ');
    }
    return !blank;
}

void TNameBox::typeOver(const QString& typed)
{
    QString t = text();
    int pos = cursorPosition();
    if (hasSelectedText()) {
        // A typed text replaces the selection.
        pos = selectionStart();
        t.remove(pos, selectedText().size());
        t.insert(pos, typed);
        pos += static_cast<int>(typed.size());
        t.truncate(voiceNameLength);
    } else {
        // Otherwise each character takes the place of the one under the cursor.
        for (QChar c : typed) {
            if (pos < t.size())
                t[pos] = c;
            else if (t.size() < voiceNameLength)
                t.append(c);
            else
                break;
            ++pos;
        }
    }
    if (t == text())
        return;
    edited = true;
    setText(t);
    setCursorPosition(qMin(pos, static_cast<int>(t.size())));
}

void TNameBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        // Abandon the changes made since entering the box.
        if (text() != entryText)
            setText(entryText);
        edited = false;
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        typeOverAllowed(QApplication::clipboard()->text());
        event->accept();
        return;
    }
    // Every key that would put its text into a plain line edit goes through the
    // filter: also Alt-, Meta- or keypad-modified ones, which the line edit would
    // insert as they are. Only Ctrl and Ctrl+Shift keys are left to it as shortcuts.
    const QString t = event->text();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool shortcut = mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier);
    const bool character = !t.isEmpty() && t[0].category() != QChar::Other_Control &&
                           (!shortcut || t[0].category() == QChar::Other_Format);
    if (character) {
        typeOverAllowed(t);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TNameBox::typeOverAllowed(const QString& text)
{
    QString typed;
    for (QChar c : text)
        if (allowed(c))
            typed.append(c);
    if (!typed.isEmpty())
        typeOver(typed);
}

void TNameBox::mouseReleaseEvent(QMouseEvent* event)
{
    // The middle button pastes the desktop's selection; only its allowed characters.
    if (event->button() == Qt::MiddleButton) {
        if (QApplication::clipboard()->supportsSelection())
            typeOverAllowed(QApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TNameBox::inputMethodEvent(QInputMethodEvent* event)
{
    // Composed characters are never in the synthesiser's set.
    event->accept();
}

void TNameBox::focusInEvent(QFocusEvent* event)
{
    if (!edited)
        entryText = text();
    QLineEdit::focusInEvent(event);
}

void TNameBox::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Switching to another window or opening a menu does not leave the box.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    if (!edited)
        return;
    if (complete()) {
        // The stored name holds the blanks already; the box only shows them now.
        if (text().size() < voiceNameLength) {
            const QSignalBlocker quiet(this);
            setText(text().leftJustified(voiceNameLength, QLatin1Char(' ')));
        }
        edited = false;
        return;
    }
    complain();
}

void TNameBox::complain()
{
    QApplication::beep();
    if (complaining)
        return;
    complaining = true;
    // The message waits until the focus change that caused it has finished.
    QTimer::singleShot(0, this, [this] {
        if (edited && !complete() && isVisible()) {
            QMessageBox::critical(window(), QStringLiteral("Tarvik"),
                                  QStringLiteral("Invalid input value.  Use escape key to abandon changes"));
            window()->activateWindow();
            setFocus(Qt::OtherFocusReason);
        }
        complaining = false;
    });
}

// ---------------------------------------------------------------------------------
// The window

QStringList TVoiceCommonEdit::effectNames()
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

TVoiceCommonEdit::TVoiceCommonEdit(TEditCommands& commands, QWidget* parent)
    : TEditorWindow(QStringLiteral("Tarvik - Voice common"), commands, parent)
{
    addControls();
    createButtons(0, true);
    layOut();
    connect(tfVoiceName, &QLineEdit::textChanged, this, [this] { tfVoiceNameChange(); });
    commands.watchEditor(this);
}

void TVoiceCommonEdit::addControls()
{
    tfVoiceName = new TNameBox;
    tfVoiceName->setToolTip(QStringLiteral("Name of the voice"));
    tfVoiceName->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWW")) + 12);

    cbVoiceConfig = new TPickList({QStringLiteral("A-B"), QStringLiteral("A-B-C-D")});
    fields->bindList(cbVoiceConfig, voiceRow(&Voice::voiceConfig),
                     QStringLiteral("Sets the number of elements in this voice"));
    cbFXType = new TPickList(effectNames());
    fields->bindList(cbFXType, voiceRow(&Voice::effectType), QStringLiteral("Selects the effect type"));

    // The attack and release adjustments show in the element editors' pictures, which
    // follow the document's changes.
    auto number = [this](TNumberBox*& box, TUpDown*& ud, auto member, const char* tip) {
        TFieldRow r = voiceRow(member);
        box = new TNumberBox(r.maximum < 10 ? 1 : 3,
                             r.maximum < 10 ? TNumberBox::Digits : TNumberBox::SignedDigitsBlanks);
        ud = new TUpDown;
        fields->bindNumber(box, ud, r, QLatin1String(tip));
    };
    // A check box shows every flag other than 0 as on, and stores 0 or 1.
    auto check = [this](const QString& text, auto member, const QString& tip) {
        auto* box = new QCheckBox(text);
        TFieldRow r = voiceRow(member);
        r.get = [get = r.get] { return get() != 0 ? 1 : 0; };
        fields->bindCheck(box, r, tip);
        return box;
    };
    number(tfFXDepth, udFXDepth, &Voice::effectDepth, "Sets the amount of effect");
    number(tfBendRange, udBendRange, &Voice::bendRange,
           "Sets the maximum range of the pitch wheel in semitones");
    cbAftertouchAM = check(QStringLiteral("Assign to AM"), &Voice::aftertouchAM,
                           QStringLiteral("Sets aftertouch to control tremolo"));
    cbAftertouchPM = check(QStringLiteral("Assign to PM"), &Voice::aftertouchPM,
                           QStringLiteral("Sets aftertouch to control vibrato"));
    cbAftertouchLevel = check(QStringLiteral("Assign to level"), &Voice::aftertouchLevel,
                              QStringLiteral("Sets aftertouch to control volume"));
    number(tfAftertouchPitch, udAftertouchPitch, &Voice::aftertouchPitch,
           "Sets the maximum aftertouch pitch bend in semitones");
    cbModWheelAM = check(QStringLiteral("Assign to AM"), &Voice::modWheelAM,
                         QStringLiteral("Sets the modulation wheel to control tremolo"));
    cbModWheelPM = check(QStringLiteral("Assign to PM"), &Voice::modWheelPM,
                         QStringLiteral("Sets the modulation wheel to control vibrato"));
    number(tfAttack, udAttack, &Voice::attackAdjust,
           "Sets the amount by which to alter each element's attack rate");
    number(tfRelease, udRelease, &Voice::releaseAdjust,
           "Sets the amount by which to alter each element's release rate");
    nameObjects({{tfVoiceName, "tfVoiceName"},
                 {cbVoiceConfig, "cbVoiceConfig"},
                 {cbFXType, "cbFXType"},
                 {tfFXDepth, "tfFXDepth"},
                 {udFXDepth, "udFXDepth"},
                 {tfBendRange, "tfBendRange"},
                 {udBendRange, "udBendRange"},
                 {cbAftertouchAM, "cbAftertouchAM"},
                 {cbAftertouchPM, "cbAftertouchPM"},
                 {cbAftertouchLevel, "cbAftertouchLevel"},
                 {tfAftertouchPitch, "tfAftertouchPitch"},
                 {udAftertouchPitch, "udAftertouchPitch"},
                 {cbModWheelAM, "cbModWheelAM"},
                 {cbModWheelPM, "cbModWheelPM"},
                 {tfAttack, "tfAttack"},
                 {udAttack, "udAttack"},
                 {tfRelease, "tfRelease"},
                 {udRelease, "udRelease"}});
}

void TVoiceCommonEdit::layOut()
{
    const int numberWidth = fontMetrics().horizontalAdvance(QStringLiteral("-888")) + 12;
    auto label = [](const QString& text) { return new QLabel(text); };

    auto* gName = new QGroupBox(QStringLiteral(" Name "), this);
    (new QVBoxLayout(gName))->addWidget(tfVoiceName);
    auto* gConfig = new QGroupBox(QStringLiteral(" Configuration "), this);
    (new QVBoxLayout(gConfig))->addWidget(cbVoiceConfig);
    auto* gAftertouch = new QGroupBox(QStringLiteral(" Aftertouch "), this);
    {
        auto* l = new QVBoxLayout(gAftertouch);
        l->addWidget(cbAftertouchAM);
        l->addWidget(cbAftertouchPM);
        l->addWidget(cbAftertouchLevel);
        auto* row = new QHBoxLayout;
        row->addWidget(label(QStringLiteral("Pitch: ")));
        row->addWidget(numberWithArrows(tfAftertouchPitch, udAftertouchPitch, numberWidth));
        row->addStretch(1);
        l->addLayout(row);
        l->addStretch(1);
    }
    auto* gBend = new QGroupBox(QStringLiteral(" Pitch bend "), this);
    (new QVBoxLayout(gBend))->addWidget(numberWithArrows(tfBendRange, udBendRange, numberWidth));
    auto* gEffects = new QGroupBox(QStringLiteral(" Effects "), this);
    {
        auto* l = new QGridLayout(gEffects);
        l->addWidget(label(QStringLiteral("Type: ")), 0, 0);
        l->addWidget(cbFXType, 0, 1);
        l->addWidget(label(QStringLiteral("Depth: ")), 0, 2);
        l->addWidget(numberWithArrows(tfFXDepth, udFXDepth, numberWidth), 0, 3);
        l->setColumnStretch(1, 1);
    }
    auto* gAdjust = new QGroupBox(QStringLiteral(" Global envelope adjust "), this);
    {
        auto* l = new QHBoxLayout(gAdjust);
        l->addWidget(label(QStringLiteral("Attack: ")));
        l->addWidget(numberWithArrows(tfAttack, udAttack, numberWidth));
        l->addSpacing(16);
        l->addWidget(label(QStringLiteral("Release: ")));
        l->addWidget(numberWithArrows(tfRelease, udRelease, numberWidth));
        l->addStretch(1);
    }
    auto* gModWheel = new QGroupBox(QStringLiteral(" Mod wheel "), this);
    {
        auto* l = new QVBoxLayout(gModWheel);
        l->addWidget(cbModWheelAM);
        l->addWidget(cbModWheelPM);
    }
    auto* buttons = new QVBoxLayout;
    for (QWidget* b : {bGetVoice, bSendVoice, bCompare, bPlay, bClose})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setSpacing(6);
    grid->addWidget(gName, 0, 0);
    grid->addWidget(gConfig, 0, 1);
    grid->addWidget(gAftertouch, 0, 2, 2, 1);
    grid->addWidget(gBend, 0, 3);
    grid->addWidget(gEffects, 1, 0, 1, 2);
    grid->addWidget(gAdjust, 2, 0, 1, 2);
    grid->addWidget(gModWheel, 2, 2);
    grid->addLayout(buttons, 1, 3, 2, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

void TVoiceCommonEdit::showVoice()
{
    tfVoiceName->showName(voice.name);
}

void TVoiceCommonEdit::tfVoiceNameChange()
{
    // A name written by a refresh is the stored one already, byte for byte.
    if (!fields->ready())
        return;
    const QByteArray name = tfVoiceName->name();
    std::memcpy(voice.name, name.constData(), voiceNameLength);
    voice.name[voiceNameLength] = 0;
    reportEdit(tfVoiceName);
}
