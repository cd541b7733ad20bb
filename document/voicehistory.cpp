// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/voicehistory.h"

#include <cstring>

#include "voice/voicefields.h"

bool sameVoice(const Voice& a, const Voice& b)
{
    for (const VoiceField& f : voiceFields()) {
        if (f.type == FieldType::Name) {
            if (std::memcmp(a.name, b.name, voiceNameLength) != 0)
                return false;
        } else if (fieldValue(a, f) != fieldValue(b, f)) {
            return false;
        }
    }
    return true;
}

namespace {

bool endsWith(const std::string& s, const char* tail)
{
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

}   // namespace

std::string changeName(const Voice& before, const Voice& after)
{
    // The peak stage follows the levels, and an envelope turned "User" follows the
    // user's change of one of its values: neither names the change unless it is all.
    const VoiceField* consequence = nullptr;
    for (const VoiceField& f : voiceFields()) {
        const bool differs = f.type == FieldType::Name
                                 ? std::memcmp(before.name, after.name, voiceNameLength) != 0
                                 : fieldValue(before, f) != fieldValue(after, f);
        if (!differs)
            continue;
        if (endsWith(f.path, "peakStage") ||
            (endsWith(f.path, "envelopeType") && fieldValue(after, f) == 0)) {
            if (!consequence)
                consequence = &f;
            continue;
        }
        return f.caption;
    }
    return consequence ? consequence->caption : std::string();
}

void TVoiceHistory::reset(const Voice& v)
{
    undoSteps.clear();
    redoSteps.clear();
    known = v;
    referenceVoice = v;
    lastChange = v;
    isPending = false;
    isComparing = false;
    editFromCompare = false;
    pendingSource = nullptr;
    notify();
}

void TVoiceHistory::notify()
{
    if (onChange)
        onChange();
}

void TVoiceHistory::push(const Voice& before, const Voice& after, std::string name)
{
    editFromCompare = false;
    undoSteps.push_back({before, after, std::move(name)});
    while (undoSteps.size() > stepLimit)
        undoSteps.pop_front();
    redoSteps.clear();
}

void TVoiceHistory::endComparison()
{
    // The edit starts from the voice shown, and is one step from the voice that was
    // being edited: one undo gives that voice back.
    isComparing = false;
    editFromCompare = true;
}

std::string TVoiceHistory::stepName(const Voice& v) const
{
    // An edit made while comparing is named after what it changed in the voice shown.
    return changeName(editFromCompare ? referenceVoice : known, v);
}

void TVoiceHistory::changed(const void* source, const Voice& v)
{
    if (isComparing)
        endComparison();
    if (isPending && source != pendingSource && !sameVoice(known, lastChange)) {
        push(known, lastChange, stepName(lastChange));
        known = lastChange;
    }
    const bool wasPending = isPending;
    isPending = true;
    pendingSource = source;
    lastChange = v;
    if (!wasPending)
        notify();
}

void TVoiceHistory::finish(const Voice& v)
{
    if (!isPending)
        return;
    isPending = false;
    pendingSource = nullptr;
    if (!sameVoice(known, v)) {
        push(known, v, stepName(v));
        known = v;
    }
    notify();
}

bool TVoiceHistory::commit(const std::string& name, const Voice& v)
{
    if (isPending)
        finish(lastChange);
    if (isComparing)
        endComparison();
    if (sameVoice(known, v)) {
        notify();
        return false;
    }
    push(known, v, name);
    known = v;
    notify();
    return true;
}

void TVoiceHistory::loaded(const std::string& name, const Voice& v)
{
    // What the user changed before the load is a step of its own.
    if (isPending)
        finish(lastChange);
    isComparing = false;
    if (!sameVoice(known, v)) {
        push(known, v, name);
        known = v;
    }
    referenceVoice = v;
    notify();
}

void TVoiceHistory::saved(const Voice& v)
{
    referenceVoice = v;
    notify();
}

std::string TVoiceHistory::undoName() const
{
    if (isPending && !sameVoice(known, lastChange))
        return stepName(lastChange);
    return undoSteps.empty() ? std::string() : undoSteps.back().name;
}

std::string TVoiceHistory::redoName() const
{
    if (isPending && !sameVoice(known, lastChange))
        return std::string();
    return redoSteps.empty() ? std::string() : redoSteps.back().name;
}

bool TVoiceHistory::undo(Voice& v)
{
    return replay(v, undoSteps, redoSteps, &Step::before);
}

bool TVoiceHistory::redo(Voice& v)
{
    return replay(v, redoSteps, undoSteps, &Step::after);
}

// Takes the newest step of from, puts its side into v and hands it to to. Undo and
// redo first end a comparison, so that the voice the user edits is what they work on.
bool TVoiceHistory::replay(Voice& v, std::deque<Step>& from, std::deque<Step>& to, Voice Step::*side)
{
    finish(v);
    bool changedVoice = false;
    if (isComparing) {
        isComparing = false;
        v = known;
        changedVoice = true;
    }
    if (from.empty()) {
        notify();
        return changedVoice;
    }
    Step step = std::move(from.back());
    from.pop_back();
    v = step.*side;
    known = v;
    to.push_back(std::move(step));
    notify();
    return true;
}

void TVoiceHistory::toggleCompare(Voice& v)
{
    finish(v);
    if (!isComparing) {
        isComparing = true;
        v = referenceVoice;
    } else {
        isComparing = false;
        v = known;
    }
    notify();
}
