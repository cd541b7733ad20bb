// SPDX-License-Identifier: GPL-3.0-or-later
// TG33 records and dumps, and their conversion to and from SY voice dumps.
#include "voice/tg33.h"

#include <cstring>

#include "voice/bank.h"
#include "voice/sysex.h"

const char tg33SingleHeaderText[11] = "LM  0012VE";
const char tg33BankHeaderText[11] = "LM  0012VC";
const char tg33MultiHeaderText[11] = "LM  0012ME";

namespace {

// The bytes the two records share, in order: TG33 record offset, SY dump offset, length.
// Between them the TG33 has its common bytes and 2 bytes of unknown meaning after each
// element; the SY its tag, effect byte, trailing 00 and inner checksum.
struct Span {
    int tg33;
    int sy;
    int length;
};
constexpr Span sharedSpans[] = {
    {12, 19, 8},       // name
    {20, 28, 1},       // pitch-bend range
    {21, 29, 8},       // controller flags, aftertouch pitch, envelope delay, attack and release adjust
    {29, 37, 27},      // element A (AWM)
    {58, 64, 47},      // element B (FM)
    {107, 111, 27},    // element C (AWM)
    {136, 138, 47},    // element D (FM)
    {185, 185, 402},   // vector speeds, level vector, detune vector
};

// Each element's pan byte (bits 3..0 pan, bits 6..4 envelope type), in both records.
constexpr int tg33PanOffset[4] = {41, 71, 119, 149};
constexpr int syPanOffset[4] = {49, 77, 123, 151};
constexpr int tg33WaveA = 29;
constexpr int syWaveOffset[4] = {37, 64, 111, 138};   // AWM: one byte; FM: split

constexpr int tg33Config = 0;   // bit 0 configuration, bit 1 element A plays the Drum Set
constexpr int tg33EffectType = 1;
constexpr int tg33Balance = 2;
constexpr int tg33Send = 6;
constexpr uint8_t tg33DrumFlag = 0x02;
constexpr int drumSetWave = 127;
// Bytes that are 0 in every TG33 voice seen and that no TG33 parameter is known to use.
constexpr int tg33UnknownBytes[] = {3, 4, 5, 7, 8, 9, 10, 11, 56, 57, 105, 106, 134, 135, 183, 184};

constexpr int syEffectByte = 18;
constexpr int syConfigByte = 27;
constexpr int syTrailByte = 587;

// The count bytes a TG33 single dump is written with: the bytes between the count and
// the checksum (10 + 587 = 597), by the rule the bank blocks follow.
constexpr uint8_t tg33SingleCount[2] = {0x04, 0x55};
constexpr uint8_t tg33FirstCount[2] = {tg33FirstPayload >> 7, tg33FirstPayload & 0x7F};
constexpr uint8_t tg33BlockCount[2] = {tg33BlockPayload >> 7, tg33BlockPayload & 0x7F};

// TG33 effect balance per SY depth: the values the real TG33 voices cluster at; 2, 4 and
// 6 are seen on voices both models share, the others rest on the clustering alone.
constexpr int balanceOfDepth[8] = {0, 27, 40, 46, 52, 60, 73, 90};
constexpr bool balanceGuessed[8] = {true, true, false, true, false, true, false, true};

// AWM wave numbers whose wave on the SY-35 is another than on the SY-22 and the TG33
// (50 differs only in the spelling of its name).
constexpr int sy35OtherWaves[] = {8, 14, 45, 54, 55, 57, 58, 60, 61, 64, 65, 66, 67, 71};

const char* const elementName[4] = {"element A", "element B", "element C", "element D"};

// Pan 0..4 mirrored; a value outside the range stays as it is.
uint8_t mirroredPan(uint8_t b)
{
    const int pan = b & 0x0F;
    return pan > 4 ? b : static_cast<uint8_t>((b & 0x70) | (4 - pan));
}

void reportPans(const uint8_t* bytes, const int (&offsets)[4], ConversionReport* report)
{
    for (int e = 0; e < 4; ++e)
        if ((bytes[offsets[e]] & 0x0F) > 4)
            report->push_back(std::string(elementName[e]) + "'s pan " +
                              std::to_string(bytes[offsets[e]] & 0x0F) +
                              " is outside 0..4: copied as it is, not mirrored");
}

// The SY-35 caveat: the AWM elements that sound (A always, C in A-B-C-D) on a wave the
// SY-35 plays otherwise.
void reportSy35Waves(int waveA, int waveC, bool fourElements, bool fromSy35, ConversionReport* report)
{
    const int waves[2] = {waveA, waveC};
    for (int k = 0; k < (fourElements ? 2 : 1); ++k) {
        if (!sy35WaveDiffers(waves[k]))
            continue;
        const std::string what = std::string(elementName[2 * k]) + "'s wave " + std::to_string(waves[k]);
        report->push_back(fromSy35 ? "an SY-35 voice: " + what + " is another wave on a TG33"
                                   : "for an SY-35: " + what + " is another wave than on the TG33");
    }
}

void reportTG33Effect(const uint8_t* r, int depth, ConversionReport* report)
{
    const int balance = r[tg33Balance], send = r[tg33Send];
    const bool balanceKept = balance == tg33EffectBalance(depth);
    const bool sendKept = send == tg33EffectSend(depth);
    const std::string became = " became depth " + std::to_string(depth);
    if (!balanceKept && !sendKept)
        report->push_back("the TG33's effect balance " + std::to_string(balance) + " and send level " +
                          std::to_string(send) + became);
    else if (!balanceKept)
        report->push_back("the TG33's effect balance " + std::to_string(balance) + became);
    else if (!sendKept)
        report->push_back("the TG33's effect send level " + std::to_string(send) + became);
    if (r[tg33EffectType] > 15)
        report->push_back("the TG33's effect type " + std::to_string(r[tg33EffectType]) +
                          " is none of the 16: written as " + std::to_string(r[tg33EffectType] & 0x0F));
}

void reportTG33Losses(const uint8_t* r, int depth, VoiceModel model, ConversionReport* report)
{
    reportTG33Effect(r, depth, report);
    const bool drum = (r[tg33Config] & tg33DrumFlag) != 0;
    if (drum != (r[tg33WaveA] == drumSetWave))
        report->push_back(drum ? "the TG33's drum flag was set with element A on wave " +
                                     std::to_string(r[tg33WaveA]) + ": dropped"
                               : std::string("the TG33's drum flag was clear with element A on wave 127 "
                                             "(Drum Set): a TG33 dump of this voice sets it"));
    if (r[tg33Config] & 0x7C)
        report->push_back("TG33 byte 0 held bits " + std::to_string(r[tg33Config] & 0x7C) +
                          " of unknown meaning: dropped");
    for (int at : tg33UnknownBytes)
        if (r[at] != 0)
            report->push_back("TG33 byte " + std::to_string(at) + " (meaning unknown) held " +
                              std::to_string(r[at]) + ": dropped");
    reportPans(r, tg33PanOffset, report);
    if (model == VoiceModel::sy35)
        reportSy35Waves(r[tg33WaveA], r[107], (r[tg33Config] & 1) != 0, false, report);
}

void reportSyLosses(const uint8_t* d, int depth, VoiceModel model, ConversionReport* report)
{
    if (tg33BalanceIsGuess(depth)) {
        std::string line = "effect depth " + std::to_string(depth) + " written as balance " +
                           std::to_string(tg33EffectBalance(depth));
        if (depth == 0)
            line += " and send level 0";
        report->push_back(line + ", a guess");
    }
    if (d[syConfigByte] & 0x7E)
        report->push_back("SY byte 27 held bits " + std::to_string(d[syConfigByte] & 0x7E) +
                          " beside the element configuration: dropped");
    if (d[syTrailByte] != 0)
        report->push_back("SY byte 587 held " + std::to_string(d[syTrailByte]) + ": dropped");
    reportPans(d, syPanOffset, report);
    if (model == VoiceModel::sy35)
        reportSy35Waves(d[syWaveOffset[0]], d[syWaveOffset[2]], (d[syConfigByte] & 1) != 0, true, report);
}

// The bytes both records share, the pans mirrored: from a TG33 record into an SY dump
// (toSy), or from an SY dump into a TG33 record.
void copyShared(const uint8_t* from, uint8_t* to, bool toSy)
{
    for (const Span& s : sharedSpans)
        std::memcpy(to + (toSy ? s.sy : s.tg33), from + (toSy ? s.tg33 : s.sy),
                    static_cast<size_t>(s.length));
    for (int e = 0; e < 4; ++e)
        to[toSy ? syPanOffset[e] : tg33PanOffset[e]] =
            mirroredPan(from[toSy ? tg33PanOffset[e] : syPanOffset[e]]);
}

// Data bytes only: a status byte in a damaged source never reaches a message.
void copy7(const uint8_t* from, uint8_t* to, int size)
{
    for (int i = 0; i < size; ++i)
        to[i] = from[i] & 0x7F;
}

bool headWithText(const uint8_t* m, size_t size, const char* text)
{
    return size >= sysexHeadSize && hasSysexHead(m, size) && std::memcmp(m + 6, text, 10) == 0;
}

bool holdsStatusByte(const uint8_t* p, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (p[i] & 0x80)
            return true;
    return false;
}

// [count][payload masked to 7 bits][checksum].
void appendBlock(std::vector<uint8_t>& out, const uint8_t (&count)[2], const std::vector<uint8_t>& payload)
{
    out.insert(out.end(), count, count + 2);
    for (uint8_t b : payload)
        out.push_back(b & 0x7F);
    out.push_back(sysexChecksum(payload.data(), payload.size()));
}

}   // namespace

