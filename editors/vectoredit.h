// SPDX-License-Identifier: GPL-3.0-or-later
// The level and detune vectors: 50 steps of AB and CD balance, repeats and speed.
// Caption "Tarvik - Vectors".
#pragma once

#include <cstdint>

#include <QList>
#include <QStringList>

#include "editors/editorwindow.h"
#include "voice/voice.h"

class QLayout;
class TPickList;
class TSlider;
class TVectorPathView;

class TVectorEdit : public TEditorWindow {
    Q_OBJECT
public:
    explicit TVectorEdit(TEditCommands& commands, QWidget* parent = nullptr);

    // Shows the sliders of every step up to the first "End"; hides a step marked
    // "Repeat" and every step after it or after the first "End".
    void updateStepVisibility();

    int currentStep = 0;
    bool editLevel = true;
    VectorTable* currentVector = &voice.levelVector;
    uint8_t* currentSpeed = &voice.levelVectorSpeed;

    // The lists' entries.
    static QStringList positionNames(QChar first, QChar second);
    static QStringList repeatNames();
    static QStringList speedNames();

protected:
    void showVoice() override;

private:
    TPickList* cbStepNumber;
    TPickList* cbABPosition;
    TPickList* cbCDPosition;
    TPickList* cbRepeats;
    TPickList* cbVectorSpeed;
    TPickList* cbVectorSelect;

    // Entries 0-49: the AB sliders abStep1..abStep50 of steps 1-50;
    // entries 50-99: the CD sliders cdStep1..cdStep50.
    QList<TSlider*> sliders;
    // The shown vector's path, beside its steps.
    TVectorPathView* pathView;

    // The window's parts: the two rows of step sliders, the lists, their places, and
    // the fields they show.
    QLayout* addSliders();
    void addLists();
    void layOut(QLayout* sliderArea);
    void bindFields();
    void showStep(int step);
};
