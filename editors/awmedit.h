// SPDX-License-Identifier: GPL-3.0-or-later
// Elements A and C (AWM): one element at a time, every parameter, with the envelope
// picture. Title "Tarvik . . . AWM Edit".
#pragma once

#include "editors/elementedit.h"

class TAWMEdit : public TElementEdit {
    Q_OBJECT
public:
    explicit TAWMEdit(TEditCommands& commands, QWidget* parent = nullptr);

    bool& editElementA = firstElement;

protected:
    void showVoice() override;
    bool applyWaveformEnvelope() override;

private:
    TPickList* cbModel;
    QCheckBox *cbModulatorAM = nullptr, *cbModulatorPM = nullptr;   // "AM on", "PM on"
    // The window's groups, each placed by pixels.
    void addTone();
    void addLFO();
    void addEnvelope();
    void addOptions();
    void changeWaveform(int index);
    int modelShown = -1;   // the model whose names cbWaveform holds
};
