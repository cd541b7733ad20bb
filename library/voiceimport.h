// Voices coming into the library from files of other origins: files of many single
// dumps with other System Exclusive or junk around them, 64-voice bank dumps and
// Standard MIDI Files carrying either. Free of Qt; the windows and tarvik-voice both
// sit on it.
//
// A bank dump is one message: F0 43 0n 7E, 16 blocks of [count hi][count lo][payload]
// [checksum], then a block of the synthesiser's multi settings, then F7. Block 1's
// payload is "PK  2203VM" and 4 voice records, blocks 2..16 hold 4 voice records each.
// A voice record is the single dump's bytes 16..589. The multi block is skipped,
// never relied on and never written by the program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "voice/dumpcodec.h"

class TFileIO;

using VoiceDump = std::array<uint8_t, dumpSize>;

constexpr int bankVoices = 64;
constexpr int bankBlocks = 16;
constexpr int bankVoicesPerBlock = 4;
constexpr int bankRecordSize = 574;                 // a single dump's bytes 16..589
constexpr int bankRecordOffset = 16;
extern const char bankHeaderText[11];               // "PK  2203VM"
// The size of a bank as the synthesiser sends it (a real bank file is this long),
// for a progress bar; a bank is read by its blocks, never by this figure.
constexpr size_t bankExpectedSize = 38306;

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
};

// Puts a dump in the library's form: byte 2 (the channel) 0, every byte from 1 to
// 590 below 0x80, byte 590 the checksum of bytes 6..589. Bytes 0 and 591 stay.
void normaliseDump(uint8_t* dump);

// The single dump of one bank voice record (574 bytes), normalised.
VoiceDump dumpFromBankRecord(const uint8_t* record);

// F0 43 2n 7E "PK  2203VM" F7: asks the synthesiser on channel n (0..15) for its bank.
std::vector<uint8_t> bankRequest(int channel);

// A bank dump of 64 voices (their bytes 16..589) on channel n, with a multi block of
// zeros; bankExpectedSize bytes. For tests and the stand-in synthesiser: the program
// never writes a bank to a file.
std::vector<uint8_t> buildBankDump(const std::vector<VoiceDump>& voices, int channel = 0);

// Every voice in the bytes of one file. A file beginning "MThd" is read as a Standard
// MIDI File (its tracks' SysEx events joined, F7 continuations included); any other
// is searched byte by byte for single and bank dumps. A damaged dump or bank block is
// refused alone; a file with no voice and nothing else refused is refused as
// "not a voice file". Refusal wheres here name no file.
VoiceReadResult readVoices(const uint8_t* data, size_t size);

// The same for a file on disk (regular files only; each refusal's where begins with
// path). A file that cannot be read is one refusal.
VoiceReadResult readVoiceFile(const std::string& path);

// done of total voices handled; return false to stop (cancel).
using ImportProgress = std::function<bool(size_t done, size_t total)>;

struct ImportSummary {
    int added = 0;
    int duplicates = 0;
    int64_t refused = 0;                // files and blocks refused
    std::vector<std::string> reasons;   // "where: reason" of the first keptRefusals refusals
    int filesRead = 0;                  // files that held at least one voice
    bool cancelled = false;
    bool writeFailed = false;           // the library could not be written to the end
    // "added A, duplicates B, refused C"
    std::string line() const;
    // "and N more" when not every refusal has its line in reasons, else empty.
    std::string moreLine() const;
};

// Reads every file and appends the voices found, in file order, as records under mask
// (see TFileIO::appendDumps).
ImportSummary importVoiceFiles(TFileIO& io, const std::vector<std::string>& paths, uint32_t mask,
                               bool keepDuplicates, const ImportProgress& progress = {});