int tg33EffectBalance(int depth)
{
    return balanceOfDepth[depth & 7];
}

int tg33EffectSend(int depth)
{
    return (depth & 7) == 0 ? 0 : 127;
}

bool tg33BalanceIsGuess(int depth)
{
    return balanceGuessed[depth & 7];
}

int syEffectDepth(int balance, int send)
{
    if (send == 0)
        return 0;
    for (int depth = 0; depth < 8; ++depth)
        if (balanceOfDepth[depth] >= balance)
            return depth;
    return 7;
}

bool sy35WaveDiffers(int wave)
{
    for (int w : sy35OtherWaves)
        if (w == wave)
            return true;
    return false;
}

VoiceDump dumpFromTG33Record(const uint8_t* record, VoiceModel model, ConversionReport* report)
{
    uint8_t r[tg33RecordSize];
    copy7(record, r, tg33RecordSize);
    VoiceDump d{};
    writeDumpHead(d.data());
    d[16] = voiceTag >> 7;
    d[17] = voiceTag & 0x7F;
    const int depth = syEffectDepth(r[tg33Balance], r[tg33Send]);
    d[syEffectByte] = static_cast<uint8_t>(depth << 4 | (r[tg33EffectType] & 0x0F));
    d[syConfigByte] = r[tg33Config] & 1;
    copyShared(r, d.data(), true);
    d[syTrailByte] = 0;
    d[dumpSize - 1] = sysexEnd;
    setInnerChecksum(d.data());
    if (report)
        reportTG33Losses(r, depth, model, report);
    return d;
}

