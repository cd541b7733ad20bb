#include "editors/vectoredit.h"

TVectorEdit* VectorEdit = nullptr;

TVectorEdit::TVectorEdit(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Tarvik - Vectors"));
    refreshFromVoice();
}

void TVectorEdit::refreshFromVoice()
{
    ready = false;
    ready = true;
}
