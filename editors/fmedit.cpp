// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/fmedit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "editors/controls.h"
#include "editors/editcommands.h"
#include "editors/envelope.h"
#include "editors/fmwaves.h"
#include "editors/pictures.h"

TFMEdit::TFMEdit(TEditCommands& commands, QWidget* parent)
    : TElementEdit(QStringLiteral("Tarvik . . . FM Edit"), 1, commands, parent)
{
    setFixedSize(689, 469);
    addTone();
    addOperator();
    addLFO();
    // " Level && Pan ", " Options " and the buttons, down the right-hand side.
    levelAndPan(QRect(534, 4, 147, 100), QRect(20, 20, 18, 72), QRect(50, 47, 88, 18),
                QStringLiteral("Sets the level of the element (equivalent to carrier level)"), [this] {
                    if (editCarrier)
                        fields->refreshControl(tfOperatorLevel);
                });
    addOptions();

    // Two columns of buttons under the options.
    createButtons(2, false);
    QPushButton* const buttons[] = {bGetVoice, bSendVoice, bCompare, bPlay, bElement, bClose};
    for (int i = 0; i < 6; ++i)
        buttons[i]->setGeometry(527 + i % 2 * 81, 214 + i / 2 * 26, 80, 24);

    addEnvelope();

    bindShared();
    nameControls();
    nameObjects({{cbOperator, "cbOperator"},
                 {tfFeedback, "tfFeedback"},
                 {udFeedback, "udFeedback"},
                 {tfFMWaveform, "tfFMWaveform"},
                 {udFMWaveform, "udFMWaveform"},
                 {tfFMFrequency, "tfFMFrequency"},
                 {udFMFrequency, "udFMFrequency"},
                 {tfOperatorLevel, "tfOperatorLevel"},
                 {udOperatorLevel, "udOperatorLevel"},
                 {cbFixedFrequency, "cbFixedFrequency"},
                 {cbCarrierAM, "cbCarrierAM"},
                 {cbModulatorAM, "cbModulatorAM"},
                 {cbCarrierPM, "cbCarrierPM"},
                 {cbModulatorPM, "cbModulatorPM"}});
    connect(cbWaveform, &TPickList::picked, this, &TFMEdit::cbWaveformChange);
    connect(cbOperator, &TPickList::picked, this, [this](int index) {
        editCarrier = index == 0;
        cbEnvType->setEnabled(editCarrier);
        refreshFromVoice();
    });
    cbOperator->select(0);
    refreshFromVoice();
    commands.watchEditor(this);
    orderTabsByScreen(this);
}

TSlider* TFMEdit::fmSlider(QWidget* parent, Qt::Orientation o, const QRect& at, TFieldRow fieldRow,
                           const QString& tip)
{
    TSlider* s = slider(parent, o, at, std::move(fieldRow), tip);
    s->setTickPosition(o == Qt::Horizontal ? QSlider::TicksBelow : QSlider::NoTicks);
    return s;
}

// " Tone ": the waveform across the top, pitch and feedback at the left, the two
// response sliders with their pictures at the right.
void TFMEdit::addTone()
{
    QGroupBox* tone = addGroup(this, QStringLiteral(" Tone "), 8, 4, 300, 162);
    addLabel(tone, QStringLiteral("Waveform: "), 8, 23);
    QStringList waveNames;
    for (const std::string& name : fmWaveNames())
        waveNames << QString::fromStdString(name);
    cbWaveform = new TPickList(waveNames, tone);
    cbWaveform->setGeometry(90, 20, 140, 22);
    cbWaveform->setMaxVisibleItems(20);

    number(tone, QStringLiteral("Pitch: "), 8, 54, 84, 3, tfPitch, udPitch, row(&VoiceElement::pitch),
           QStringLiteral("Shifts the pitch of the element in semi-tones"));
    // The feedback tooltip sits on the caption.
    QLabel* feedbackLabel = addLabel(tone, QStringLiteral("Feedback: "), 8, 85);
    number(
        tone, QString(), 0, 82, 84, 1, tfFeedback, udFeedback, row(&VoiceElement::feedback),
        QStringLiteral("Sets the amount of feedback on the modulator, higher numbers giving more harmonics"));
    feedbackLabel->setToolTip(tfFeedback->toolTip());

    const int respX = 140, respW = 152;
    addLabel(tone, QStringLiteral("Velocity response: "), respX, 49);
    tbVelResp =
        fmSlider(tone, Qt::Horizontal, QRect(respX, 64, respW, 20), row(&VoiceElement::velocityResponse),
                 QStringLiteral("Sets the element's response to key velocity"));
    addLabel(tone, QStringLiteral("Aftertouch response: "), respX, 105);
    tbATResp =
        fmSlider(tone, Qt::Horizontal, QRect(respX, 120, respW, 20), row(&VoiceElement::aftertouchResponse),
                 QStringLiteral("Sets the element's response to key pressure"));
    for (int i = 0; i < 3; ++i) {
        const int x = respX + 2 + i * (respW - 4 - responsePictureWidth) / 2;
        addPicture(tone, velocityResponsePicture(i), x, 86);
        addPicture(tone, aftertouchResponsePicture(i), x, 142);
    }
}

