// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo over whole snapshots of a document (a voice, a bank of voices and
// multis), free of Qt. A step is the document before and after one user action; the
// editors report each accepted change (`changed`) and the end of the action
// (`finish`), so that a slider drag or typing in a box stays one step until the
// slider is released or the box is left; commands over the whole document are steps
// of their own (`commit`). Steps are named by whoever owns the history: from what
// differs between the two snapshots, or by the command.
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
    virtual ~TSnapshotHistory() = default;

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
    // control; nullptr for none). A change from another source than the pending one
    // closes the pending action first, at the state its last change left.
    void changed(const void* source, const State& s)
    {
        if (source != pendingSource && pendingStep()) {
            push(known, lastChange, stepName(lastChange));
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
            push(known, s, stepName(s));
            known = s;
        }
        notify();
    }
    bool pending() const { return isPending; }

    // A command that changed the document at once: one step named name. False when
    // s did not change.
    bool commit(const std::string& name, const State& s)
    {
        finishPending();
        if (sameState(known, s)) {
            notify();
            return false;
        }
        push(known, s, name);
        known = s;
        notify();
        return true;
    }

    bool canUndo() const { return !undoSteps.empty() || pendingStep(); }
    bool canRedo() const { return !redoSteps.empty() && !pendingStep(); }
    // What undo or redo would undo or redo; "" when nothing.
    std::string undoName() const
    {
        if (pendingStep())
            return stepName(lastChange);
        return undoSteps.empty() ? std::string() : undoSteps.back().name;
    }
    std::string redoName() const
    {
        if (pendingStep())
            return std::string();
        return redoSteps.empty() ? std::string() : redoSteps.back().name;
    }
    size_t undoCount() const { return undoSteps.size(); }
    size_t redoCount() const { return redoSteps.size(); }

    // Puts the document before the last step (after the last undone one) into s. A
    // pending change becomes a step first. False when there was nothing to undo
    // (redo) and s is unchanged.
    bool undo(State& s) { return replay(s, undoSteps, redoSteps, &Step::before); }
    bool redo(State& s) { return replay(s, redoSteps, undoSteps, &Step::after); }

    // Called after anything that may change what undo and redo offer.
    std::function<void()> onChange;

protected:
    // The pending action, if any, becomes a step at the state its last change left.
    void finishPending()
    {
        if (isPending)
            finish(lastChange);
    }
    void notify()
    {
        if (onChange)
            onChange();
    }

    // The document as the last step (or reset) left it.
    State known{};

private:
    struct Step {
        State before;
        State after;
        std::string name;
    };

    // The state a new step ending at after is named from: where the step starts,
    // unless the owner shows another one.
    virtual const State& namedFrom(const State& before) const { return before; }
    // A new step has been stored.
    virtual void stepStored() {}

    // A pending action that would make a step if it ended now.
    bool pendingStep() const { return isPending && !sameState(known, lastChange); }
    std::string stepName(const State& after) const { return nameOf(namedFrom(known), after); }

    void push(const State& before, const State& after, std::string name)
    {
        undoSteps.push_back({before, after, std::move(name)});
        while (undoSteps.size() > limit)
            undoSteps.pop_front();
        redoSteps.clear();
        stepStored();
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
    // The state as the last reported change left it, and who made it.
    State lastChange{};
    const void* pendingSource = nullptr;
    bool isPending = false;
};
