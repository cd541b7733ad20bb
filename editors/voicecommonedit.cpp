// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/voicecommonedit.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
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

#include "settings/settings.h"
#include "editors/awmedit.h"
#include "editors/controls.h"
#include "editors/editcommands.h"
#include "editors/fmedit.h"
#include "midi/midiport.h"
#include "voice/voice.h"

TVoiceCommonEdit* VoiceCommonEdit = nullptr;

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

int TVoiceCommonEdit::NumberField::get() const
{
    return unsignedField ? *unsignedField : *signedField;
}

void TVoiceCommonEdit::NumberField::set(int v) const
{
    if (unsignedField)
        *unsignedField = static_cast<uint8_t>(v);
    else
        *signedField = static_cast<int8_t>(v);
}

namespace {

QGroupBox* group(const QString& title, QWidget* parent)
{
    auto* g = new QGroupBox(title, parent);
    return g;
}

// A number box with its arrows beside it.
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

}  // namespace

QStringList TVoiceCommonEdit::effectNames()
{
    return {QStringLiteral("Reverb Hall"),        QStringLiteral("Reverb Room"),
            QStringLiteral("Reverb Plate"),       QStringLiteral("Reverb Club"),
            QStringLiteral("Reverb Metal"),       QStringLiteral("Single Short Delay"),
            QStringLiteral("Long Delay 1"),       QStringLiteral("Long Delay 2"),
            QStringLiteral("Doubler"),            QStringLiteral("Ping-Pong Delay"),
            QStringLiteral("Panned Reflections"), QStringLiteral("Early Reflections"),
            QStringLiteral("Gated Reverb"),       QStringLiteral("Delay & Reverb 1"),
            QStringLiteral("Delay & Reverb 2"),   QStringLiteral("Distortion & Reverb")};
}

