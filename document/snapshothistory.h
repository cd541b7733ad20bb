// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo over whole snapshots of a document (a bank of voices and multis),
// free of Qt. The rules are those of the voice's history: a step is the document
// before and after one user action; the editors report each accepted change
// (`changed`) and the end of the action (`finish`), so that typing in a box stays one
// step until the box is left; commands over the whole document are steps of their
// own (`commit`). Steps are named by whoever owns the history: from what differs
// between the two snapshots, or by the command.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <utility>

template <class State> class TSnapshotHistory {
public:
    using Same = std::function<bool(const State&, const State&)>;
    using Namer = std::function<std::string(const State& before, const State& after)>;

    TSnapshotHistory(size_t stepLimit, Same same, Namer namer)
        : limit(stepLimit), sameState(std::move(same)), nameOf(std::move(namer))
    {
    }

    // Forgets every step; s is the document as it stands.
    void reset(const State& s)
    {
        undoSteps.clear();
        redoSteps.clear();
        known = s;
        lastChange = s;
        isPending = false;
        pendingSource = nullptr;
        notify();
    }

    // The user's change has just been made to s by source (a token naming the
    // control). A change from another source closes the pending action first.
    void changed(const void* source, const State& s)
    {
        if (isPending && source != pendingSource && !sameState(known, lastChange)) {
            push(known, lastChange, nameOf(known, lastChange));
            known = lastChange;
        }
        const bool wasPending = isPending;
        isPending = true;
        pendingSource = source;
        lastChange = s;
        if (!wasPending)
            notify();
    }

    // The user's action is over: a pending change becomes a step.
    void finish(const State& s)
    {
        if (!isPending)
            return;
        isPending = false;
        pendingSource = nullptr;
        if (!sameState(known, s)) {
            push(known, s, nameOf(known, s));
            known = s;
        }
        notify();
    }
    bool pending() const { return isPending; }

    // A command that changed the document at once: one step named name. False when
    // s did not change.
    bool commit(const std::string& name, const State& s)
    {
        if (isPending)
            finish(lastChange);
        if (sameState(known, s)) {
            notify();
            return false;
        }
        push(known, s, name);
        known = s;
        notify();
        return true;
    }

    bool canUndo() const { return !undoSteps.empty() || (isPending && !sameState(known, lastChange)); }
    bool canRedo() const { return !redoSteps.empty() && !(isPending && !sameState(known, lastChange)); }
    std::string undoName() const
    {
        if (isPending && !sameState(known, lastChange))
            return nameOf(known, lastChange);
        return undoSteps.empty() ? std::string() : undoSteps.back().name;
    }
    std::string redoName() const
    {
        if (isPending && !sameState(known, lastChange))
            return std::string();
        return redoSteps.empty() ? std::string() : redoSteps.back().name;
    }
    size_t undoCount() const { return undoSteps.size(); }

    // Puts the document before the last step (after the last undone one) into s. A
    // pending change becomes a step first. False when there was nothing to undo
    // (redo) and s is unchanged.
    bool undo(State& s) { return replay(s, undoSteps, redoSteps, &Step::before); }
    bool redo(State& s) { return replay(s, redoSteps, undoSteps, &Step::after); }

    // Called after anything that may change what undo and redo offer.
    std::function<void()> onChange;

private:
    struct Step {
        State before;
        State after;
        std::string name;
    };

    void notify()
    {
        if (onChange)
            onChange();
    }

    void push(const State& before, const State& after, std::string name)
    {
        undoSteps.push_back({before, after, std::move(name)});
        while (undoSteps.size() > limit)
            undoSteps.pop_front();
        redoSteps.clear();
    }

    bool replay(State& s, std::deque<Step>& from, std::deque<Step>& to, State Step::*side)
    {
        finish(s);
        if (from.empty()) {
            notify();
            return false;
        }
        Step step = std::move(from.back());
        from.pop_back();
        s = step.*side;
        known = s;
        lastChange = s;
        to.push_back(std::move(step));
        notify();
        return true;
    }

    size_t limit;
    Same sameState;
    Namer nameOf;
    std::deque<Step> undoSteps;
    std::deque<Step> redoSteps;
    State known{};
    State lastChange{};
    const void* pendingSource = nullptr;
    bool isPending = false;
};
