// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice convert: TG33 single dumps and banks into SY ones and back, what each
// voice lost on standard error. Singles stay singles; a TG33 bank becomes a whole SY
// bank with 16 initial multis, an SY bank a TG33 bank of its 64 voices.
#include <cstdio>

#include "files/filewrite.h"
#include "settings/settings.h"
#include "tools/tarvik-voice/commands.h"
#include "voice/bank.h"
#include "voice/sysex.h"
#include "voice/tg33.h"
#include "voice/voicefields.h"

bool takeModelOption(Args& args, VoiceModel& model, std::string& error)
{
    model = TSettings(settingsFileName).model == 1 ? VoiceModel::sy35 : VoiceModel::sy22;
    Args rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--model") {
            rest.push_back(args[i]);
            continue;
        }
        const std::string value = i + 1 < args.size() ? args[++i] : "";
        if (value != "sy22" && value != "sy35") {
            error = "--model takes sy22 or sy35";
            return false;
        }
        model = value == "sy35" ? VoiceModel::sy35 : VoiceModel::sy22;
    }
    args = rest;
    return true;
}

namespace {

// One run of convert: the messages of the file in, the bytes going out.
struct Conversion {
    std::string file;
    bool toTG33 = false;
    VoiceModel model = VoiceModel::sy22;
    std::vector<uint8_t> out;
    int converted = 0;   // messages converted
    int copied = 0;      // messages already in the form asked for
    int refused = 0;
    int singles = 0;   // single voices met, for their numbers

