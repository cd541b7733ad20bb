// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice bank show|set: a bank file's voice names and its 16 multis as
// path=value lines, and those lines written back into the file. Nothing is sent to
// the synthesiser here.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "files/filewrite.h"
#include "settings/settings.h"
#include "tools/tarvik-voice/commands.h"
#include "voice/bank.h"

namespace {

// A file far larger than a bank is refused without reading it all.
constexpr std::uintmax_t largestBankFile = 1024 * 1024;

}   // namespace

bool readBankFile(const std::string& path, std::vector<uint8_t>& data, Bank& bank, std::string& error)
{
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > largestBankFile) {
        error = path + ": not a bank dump";
        return false;
    }
    if (!readFile(path, data, error))
        return false;
    if (!parseBankDump(data.data(), data.size(), bank, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

namespace {

// The one bank file that show and set take; false, the message given, when the words
// are not one file or the file is no good bank.
bool readBankArgument(const Args& args, const char* sub, std::vector<uint8_t>& data, Bank& bank)
{
    std::string error;
    if (args.size() != 1)
        fail(usageOf("bank", sub));
    else if (!readBankFile(args[0], data, bank, error))
        fail(error);
    else
        return true;
    return false;
}

}   // namespace

int bankShow(const Args& args)
{
    std::vector<uint8_t> data;
    Bank bank;
    if (!readBankArgument(args, "show", data, bank))
        return 1;
    // The SY-35's preset voices are not known by name: its settings show the number alone.
    const std::string text = formatBank(bank, TSettings(settingsFileName).model == 1);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        return fail("cannot write the lines");
    return 0;
}

namespace {

// What bank set takes from its input: lines as bank show prints them (about 1,000),
// none of them long.
constexpr int mostLines = 10000;
constexpr size_t longestLine = 1024;

// Reads and applies the lines of standard input to bank, one at a time; false with
// error set at the first bad line, an over-long one, or too many.
bool applyInputLines(Bank& bank, std::string& error)
{
    std::string line;
    int number = 0;
    for (;;) {
        const int c = std::getchar();
        if (c != EOF && c != '\n') {
            if (line.size() == longestLine) {
                error = "line " + std::to_string(number + 1) + ": longer than " +
                        std::to_string(longestLine) + " characters: " + quotedText(line);
                return false;
            }
            line += static_cast<char>(c);
            continue;
        }
        if (c == EOF && std::ferror(stdin)) {
            error = "cannot read the lines";
            return false;
        }
        if (c == EOF && line.empty())
            return true;
        if (++number > mostLines) {
            error = "more than " + std::to_string(mostLines) + " lines";
            return false;
        }
        if (!parseMultiLine(line, number, bank, error))
            return false;
        line.clear();
        if (c == EOF)
            return true;
    }
}

}   // namespace

int bankSet(const Args& args)
{
    if (args.size() != 1)
        return fail(usageOf("bank", "set"));
    // Held from the read to the rename: another bank set or library bank on the same
    // file waits, then reads what this one wrote.
    TFileLock lock;
    if (!lock.lock(args[0]))
        return fail(lock.error);
    std::vector<uint8_t> data;
    Bank bank;
    if (!readBankArgument(args, "set", data, bank))
        return 1;
    const Bank before = bank;
    std::string error;
    if (!applyInputLines(bank, error))
        return fail(error + "; " + args[0] + " is unchanged");
    if (bank.multis == before.multis)
        return 0;
    // Only the multis that changed are written again, into the bytes as read, so that
    // everything else stays byte for byte as it was.
    const size_t block = bankBlockOffset(bankVoiceBlocks);
    uint8_t* payload = data.data() + block + 2;
    for (int m = 0; m < multiCount; ++m)
        if (bank.multis[static_cast<size_t>(m)] != before.multis[static_cast<size_t>(m)])
            multiToWire(bank.multis[static_cast<size_t>(m)], payload + m * multiWireSize);
    payload[bankMultiPayload] = bankBlockChecksum(payload, bankMultiPayload);
    TSafeFile out;
    if (!out.open(args[0]) || !out.write(data.data(), data.size()) || !out.commit())
        return fail(out.error + "; " + args[0] + " is unchanged");
    return 0;
}
