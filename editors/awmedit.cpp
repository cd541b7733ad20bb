// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/awmedit.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "editors/awmwaves.h"
#include "editors/controls.h"
#include "editors/editcommands.h"
#include "editors/envelope.h"
#include "editors/pictures.h"
#include "settings/settings.h"

namespace {

constexpr int rowHeight = 26;

}   // namespace

TAWMEdit::TAWMEdit(TEditCommands& commands, QWidget* parent)
    : TElementEdit(QStringLiteral("Tarvik . . . AWM Edit"), 0, commands, parent)
{
    setFixedSize(688, 432);
    setAttribute(Qt::WA_StyledBackground, true);
    captionTips = true;

    addTone();
    addLFO();
    levelAndPan(QRect(548, 2, 136, 168), QRect(12, 24, 18, 134), QRect(42, 82, 84, 18),
                QStringLiteral("Sets the level of the element"));
    addEnvelope();
    addOptions();

    createButtons(1, false);
    bGetVoice->setGeometry(556, 292, 128, 24);
    bSendVoice->setGeometry(556, 318, 128, 24);
    bCompare->setGeometry(556, 344, 63, 24);
    bPlay->setGeometry(621, 344, 63, 24);
    bElement->setGeometry(556, 370, 128, 24);
    bClose->setGeometry(556, 402, 128, 24);

    bindShared();
    nameControls();
    nameObjects({{cbModel, "cbModel"}, {cbModulatorAM, "cbModulatorAM"}, {cbModulatorPM, "cbModulatorPM"}});
    cbModel->setAccessibleName(QStringLiteral("Synthesiser model"));
    connect(cbModel, &TPickList::picked, this, [this](int index) {
        this->commands.settings.model = index;
        refreshFromVoice();
    });
    connect(cbWaveform, &TPickList::picked, this, &TAWMEdit::changeWaveform);
    refreshFromVoice();
    commands.watchEditor(this);
    orderTabsByScreen(this);
}

void TAWMEdit::addTone()
{
    QGroupBox* tone = addGroup(this, QStringLiteral(" Tone "), 4, 2, 300, 168);
    addLabel(tone, QStringLiteral("Waveform: "), 8, 24);
    cbWaveform = new TPickList({}, tone);
    cbWaveform->setGeometry(96, 20, 120, 24);
    const int toneBox = 116;
    number(tone, QStringLiteral("Temperament: "), 8, 54, toneBox, 1, tfTemperament, udTemperament,
           row(&OperatorBlock::temperament), QStringLiteral("Sets the element's keyboard pitch scaling"));
    number(tone, QStringLiteral("Detune: "), 8, 54 + rowHeight, toneBox, 2, tfDetune, udDetune,
           row(&OperatorBlock::detune), QStringLiteral("Detunes the element"));
    number(tone, QStringLiteral("Pitch: "), 8, 54 + 2 * rowHeight, toneBox, 3, tfPitch, udPitch,
           row(&VoiceElement::pitch), QStringLiteral("Shifts the pitch of the element in semi-tones"));

    const int respX = 172, respW = 120;
    const QString velTip = QStringLiteral("Sets the element's response to key velocity");
    const QString atTip = QStringLiteral("Sets the element's response to key pressure");
    addLabel(tone, QStringLiteral("Velocity response: "), respX - 28, 50)->setToolTip(velTip);
    tbVelResp = slider(tone, Qt::Horizontal, QRect(respX, 66, respW, 20),
                       row(&VoiceElement::velocityResponse), velTip);
    addLabel(tone, QStringLiteral("Aftertouch response: "), respX - 28, 108)->setToolTip(atTip);
    tbATResp = slider(tone, Qt::Horizontal, QRect(respX, 124, respW, 20),
                      row(&VoiceElement::aftertouchResponse), atTip);
    for (int i = 0; i < 3; ++i) {
        const int px = respX + i * (respW - responsePictureWidth) / 2;
        addPicture(tone, velocityResponsePicture(i), px, 88)->setToolTip(velTip);
        addPicture(tone, aftertouchResponsePicture(i), px, 146)->setToolTip(atTip);
    }
}

