// SPDX-License-Identifier: GPL-3.0-or-later
// The bank dump, the multi record and its fields.
#include "voice/bank.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "voice/voicefields.h"
#include "voice/voicetables.h"

namespace {

constexpr int bankHeadSize = 4;   // F0 43 0n 7E

// Internal offsets of the multi record.
constexpr int mName = 2;
constexpr int mChannel = 10;
constexpr int mLimits = 18;
constexpr int mVoice = 34;
constexpr int mVolume = 42;
constexpr int mDetune = 50;
constexpr int mShift = 58;
constexpr int mEffect = 66;
constexpr int mChecksum = 67;
constexpr int channelOff = 16;

int blockPayload(int block)
{
    return block == 0 ? bankFirstPayload : block < bankVoiceBlocks ? bankVoicePayload : bankMultiPayload;
}

// Appends [count][payload masked to 7 bits][checksum].
void appendBlock(std::vector<uint8_t>& out, const uint8_t* payload, size_t size)
{
    out.push_back(static_cast<uint8_t>(size >> 7 & 0x7F));
    out.push_back(static_cast<uint8_t>(size & 0x7F));
    for (size_t i = 0; i < size; ++i)
        out.push_back(payload[i] & 0x7F);
    out.push_back(bankBlockChecksum(payload, size));
}

// The message from 64 voice records (each 574 bytes, bytes 16..589 of records[v]) and
// the multi block's payload.
std::vector<uint8_t> frameBank(const std::vector<const uint8_t*>& records, const uint8_t* multiPayload,
                               int channel)
{
    std::vector<uint8_t> bank = {sysexStart, sysexManufacturer, channelBits(channel), sysexFormat};
    bank.reserve(bankExpectedSize);
    std::vector<uint8_t> payload;
    for (int b = 0; b < bankVoiceBlocks; ++b) {
        payload.clear();
        if (b == 0)
            payload.assign(bankHeaderText, bankHeaderText + 10);
        for (int k = 0; k < bankVoicesPerBlock; ++k) {
            const uint8_t* r = records[static_cast<size_t>(b * bankVoicesPerBlock + k)];
            payload.insert(payload.end(), r, r + bankRecordSize);
        }
        appendBlock(bank, payload.data(), payload.size());
    }
    appendBlock(bank, multiPayload, bankMultiPayload);
    bank.push_back(sysexEnd);
    return bank;
}

std::string voiceSlot(int v)
{
    char text[16];
    std::snprintf(text, sizeof text, "I%02d", v + 1);
    return text;
}

// Level table: shown level per stored attenuation and stored attenuation per level.
struct LevelTable {
    int shown[128] = {};
    int stored[100] = {};
    LevelTable()
    {
        std::istringstream in(multi_part_level_csv);
        std::string line;
        while (std::getline(in, line)) {
            const auto comma = line.find(',');
            if (comma == std::string::npos)
                continue;
            const std::string kind = line.substr(0, comma);
            char* end = nullptr;
            const long a = std::strtol(line.c_str() + comma + 1, &end, 10);
            if (*end != ',')
                continue;
            const long b = std::strtol(end + 1, nullptr, 10);
            if (kind == "shown" && a >= 0 && a < 128)
                shown[a] = static_cast<int>(b);
            else if (kind == "set" && a >= 0 && a < 100)
                stored[a] = static_cast<int>(b);
        }
    }
};

const LevelTable& levelTable()
{
    static const LevelTable table;
    return table;
}

int clampTo(int value, int lo, int hi)
{
    return value < lo ? lo : value > hi ? hi : value;
}

// Field accessors in shown form.
int getEffectType(const MultiRecord& m, int)
{
    return m[mEffect] & 0x0F;
}
void setEffectType(MultiRecord& m, int, int v)
{
    m[mEffect] = static_cast<uint8_t>((m[mEffect] & 0xF0) | clampTo(v, 0, 15));
    setMultiChecksum(m);
}
int getEffectDepth(const MultiRecord& m, int)
{
    return (m[mEffect] >> 4) & 7;
}
void setEffectDepth(MultiRecord& m, int, int v)
{
    m[mEffect] = static_cast<uint8_t>((m[mEffect] & 0x8F) | clampTo(v, 0, 7) << 4);
    setMultiChecksum(m);
}
int getChannel(const MultiRecord& m, int p)
{
    return m[mChannel + p] >= channelOff ? 17 : m[mChannel + p] + 1;
}
void setChannel(MultiRecord& m, int p, int v)
{
    m[mChannel + p] = static_cast<uint8_t>(clampTo(v, 1, 17) - 1);
    setMultiChecksum(m);
}
int getVoice(const MultiRecord& m, int p)
{
    const int b = m[mVoice + p];
    return clampTo((b >> 6) * 64 + (b & 0x3F), 0, 191);
}
void setVoice(MultiRecord& m, int p, int v)
{
    v = clampTo(v, 0, 191);
    m[mVoice + p] = static_cast<uint8_t>((v / 64) << 6 | v % 64);
    setMultiChecksum(m);
}
int getLevel(const MultiRecord& m, int p)
{
    return multiLevelShown(m[mVolume + p]);
}
void setLevel(MultiRecord& m, int p, int v)
{
    m[mVolume + p] = static_cast<uint8_t>(multiLevelStored(v));
    setMultiChecksum(m);
}
int getDetune(const MultiRecord& m, int p)
{
    return static_cast<int8_t>(m[mDetune + p]);
}
void setDetune(MultiRecord& m, int p, int v)
{
    m[mDetune + p] = static_cast<uint8_t>(clampTo(v, -16, 16));
    setMultiChecksum(m);
}
int getShift(const MultiRecord& m, int p)
{
    return static_cast<int8_t>(m[mShift + p]);
}
void setShift(MultiRecord& m, int p, int v)
{
    m[mShift + p] = static_cast<uint8_t>(clampTo(v, -24, 24));
    setMultiChecksum(m);
}
int getLow(const MultiRecord& m, int p)
{
    return m[mLimits + 2 * p];
}
void setLow(MultiRecord& m, int p, int v)
{
    m[mLimits + 2 * p] = static_cast<uint8_t>(clampTo(v, 0, 127));
    setMultiChecksum(m);
}
int getHigh(const MultiRecord& m, int p)
{
    return m[mLimits + 2 * p + 1];
}
void setHigh(MultiRecord& m, int p, int v)
{
    m[mLimits + 2 * p + 1] = static_cast<uint8_t>(clampTo(v, 0, 127));
    setMultiChecksum(m);
}

bool parseInt(const std::string& text, int& value)
{
    long n = 0;
    if (!parseInteger(text, n) || n < -999999 || n > 999999)
        return false;
    value = static_cast<int>(n);
    return true;
}

}   // namespace