// " FM operator ", in two columns.
void TFMEdit::addOperator()
{
    QGroupBox* fm = addGroup(this, QStringLiteral(" FM operator "), 8, 172, 300, 104);
    number(fm, QStringLiteral("Detune: "), 8, 20, 86, 2, tfDetune, udDetune, row(&OperatorBlock::detune),
           QStringLiteral("Detunes the element"));
    number(fm, QStringLiteral("Waveform: "), 8, 46, 86, 1, tfFMWaveform, udFMWaveform,
           row(&OperatorBlock::fmWaveform),
           QStringLiteral("Selects the operator waveform, 0 being a pure sine wave"));
    number(fm, QStringLiteral("Harmonic: "), 8, 72, 86, 2, tfFMFrequency, udFMFrequency,
           row(&OperatorBlock::fmFrequency),
           QStringLiteral("Sets the harmonic frequency of the selected operator"));
    // The carrier's level is the element's: the bar follows it.
    TFieldRow level = row(&OperatorBlock::level);
    level.after = [this] {
        if (editCarrier)
            fields->refreshControl(sbLevel);
    };
    number(fm, QStringLiteral("Level: "), 138, 20, 242, 3, tfOperatorLevel, udOperatorLevel, level,
           QString());
    tfOperatorLevel->setToolTip(
        QStringLiteral("Sets the level of the selected operator (carrier level affects "
                       "volume, modulator level affects timbre)"));
    udOperatorLevel->setToolTip(tfOperatorLevel->toolTip());
    number(fm, QStringLiteral("Temperament: "), 138, 46, 242, 1, tfTemperament, udTemperament,
           row(&OperatorBlock::temperament), QStringLiteral("Sets the element's keyboard pitch scaling"));
    cbFixedFrequency =
        check(fm, QStringLiteral("Fixed frequency:  "), 138, 74, row(&OperatorBlock::fixedFrequency));
    cbFixedFrequency->setToolTip(QStringLiteral("Sets if selected operator pitch tracks the keyboard"));
}

// " Low Frequency Oscillator "
void TFMEdit::addLFO()
{
    QGroupBox* lfo = addGroup(this, QStringLiteral(" Low Frequency Oscillator "), 314, 4, 214, 256);
    const int lfoTop = 22, lfoLength = 122;
    tbLFOWaveform = fmSlider(lfo, Qt::Vertical, QRect(8, lfoTop, 22, lfoLength),
                             row(&VoiceElement::lfoWaveform), QStringLiteral("Selects the LFO waveform"));
    for (int i = 0; i < 5; ++i)
        addPicture(lfo, lfoWavePicture(i), 32,
                   lfoTop + tbLFOWaveform->handleCentre(i) - lfoPictureHeight / 2);
    const int lfoLabel = 60, lfoBox = 136;
    number(lfo, QStringLiteral("Speed: "), lfoLabel, 20, lfoBox, 2, tfLFOSpeed, udLFOSpeed,
           row(&VoiceElement::lfoSpeed), QStringLiteral("Sets the LFO Speed"));
    // The box takes every delay the synthesiser knows; the spinner stops at 127.
    number(lfo, QStringLiteral("Delay: "), lfoLabel, 46, lfoBox, 3, tfLFODelay, udLFODelay,
           row(&VoiceElement::lfoDelay), QStringLiteral("Sets the time before the LFO comes in"), 127);
    number(lfo, QStringLiteral("Rate: "), lfoLabel, 72, lfoBox, 3, tfLFORate, udLFORate,
           row(&VoiceElement::lfoRate), QStringLiteral("Sets the rate at which the LFO fades in"));
    number(lfo, QStringLiteral("PM depth: "), lfoLabel, 98, lfoBox, 2, tfLFOPMDepth, udLFOPMDepth,
           row(&VoiceElement::lfoPMDepth), QStringLiteral("Sets the amount of vibrato"));
    number(lfo, QStringLiteral("AM depth: "), lfoLabel, 124, lfoBox, 2, tfLFOAMDepth, udLFOAMDepth,
           row(&VoiceElement::lfoAMDepth), QStringLiteral("Sets the amount of tremolo"));
    cbCarrierAM = check(lfo, QStringLiteral("Assign AM to carrier:"), 8, 156, row(&VoiceElement::carrierAM));
    cbModulatorAM =
        check(lfo, QStringLiteral("Assign AM to modulator:"), 8, 180, row(&VoiceElement::modulatorAM));
    cbCarrierPM = check(lfo, QStringLiteral("Assign PM to carrier:"), 8, 204, row(&VoiceElement::carrierPM));
    cbModulatorPM =
        check(lfo, QStringLiteral("Assign PM to modulator:"), 8, 228, row(&VoiceElement::modulatorPM));
}

