// SPDX-License-Identifier: GPL-3.0-or-later
// The voice being edited and its undo history. The editors change the voice in place
// and report each accepted change here; whatever replaces the whole voice (a load, a
// fetch, undo, compare, a command) goes through here too. Whoever shows or sends the
// voice listens: "voice replaced" and "field changed".
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "document/voicehistory.h"
#include "voice/voice.h"

class TVoiceDocument : public QObject {
    Q_OBJECT
public:
    // How a replaced voice reaches the synthesiser: not at all (it came from there),
    // when auto-send is on (undo, redo, a command), or always (a load, compare).
    enum class Send { never, ifAutoSend, always };

    // Zeros and the name "12345678"; undo starts from it.
    TVoiceDocument();

    Voice voice;
    TVoiceHistory history;

    // An editor has just changed voice in place; source names the control. held: the
    // action goes on (a drag, typing) and becomes an undo step at finishEdit.
    void fieldEdited(QObject* source, bool held);
    // The user's action is over: a pending change becomes an undo step.
    void finishEdit();

    // The whole voice replaced by v, as one undo step named stepName ("Load voice",
    // "Get voice"), and the voice compare now goes back to.
    void replace(const Voice& v, const std::string& stepName, Send send);
    // A voice dump (592 bytes, as a file, the library, a bank or the synthesiser holds
    // it) becomes the voice being edited, so: load, fetch and the bank alike. False
    // (nothing changes) without a dump.
    bool loadDump(const uint8_t* dump, const std::string& stepName, Send send);
    // Undo, redo: false (and nothing told) when there was nothing to undo or redo.
    bool undo();
    bool redo();
    // Switches between the voice being edited and the one last loaded or saved.
    void toggleCompare();
    // A command over the whole voice (copy, swap, mutate) as one undo step; a command
    // while comparing works on the voice shown. False when it changed nothing.
    bool runCommand(const std::string& name, const std::function<void(Voice&)>& change);
    // The voice was saved: compare now goes back to it.
    void saved();
    // Forgets every step: the voice as it is now is the one loaded.
    void resetHistory();
    // The editors show the voice again (after a change made around the document); no
    // undo step, nothing sent.
    void reshow();

signals:
    void voiceReplaced(TVoiceDocument::Send send);
    void fieldChanged(QObject* source);
    // Undo, redo or compare offer something else now.
    void historyChanged();
};