TVoiceCommonEdit::TVoiceCommonEdit(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Tarvik - Voice common"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setStyleSheet(editorStyleSheet());

    // Controls
    tfVoiceName = new TNameBox;
    tfVoiceName->setToolTip(QStringLiteral("Name of the voice"));
    tfVoiceName->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWW")) + 12);

    cbVoiceConfig = new TPickList({QStringLiteral("A-B"), QStringLiteral("A-B-C-D")});
    cbVoiceConfig->setToolTip(QStringLiteral("Sets the number of elements in this voice"));

    cbFXType = new TPickList(effectNames());
    cbFXType->setToolTip(QStringLiteral("Selects the effect type"));

    tfFXDepth = new TNumberBox(1, TNumberBox::Digits);
    udFXDepth = new TUpDown(0, 7);
    tfFXDepth->setToolTip(QStringLiteral("Sets the amount of effect (0 to 7)"));
    udFXDepth->setToolTip(tfFXDepth->toolTip());

    tfBendRange = new TNumberBox(3, TNumberBox::SignedDigitsBlanks);
    udBendRange = new TUpDown(0, 12);
    tfBendRange->setToolTip(QStringLiteral("Sets the maximum range of the pitch wheel in semitones (0 to 12)"));
    udBendRange->setToolTip(tfBendRange->toolTip());

    cbAftertouchAM = new QCheckBox(QStringLiteral("Assign to AM"));
    cbAftertouchAM->setToolTip(QStringLiteral("Sets aftertouch to control tremolo"));
    cbAftertouchPM = new QCheckBox(QStringLiteral("Assign to PM"));
    cbAftertouchPM->setToolTip(QStringLiteral("Sets aftertouch to control vibrato"));
    cbAftertouchLevel = new QCheckBox(QStringLiteral("Assign to level"));
    cbAftertouchLevel->setToolTip(QStringLiteral("Sets aftertouch to control volume"));

    tfAftertouchPitch = new TNumberBox(3, TNumberBox::SignedDigitsBlanks);
    udAftertouchPitch = new TUpDown(-12, 12);
    tfAftertouchPitch->setToolTip(
        QStringLiteral("Sets the maximum aftertouch pitch bend in semitones (-12 to 12)"));
    udAftertouchPitch->setToolTip(tfAftertouchPitch->toolTip());

    cbModWheelAM = new QCheckBox(QStringLiteral("Assign to AM"));
    cbModWheelAM->setToolTip(QStringLiteral("Sets the modulation wheel to control tremolo"));
    cbModWheelPM = new QCheckBox(QStringLiteral("Assign to PM"));
    cbModWheelPM->setToolTip(QStringLiteral("Sets the modulation wheel to control vibrato"));

    tfAttack = new TNumberBox(3, TNumberBox::SignedDigitsBlanks);
    udAttack = new TUpDown(-64, 63);
    tfAttack->setToolTip(
        QStringLiteral("Sets the amount by which to alter each element's attack rate (-64 to 63)"));
    udAttack->setToolTip(tfAttack->toolTip());

    tfRelease = new TNumberBox(3, TNumberBox::SignedDigitsBlanks);
    udRelease = new TUpDown(-64, 63);
    tfRelease->setToolTip(
        QStringLiteral("Sets the amount by which to alter each element's release rate (-64 to 63)"));
    udRelease->setToolTip(tfRelease->toolTip());

    bGetVoice = new QPushButton(QStringLiteral("Get voice"));
    bSendVoice = new QPushButton(QStringLiteral("Send voice"));
    bCompare = makeCompareButton(this);
    bPlay = makePlayButton(this);
    bClose = new QPushButton(QStringLiteral("Close"));

    // Layout
    const int numberWidth = fontMetrics().horizontalAdvance(QStringLiteral("-888")) + 12;
    auto label = [](const QString& text) { return new QLabel(text); };

    QGroupBox* gName = group(QStringLiteral(" Name "), this);
    {
        auto* l = new QVBoxLayout(gName);
        l->addWidget(tfVoiceName);
    }
    QGroupBox* gConfig = group(QStringLiteral(" Configuration "), this);
    {
        auto* l = new QVBoxLayout(gConfig);
        l->addWidget(cbVoiceConfig);
    }
    QGroupBox* gAftertouch = group(QStringLiteral(" Aftertouch "), this);
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
    QGroupBox* gBend = group(QStringLiteral(" Pitch bend "), this);
    {
        auto* l = new QVBoxLayout(gBend);
        l->addWidget(numberWithArrows(tfBendRange, udBendRange, numberWidth));
    }
    QGroupBox* gEffects = group(QStringLiteral(" Effects "), this);
    {
        auto* l = new QGridLayout(gEffects);
        l->addWidget(label(QStringLiteral("Type: ")), 0, 0);
        l->addWidget(cbFXType, 0, 1);
        l->addWidget(label(QStringLiteral("Depth: ")), 0, 2);
        l->addWidget(numberWithArrows(tfFXDepth, udFXDepth, numberWidth), 0, 3);
        l->setColumnStretch(1, 1);
    }
    QGroupBox* gAdjust = group(QStringLiteral(" Global envelope adjust "), this);
    {
        auto* l = new QHBoxLayout(gAdjust);
        l->addWidget(label(QStringLiteral("Attack: ")));
        l->addWidget(numberWithArrows(tfAttack, udAttack, numberWidth));
        l->addSpacing(16);
        l->addWidget(label(QStringLiteral("Release: ")));
        l->addWidget(numberWithArrows(tfRelease, udRelease, numberWidth));
        l->addStretch(1);
    }
    QGroupBox* gModWheel = group(QStringLiteral(" Mod wheel "), this);
    {
        auto* l = new QVBoxLayout(gModWheel);
        l->addWidget(cbModWheelAM);
        l->addWidget(cbModWheelPM);
    }
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(bGetVoice);
    buttons->addWidget(bSendVoice);
    buttons->addWidget(bCompare);
    buttons->addWidget(bPlay);
    buttons->addWidget(bClose);
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

    numberFields[0] = {tfFXDepth, udFXDepth, 0, 7, &voice.effectDepth, nullptr, false};
    numberFields[1] = {tfBendRange, udBendRange, 0, 12, &voice.bendRange, nullptr, false};
    numberFields[2] = {tfAftertouchPitch, udAftertouchPitch, -12, 12, nullptr, &voice.aftertouchPitch, false};
    numberFields[3] = {tfAttack, udAttack, -64, 63, nullptr, &voice.attackAdjust, true};
    numberFields[4] = {tfRelease, udRelease, -64, 63, nullptr, &voice.releaseAdjust, true};

    // Events
    connect(tfVoiceName, &QLineEdit::textChanged, this, [this] { tfVoiceNameChange(); });
    for (TPickList* list : {cbVoiceConfig, cbFXType})
        connect(list, &TPickList::picked, this, [this, list] { comboBoxChange(list); });
    for (QCheckBox* box : {cbAftertouchAM, cbAftertouchPM, cbAftertouchLevel, cbModWheelAM, cbModWheelPM})
        connect(box, &QCheckBox::clicked, this, [this, box] { checkBoxChanged(box); });
    for (TNumberBox* box : {tfFXDepth, tfBendRange, tfAftertouchPitch, tfAttack, tfRelease})
        connect(box, &TNumberBox::changed, this, [this, box] { textBoxChanged(box); });
    for (TUpDown* ud : {udFXDepth, udBendRange, udAftertouchPitch, udAttack, udRelease})
        connect(ud, &TUpDown::released, this, [this, ud] { udChanged(ud); });
    connect(bGetVoice, &QPushButton::clicked, this, [this] { bGetVoiceClick(); });
    connect(bSendVoice, &QPushButton::clicked, this, [this] { bSendVoiceClick(); });
    connect(bClose, &QPushButton::clicked, this, [this] { bCloseClick(); });
    watchEditor(this);
}