void TFMEdit::addOptions()
{
    QGroupBox* options = addGroup(this, QStringLiteral(" Options "), 534, 108, 147, 100);
    addLabel(options, QStringLiteral("Select element"), 8, 17);
    cbElement = new TPickList({QStringLiteral("Element B"), QStringLiteral("Element D")}, options);
    cbElement->setGeometry(8, 32, 131, 22);
    cbElement->setToolTip(QStringLiteral("Selects element B or D for editing"));
    addLabel(options, QStringLiteral("Select FM operator"), 8, 57);
    cbOperator = new TPickList({QStringLiteral("Carrier"), QStringLiteral("Modulator")}, options);
    cbOperator->setGeometry(8, 72, 131, 22);
    cbOperator->setToolTip(QStringLiteral("Select FM operator to edit (carrier or modulator)"));
    cbOperator->setAccessibleName(QStringLiteral("Operator shown"));
}

// " Envelope "
void TFMEdit::addEnvelope()
{
    QGroupBox* env = addGroup(this, QStringLiteral(" Envelope "), 8, 282, 673, 183);
    // The two scaling sliders, 0 at the top, each position with its small picture.
    const int scaleTop = 20, scaleLength = 136;
    tbLevelScaling = fmSlider(env, Qt::Vertical, QRect(24, scaleTop, 22, scaleLength),
                              row(&OperatorBlock::levelScaling, Role::EnvelopeScaling),
                              QStringLiteral("Sets the envelope level scaling to pitch"));
    tbRateScaling = fmSlider(env, Qt::Vertical, QRect(64, scaleTop, 22, scaleLength),
                             row(&OperatorBlock::rateScaling, Role::EnvelopeScaling),
                             QStringLiteral("Sets the envelope rate scaling to pitch"));
    for (int i = 0; i < 16; ++i)
        addPicture(env, levelScalingPicture(i), 6,
                   scaleTop + tbLevelScaling->handleCentre(i) - scalingPictureHeight / 2);
    for (int i = 0; i < 8; ++i)
        addPicture(env, rateScalingPicture(i), 88,
                   scaleTop + tbRateScaling->handleCentre(i) - scalingPictureHeight / 2);
    auto* scaling = new QLabel(QStringLiteral("S\nc\na\nl\ni\nn\ng"), env);
    scaling->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    scaling->setGeometry(46, scaleTop, 18, scaleLength);
    addLabel(env, QStringLiteral("  Level"), 2, scaleTop + scaleLength + 3);
    addLabel(env, QStringLiteral("Rate  "), 62, scaleTop + scaleLength + 3);

    QGroupBox* levels = addGroup(env, QStringLiteral(" Levels "), 108, 16, 132, 122);
    QGroupBox* rates = addGroup(env, QStringLiteral(" Rates "), 244, 16, 124, 122);
    envelopeBoxes(levels, rates, 8, 74, 18, 24, true);

    addLabel(env, QStringLiteral("Type: "), 108, 153);
    cbEnvType = new TPickList(envelopeTypeNames(), env);
    cbEnvType->setGeometry(148, 150, 84, 22);

    cbEnvelopeDelay = check(env, QStringLiteral(" Delay: "), 238, 151, TFieldRow());
    cbEnvelopeDelay->setToolTip(QStringLiteral("Selects whether the start of the attack is delayed"));
    number(env, QString(), 0, 150, 314, 3, tfEnvelopeDelay, udEnvelopeDelay,
           row(&Voice::envelopeDelay, Role::Delay), QString());

    envWindow = new TEnvelopePicture(287, 135, 4, 131, env);
    envWindow->move(378, 26);
}

bool TFMEdit::applyWaveformEnvelope()
{
    applyEnvelopeRow(currentElement->carrier, fmWaveEnvelopes[currentElement->waveform]);
    return true;
}

void TFMEdit::cbWaveformChange(int index)
{
    if (index < 0 || index >= fmWaveCount)
        return;
    VoiceElement& e = *currentElement;
    e.waveform = static_cast<uint8_t>(index);
    applyFMWaveSetup(e, fmWaveSetups[static_cast<size_t>(index)]);
    const bool preset = e.envelopeType == 1;
    if (preset) {
        applyWaveformEnvelope();
        updatePeakStage(e.carrier);
    }
    refreshFromVoice();
    updatePeakStage(currentElement->modulator);
    if (preset) {
        currentElement->envelopeType = 1;
        cbEnvType->select(1);
    }
    reportEdit(cbWaveform);
}

QString TFMEdit::operatorWord(const QWidget* control) const
{
    // The element's level bar is the carrier's; the operator's own box is either.
    if (control != tfOperatorLevel)
        return QString();
    return editCarrier ? QStringLiteral("carrier ") : QStringLiteral("modulator ");
}
