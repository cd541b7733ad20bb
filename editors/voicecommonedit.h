// The voice-wide parameters: name, configuration, effect, controllers and the global
// envelope adjustments. Caption "Tarvik - Voice common".
#pragma once

#include <QWidget>

class TVoiceCommonEdit : public QWidget {
    Q_OBJECT
public:
    explicit TVoiceCommonEdit(QWidget* parent = nullptr);

    void refreshFromVoice();

    bool ready = false;
};

extern TVoiceCommonEdit* VoiceCommonEdit;