void TAWMEdit::addLFO()
{
    QGroupBox* lfo = addGroup(this, QStringLiteral(" Low Frequency Oscillator "), 308, 2, 236, 168);
    const QString lfoTip = QStringLiteral("Selects the LFO waveform");
    tbLFOWaveform = slider(lfo, Qt::Vertical, QRect(8, 22, 22, 138), row(&VoiceElement::lfoWaveform), lfoTip);
    for (int i = 0; i < 5; ++i)
        addPicture(lfo, lfoWavePicture(i), 32, 22 + tbLFOWaveform->handleCentre(i) - lfoPictureHeight / 2)
            ->setToolTip(lfoTip);
    const int lfoLabel = 62, lfoBox = 134;
    number(lfo, QStringLiteral("Speed: "), lfoLabel, 22, lfoBox, 2, tfLFOSpeed, udLFOSpeed,
           row(&VoiceElement::lfoSpeed), QStringLiteral("Sets the LFO Speed"));
    number(lfo, QStringLiteral("Delay: "), lfoLabel, 22 + rowHeight, lfoBox, 3, tfLFODelay, udLFODelay,
           row(&VoiceElement::lfoDelay), QStringLiteral("Sets the time before the LFO comes in"));
    number(lfo, QStringLiteral("Rate: "), lfoLabel, 22 + 2 * rowHeight, lfoBox, 3, tfLFORate, udLFORate,
           row(&VoiceElement::lfoRate), QStringLiteral("Sets the rate at which the LFO fades in"));
    number(lfo, QStringLiteral("PM depth: "), lfoLabel, 22 + 3 * rowHeight, lfoBox, 2, tfLFOPMDepth,
           udLFOPMDepth, row(&VoiceElement::lfoPMDepth), QStringLiteral("Sets the amount of vibrato"));
    number(lfo, QStringLiteral("AM depth: "), lfoLabel, 22 + 4 * rowHeight, lfoBox, 2, tfLFOAMDepth,
           udLFOAMDepth, row(&VoiceElement::lfoAMDepth), QStringLiteral("Sets the amount of tremolo"));
    // The element's own switches beside the depths, off in some of the synthesiser's voices.
    const int switchX = lfoBox + boxPixels(2) + 22;
    cbModulatorPM =
        check(lfo, QStringLiteral("PM on"), switchX, 22 + 3 * rowHeight + 2, row(&VoiceElement::modulatorPM));
    cbModulatorPM->setToolTip(QStringLiteral("Switches the vibrato of the element on or off"));
    cbModulatorAM =
        check(lfo, QStringLiteral("AM on"), switchX, 22 + 4 * rowHeight + 2, row(&VoiceElement::modulatorAM));
    cbModulatorAM->setToolTip(QStringLiteral("Switches the tremolo of the element on or off"));
}

