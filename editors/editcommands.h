// SPDX-License-Identifier: GPL-3.0-or-later
// What the four editors and the main window share beyond single fields: undo and
// redo, compare, the element commands, mutate, the test note, and the window rules
// that go with them (shortcuts, the space key, where a closed window reopens).
#pragma once

#include <functional>
#include <string>

#include <QHash>
#include <QKeySequence>
#include <QObject>
#include <QPoint>

#include "voice/voice.h"

class QAction;
class QPushButton;
class QTimer;
class QWidget;

class TAutoSender;
class TSettings;
class TVoiceDocument;

// One for the editors and the main window, made by their owner: the document they
// edit, the sender that follows it, and the commands they share.
class TEditCommands : public QObject {
    Q_OBJECT
public:
    // getVoice: "Get voice" from any editor; starts the owner's fetch, false when it
    // did not start (no transport, or a fetch is under way).
    TEditCommands(TVoiceDocument& document, TAutoSender& sender, TSettings& settings,
                  std::function<bool()> getVoice = {});
    ~TEditCommands() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    TVoiceDocument& document;
    TAutoSender& sender;
    TSettings& settings;
    std::function<bool()> getVoice;
    // The run's windows from any editor (a right click on the editor; the Explore
    // window also by exploreKey): Explore, "Store voice in synth..." and "Compare
    // with...". Unset: the entries do nothing.
    std::function<void()> openExplore;
    std::function<void()> storeVoice;
    std::function<void()> compareWith;
    static QKeySequence exploreKey();
    // Asked before "Send voice" sends: false when the synthesiser cannot be reached
    // (the owner told the user). Unset: always sent.
    std::function<bool()> maySend;

    // Hooks an editor window: Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y, space for the test
    // note, the end of drags and typing, its place when it is hidden and shown again,
    // and the run's windows in its context menu (Explore, Store, Compare with).
    void watchEditor(QWidget* editor);

    // The editors' buttons, wired: "Compare" (down while the loaded voice is shown),
    // "Play" (the note sounds while it is held), and for the element editors "Element"
    // with the copy, swap and initialise commands; shownElement gives the element the
    // FM envelope commands act on.
    QPushButton* makeCompareButton(QWidget* parent);
    QPushButton* makePlayButton(QWidget* parent);
    QPushButton* makeElementButton(QWidget* parent, bool fm, std::function<int()> shownElement);

    // Undo, redo and compare. Every editor shows the result; undo and redo send when
    // auto-send is on, each switch of compare always sends.
    void undo();
    void redo();
    void compare();
    // A command over the whole voice as one undo step, then shown and (auto-)sent.
    void runVoiceCommand(const std::string& name, const std::function<void(Voice&)>& change);
    // "Mutate voice...": asks for the strength and what may change, then mutates.
    void mutateVoiceDialog(QWidget* parent);

    // The test note: middle C at velocity 100 on the settings' channel. Off after 2 s
    // at most. noteSounds: it is on now.
    void playNote(bool on);
    bool noteSounds() const { return noteSounding; }

    // "Undo Pitch" style captions for menus; the access key stays on the first word.
    QString undoCaption() const;
    QString redoCaption() const;

signals:
    void historyChanged();

private:
    void addEditorEntries(QWidget* editor);
    // The windows whose keys and place are looked after, and where each stood when it
    // was last hidden.
    QList<QWidget*> editors;
    QHash<QWidget*, QPoint> places;
    QTimer* noteTimer;
    bool noteSounding = false;
    // What "Mutate voice..." asked last.
    int mutateStrength = 20;
    bool mutateName = false;
    bool mutateSteps = false;
};

constexpr int testNoteKey = 60;
constexpr int testNoteVelocity = 100;
constexpr int testNoteMaxMs = 2000;