void normaliseDump(uint8_t* dump)
{
    dump[dumpChannelOffset] = 0;
    for (int i = 1; i < dumpChecksumOffset; ++i)
        dump[i] &= 0x7F;
    dump[dumpChecksumOffset] = sysexChecksum(dump + 6, dumpChecksumOffset - 6);
}

VoiceDump writtenDump(const uint8_t* dump)
{
    VoiceDump d;
    std::memcpy(d.data(), dump, dumpSize);
    normaliseDump(d.data());
    if (!innerChecksumOk(d.data()))
        setInnerChecksum(d.data());
    return d;
}

VoiceDump dumpFromBankRecord(const uint8_t* record)
{
    VoiceDump d{};
    writeDumpHead(d.data());
    std::memcpy(d.data() + bankRecordOffset, record, bankRecordSize);
    d[dumpSize - 1] = sysexEnd;
    normaliseDump(d.data());
    return d;
}

MultiRecord initialMulti()
{
    return {0x5a, 0x00, 0x49, 0x6e, 0x69, 0x74, 0x69, 0x61, 0x6c, 0x20, 0x00, 0x01, 0x02, 0x03,
            0x04, 0x05, 0x06, 0x0f, 0x00, 0x7f, 0x00, 0x7f, 0x00, 0x7f, 0x00, 0x7f, 0x00, 0x7f,
            0x00, 0x7f, 0x00, 0x7f, 0x00, 0x7f, 0x01, 0x16, 0x1c, 0x2a, 0x04, 0x2e, 0x29, 0x3f,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x99};
}

Bank initialBank()
{
    Voice v;
    resetVoice(v);
    Bank bank;
    bank.voices.fill(encodeVoice(v));
    bank.multis.fill(initialMulti());
    return bank;
}

uint8_t multiChecksum(const MultiRecord& m)
{
    unsigned sum = 0;
    for (int i = 0; i < mChecksum; ++i)
        sum += m[i];
    return static_cast<uint8_t>((0 - sum) & 0xFF);
}

void setMultiChecksum(MultiRecord& m)
{
    m[mChecksum] = multiChecksum(m);
}