void TAWMEdit::addEnvelope()
{
    QGroupBox* env = addGroup(this, QStringLiteral(" Envelope "), 4, 174, 548, 254);
    addLabel(env, QStringLiteral("Type: "), 6, 24);
    cbEnvType = new TPickList(envelopeTypeNames(), env);
    cbEnvType->setGeometry(44, 20, 70, 24);

    const int scaleTop = 54, scaleHeight = 166;
    const QString levelScalingTip = QStringLiteral("Sets the envelope level scaling to pitch");
    const QString rateScalingTip = QStringLiteral("Sets the envelope rate scaling to pitch");
    tbLevelScaling = slider(env, Qt::Vertical, QRect(26, scaleTop, 22, scaleHeight),
                            row(&OperatorBlock::levelScaling, Role::EnvelopeScaling), levelScalingTip);
    tbRateScaling = slider(env, Qt::Vertical, QRect(72, scaleTop, 22, scaleHeight),
                           row(&OperatorBlock::rateScaling, Role::EnvelopeScaling), rateScalingTip);
    for (int n = 0; n < 16; ++n)
        addPicture(env, levelScalingPicture(n), 8,
                   scaleTop + tbLevelScaling->handleCentre(n) - scalingPictureHeight / 2)
            ->setToolTip(levelScalingTip);
    for (int n = 0; n < 8; ++n)
        addPicture(env, rateScalingPicture(n), 96,
                   scaleTop + tbRateScaling->handleCentre(n) - scalingPictureHeight / 2)
            ->setToolTip(rateScalingTip);
    QLabel* scaling = new QLabel(QStringLiteral("S\nc\na\nl\ni\nn\ng"), env);
    scaling->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scaling->setGeometry(50, scaleTop + 30, 20, 110);
    addLabel(env, QStringLiteral("  Level "), 4, scaleTop + scaleHeight + 2);
    addLabel(env, QStringLiteral("Rate  "), 70, scaleTop + scaleHeight + 2);

    auto* panel = new QFrame(env);
    panel->setGeometry(118, 20, 295 + 6, 139 + 6);
    envWindow = new TEnvelopePicture(295, 139, 6, 133, panel);
    envWindow->move(3, 3);
    panel->setToolTip(envWindow->toolTip());

    cbEnvelopeDelay = new QCheckBox(QStringLiteral(" Delay: "), env);
    cbEnvelopeDelay->setLayoutDirection(Qt::RightToLeft);
    cbEnvelopeDelay->setGeometry(118, 176, 84, 22);
    cbEnvelopeDelay->setToolTip(QStringLiteral("Selects whether the start of the attack is delayed"));
    number(env, QString(), 0, 176, 206, 3, tfEnvelopeDelay, udEnvelopeDelay,
           row(&Voice::envelopeDelay, Role::Delay), QString());

    QGroupBox* levels = addGroup(env, QStringLiteral(" Levels "), 418, 14, 124, 118);
    QGroupBox* rates = addGroup(env, QStringLiteral(" Rates "), 418, 132, 124, 118);
    envelopeBoxes(levels, rates, 6, 68, 18, 24, false);
}

void TAWMEdit::addOptions()
{
    QGroupBox* options = addGroup(this, QStringLiteral(" Options "), 556, 174, 128, 112);
    addLabel(options, QStringLiteral("Select element"), 8, 20);
    cbElement = new TPickList({QStringLiteral("Element A"), QStringLiteral("Element C")}, options);
    cbElement->setGeometry(8, 38, 112, 24);
    cbElement->setToolTip(QStringLiteral("Selects element A or C for editing"));
    addLabel(options, QStringLiteral("Select model"), 8, 64);
    cbModel = new TPickList({QStringLiteral("SY-22"), QStringLiteral("SY-35")}, options);
    cbModel->setGeometry(8, 82, 112, 24);
    cbModel->setToolTip(QStringLiteral("Select synth model (SY-22 or SY-35)"));
}

void TAWMEdit::showVoice()
{
    const int model = commands.settings.model == 0 ? 0 : 1;
    cbModel->select(model);
    if (modelShown != model) {
        cbWaveform->clear();
        cbWaveform->addItems(awmWaveNames(model));
        modelShown = model;
    }
}

bool TAWMEdit::applyWaveformEnvelope()
{
    // A received voice may name a waveform past the table; its envelope stays.
    if (currentElement->waveform >= awmWaveCount)
        return false;
    applyEnvelopeRow(currentElement->carrier, awmWaveEnvelopes()[currentElement->waveform]);
    return true;
}

void TAWMEdit::changeWaveform(int index)
{
    if (index < 0 || index >= awmWaveCount)
        return;
    currentElement->waveform = static_cast<uint8_t>(index);
    if (currentElement->envelopeType == 1) {
        applyWaveformEnvelope();
        updatePeakStage(currentElement->carrier);
        refreshFromVoice();
    }
    reportEdit(cbWaveform);
}
