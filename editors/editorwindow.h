// SPDX-License-Identifier: GPL-3.0-or-later
// What every voice editor window shares: its frame (a fixed tool window in the
// editors' colours), the Get voice / Send voice / Compare / Play / Close buttons, the
// one binder that ties its controls to the voice's field table, and where an accepted
// change goes: the voice document, where it becomes an undo step and, with auto-send
// on, goes to the synthesiser.
#pragma once

#include <functional>
#include <string>

#include <QWidget>

#include "editors/fieldbinder.h"
#include "voice/voicefields.h"

class QPushButton;
class TEditCommands;
class TVoiceDocument;

class TEditorWindow : public QWidget, private TEditSink {
    Q_OBJECT
public:
    // Rewrites every control from the voice record; stores and sends nothing, so a
    // voice with values outside the window's ranges stays as it came.
    virtual void refreshFromVoice();

    void bGetVoiceClick();
    void bSendVoiceClick();

    TEditCommands& commands;
    TVoiceDocument& document;

protected:
    // The buttons, placed by each window.
    QPushButton* bGetVoice = nullptr;
    QPushButton* bSendVoice = nullptr;
    QPushButton* bCompare = nullptr;
    QPushButton* bPlay = nullptr;
    QPushButton* bElement = nullptr;   // the element editors only
    QPushButton* bClose = nullptr;

    // Shows the document's voice again whenever it is replaced.
    TEditorWindow(const QString& title, TEditCommands& commands, QWidget* parent);

    // The voice being edited (the document's).
    Voice& voice;

    // The buttons: Get voice, Send voice, Compare, Play, (Element,) Close. elementKind:
    // 0 none, 1 AWM, 2 FM (then shownElement() is the element its commands act on). In a window laid out by
    // layouts, Get voice, Send voice and Close join the window (and its focus order) when the layout takes
    // them.
    void createButtons(int elementKind, bool laidOut);
    // A change the window stored itself, made with source (the control): one undo
    // step, then the voice goes out when auto-send is on. Nothing while a refresh runs.
    void reportEdit(QObject* source);
    // Extra rewriting of refreshFromVoice, before the bound controls are shown.
    virtual void showVoice() {}
    virtual int shownElement() const { return 0; }

    void closeEvent(QCloseEvent* event) override;

    // A row over the field field() gives, looked up at each use so that it follows
    // the element shown. shown: in the field's shown form, else as stored.
    TFieldRow voiceRow(std::function<const VoiceField&()> field, bool shown = true);
    // A row over a field of the voice itself, named by its member.
    template <class T> TFieldRow voiceRow(T Voice::*member)
    {
        const VoiceField* f = &voiceField(member);
        return voiceRow([f]() -> const VoiceField& { return *f; });
    }

    TFieldBinder* fields;

private:
    void fieldEdited(QObject* control, bool held) override;
    void editOver() override;
};