std::string checkMulti(const MultiRecord& m)
{
    if (m[0] != multiTag)
        return "bad tag";
    if (m[mChecksum] != multiChecksum(m))
        return "bad checksum";
    return "";
}

bool isMultiSplitOffset(int i)
{
    return i == 0 || (i >= mVoice && i < mVolume) || (i >= mDetune && i < mEffect) || i == mChecksum;
}

void multiToWire(const MultiRecord& m, uint8_t* wire)
{
    for (int i = 0; i < multiRecordSize; ++i) {
        if (isMultiSplitOffset(i))
            *wire++ = m[i] >> 7;
        *wire++ = m[i] & 0x7F;
    }
}

MultiRecord multiFromWire(const uint8_t* wire)
{
    MultiRecord m;
    for (int i = 0; i < multiRecordSize; ++i) {
        if (isMultiSplitOffset(i)) {
            m[i] = static_cast<uint8_t>(wire[0] * 128 + wire[1]);
            wire += 2;
        } else {
            m[i] = *wire++;
        }
    }
    return m;
}

std::vector<uint8_t> buildBankDump(const std::vector<VoiceDump>& voices, int channel)
{
    static const std::vector<uint8_t> zeros(bankRecordSize, 0);
    std::vector<const uint8_t*> records(bankVoices, zeros.data());
    for (size_t v = 0; v < voices.size() && v < records.size(); ++v)
        records[v] = voices[v].data() + bankRecordOffset;
    uint8_t multiPayload[bankMultiPayload];
    for (int m = 0; m < multiCount; ++m)
        multiToWire(initialMulti(), multiPayload + m * multiWireSize);
    return frameBank(records, multiPayload, channel);
}

uint8_t bankBlockChecksum(const uint8_t* payload, size_t size)
{
    return sysexChecksum(payload, size);
}

size_t bankBlockOffset(int block)
{
    size_t p = bankHeadSize;
    for (int b = 0; b < block; ++b)
        p += 2 + static_cast<size_t>(blockPayload(b)) + 1;
    return p;
}

std::string checkBankDump(const uint8_t* data, size_t size)
{
    if (!hasSysexHead(data, size))
        return "not a bank dump";
    if (size >= 16 && std::memcmp(data + 6, bankHeaderText, 10) != 0)
        return "not a bank dump";
    // A whole message too short for a bank lost bytes on the way (a MIDI system that
    // drops part of a long message): the block where the bytes run out says so,
    // rather than the checksum the missing bytes upset.
    const bool shortWhole = size < bankExpectedSize && data[size - 1] == sysexEnd;
    const auto missing = [&](const std::string& block) {
        return block + ": " + std::to_string(bankExpectedSize - size) + " bytes missing";
    };
    size_t p = bankHeadSize;
    for (int b = 0; b < bankBlockCount; ++b) {
        const std::string block = "block " + std::to_string(b + 1);
        if (b == bankVoiceBlocks && p < size && data[p] == sysexEnd)
            return "no multi block";
        const size_t payload = static_cast<size_t>(blockPayload(b));
        if (p + 2 > size)
            return "truncated in " + block;
        const size_t count = static_cast<size_t>(data[p] & 0x7F) * 128 + (data[p + 1] & 0x7F);
        if (count != payload || (data[p] | data[p + 1]) & 0x80)
            return block + ": count " + std::to_string(count) + ", expected " + std::to_string(payload);
        if (p + 2 + payload + 1 > size)
            return shortWhole ? missing(block) : "truncated in " + block;
        const uint8_t* body = data + p + 2;
        for (size_t i = 0; i <= payload; ++i)
            if (body[i] & 0x80)
                return shortWhole ? missing(block) : block + ": a status byte inside the data";
        if (bankBlockChecksum(body, payload) != body[payload])
            return shortWhole ? missing(block) : block + ": bad checksum";
        if (b < bankVoiceBlocks) {
            const uint8_t* records = body + (b == 0 ? 10 : 0);
            for (int k = 0; k < bankVoicesPerBlock; ++k) {
                const int v = b * bankVoicesPerBlock + k;
                const VoiceDump d = dumpFromBankRecord(records + k * bankRecordSize);
                if (d[16] * 128 + d[17] != voiceTag)
                    return "voice " + voiceSlot(v) + ": bad tag";
                if (!innerChecksumOk(d.data()))
                    return "voice " + voiceSlot(v) + ": bad inner checksum";
            }
        } else {
            for (int k = 0; k < multiCount; ++k) {
                const std::string fault = checkMulti(multiFromWire(body + k * multiWireSize));
                if (!fault.empty())
                    return "multi " + std::to_string(k + 1) + ": " + fault;
            }
        }
        p += 2 + payload + 1;
    }
    if (p >= size)
        return "truncated after block 17";
    if (data[p] != sysexEnd)
        return "no F7 after block 17";
    if (p + 1 != size)
        return "bytes after the F7";
    return "";
}

