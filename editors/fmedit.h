// SPDX-License-Identifier: GPL-3.0-or-later
// Elements B and D (FM, carrier and modulator): one element and one operator at a
// time, with both operators' envelopes in one picture. Title "Tarvik . . . FM Edit".
#pragma once

#include "editors/elementedit.h"

class TFMEdit : public TElementEdit {
    Q_OBJECT
public:
    explicit TFMEdit(TEditCommands& commands, QWidget* parent = nullptr);

    bool& editElementB = firstElement;

protected:
    // The "Preset" carrier envelope of the element's waveform; refreshes nothing.
    bool applyWaveformEnvelope() override;
    QString operatorWord(const QWidget* control) const override;

private:
    TPickList* cbOperator = nullptr;
    TNumberBox *tfFeedback = nullptr, *tfFMWaveform = nullptr, *tfFMFrequency = nullptr,
               *tfOperatorLevel = nullptr;
    TUpDown *udFeedback = nullptr, *udFMWaveform = nullptr, *udFMFrequency = nullptr,
            *udOperatorLevel = nullptr;
    QCheckBox *cbFixedFrequency = nullptr, *cbCarrierAM = nullptr, *cbModulatorAM = nullptr,
              *cbCarrierPM = nullptr, *cbModulatorPM = nullptr;
    // The window's groups, each placed by pixels.
    void addTone();
    void addOperator();
    void addLFO();
    void addOptions();
    void addEnvelope();
    // A shared slider with the FM editor's ticks.
    TSlider* fmSlider(QWidget* parent, Qt::Orientation o, const QRect& at, TFieldRow fieldRow,
                      const QString& tip);
    void cbWaveformChange(int index);
};
