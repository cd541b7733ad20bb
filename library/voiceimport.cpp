// SPDX-License-Identifier: GPL-3.0-or-later
// Finding voices in files of single dumps, banks and Standard MIDI Files.
#include "library/voiceimport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "library/fileio.h"
#include "voice/sysex.h"
#include "voice/tg33.h"
#include "voice/voicefields.h"

namespace {

// A file larger than this is no collection of voices: it is refused, not read.
constexpr int64_t largestFile = 512LL * 1024 * 1024;

std::string at(const std::string& prefix, const std::string& what)
{
    return prefix.empty() ? what : prefix + ", " + what;
}

// Past the first keptRefusals a refusal is only counted: a file of millions of
// broken heads must not fill the memory with their texts. where is made only for
// a refusal that is kept.
template <class Where> void refuseAt(VoiceReadResult& r, const Where& where, const char* reason)
{
    if (r.refusals.size() < keptRefusals)
        r.refusals.push_back({where(), reason});
    else
        ++r.moreRefusals;
}

void refuse(VoiceReadResult& r, const std::string& where, const char* reason)
{
    refuseAt(
        r, [&] { return where; }, reason);
}

bool holdsStatusByte(const uint8_t* p, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (p[i] & 0x80)
            return true;
    return false;
}

// The 16 blocks of a bank message that runs from data[0] (its F0) to data[end].
template <class Where> void readBank(const uint8_t* data, size_t end, const Where& where, VoiceReadResult& r)
{
    size_t p = 4;
    for (int b = 0; b < bankVoiceBlocks; ++b) {
        const size_t payload = b == 0 ? bankFirstPayload : bankVoicePayload;
        const auto block = [&] { return at(where(), "block " + std::to_string(b + 1)); };
        if (p + 2 + payload + 1 > end) {
            for (int rest = b; rest < bankVoiceBlocks; ++rest)
                refuseAt(
                    r, [&] { return at(where(), "block " + std::to_string(rest + 1)); }, "truncated");
            return;
        }
        const uint8_t* body = data + p + 2;
        if (static_cast<size_t>(data[p] * 128 + data[p + 1]) != payload)
            refuseAt(r, block, "bad block size");
        else if (holdsStatusByte(data + p, payload + 3))
            refuseAt(r, block, "a status byte inside the data");
        else if (bankBlockChecksum(body, payload) != body[payload])
            refuseAt(r, block, "bad checksum");
        else {
            const uint8_t* records = body + (b == 0 ? 10 : 0);
            for (int k = 0; k < bankVoicesPerBlock; ++k) {
                const VoiceDump d = dumpFromBankRecord(records + k * bankRecordSize);
                if (hasVoiceTag(d.data()))
                    r.voices.push_back(d);
                else
                    refuseAt(
                        r,
                        [&] {
                            return at(block(), "voice " + std::to_string(b * bankVoicesPerBlock + k + 1));
                        },
                        wrongVoiceTag);
            }
        }
        p += 2 + payload + 1;
    }
}

void note(VoiceReadResult& r, const std::string& text)
{
    if (r.notes.size() < keptRefusals)
        r.notes.push_back(text);
    else
        ++r.moreNotes;
}

// One TG33 voice converted and taken, with a note for each thing it lost.
void takeTG33Voice(const uint8_t* record, const std::string& where, VoiceReadResult& r)
{
    ConversionReport report;
    const VoiceDump d = dumpFromTG33Record(record, r.model, &report);
    r.converted.resize(r.voices.size());
    r.voices.push_back(d);
    r.converted.push_back(1);
    const std::string voice =
        where + " \"" + nameText(reinterpret_cast<const char*>(d.data() + dumpNameOffset), voiceNameLength) +
        "\": ";
    for (const std::string& line : report)
        note(r, voice + line);
}

// A TG33 single dump, bank or multi from data[i] (length bytes without the F7; closed
// when an F7 ends it): its voices converted, a damaged dump or bank block refused alone,
// a multi named and passed over. Anything else is passed over in silence.
void readTG33(const uint8_t* data, size_t i, size_t length, bool closed, const std::string& prefix,
              VoiceReadResult& r)
{
    const uint8_t* m = data + i;
    const std::string where = at(prefix, "byte " + std::to_string(i));
    if (hasTG33SingleHead(m, length)) {
        const char* fault = tg33SingleFault(m, length, closed);
        if (*fault)
            refuse(r, where + " (TG33 voice)", fault);
        else
            takeTG33Voice(tg33RecordOfSingle(m).data(), where + " (TG33 voice)", r);
    } else if (hasTG33BankHead(m, length)) {
        const std::string bank = at(prefix, "TG33 bank at byte " + std::to_string(i));
        const std::vector<TG33BankBlock> blocks = readTG33BankBlocks(m, length);
        for (size_t b = 0; b < blocks.size(); ++b) {
            if (!blocks[b].fault.empty()) {
                refuse(r, at(bank, "block " + std::to_string(b + 1)), blocks[b].fault.c_str());
                continue;
            }
            for (size_t k = 0; k < blocks[b].records.size(); ++k)
                takeTG33Voice(blocks[b].records[k].data(),
                              at(bank, "voice " + std::to_string(b * tg33VoicesPerBlock + k + 1)), r);
        }
    } else if (hasTG33MultiHead(m, length)) {
        note(r, where + ": a TG33 multi, passed over (only TG33 voices are read)");
    }
}

// Searches a run of bytes for single and bank dumps. Only F0 and F7 bound a message
// here; any other status byte inside one is damage to that dump or block.
void scanSysex(const uint8_t* data, size_t size, const std::string& prefix, VoiceReadResult& r)
{
    size_t i = 0;
    while (i < size) {
        if (data[i] != sysexStart) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < size && data[end] != sysexStart && data[end] != sysexEnd)
            ++end;
        const uint8_t* m = data + i;
        const size_t length = end - i;   // without the F7
        const auto where = [&] { return at(prefix, "byte " + std::to_string(i)); };
        if (hasDumpHead(m, length)) {
            const bool closed = end < size && data[end] == sysexEnd;
            if (length < dumpSize - 1 || !closed)
                refuseAt(r, where, "truncated");
            else if (length > dumpSize - 1)
                refuseAt(r, where, "too long");
            else if (holdsStatusByte(m + 1, dumpSize - 2))
                refuseAt(r, where, "a status byte inside the data");
            else if (!sysexChecksumHolds(m + 6, dumpSize - 7))
                refuseAt(r, where, "bad checksum");
            else if (!hasVoiceTag(m))
                refuseAt(r, where, wrongVoiceTag);
            else {
                VoiceDump d;
                std::memcpy(d.data(), m, dumpSize);
                normaliseDump(d.data());
                r.voices.push_back(d);
            }
        } else if (hasBankHead(m, length)) {
            readBank(
                m, length, [&] { return at(prefix, "bank at byte " + std::to_string(i)); }, r);
        } else {
            readTG33(data, i, length, end < size && data[end] == sysexEnd, prefix, r);
        }
        // Anything else is another message or junk: passed over in silence.
        i = end < size && data[end] == sysexEnd ? end + 1 : end;
    }
}

