// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/voicecommonedit.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFocusEvent>
#include <QFontMetrics>
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
#include "editors/namebox.h"
#include "voice/voice.h"

// ---------------------------------------------------------------------------------
// The window

TVoiceCommonEdit::TVoiceCommonEdit(TEditCommands& commands, QWidget* parent)
    : TEditorWindow(QStringLiteral("Tarvik - Voice common"), commands, parent)
{
    // The voice's own fields, said as such ("Voice configuration").
    fields->readerName = [](const QString& caption, const QWidget*) {
        return caption.startsWith(QStringLiteral("Voice")) ? caption
                                                           : QStringLiteral("Voice ") + lowerFirst(caption);
    };
    addControls();
    createButtons(0, true);
    layOut();
    connect(tfVoiceName, &QLineEdit::textChanged, this, [this] { tfVoiceNameChange(); });
    commands.watchEditor(this);
    orderTabsByScreen(this);
}

void TVoiceCommonEdit::addControls()
{
    tfVoiceName = new TNameBox;
    tfVoiceName->setToolTip(QStringLiteral("Name of the voice"));
    tfVoiceName->setAccessibleName(QStringLiteral("Voice name"));
    tfVoiceName->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWW")) + 12);

    cbVoiceConfig = new TPickList({QStringLiteral("A-B"), QStringLiteral("A-B-C-D")});
    fields->bindList(cbVoiceConfig, voiceRow(&Voice::voiceConfig),
                     QStringLiteral("Sets the number of elements in this voice"));
    cbFXType = new TPickList(effectTypeNames());
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
    // A group's size hint leaves out its caption, drawn bold past the left margin.
    for (QGroupBox* g : findChildren<QGroupBox*>()) {
        QFont bold = g->font();
        bold.setBold(true);
        g->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(g->title()) + 24);
    }
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
