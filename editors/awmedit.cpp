#include "editors/awmedit.h"

TAWMEdit* AWMEdit = nullptr;

TAWMEdit::TAWMEdit(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Tarvik . . . AWM Edit"));
    setFixedSize(688, 432);
    refreshFromVoice();
}

void TAWMEdit::refreshFromVoice()
{
    ready = false;
    drawEnvelope();
    ready = true;
}

void TAWMEdit::refreshDelayTime() {}

void TAWMEdit::drawEnvelope() {}
