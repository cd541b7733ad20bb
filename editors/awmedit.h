// Elements A and C (AWM): one element at a time, every parameter, with the envelope
// picture. Title "Tarvik . . . AWM Edit".
#pragma once

#include <QWidget>

class TAWMEdit : public QWidget {
    Q_OBJECT
public:
    explicit TAWMEdit(QWidget* parent = nullptr);

    void refreshFromVoice();
    void refreshDelayTime();
    void drawEnvelope();

    bool editElementA = true;
    bool ready = false;
};

extern TAWMEdit* AWMEdit;