TG33Record tg33RecordFromDump(const uint8_t* dump, VoiceModel model, ConversionReport* report)
{
    uint8_t d[dumpSize];
    copy7(dump, d, dumpSize);
    TG33Record r{};
    const int depth = (d[syEffectByte] >> 4) & 7;
    r[tg33Config] =
        static_cast<uint8_t>((d[syConfigByte] & 1) | (d[syWaveOffset[0]] == drumSetWave ? tg33DrumFlag : 0));
    r[tg33EffectType] = d[syEffectByte] & 0x0F;
    r[tg33Balance] = static_cast<uint8_t>(tg33EffectBalance(depth));
    r[tg33Send] = static_cast<uint8_t>(tg33EffectSend(depth));
    copyShared(d, r.data(), false);
    if (report)
        reportSyLosses(d, depth, model, report);
    return r;
}

bool hasTG33SingleHead(const uint8_t* m, size_t size)
{
    return headWithText(m, size, tg33SingleHeaderText);
}

bool hasTG33BankHead(const uint8_t* m, size_t size)
{
    return headWithText(m, size, tg33BankHeaderText);
}

bool hasTG33MultiHead(const uint8_t* m, size_t size)
{
    return headWithText(m, size, tg33MultiHeaderText);
}

const char* tg33SingleFault(const uint8_t* m, size_t length, bool closed)
{
    if (length < tg33SingleSize - 1 || !closed)
        return "truncated";
    if (length > tg33SingleSize - 1)
        return "too long";
    if (holdsStatusByte(m + 1, tg33SingleSize - 2))
        return "a status byte inside the data";
    if (!sysexChecksumHolds(m + 6, tg33SingleSize - 7))
        return "bad checksum";
    return "";
}

