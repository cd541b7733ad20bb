// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/editorwindow.h"

#include <QCloseEvent>
#include <QPushButton>

#include "settings/settings.h"
#include "editors/controls.h"
#include "editors/editcommands.h"
#include "midi/midiport.h"

void sendVoiceToSynth(bool always)
{
    if ((always || settings.autoSend) && midiPort)
        midiPort->sendVoice();
}

void sendTestNote(bool on)
{
    if (midiPort)
        midiPort->sendNote(on);
}

TEditorWindow::TEditorWindow(const QString& title, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      fields(new TFieldBinder(this))
{
    setWindowTitle(title);
    setAttribute(Qt::WA_QuitOnClose, false);
    setStyleSheet(editorStyleSheet());
    fields->setGate(&ready);
    fields->edited = [this](const TFieldRow&, QObject* control, bool) { sendIfReady(control); };
}

void TEditorWindow::createButtons(int elementKind, bool laidOut)
{
    auto button = [this, laidOut](const QString& text, const char* name) {
        auto* b = new QPushButton(text, laidOut ? nullptr : this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    bGetVoice = button(QStringLiteral("Get voice"), "bGetVoice");
    bSendVoice = button(QStringLiteral("Send voice"), "bSendVoice");
    bCompare = makeCompareButton(this);
    bPlay = makePlayButton(this);
    if (elementKind)
        bElement = makeElementButton(this, elementKind == 2);
    bClose = button(QStringLiteral("Close"), "bClose");
    connect(bGetVoice, &QPushButton::clicked, this, &TEditorWindow::bGetVoiceClick);
    connect(bSendVoice, &QPushButton::clicked, this, &TEditorWindow::bSendVoiceClick);
    connect(bClose, &QPushButton::clicked, this, &QWidget::hide);
}

void TEditorWindow::refreshFromVoice()
{
    ready = false;
    showVoice();
    fields->refresh();
    ready = true;
}

void TEditorWindow::sendIfReady(QObject* source)
{
    if (!ready)
        return;
    noteVoiceEdit(source);
    sendVoiceToSynth(false);
}

void TEditorWindow::bGetVoiceClick()
{
    if (midiPort)
        midiPort->getVoice();
}

void TEditorWindow::bSendVoiceClick()
{
    sendVoiceToSynth(true);
}

void TEditorWindow::closeEvent(QCloseEvent* event)
{
    // The close box only hides the window, like "Close".
    hide();
    event->accept();
}

TFieldRow TEditorWindow::voiceRow(std::function<const VoiceField&()> field, bool shown)
{
    const VoiceField& now = field();
    TFieldRow r;
    r.caption = QString::fromStdString(now.caption);
    r.minimum = shown ? now.editMinimum : now.minimum;
    r.maximum = shown ? now.editMaximum : now.maximum;
    r.get = [field, shown] {
        const VoiceField& f = field();
        const int stored = fieldValue(voice, f);
        return shown ? shownValue(f, stored) : stored;
    };
    r.set = [field, shown](int value) {
        const VoiceField& f = field();
        setFieldValue(voice, f, shown ? storedValue(f, value) : value);
    };
    return r;
}

TFieldRow TEditorWindow::voiceRow(const std::string& path)
{
    const VoiceField* f = findVoiceField(path);
    return voiceRow([f]() -> const VoiceField& { return *f; });
}
