// SPDX-License-Identifier: GPL-3.0-or-later
// blend, morph, nudge and breed: new voices from voice files, each parent read whole
// and strictly, nothing written unless every parent and number is good.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "tools/tarvik-voice/commands.h"
#include "voice/dumpcodec.h"
#include "voice/explore.h"

namespace {

// A file that holds exactly one well-formed voice dump (leading bytes before its F0
// aside); false with the reason, naming the file.
bool readVoiceFile(const std::string& path, Voice& v, std::string& error)
{
    std::vector<uint8_t> data;
    if (!readFile(path, data, error))
        return false;
    size_t start = 0;
    while (start < data.size() && data[start] != 0xF0)
        ++start;
    if (start == data.size()) {
        error = path + ": no System Exclusive message (no F0 byte)";
        return false;
    }
    const size_t length = data.size() - start;
    if (length < dumpSize) {
        error = path + ": the dump is " + std::to_string(length) + " bytes long, a voice dump is 592";
        return false;
    }
    if (length > dumpSize) {
        error = path + ": " + std::to_string(length) +
                " bytes from the first F0, more than one voice dump (592 bytes): a bank or several voices?";
        return false;
    }
    if (const char* problem = checkVoiceDump(data.data() + start); *problem) {
        error = path + ": " + problem;
        return false;
    }
    v = decodedVoice(data.data() + start);
    return true;
}

// The words of a command: its files, and each --option with its value (--lock and
// --unlock may repeat).
struct Words {
    std::vector<std::string> files;
    std::map<std::string, std::string> values;
    std::vector<std::string> locks, unlocks;
};

bool splitWords(const Args& args, const std::vector<std::string>& options, bool unlockAllowed, Words& w,
                std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            w.files.push_back(a);
            continue;
        }
        bool known = a == "--lock" || (unlockAllowed && a == "--unlock");
        for (const std::string& o : options)
            known = known || a == o;
        if (!known || i + 1 == args.size()) {
            error = known ? a + " wants a value" : a + ": unknown option";
            return false;
        }
        const std::string& value = args[++i];
        if (a == "--lock")
            w.locks.push_back(value);
        else if (a == "--unlock")
            w.unlocks.push_back(value);
        else
            w.values[a] = value;
    }
    return true;
}

bool takeLocks(const Words& w, GroupLocks& locks, std::string& error)
{
    for (const std::string& name : w.locks) {
        FieldGroup g;
        if (error = parseFieldGroup(name, g); !error.empty())
            return false;
        locks.lock(g);
    }
    for (const std::string& name : w.unlocks) {
        if (name != "tuning") {
            error = "--unlock " + name + ": only tuning is locked at first (--unlock tuning)";
            return false;
        }
        locks.unlock(FieldGroup::Tuning);
    }
    return true;
}

// A decimal fraction such as 0.25, -1 or .5, inside lo..hi.
bool takeFraction(const Words& w, const std::string& option, double lo, double hi, double& value,
                  std::string& error)
{
    const auto it = w.values.find(option);
    const std::string range = lo < 0 ? "-1..1" : "0..1";
    if (it == w.values.end()) {
        error = option + " is missing (a number in " + range + ")";
        return false;
    }
    const std::string& text = it->second;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(value) || value < lo || value > hi ||
        text.find_first_of("xXnN") != std::string::npos) {
        error = option + " " + text + ": a number in " + range;
        return false;
    }
    return true;
}

bool readParents(const Words& w, std::vector<Voice>& voices, std::string& error)
{
    for (const std::string& path : w.files) {
        voices.emplace_back();
        if (!readVoiceFile(path, voices.back(), error))
            return false;
    }
    return true;
}

int writeDump(const Voice& v)
{
    const VoiceDump dump = encodeVoice(v);
    if (std::fwrite(dump.data(), 1, dumpSize, stdout) != dumpSize || std::fflush(stdout) != 0)
        return fail("cannot write the dump");
    return 0;
}