bool parseBankDump(const uint8_t* data, size_t size, Bank& bank, std::string& error, int* channel)
{
    error = checkBankDump(data, size);
    if (!error.empty())
        return false;
    for (int v = 0; v < bankVoices; ++v) {
        const int b = v / bankVoicesPerBlock;
        const size_t at = bankBlockOffset(b) + 2 + (b == 0 ? 10 : 0) +
                          static_cast<size_t>(v % bankVoicesPerBlock) * bankRecordSize;
        bank.voices[static_cast<size_t>(v)] = dumpFromBankRecord(data + at);
    }
    const uint8_t* multis = data + bankBlockOffset(bankVoiceBlocks) + 2;
    for (int m = 0; m < multiCount; ++m)
        bank.multis[static_cast<size_t>(m)] = multiFromWire(multis + m * multiWireSize);
    if (channel)
        *channel = data[2] & 0x0F;
    return true;
}

std::vector<uint8_t> encodeBankDump(const Bank& bank, int channel)
{
    std::vector<VoiceDump> voices(bank.voices.begin(), bank.voices.end());
    std::vector<const uint8_t*> records;
    for (VoiceDump& d : voices) {
        d = writtenDump(d.data());
        records.push_back(d.data() + bankRecordOffset);
    }
    uint8_t multiPayload[bankMultiPayload];
    for (int m = 0; m < multiCount; ++m) {
        MultiRecord r = bank.multis[static_cast<size_t>(m)];
        setMultiChecksum(r);
        multiToWire(r, multiPayload + m * multiWireSize);
    }
    return frameBank(records, multiPayload, channel);
}

std::vector<std::vector<uint8_t>> bankBlocks(const std::vector<uint8_t>& message)
{
    std::vector<std::vector<uint8_t>> pieces;
    if (message.size() != bankExpectedSize)
        return pieces;
    for (int b = 0; b < bankBlockCount; ++b) {
        const size_t from = b == 0 ? 0 : bankBlockOffset(b);
        const size_t to = b + 1 == bankBlockCount ? message.size() : bankBlockOffset(b + 1);
        pieces.emplace_back(message.begin() + static_cast<long>(from),
                            message.begin() + static_cast<long>(to));
    }
    return pieces;
}

// ---- multi fields ----

int multiLevelShown(int stored)
{
    return levelTable().shown[clampTo(stored, 0, 127)];
}
int multiLevelStored(int shown)
{
    return levelTable().stored[clampTo(shown, 0, 99)];
}

const std::vector<MultiField>& multiFields()
{
    static const std::vector<MultiField> fields = [] {
        std::vector<MultiField> f;
        f.push_back({"name", "Name", 0, 0, nullptr, nullptr, false, -1});
        f.push_back({"effectType", "Effect type", 0, 15, getEffectType, setEffectType, false, -1});
        f.push_back({"effectDepth", "Effect depth", 0, 7, getEffectDepth, setEffectDepth, false, -1});
        for (int p = 0; p < multiParts; ++p) {
            const std::string path = "part[" + std::to_string(p + 1) + "].";
            const std::string caption = "Part " + std::to_string(p + 1) + " ";
            f.push_back({path + "channel", caption + "channel", 1, 17, getChannel, setChannel, true, p});
            f.push_back({path + "voice", caption + "voice", 0, 191, getVoice, setVoice, true, p});
            f.push_back({path + "level", caption + "level", 0, 99, getLevel, setLevel, true, p});
            f.push_back({path + "detune", caption + "detune", -16, 16, getDetune, setDetune, true, p});
            f.push_back({path + "noteShift", caption + "note shift", -24, 24, getShift, setShift, true, p});
            f.push_back({path + "noteLow", caption + "lowest note", 0, 127, getLow, setLow, true, p});
            f.push_back({path + "noteHigh", caption + "highest note", 0, 127, getHigh, setHigh, true, p});
        }
        return f;
    }();
    return fields;
}

const MultiField* findMultiField(const std::string& path)
{
    return findByPath(multiFields(), path);
}