    void refuse(size_t at, const std::string& what, const std::string& reason)
    {
        ++refused;
        fail(file + ": " + what + " at byte " + std::to_string(at) + ": " + reason);
    }
    void copy(const uint8_t* m, size_t size)
    {
        out.insert(out.end(), m, m + size);
        ++copied;
    }
};

std::string voiceLabel(const std::string& slot, const uint8_t* syDump)
{
    return slot + " \"" + nameText(reinterpret_cast<const char*>(syDump + dumpNameOffset), voiceNameLength) +
           "\"";
}

void printReport(const std::string& voice, const ConversionReport& report)
{
    for (const std::string& line : report)
        std::fprintf(stderr, "%s: %s\n", voice.c_str(), line.c_str());
}

// "I01".."I64".
std::string slotName(int v)
{
    return multiVoiceText(bankVoices + v);
}

void convertSySingle(Conversion& c, const uint8_t* m, size_t length, bool closed, size_t at)
{
    const std::string voice = "voice " + std::to_string(++c.singles);
    if (length + 1 != dumpSize || !closed)
        return c.refuse(at, voice, length + 1 < dumpSize || !closed ? "truncated" : "too long");
    if (const char* fault = checkVoiceDump(m); *fault)
        return c.refuse(at, voice, fault);
    if (!c.toTG33)
        return c.copy(m, dumpSize);
    ConversionReport report;
    const std::vector<uint8_t> single = tg33SingleDump(tg33RecordFromDump(m, c.model, &report));
    printReport(voiceLabel(voice, m), report);
    c.out.insert(c.out.end(), single.begin(), single.end());
    ++c.converted;
}

void convertSyBank(Conversion& c, const uint8_t* m, size_t length, bool closed, size_t at)
{
    Bank bank;
    std::string error;
    if (!parseBankDump(m, length + (closed ? 1 : 0), bank, error))
        return c.refuse(at, "bank", error);
    if (!c.toTG33)
        return c.copy(m, length + 1);
    std::vector<TG33Record> records;
    for (int v = 0; v < bankVoices; ++v) {
        ConversionReport report;
        const uint8_t* d = bank.voices[static_cast<size_t>(v)].data();
        records.push_back(tg33RecordFromDump(d, c.model, &report));
        printReport(voiceLabel(slotName(v), d), report);
    }
    std::fprintf(stderr, "bank at byte %zu: its 16 multis stay behind: a TG33 bank holds voices only\n", at);
    const std::vector<uint8_t> tg33 = tg33BankDump(records);
    c.out.insert(c.out.end(), tg33.begin(), tg33.end());
    ++c.converted;
}

void convertTG33Single(Conversion& c, const uint8_t* m, size_t length, bool closed, size_t at)
{
    const std::string voice = "voice " + std::to_string(++c.singles);
    if (const char* fault = tg33SingleFault(m, length, closed); *fault)
        return c.refuse(at, "TG33 " + voice, fault);
    if (c.toTG33)
        return c.copy(m, tg33SingleSize);
    ConversionReport report;
    const VoiceDump d = dumpFromTG33Record(tg33RecordOfSingle(m).data(), c.model, &report);
    printReport(voiceLabel(voice, d.data()), report);
    c.out.insert(c.out.end(), d.begin(), d.end());
    ++c.converted;
}

void convertTG33Bank(Conversion& c, const uint8_t* m, size_t length, bool closed, size_t at)
{
    const std::vector<TG33BankBlock> blocks = readTG33BankBlocks(m, length);
    if (c.toTG33) {
        for (const TG33BankBlock& b : blocks)
            if (!b.fault.empty())
                return c.refuse(at, "TG33 bank", "a damaged block (" + b.fault + ")");
        return c.copy(m, length + (closed ? 1 : 0));
    }
    // A damaged block is refused alone: its four slots keep the initial voice.
    Bank bank = initialBank();
    for (size_t b = 0; b < blocks.size(); ++b) {
        const int first = static_cast<int>(b) * tg33VoicesPerBlock;
        if (!blocks[b].fault.empty()) {
            c.refuse(at, "TG33 bank",
                     "block " + std::to_string(b + 1) + ": " + blocks[b].fault + "; " + slotName(first) +
                         ".." + slotName(first + 3) + " hold the initial voice");
            continue;
        }
        for (int k = 0; k < tg33VoicesPerBlock; ++k) {
            ConversionReport report;
            VoiceDump& d = bank.voices[static_cast<size_t>(first + k)];
            d = dumpFromTG33Record(blocks[b].records[static_cast<size_t>(k)].data(), c.model, &report);
            printReport(voiceLabel(slotName(first + k), d.data()), report);
        }
    }
    const std::vector<uint8_t> sy = encodeBankDump(bank);
    c.out.insert(c.out.end(), sy.begin(), sy.end());
    ++c.converted;
}

// Every message of the file, each converted, copied or refused in turn; other messages
// and bytes between them are left behind.
void convertMessages(Conversion& c, const std::vector<uint8_t>& data)
{
    size_t i = 0;
    while (i < data.size()) {
        if (data[i] != sysexStart) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < data.size() && data[end] != sysexStart && data[end] != sysexEnd)
            ++end;
        const bool closed = end < data.size() && data[end] == sysexEnd;
        const uint8_t* m = data.data() + i;
        const size_t length = end - i;
        if (hasDumpHead(m, length))
            convertSySingle(c, m, length, closed, i);
        else if (hasBankHead(m, length))
            convertSyBank(c, m, length, closed, i);
        else if (hasTG33SingleHead(m, length))
            convertTG33Single(c, m, length, closed, i);
        else if (hasTG33BankHead(m, length))
            convertTG33Bank(c, m, length, closed, i);
        else if (hasTG33MultiHead(m, length))
            std::fprintf(stderr, "byte %zu: a TG33 multi, left behind (only voices are converted)\n", i);
        i = closed ? end + 1 : end;
    }
}

}   // namespace

int cmdConvert(const Args& arguments)
{
    Args args = arguments;
    Conversion c;
    std::string error, to;
    if (!takeModelOption(args, c.model, error))
        return fail(error + "; " + usageOf("convert"));
    Args words;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--to" && i + 1 < args.size())
            to = args[++i];
        else if (args[i].size() > 1 && args[i][0] == '-')
            return fail("unknown option " + args[i] + "; " + usageOf("convert"));
        else
            words.push_back(args[i]);
    }
    if (words.size() != 2 || (to != "sy" && to != "tg33"))
        return fail(usageOf("convert"));
    c.file = words[0];
    c.toTG33 = to == "tg33";
    std::vector<uint8_t> data;
    if (!readFile(words[0], data, error))
        return fail(error);
    convertMessages(c, data);
    if (c.converted == 0 && c.refused == 0)
        return fail(words[0] + (c.copied > 0 ? ": holds " + std::string(c.toTG33 ? "TG33" : "SY") +
                                                   " data already, nothing to convert"
                                             : ": no voice dump or bank in the file"));
    if (c.converted == 0)
        return fail(words[1] + " is not written: nothing could be converted");
    TSafeFile out;
    if (!out.open(words[1]) || !out.write(c.out.data(), c.out.size()) || !out.commit())
        return fail(out.error);
    return c.refused > 0 ? 1 : 0;
}