uint32_t bigEndian32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// A variable-length quantity of at most 4 bytes.
bool readQuantity(const uint8_t* data, size_t size, size_t& p, size_t& value)
{
    value = 0;
    for (int n = 0; n < 4; ++n) {
        if (p >= size)
            return false;
        const uint8_t b = data[p++];
        value = value << 7 | (b & 0x7F);
        if (!(b & 0x80))
            return true;
    }
    return false;
}

// One track's events: the bytes of its SysEx events (F0 events with their F0, F7
// continuation and escape events as they are) are joined into one run and searched.
// True when the whole track was understood.
bool readTrack(const uint8_t* data, size_t size, const std::string& where, VoiceReadResult& r)
{
    std::vector<uint8_t> joined;
    uint8_t running = 0;
    bool sound = true;
    size_t p = 0;
    while (p < size && sound) {
        size_t delta = 0, length = 0;
        if (!readQuantity(data, size, p, delta) || p >= size) {
            sound = false;
            break;
        }
        const uint8_t s = data[p];
        if (s == 0xFF) {
            running = 0;
            if (size - p < 2) {
                sound = false;
                break;
            }
            const bool endOfTrack = data[p + 1] == 0x2F;
            p += 2;
            if (!readQuantity(data, size, p, length) || length > size - p) {
                sound = false;
                break;
            }
            p += length;
            if (endOfTrack)
                break;
        } else if (s == sysexStart || s == sysexEnd) {
            running = 0;
            ++p;
            if (!readQuantity(data, size, p, length) || length > size - p) {
                sound = false;
                break;
            }
            if (s == sysexStart)
                joined.push_back(sysexStart);
            joined.insert(joined.end(), data + p, data + p + length);
            p += length;
        } else {
            if (s & 0x80) {
                if (s >= 0xF0) {   // system messages have no place in a track
                    sound = false;
                    break;
                }
                running = s;
                ++p;
            } else if (!running) {
                sound = false;
                break;
            }
            const size_t bytes = (running & 0xE0) == 0xC0 ? 1 : 2;
            if (bytes > size - p || holdsStatusByte(data + p, bytes)) {
                sound = false;
                break;
            }
            p += bytes;
        }
    }
    scanSysex(joined.data(), joined.size(), where, r);
    return sound;
}