const MultiField& multiField(MultiFieldId id, int part)
{
    // The table's order: name, effect type and depth, then seven rows per part.
    constexpr int partFields = 7;
    const int n = static_cast<int>(id);
    const int first = static_cast<int>(MultiFieldId::Channel);
    const int row = n < first ? 1 + n : 3 + part * partFields + (n - first);
    return multiFields()[static_cast<size_t>(row)];
}

std::string multiName(const MultiRecord& m)
{
    return std::string(reinterpret_cast<const char*>(m.data() + mName), 8);
}

void setMultiName(MultiRecord& m, const std::string& name)
{
    for (size_t i = 0; i < 8; ++i)
        m[mName + i] = i < name.size() ? static_cast<uint8_t>(name[i]) & 0x7F : ' ';
    setMultiChecksum(m);
}

std::string multiVoiceText(int v)
{
    v = clampTo(v, 0, 191);
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d", "PIC"[v / 64], v % 64 + 1);
    return text;
}

std::string multiFieldText(const MultiField& f, const MultiRecord& m)
{
    if (f.isName()) {
        const std::string name = multiName(m);
        return nameText(name.data(), name.size());
    }
    const int value = f.get(m, f.part);
    if (f.get == getChannel)
        return value == 17 ? "off" : std::to_string(value);
    if (f.get == getVoice)
        return multiVoiceText(value);
    return std::to_string(value);
}

bool multiFieldValue(const MultiField& f, const std::string& text, int& value)
{
    if (f.isName())
        return false;
    if (f.get == getChannel && text == "off") {
        value = 17;
        return true;
    }
    if (f.get == getVoice) {
        static const std::string banks = "PIC";
        int number = 0;
        // "P30 Fanfare": the name after the number is the preset's, as show gives it.
        if (text.size() > 4 && text[3] == ' ')
            return multiFieldValue(f, text.substr(0, 3), value);
        if (text.size() != 3 || banks.find(text[0]) == std::string::npos || text[1] < '0' || text[1] > '9' ||
            !parseInt(text.substr(1), number) || number < 1 || number > 64)
            return false;
        value = static_cast<int>(banks.find(text[0])) * 64 + number - 1;
        return true;
    }
    if (!parseInt(text, value) || value < f.minimum || value > f.maximum)
        return false;
    return !(f.get == getChannel && value == 17);   // "off" names it
}

std::string formatBank(const Bank& bank, bool sy35)
{
    std::string out;
    out.reserve(48 * 1024);
    for (int v = 0; v < bankVoices; ++v) {
        const VoiceDump& d = bank.voices[static_cast<size_t>(v)];
        out += "voice[" + voiceSlot(v) + "].name=";
        out += nameText(reinterpret_cast<const char*>(d.data() + dumpNameOffset), voiceNameLength);
        out += '\n';
    }
    for (int m = 0; m < multiCount; ++m) {
        const std::string prefix = "multi[" + std::to_string(m + 1) + "].";
        for (const MultiField& f : multiFields()) {
            const MultiRecord& record = bank.multis[static_cast<size_t>(m)];
            // A preset voice by its name too; the name is passed over when read back.
            const std::string text =
                f.get == getVoice ? multiVoiceLabel(f.get(record, f.part), sy35) : multiFieldText(f, record);
            out += prefix + f.path + "=" + text + "\n";
        }
    }
    return out;
}

std::string quotedText(const std::string& text)
{
    constexpr size_t longest = 60;
    std::string out = "'";
    for (size_t i = 0; i < text.size() && i < longest; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c <= 0x7E) {
            out += static_cast<char>(c);
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
    }
    return out + (text.size() > longest ? "...'" : "'");
}

