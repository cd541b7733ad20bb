// The level and detune vectors: 50 steps of AB and CD balance, repeats and speed.
// Caption "Tarvik - Vectors".
#pragma once

#include <QWidget>

class TVectorEdit : public QWidget {
    Q_OBJECT
public:
    explicit TVectorEdit(QWidget* parent = nullptr);

    void refreshFromVoice();

    int currentStep = 0;
    bool editLevel = true;
    bool ready = false;
};

extern TVectorEdit* VectorEdit;
