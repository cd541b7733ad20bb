#include "editors/fmedit.h"

TFMEdit* FMEdit = nullptr;

TFMEdit::TFMEdit(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Tarvik . . . FM Edit"));
    setFixedSize(689, 469);
    refreshFromVoice();
}

void TFMEdit::refreshFromVoice()
{
    ready = false;
    drawEnvelope();
    ready = true;
}

void TFMEdit::refreshDelayTime() {}

void TFMEdit::drawEnvelope() {}
