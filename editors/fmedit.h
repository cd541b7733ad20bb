// SPDX-License-Identifier: GPL-3.0-or-later
// Elements B and D (FM, carrier and modulator): one element and one operator at a
// time, with both operators' envelopes in one picture. Title "Tarvik . . . FM Edit".
//
// Every control writes its field of the voice record at once and, while `ready`
// and auto-send are on, sends the voice. `ready` is false while the window rewrites
// its own controls; then the controls only show the record and store nothing, so a
// voice with values outside this window's ranges stays as it came.
#pragma once

#include <functional>
#include <vector>

#include <QWidget>

#include "voice/voice.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;
class TEnvelopePicture;
class TNumberBox;
class TPickList;
class TSlider;
class TUpDown;

class TFMEdit : public QWidget {
    Q_OBJECT
public:
    explicit TFMEdit(QWidget* parent = nullptr);

    // Rewrites every control from the voice record; sends nothing.
    void refreshFromVoice();
    // Shows voice.envelopeDelay again (the AWM editor changed it) and redraws.
    void refreshDelayTime();
    // Repaints the picture: the modulator thin red, then the carrier thick dark blue.
    void drawEnvelope();

    bool editElementB = true;
    bool editCarrier = true;
    bool ready = false;

    // The shown element and operator, set by refreshFromVoice.
    VoiceElement* currentElement = nullptr;
    OperatorBlock* currentOperator = nullptr;

    // Controls, by their form names.
    TPickList* cbWaveform = nullptr;
    TPickList* cbEnvType = nullptr;
    TPickList* cbElement = nullptr;
    TPickList* cbOperator = nullptr;
    TSlider* tbVelResp = nullptr;
    TSlider* tbATResp = nullptr;
    TSlider* tbLFOWaveform = nullptr;
    TSlider* tbLevelScaling = nullptr;
    TSlider* tbRateScaling = nullptr;
    TNumberBox *tfPitch = nullptr, *tfFeedback = nullptr, *tfFMWaveform = nullptr,
               *tfFMFrequency = nullptr, *tfOperatorLevel = nullptr, *tfTemperament = nullptr,
               *tfDetune = nullptr, *tfLFOSpeed = nullptr, *tfLFODelay = nullptr,
               *tfLFORate = nullptr, *tfLFOAMDepth = nullptr, *tfLFOPMDepth = nullptr,
               *tfLevelInitial = nullptr, *tfLevelAttack = nullptr, *tfLevelDecay1 = nullptr,
               *tfLevelDecay2 = nullptr, *tfRateAttack = nullptr, *tfRateDecay1 = nullptr,
               *tfRateDecay2 = nullptr, *tfRateRelease = nullptr, *tfEnvelopeDelay = nullptr;
    TUpDown *udPitch = nullptr, *udFeedback = nullptr, *udFMWaveform = nullptr,
            *udFMFrequency = nullptr, *udOperatorLevel = nullptr, *udTemperament = nullptr,
            *udDetune = nullptr, *udLFOSpeed = nullptr, *udLFODelay = nullptr,
            *udLFORate = nullptr, *udLFOAMDepth = nullptr, *udLFOPMDepth = nullptr,
            *udLevelInitial = nullptr, *udLevelAttack = nullptr, *udLevelDecay1 = nullptr,
            *udLevelDecay2 = nullptr, *udRateAttack = nullptr, *udRateDecay1 = nullptr,
            *udRateDecay2 = nullptr, *udRateRelease = nullptr, *udEnvelopeDelay = nullptr;
    QCheckBox *cbFixedFrequency = nullptr, *cbCarrierAM = nullptr, *cbModulatorAM = nullptr,
              *cbCarrierPM = nullptr, *cbModulatorPM = nullptr, *cbEnvelopeDelay = nullptr;
    QScrollBar *sbLevel = nullptr, *sbPan = nullptr;
    TEnvelopePicture* envWindow = nullptr;
    QPushButton *bGetVoice = nullptr, *bSendVoice = nullptr, *bClose = nullptr;
    QPushButton *bCompare = nullptr, *bPlay = nullptr, *bElement = nullptr;

    // Handlers, one per control event.
    void cbElementChange(int index);
    void cbOperatorChange(int index);
    void cbWaveformChange(int index);
    void cbEnvTypeChange(int index);
    void textBoxChange(TNumberBox* box);
    void udChangedValue(TUpDown* spinner, int position);
    void tbChanged(TSlider* slider, int position);
    void sbChanged(QScrollBar* bar, int position);
    void cbFixedFrequencyClick();
    void assignLFO(QCheckBox* box);
    void cbEnvelopeDelayClick();
    void bGetVoiceClick();
    void bSendVoiceClick();
    void bCloseClick();

    // The "Preset" carrier envelope of the element's waveform; refreshes nothing.
    void applyWaveformEnvelope();

private:
    enum class Form { Plain, Inverted, Signed };
    enum class Role { Other, Envelope, OperatorLevel, EnvelopeDelay };
    struct NumberControl {
        TNumberBox* box;
        TUpDown* spinner;
        int lo, hi;  // the box's range
        Form form;
        Role role;
        std::function<uint8_t&()> field;
    };

    void buildControls();
    NumberControl* controlOf(const TNumberBox* box);
    NumberControl* controlOf(const TUpDown* spinner);
    static int shown(const NumberControl& c);
    static void store(const NumberControl& c, int value);
    void setUserEnvelopeType();
    void sendIfReady();

    std::vector<NumberControl> numbers;
};

extern TFMEdit* FMEdit;
