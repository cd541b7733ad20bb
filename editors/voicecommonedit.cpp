#include "editors/voicecommonedit.h"

TVoiceCommonEdit* VoiceCommonEdit = nullptr;

TVoiceCommonEdit::TVoiceCommonEdit(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Tarvik - Voice common"));
}

void TVoiceCommonEdit::refreshFromVoice()
{
    ready = false;
    ready = true;
}