namespace {

// A multi name as set: 8 characters from 0x20..0x7E, given plain or as \xHH.
bool multiNameFromText(const std::string& text, char (&name)[8])
{
    if (!nameFromText(text, name, sizeof name))
        return false;
    for (char c : name)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

bool voiceNameLine(const std::string& path, int& slot)
{
    return path.size() == 15 && path.compare(0, 7, "voice[I") == 0 && path.compare(9, 6, "].name") == 0 &&
           parseInt(path.substr(7, 2), slot) && slot >= 1 && slot <= bankVoices && path[7] != '+' &&
           path[7] != '-';
}

}   // namespace

bool parseMultiLine(std::string line, int number, Bank& bank, std::string& error)
{
    const std::string at = "line " + std::to_string(number) + ": ";
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty())
        return true;
    const auto eq = line.find('=');
    if (eq == std::string::npos) {
        error = at + "expected path=value";
        return false;
    }
    const std::string path = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    int slot = 0;
    if (voiceNameLine(path, slot)) {
        const VoiceDump& d = bank.voices[static_cast<size_t>(slot - 1)];
        if (value != nameText(reinterpret_cast<const char*>(d.data() + dumpNameOffset), voiceNameLength)) {
            error = at + "voice names are not set here";
            return false;
        }
        return true;
    }
    const auto close = path.find("].");
    int m = 0;
    const MultiField* f = nullptr;
    if (path.compare(0, 6, "multi[") == 0 && close != std::string::npos && close > 6 && close <= 8 &&
        path[6] >= '0' && path[6] <= '9' && parseInt(path.substr(6, close - 6), m) && m >= 1 &&
        m <= multiCount)
        f = findMultiField(path.substr(close + 2));
    if (f == nullptr) {
        error = at + "unknown field " + quotedText(path);
        return false;
    }
    MultiRecord& record = bank.multis[static_cast<size_t>(m - 1)];
    // The value the field shows already leaves its bytes as they are: several stored
    // values show as one, and a stored value outside the range shows as it is.
    if (value == multiFieldText(*f, record))
        return true;
    if (f->isName()) {
        char name[8];
        if (!multiNameFromText(value, name)) {
            error = at + "a multi name is 8 characters from space to ~ (\\xHH for those), not " +
                    quotedText(value);
            return false;
        }
        for (int i = 0; i < 8; ++i)
            record[mName + i] = static_cast<uint8_t>(name[i]);
        setMultiChecksum(record);
        return true;
    }
    int shown = 0;
    if (!multiFieldValue(*f, value, shown)) {
        std::string range = std::to_string(f->minimum) + ".." + std::to_string(f->maximum);
        if (f->get == getChannel)
            range = "1..16 or off";
        else if (f->get == getVoice)
            range = "P01..P64, I01..I64, C01..C64";
        error = at + quotedText(value) + " does not fit " + path + " (" + range + ")";
        return false;
    }
    if (shown != f->get(record, f->part))
        f->set(record, f->part, shown);
    return true;
}

bool parseMultiLines(const std::string& text, Bank& bank, std::string& error)
{
    Bank result = bank;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line))
        if (!parseMultiLine(line, ++number, result, error))
            return false;
    bank = result;
    return true;
}

void remapMultiVoices(Bank& bank, int from, int to, bool swap)
{
    if (from == to || from < 0 || to < 0 || from >= bankVoices || to >= bankVoices)
        return;
    const uint8_t internal = 1 << 6;
    for (MultiRecord& m : bank.multis) {
        bool changed = false;
        for (int p = 0; p < multiParts; ++p) {
            uint8_t& b = m[mVoice + p];
            if (b == (internal | from)) {
                b = static_cast<uint8_t>(internal | to);
                changed = true;
            } else if (swap && b == (internal | to)) {
                b = static_cast<uint8_t>(internal | from);
                changed = true;
            }
        }
        if (changed)
            setMultiChecksum(m);
    }
}

std::string presetVoiceName(int number)
{
    static const std::array<std::string, bankVoices> names = [] {
        std::array<std::string, bankVoices> n;
        std::istringstream in(sy22_preset_voices_csv);
        std::string line;
        while (std::getline(in, line)) {
            // P01,"Genesis "
            if (line.size() < 6 || line[0] != 'P' || line[3] != ',')
                continue;
            const int slot = (line[1] - '0') * 10 + (line[2] - '0') - 1;
            const auto open = line.find('"');
            const auto close = line.rfind('"');
            if (slot < 0 || slot >= bankVoices || open == std::string::npos || close <= open)
                continue;
            std::string name = line.substr(open + 1, close - open - 1);
            while (!name.empty() && name.back() == ' ')
                name.pop_back();
            n[static_cast<size_t>(slot)] = name;
        }
        return n;
    }();
    return number >= 0 && number < bankVoices ? names[static_cast<size_t>(number)] : std::string();
}

std::string multiVoiceLabel(int shownVoice, bool sy35)
{
    const std::string text = multiVoiceText(shownVoice);
    if (sy35 || shownVoice < 0 || shownVoice >= bankVoices)
        return text;
    const std::string name = presetVoiceName(shownVoice);
    return name.empty() ? text : text + " " + name;
}
