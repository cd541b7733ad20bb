// SPDX-License-Identifier: GPL-3.0-or-later
// The voice-wide parameters: name, configuration, effect, controllers and the global
// envelope adjustments. Caption "Tarvik - Voice common".
#pragma once

#include "editors/editorwindow.h"

class QCheckBox;
class TNameBox;
class TNumberBox;
class TPickList;
class TUpDown;

class TVoiceCommonEdit : public TEditorWindow {
    Q_OBJECT
public:
    explicit TVoiceCommonEdit(TEditCommands& commands, QWidget* parent = nullptr);

protected:
    void showVoice() override;

private:
    // Controls, named as the window's form names them.
    TNameBox* tfVoiceName;
    TPickList* cbVoiceConfig;
    TPickList* cbFXType;
    TNumberBox* tfFXDepth;
    TUpDown* udFXDepth;
    TNumberBox* tfBendRange;
    TUpDown* udBendRange;
    QCheckBox* cbAftertouchAM;
    QCheckBox* cbAftertouchPM;
    QCheckBox* cbAftertouchLevel;
    TNumberBox* tfAftertouchPitch;
    TUpDown* udAftertouchPitch;
    QCheckBox* cbModWheelAM;
    QCheckBox* cbModWheelPM;
    TNumberBox* tfAttack;
    TUpDown* udAttack;
    TNumberBox* tfRelease;
    TUpDown* udRelease;

    // The controls, bound to their fields, and their places.
    void addControls();
    void layOut();
    void tfVoiceNameChange();
};
