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

TVoiceHistory::TVoiceHistory() : Base(stepLimit, sameVoice, changeName)
{
}

void TVoiceHistory::reset(const Voice& v)
{
    referenceVoice = v;
    isComparing = false;
    editFromCompare = false;
    Base::reset(v);
}

void TVoiceHistory::endComparison()
{
    // The edit starts from the voice shown, and is one step from the voice that was
    // being edited: one undo gives that voice back.
    isComparing = false;
    editFromCompare = true;
}

void TVoiceHistory::changed(const void* source, const Voice& v)
{
    if (isComparing)
        endComparison();
    Base::changed(source, v);
}

bool TVoiceHistory::commit(const std::string& name, const Voice& v)
{
    finishPending();
    if (isComparing)
        endComparison();
    return Base::commit(name, v);
}

void TVoiceHistory::loaded(const std::string& name, const Voice& v)
{
    // What the user changed before the load is a step of its own.
    finishPending();
    isComparing = false;
    referenceVoice = v;
    Base::commit(name, v);
}

void TVoiceHistory::saved(const Voice& v)
{
    referenceVoice = v;
    notify();
}

// Undo and redo first end a comparison, so that the voice the user edits is what
// they work on: v is then that voice again, even with nothing to undo.
bool TVoiceHistory::leaveComparison(Voice& v)
{
    if (!isComparing)
        return false;
    isComparing = false;
    v = known;
    return true;
}

bool TVoiceHistory::undo(Voice& v)
{
    const bool shown = leaveComparison(v);
    return Base::undo(v) || shown;
}

bool TVoiceHistory::redo(Voice& v)
{
    const bool shown = leaveComparison(v);
    return Base::redo(v) || shown;
}

void TVoiceHistory::toggleCompare(Voice& v)
{
    finish(v);
    isComparing = !isComparing;
    v = isComparing ? referenceVoice : known;
    notify();
}
