// SPDX-License-Identifier: GPL-3.0-or-later
// Undo, redo and compare over the whole voice record, free of Qt.
//
// The steps are those of every document's history (snapshothistory.h), over the
// whole voice. Loads of a whole voice are steps of their own (`loaded`), and set the
// voice that compare switches to: the voice as last loaded, fetched or saved.
#pragma once

#include <cstddef>
#include <string>

#include "document/snapshothistory.h"
#include "voice/voice.h"

// The same voice, field for field (the padding between fields plays no part).
bool sameVoice(const Voice& a, const Voice& b);

// A readable name for the first field in which two voices differ ("Pitch",
// "LFO speed"), or "" when they are the same.
std::string changeName(const Voice& before, const Voice& after);

class TVoiceHistory : private TSnapshotHistory<Voice> {
    using Base = TSnapshotHistory<Voice>;

public:
    // More than enough for a long session; each step is two voices (under 2 KB).
    static constexpr size_t stepLimit = 2000;

    TVoiceHistory();

    // Forgets every step: v is the voice as loaded, the one compare switches to.
    void reset(const Voice& v);

    // A user's change has just been made to v by source (any token naming the
    // control; nullptr for none). A change from another source than the pending one
    // closes the pending action first, at the voice its last change left.
    void changed(const void* source, const Voice& v);
    // The user's action is over: a pending change becomes a step.
    using Base::finish;
    using Base::pending;

    // A command that changed the whole voice at once (copy, swap, mutate): one step
    // named name. False when v did not change.
    bool commit(const std::string& name, const Voice& v);
    // A voice was loaded, fetched or received into v: one step (unless nothing
    // changed), and the voice that compare now switches to.
    void loaded(const std::string& name, const Voice& v);
    // v was saved: compare now switches to it.
    void saved(const Voice& v);

    // What undo or redo would undo or redo: "Pitch", "Load voice"; "" when nothing.
    using Base::canRedo;
    using Base::canUndo;
    using Base::redoCount;
    using Base::redoName;
    using Base::undoCount;
    using Base::undoName;

    // Puts the voice before the last step (after the last undone step) into v. A
    // pending change is made a step first; a comparison ends. False when there was
    // nothing to undo (redo) and v is unchanged.
    bool undo(Voice& v);
    bool redo(Voice& v);

    // Switches v between the voice being edited and the voice last loaded or saved.
    // The first change while comparing ends the comparison: it starts from the voice
    // shown, and undo can still go back to the edited voice.
    void toggleCompare(Voice& v);
    bool comparing() const { return isComparing; }
    // The voice being edited (v, or the one compare put aside) differs from the one
    // last loaded, fetched or saved.
    bool changedSinceLoaded(const Voice& v) const
    {
        return !sameVoice(isComparing ? known : v, referenceVoice);
    }
    const Voice& reference() const { return referenceVoice; }

    // Called after anything that may change what undo, redo or compare offer.
    using Base::onChange;

private:
    // An edit made while comparing is named after what it changed in the voice shown.
    const Voice& namedFrom(const Voice& before) const override
    {
        return editFromCompare ? referenceVoice : before;
    }
    void stepStored() override { editFromCompare = false; }
    void endComparison();
    bool leaveComparison(Voice& v);

    Voice referenceVoice{};
    bool isComparing = false;
    // The pending action began while comparing: the voice shown then was the
    // reference, the step still starts from the voice being edited.
    bool editFromCompare = false;
};
