// SPDX-License-Identifier: GPL-3.0-or-later
// Elements A and C (AWM): one element at a time, every parameter, with the envelope
// picture. Title "Tarvik . . . AWM Edit".
#pragma once

#include <functional>
#include <vector>

#include <QWidget>

#include "voice/voice.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;
class TEnvelopePicture;
class TNumberBox;
class TPickList;
class TSlider;
class TUpDown;

class TAWMEdit : public QWidget {
    Q_OBJECT
public:
    explicit TAWMEdit(QWidget* parent = nullptr);

    // Rewrites every control from the voice record; sends nothing.
    void refreshFromVoice();
    // Shows the voice's delay time again (the FM editor changed it); sends nothing.
    void refreshDelayTime();
    // Repaints the envelope picture from the shown element's carrier.
    void drawEnvelope();

    bool editElementA = true;
    bool ready = false;
    // The shown element, element A or C of the voice.
    VoiceElement* currentElement = &voice.element[0];

    // Controls, named as the window's form names them.
    TPickList* cbWaveform;
    TNumberBox* tfTemperament;
    TUpDown* udTemperament;
    TNumberBox* tfDetune;
    TUpDown* udDetune;
    TNumberBox* tfPitch;
    TUpDown* udPitch;
    TSlider* tbVelResp;
    TSlider* tbATResp;
    TSlider* tbLFOWaveform;
    TNumberBox* tfLFOSpeed;
    TUpDown* udLFOSpeed;
    TNumberBox* tfLFODelay;
    TUpDown* udLFODelay;
    TNumberBox* tfLFORate;
    TUpDown* udLFORate;
    TNumberBox* tfLFOAMDepth;
    TUpDown* udLFOAMDepth;
    TNumberBox* tfLFOPMDepth;
    TUpDown* udLFOPMDepth;
    TPickList* cbEnvType;
    TSlider* tbLevelScaling;
    TSlider* tbRateScaling;
    TNumberBox* tfLevelInitial;
    TUpDown* udLevelInitial;
    TNumberBox* tfLevelAttack;
    TUpDown* udLevelAttack;
    TNumberBox* tfLevelDecay1;
    TUpDown* udLevelDecay1;
    TNumberBox* tfLevelDecay2;
    TUpDown* udLevelDecay2;
    TNumberBox* tfRateAttack;
    TUpDown* udRateAttack;
    TNumberBox* tfRateDecay1;
    TUpDown* udRateDecay1;
    TNumberBox* tfRateDecay2;
    TUpDown* udRateDecay2;
    TNumberBox* tfRateRelease;
    TUpDown* udRateRelease;
    QCheckBox* cbEnvelopeDelay;
    TNumberBox* tfEnvelopeDelay;
    TUpDown* udEnvelopeDelay;
    TEnvelopePicture* envWindow;
    QScrollBar* sbLevel;
    QScrollBar* sbPan;
    TPickList* cbElement;
    TPickList* cbModel;
    QPushButton* bGetVoice;
    QPushButton* bSendVoice;
    QPushButton* bCompare;
    QPushButton* bPlay;
    QPushButton* bElement;
    QPushButton* bClose;

    // Handlers.
    void changeElement(int index);
    void changeModel(int index);
    void changeWaveform(int index);
    void cbEnvTypeChange(int type);
    void textBoxChange(TNumberBox* sender);
    void setUserEnvType();
    void udChangeVal(TUpDown* sender, int position);
    void tbChanged(TSlider* sender, int position);
    void sbChanged(QScrollBar* sender, int position);
    void cbEnvelopeDelayClick();
    void bGetVoiceClick();
    void bSendVoiceClick();
    void hideWindow();

    // Loads the preset envelope of the element's waveform into its carrier, then
    // refreshes.
    void applyWaveformEnvelope();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A number box, its spinner, its range, and its field in shown form.
    struct NumberField {
        TNumberBox* box;
        TUpDown* ud;
        int lo, hi;
        bool envelope;   // one of the eight level and rate boxes
        bool delay;      // the voice's delay time
        std::function<int()> shown;
        std::function<void(int)> store;
    };
    std::vector<NumberField> numberFields;
    NumberField* fieldOf(const QObject* control);

    void addNumber(QWidget* parent, const QString& caption, int x, int y, int boxX,
                   TNumberBox*& box, TUpDown*& ud, int width, int lo, int hi,
                   const QString& tip, bool envelope, bool delay,
                   std::function<int()> shown, std::function<void(int)> store);
    void sendIfReady();

    int modelShown = -1;   // the model whose names cbWaveform holds
};

extern TAWMEdit* AWMEdit;
