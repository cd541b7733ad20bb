// SPDX-License-Identifier: GPL-3.0-or-later
// Voices coming into the library from files of other origins: files of many single
// dumps with other System Exclusive or junk around them, 64-voice bank dumps and
// Standard MIDI Files carrying either. Free of Qt; the windows and tarvik-voice both
// sit on it.
//
// Bank framing lives in voice/bank.h; a damaged bank block is refused alone here and
// the multi block is not read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "voice/bank.h"
#include "voice/tg33.h"

class TFileIO;

// What a reader refused: where (the file, then the block or the byte offset inside
// it) and why ("bad checksum", "truncated", "not a voice file", ...).
struct VoiceRefusal {
    std::string where;
    std::string reason;
    // "where: reason", or the reason alone when where is empty.
    std::string text() const;
};

// The most refusals kept with their texts; the rest are only counted.
constexpr size_t keptRefusals = 100;

struct VoiceReadResult {
    std::vector<VoiceDump> voices;        // normalised, in file order
    std::vector<VoiceRefusal> refusals;   // in file order, the first keptRefusals
    size_t moreRefusals = 0;              // refused past those
    // TG33 voices come in converted to SY voices: converted[i] is 1 for voices[i] that
    // was converted (an index past its end: not converted). model is the SY they are
    // converted for (the SY-35's own wave numbers are named in the notes).
    std::vector<uint8_t> converted;
    VoiceModel model = VoiceModel::sy22;
    // What is not refused but the user should know: what each conversion lost, and a
    // TG33 multi passed over. "where: what", the first keptRefusals of them.
    std::vector<std::string> notes;
    size_t moreNotes = 0;
};

// Every voice in the bytes of one file. A file beginning "MThd" is read as a Standard
// MIDI File (its tracks' SysEx events joined, F7 continuations included); any other
// is searched byte by byte for single and bank dumps. A damaged dump or bank block is
// refused alone; a file with no voice and nothing else refused is refused as
// "not a voice file". Refusal wheres here name no file. TG33 single dumps and banks are
// read too, each voice converted for model (a damaged TG33 dump or bank block is refused
// alone as well); a TG33 multi is passed over with a note.
VoiceReadResult readVoices(const uint8_t* data, size_t size, VoiceModel model = VoiceModel::sy22);

// The same for a file on disk (regular files only; each refusal's where begins with
// path; so does each note's). A file that cannot be read is one refusal.
VoiceReadResult readVoiceFile(const std::string& path, VoiceModel model = VoiceModel::sy22);

// done of total voices handled; return false to stop (cancel).
using ImportProgress = std::function<bool(size_t done, size_t total)>;

struct ImportSummary {
    int added = 0;
    int converted = 0;   // of those added, voices converted from TG33 ones
    int duplicates = 0;
    int64_t refused = 0;                // files and blocks refused
    std::vector<std::string> reasons;   // "where: reason" of the first keptRefusals refusals
    int filesRead = 0;                  // files that held at least one voice
    bool cancelled = false;
    bool writeFailed = false;         // the library could not be written to the end
    std::vector<std::string> notes;   // the readers' notes (VoiceReadResult::notes), the first keptRefusals
    int64_t noteCount = 0;            // all of them
    // "added A, duplicates B, refused C"; "added 64 (converted from TG33), ..." when
    // every voice added was converted, "added 70 (64 converted from TG33), ..." when some.
    std::string line() const;
    // "and N more" when not every refusal has its line in reasons, else empty.
    std::string moreLine() const;
};

// Reads every file and appends the voices found, in file order, as records under mask
// (see TFileIO::appendDumps).
// TG33 voices are converted for model.
ImportSummary importVoiceFiles(TFileIO& io, const std::vector<std::string>& paths, uint32_t mask,
                               bool keepDuplicates, const ImportProgress& progress = {},
                               VoiceModel model = VoiceModel::sy22);