// The words, the locks and the parents of a command that writes one dump.
bool prepare(const Args& args, const char* name, const std::vector<std::string>& options, bool unlockAllowed,
             size_t fewest, size_t most, GroupLocks& locks, Words& w, std::vector<Voice>& voices)
{
    std::string error;
    if (!splitWords(args, options, unlockAllowed, w, error) || !takeLocks(w, locks, error)) {
        fail(error);
        return false;
    }
    if (w.files.size() < fewest || w.files.size() > most) {
        fail(usageOf(name));
        return false;
    }
    if (!readParents(w, voices, error)) {
        fail(error);
        return false;
    }
    return true;
}

}   // namespace

int cmdBlend(const Args& args)
{
    GroupLocks locks = blendDefaultLocks();
    Words w;
    std::vector<Voice> voices;
    if (!prepare(args, "blend", {"--at"}, false, 2, 2, locks, w, voices))
        return 1;
    std::string error;
    double t = 0;
    Voice r;
    if (!takeFraction(w, "--at", 0, 1, t, error) ||
        !(error = blendVoices(voices[0], voices[1], t, locks, r)).empty())
        return fail(error);
    return writeDump(r);
}

int cmdMorph(const Args& args)
{
    GroupLocks locks = blendDefaultLocks();
    Words w;
    std::vector<Voice> voices;
    if (!prepare(args, "morph", {"--x", "--y"}, false, 2, 4, locks, w, voices))
        return 1;
    std::string error;
    double x = 0, y = 0;
    if (!w.values.count("--y") && voices.size() == 2)
        w.values["--y"] = "0";
    Voice r;
    if (!takeFraction(w, "--x", 0, 1, x, error) || !takeFraction(w, "--y", 0, 1, y, error) ||
        !(error = morphVoices(voices, x, y, locks, r)).empty())
        return fail(error);
    return writeDump(r);
}

int cmdNudge(const Args& args)
{
    GroupLocks locks = breedDefaultLocks();
    Words w;
    std::vector<Voice> voices;
    if (!prepare(args, "nudge", {"--by"}, true, 2, 2, locks, w, voices))
        return 1;
    std::string error;
    double amount = 0;
    Voice r;
    if (!takeFraction(w, "--by", -1, 1, amount, error) ||
        !(error = nudgeVoice(voices[0], voices[1], amount, locks, r)).empty())
        return fail(error);
    return writeDump(r);
}

int cmdBreed(const Args& args)
{
    BreedInput in;
    Words w;
    std::vector<Voice> voices;
    if (!prepare(args, "breed", {"--seed", "--strength", "--into"}, true, 1, 3, in.locks, w, voices))
        return 1;
    std::string error;
    if (!takeFraction(w, "--strength", 0, 1, in.strength, error))
        return fail(error);
    const auto seed = w.values.find("--seed");
    if (seed == w.values.end())
        return fail("--seed is missing (a whole number in 0..4294967295)");
    {
        char* end = nullptr;
        const unsigned long long s = std::strtoull(seed->second.c_str(), &end, 10);
        if (seed->second.empty() || *end || seed->second[0] == '-' || s > 0xFFFFFFFFull)
            return fail("--seed " + seed->second + ": a whole number in 0..4294967295");
        in.seed = static_cast<uint32_t>(s);
    }
    const auto into = w.values.find("--into");
    if (into == w.values.end())
        return fail("--into is missing (the folder for the 16 candidates)");
    std::error_code ec;
    if (!std::filesystem::is_directory(into->second, ec))
        return fail(into->second + ": not a folder");
    // The first parent is the current voice and the first favourite, the others the
    // next favourites.
    in.current = voices[0];
    in.favourites = voices;
    std::vector<Voice> bred;
    if (!(error = breedVoices(in, bred)).empty())
        return fail(error);
    for (size_t k = 0; k < bred.size(); ++k) {
        char name[40];
        std::snprintf(name, sizeof name, "candidate-%02zu.syx", k + 1);
        const std::string path = (std::filesystem::path(into->second) / name).string();
        const VoiceDump dump = encodeVoice(bred[k]);
        FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f && std::fwrite(dump.data(), 1, dumpSize, f) == dumpSize;
        if (!f || std::fclose(f) != 0 || !ok)
            return fail(path + ": cannot write the file");
    }
    return 0;
}