TG33Record tg33RecordOfSingle(const uint8_t* m)
{
    TG33Record r;
    std::memcpy(r.data(), m + sysexHeadSize, tg33RecordSize);
    return r;
}

long findTG33Single(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i + tg33SingleSize <= size; ++i)
        if (data[i] == sysexStart && hasTG33SingleHead(data + i, size - i) &&
            !*tg33SingleFault(data + i, tg33SingleSize - 1, data[i + tg33SingleSize - 1] == sysexEnd))
            return static_cast<long>(i);
    return -1;
}

std::vector<TG33BankBlock> readTG33BankBlocks(const uint8_t* m, size_t length)
{
    std::vector<TG33BankBlock> blocks(tg33BankBlocks);
    size_t p = 4;
    for (int b = 0; b < tg33BankBlocks; ++b) {
        TG33BankBlock& block = blocks[static_cast<size_t>(b)];
        const size_t payload = b == 0 ? tg33FirstPayload : tg33BlockPayload;
        if (p + 2 + payload + 1 > length) {
            for (int rest = b; rest < tg33BankBlocks; ++rest)
                blocks[static_cast<size_t>(rest)].fault = "truncated";
            break;
        }
        const uint8_t* body = m + p + 2;
        if (static_cast<size_t>(m[p] * 128 + m[p + 1]) != payload)
            block.fault = "bad block size";
        else if (holdsStatusByte(m + p, payload + 3))
            block.fault = "a status byte inside the data";
        else if (sysexChecksum(body, payload) != body[payload])
            block.fault = "bad checksum";
        else {
            const uint8_t* records = body + (b == 0 ? 10 : 0);
            for (int k = 0; k < tg33VoicesPerBlock; ++k) {
                TG33Record& r = block.records.emplace_back();
                std::memcpy(r.data(), records + k * tg33RecordSize, tg33RecordSize);
            }
        }
        p += 2 + payload + 1;
    }
    return blocks;
}

std::vector<uint8_t> tg33SingleDump(const TG33Record& record)
{
    std::vector<uint8_t> m(tg33SingleSize);
    const uint8_t head[6] = {sysexStart,  sysexManufacturer,  0x00,
                             sysexFormat, tg33SingleCount[0], tg33SingleCount[1]};
    std::memcpy(m.data(), head, sizeof head);
    std::memcpy(m.data() + 6, tg33SingleHeaderText, 10);
    for (size_t i = 0; i < record.size(); ++i)
        m[sysexHeadSize + i] = record[i] & 0x7F;
    m[tg33SingleSize - 2] = sysexChecksum(m.data() + 6, tg33SingleSize - 8);
    m[tg33SingleSize - 1] = sysexEnd;
    return m;
}

std::vector<uint8_t> tg33BankDump(const std::vector<TG33Record>& records)
{
    Voice initial;
    resetVoice(initial);
    const TG33Record blank = tg33RecordFromDump(encodeVoice(initial).data());
    std::vector<uint8_t> m = {sysexStart, sysexManufacturer, 0x00, sysexFormat};
    m.reserve(tg33BankSize);
    std::vector<uint8_t> payload;
    for (int b = 0; b < tg33BankBlocks; ++b) {
        payload.clear();
        if (b == 0)
            payload.assign(tg33BankHeaderText, tg33BankHeaderText + 10);
        for (int k = 0; k < tg33VoicesPerBlock; ++k) {
            const size_t v = static_cast<size_t>(b * tg33VoicesPerBlock + k);
            const TG33Record& r = v < records.size() ? records[v] : blank;
            payload.insert(payload.end(), r.begin(), r.end());
        }
        appendBlock(m, b == 0 ? tg33FirstCount : tg33BlockCount, payload);
    }
    m.push_back(sysexEnd);
    return m;
}