const TVoiceCommonEdit::NumberField* TVoiceCommonEdit::numberField(const QObject* control) const
{
    for (const NumberField& f : numberFields)
        if (f.box == control || f.ud == control)
            return &f;
    return nullptr;
}

void TVoiceCommonEdit::sendIfReady()
{
    if (!ready)
        return;
    noteVoiceEdit(sender());
    if (settings.autoSend && midiPort)
        midiPort->sendVoice();
}

void TVoiceCommonEdit::refreshFromVoice()
{
    ready = false;
    writingName = true;
    tfVoiceName->showName(voice.name);
    writingName = false;
    cbVoiceConfig->select(voice.voiceConfig);
    setNumberText(tfBendRange, voice.bendRange);
    cbFXType->select(voice.effectType);
    setNumberText(tfFXDepth, voice.effectDepth);
    setNumberText(tfAttack, voice.attackAdjust);
    setNumberText(tfRelease, voice.releaseAdjust);
    setNumberText(tfAftertouchPitch, voice.aftertouchPitch);
    cbAftertouchAM->setChecked(voice.aftertouchAM != 0);
    cbAftertouchPM->setChecked(voice.aftertouchPM != 0);
    cbAftertouchLevel->setChecked(voice.aftertouchLevel != 0);
    cbModWheelAM->setChecked(voice.modWheelAM != 0);
    cbModWheelPM->setChecked(voice.modWheelPM != 0);
    // A box whose text did not change ran no handling; its arrows still follow it.
    for (const NumberField& f : numberFields)
        f.ud->setPosition(f.get());
    ready = true;
}

void TVoiceCommonEdit::tfVoiceNameChange()
{
    // A name written by a refresh is the stored one already, byte for byte.
    if (!writingName) {
        const QByteArray name = tfVoiceName->name();
        std::memcpy(voice.name, name.constData(), voiceNameLength);
        voice.name[voiceNameLength] = 0;
    }
    sendIfReady();
}

void TVoiceCommonEdit::comboBoxChange(TPickList* sender)
{
    const int entry = sender->currentIndex();
    if (entry < 0)
        return;
    if (sender == cbVoiceConfig)
        voice.voiceConfig = static_cast<uint8_t>(entry);
    else if (sender == cbFXType)
        voice.effectType = static_cast<uint8_t>(entry);
    sendIfReady();
}

void TVoiceCommonEdit::checkBoxChanged(QCheckBox* sender)
{
    const uint8_t value = sender->isChecked() ? 1 : 0;
    if (sender == cbAftertouchAM)
        voice.aftertouchAM = value;
    else if (sender == cbAftertouchPM)
        voice.aftertouchPM = value;
    else if (sender == cbAftertouchLevel)
        voice.aftertouchLevel = value;
    else if (sender == cbModWheelAM)
        voice.modWheelAM = value;
    else if (sender == cbModWheelPM)
        voice.modWheelPM = value;
    sendIfReady();
}

void TVoiceCommonEdit::textBoxChanged(TNumberBox* sender)
{
    const NumberField* f = numberField(sender);
    if (!f)
        return;
    int v = 0;
    const bool found = sender->number(v);
    // An empty box or a lone sign being typed is a number on its way: wait for it.
    if (!found && sender->userTyping())
        return;
    // A box left holding no number at all is refused like an out-of-range one.
    const bool accepted = found && v >= f->lo && v <= f->hi;
    int r = v;
    if (accepted)
        f->set(v);
    else
        r = f->get();
    f->ud->setPosition(r);
    if (f->envelope) {
        ++envelopeRedraws;
        if (FMEdit)
            FMEdit->drawEnvelope();
        if (AWMEdit)
            AWMEdit->drawEnvelope();
    }
    if (!accepted) {
        // Showing the stored value again runs this handling once more, with a valid value.
        setNumberText(sender, r);
        return;
    }
    sendIfReady();
}

void TVoiceCommonEdit::udChanged(TUpDown* sender)
{
    const NumberField* f = numberField(sender);
    if (!f)
        return;
    const int p = sender->position();
    f->set(p);
    setNumberText(f->box, p);
}

void TVoiceCommonEdit::bGetVoiceClick()
{
    if (midiPort)
        midiPort->getVoice();
}

void TVoiceCommonEdit::bSendVoiceClick()
{
    if (midiPort)
        midiPort->sendVoice();
}

void TVoiceCommonEdit::bCloseClick()
{
    hide();
}

void TVoiceCommonEdit::closeEvent(QCloseEvent* event)
{
    // The close box only hides the window, like "Close".
    bCloseClick();
    event->accept();
}
