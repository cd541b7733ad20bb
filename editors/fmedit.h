// Elements B and D (FM, carrier and modulator): one element and one operator at a
// time, with both operators' envelopes in one picture. Title "Tarvik . . . FM Edit".
#pragma once

#include <QWidget>

class TFMEdit : public QWidget {
    Q_OBJECT
public:
    explicit TFMEdit(QWidget* parent = nullptr);

    void refreshFromVoice();
    void refreshDelayTime();
    void drawEnvelope();

    bool editElementB = true;
    bool editCarrier = true;
    bool ready = false;
};

extern TFMEdit* FMEdit;