void readMidiFile(const uint8_t* data, size_t size, VoiceReadResult& r)
{
    const uint32_t headerLength = bigEndian32(data + 4);
    if (headerLength < 6 || headerLength > size - 8) {
        refuse(r, "", "malformed MIDI file");
        return;
    }
    size_t p = 8 + static_cast<size_t>(headerLength);
    int track = 0;
    while (size - p >= 8) {
        const bool isTrack = std::memcmp(data + p, "MTrk", 4) == 0;
        const size_t length = bigEndian32(data + p + 4);
        const size_t held = std::min(length, size - p - 8);
        if (isTrack) {
            const std::string where = "track " + std::to_string(++track);
            if (!readTrack(data + p + 8, held, where, r))
                refuse(r, where, "malformed MIDI track");
            else if (held < length)
                refuse(r, where, "truncated");
        }
        if (held < length)
            break;
        p += 8 + length;
    }
}

}   // namespace

std::string VoiceRefusal::text() const
{
    return where.empty() ? reason : where + ": " + reason;
}

std::string ImportSummary::moreLine() const
{
    const int64_t more = refused - static_cast<int64_t>(reasons.size());
    if (more <= 0)
        return {};
    // Thousands apart, as the user counts them: "and 46,999,900 more".
    std::string digits = std::to_string(more), grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return "and " + grouped + " more";
}

std::string ImportSummary::line() const
{
    std::string from;
    if (converted > 0)
        from = converted == added ? " (converted from TG33)"
                                  : " (" + std::to_string(converted) + " converted from TG33)";
    return "added " + std::to_string(added) + from + ", duplicates " + std::to_string(duplicates) +
           ", refused " + std::to_string(refused);
}

VoiceReadResult readVoices(const uint8_t* data, size_t size, VoiceModel model)
{
    VoiceReadResult r;
    r.model = model;
    if (size >= 14 && std::memcmp(data, "MThd", 4) == 0)
        readMidiFile(data, size, r);
    else
        scanSysex(data, size, "", r);
    if (r.voices.empty() && r.refusals.empty())
        refuse(r, std::string(), "not a voice file");
    return r;
}

VoiceReadResult readVoiceFile(const std::string& path, VoiceModel model)
{
    // Only a regular file is read: a device could be read for ever, and opening a
    // pipe would wait for a writer.
    const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    const char* problem = nullptr;
    std::vector<uint8_t> data;
    if (in < 0 || fstat(in, &st) != 0)
        problem = "cannot be read";
    else if (!S_ISREG(st.st_mode))
        problem = "not a voice file";
    else if (st.st_size > largestFile)
        problem = "too large";
    else {
        data.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < data.size()) {
            const ssize_t got = read(in, data.data() + done, data.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                problem = "cannot be read";
                break;
            }
            if (got == 0)
                break;
            done += static_cast<size_t>(got);
        }
        data.resize(done);
    }
    if (in >= 0)
        close(in);
    VoiceReadResult r;
    if (problem)
        refuse(r, std::string(), problem);
    else
        r = readVoices(data.data(), data.size(), model);
    for (VoiceRefusal& refusal : r.refusals)
        refusal.where = refusal.where.empty() ? path : path + ": " + refusal.where;
    for (std::string& line : r.notes)
        line = path + ": " + line;
    return r;
}

ImportSummary importVoiceFiles(TFileIO& io, const std::vector<std::string>& paths, uint32_t mask,
                               bool keepDuplicates, const ImportProgress& progress, VoiceModel model)
{
    std::vector<VoiceDump> voices;
    std::vector<uint8_t> converted;
    std::vector<std::string> notes;
    int64_t noteCount = 0;
    std::vector<std::string> reasons;
    int64_t refused = 0;
    int filesRead = 0;
    for (size_t f = 0; f < paths.size(); ++f) {
        // While the files are read the count of voices is not known yet.
        if (progress && !progress(0, 0)) {
            ImportSummary s;
            s.cancelled = true;
            return s;
        }
        VoiceReadResult r = readVoiceFile(paths[f], model);
        if (!r.voices.empty())
            ++filesRead;
        converted.resize(voices.size());
        r.converted.resize(r.voices.size());
        converted.insert(converted.end(), r.converted.begin(), r.converted.end());
        voices.insert(voices.end(), r.voices.begin(), r.voices.end());
        for (const std::string& line : r.notes)
            if (notes.size() < keptRefusals)
                notes.push_back(line);
        noteCount += static_cast<int64_t>(r.notes.size() + r.moreNotes);
        for (const VoiceRefusal& refusal : r.refusals)
            if (reasons.size() < keptRefusals)
                reasons.push_back(refusal.text());
        refused += static_cast<int64_t>(r.refusals.size() + r.moreRefusals);
    }
    ImportSummary s;
    if (!voices.empty())
        s = io.appendDumps(voices, mask, keepDuplicates, progress, &converted);
    s.notes = std::move(notes);
    s.noteCount = noteCount;
    s.refused = refused;
    s.reasons = std::move(reasons);
    s.filesRead = filesRead;
    return s;
}
