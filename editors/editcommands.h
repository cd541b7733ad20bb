// SPDX-License-Identifier: GPL-3.0-or-later
// What the four editors and the main window share beyond single fields: undo and
// redo, compare, the element commands, mutate, the test note, and the window rules
// that go with them (shortcuts, the space key, where a closed window reopens).
#pragma once

#include <functional>
#include <string>

#include <QObject>

#include "voice/voice.h"

class QAction;
class QPushButton;
class QTimer;
class QWidget;

// Signals the state of undo, redo and compare to whoever shows it.
class TEditCommands : public QObject {
    Q_OBJECT
public:
    TEditCommands();
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The windows whose keys and place are looked after.
    QList<QWidget*> editors;
    QTimer* noteTimer;
    bool noteSounding = false;

signals:
    void historyChanged();
};

TEditCommands* editCommands();

// An editor's accepted change, reported where the editor would send: source is the
// control that made it (the editor's sender()). The change becomes an undo step when
// the action is over: at once, or for a slider drag when it is released and for
// typing when the box is left.
void noteVoiceEdit(QObject* source);

// Hooks an editor window: Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y, space for the test note,
// the end of drags and typing, and its place when it is hidden and shown again.
void watchEditor(QWidget* editor);

// The editors' buttons, wired: "Compare" (down while the loaded voice is shown),
// "Play" (the note sounds while it is held), and for the element editors "Element"
// with the copy, swap and initialise commands.
QPushButton* makeCompareButton(QWidget* parent);
QPushButton* makePlayButton(QWidget* parent);
QPushButton* makeElementButton(QWidget* parent, bool fm);

// Undo, redo and compare. Each refreshes every editor; undo and redo send when
// auto-send is on, each switch of compare always sends.
void undoVoiceEdit();
void redoVoiceEdit();
void compareVoice();
// A command over the whole voice as one undo step, then refresh and (auto-)send.
void runVoiceCommand(const std::string& name, const std::function<void(Voice&)>& change);
// "Mutate voice...": asks for the strength and what may change, then mutates.
void mutateVoiceDialog(QWidget* parent);

// The four editors reload from the voice: FM, AWM, voice common, vector.
void refreshAllEditors();

// The test note: middle C at velocity 100 on the settings' channel. Off after 2 s at
// most.
void playNote(bool on);
constexpr int testNoteKey = 60;
constexpr int testNoteVelocity = 100;
constexpr int testNoteMaxMs = 2000;

// "Undo Pitch" style captions for menus; the access key stays on the first word.
QString undoCaption();
QString redoCaption();
