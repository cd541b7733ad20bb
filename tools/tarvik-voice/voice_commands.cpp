// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "tools/tarvik-voice/commands.h"
#include "voice/dumpcodec.h"
#include "voice/tg33.h"
#include "voice/voicefields.h"

bool readFile(const std::string& path, std::vector<uint8_t>& data, std::string& error)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = path + (std::filesystem::exists(path, ec) ? ": not a regular file" : ": no such file");
        return false;
    }
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot open the file";
        return false;
    }
    data.clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        data.insert(data.end(), chunk, chunk + n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = path + ": cannot read the file";
        return false;
    }
    if (data.empty()) {
        error = path + ": the file is empty";
        return false;
    }
    return true;
}

namespace {

// The one file that show and check take; false, the message given, when the words are
// not one file or it cannot be read.
bool readFileArgument(const Args& args, const char* name, std::vector<uint8_t>& data)
{
    std::string error;
    if (args.size() != 1)
        fail(usageOf(name));
    else if (!readFile(args[0], data, error))
        fail(error);
    else
        return true;
    return false;
}

}   // namespace

int cmdShow(const Args& arguments)
{
    Args args = arguments;
    std::vector<uint8_t> data;
    VoiceModel model = VoiceModel::sy22;
    std::string error;
    if (!takeModelOption(args, model, error))
        return fail(error + "; " + usageOf("show"));
    if (!readFileArgument(args, "show", data))
        return 1;
    long at = findVoiceDump(data.data(), data.size());
    // A TG33 voice before any SY one is shown as the SY voice it converts to, what the
    // conversion lost on standard error.
    const long tg33 = findTG33Single(data.data(), data.size());
    VoiceDump converted;
    const uint8_t* dump = at >= 0 ? data.data() + at : nullptr;
    if (tg33 >= 0 && (at < 0 || tg33 < at)) {
        ConversionReport report;
        converted = dumpFromTG33Record(tg33RecordOfSingle(data.data() + tg33).data(), model, &report);
        for (const std::string& line : report)
            std::fprintf(stderr, "%s: TG33 voice: %s\n", args[0].c_str(), line.c_str());
        dump = converted.data();
        at = tg33;
    }
    if (at < 0)
        return fail(args[0] + ": no voice dump in the file");
    Voice v;
    resetVoice(v);
    decodeVoice(dump, v);
    storedFirstRepeats(dump, v.levelVector.repeats[0], v.detuneVector.repeats[0]);
    const std::string text = formatVoice(v);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int cmdEncode(const Args& args)
{
    if (!args.empty())
        return fail(usageOf("encode"));
    std::ostringstream text;
    text << std::cin.rdbuf();
    Voice v;
    resetVoice(v);
    std::string error;
    if (!parseVoiceLines(text.str(), v, error))
        return fail(error);
    const VoiceDump dump = encodeVoice(v);
    if (std::fwrite(dump.data(), 1, dumpSize, stdout) != dumpSize || std::fflush(stdout) != 0)
        return fail("cannot write the dump");
    return 0;
}

int cmdCheck(const Args& args)
{
    std::vector<uint8_t> data;
    if (!readFileArgument(args, "check", data))
        return 1;
    size_t start = 0;
    while (start < data.size() && data[start] != 0xF0)
        ++start;
    if (start == data.size())
        return fail(args[0] + ": no System Exclusive message (no F0 byte)");
    if (data.size() - start < dumpSize)
        return fail(args[0] + ": the dump is " + std::to_string(data.size() - start) +
                    " bytes long, a voice dump is 592");
    const char* problem = checkVoiceDump(data.data() + start);
    if (*problem)
        return fail(args[0] + ": " + problem);
    std::printf("%s: a well-formed voice dump, \"%.8s\"\n", args[0].c_str(),
                reinterpret_cast<const char*>(data.data() + start + dumpNameOffset));
    return 0;
}
