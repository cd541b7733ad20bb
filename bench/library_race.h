// SPDX-License-Identifier: GPL-3.0-or-later
// Two tarvik-voice processes writing one library at the same moment, and what the
// library holds afterwards: every record counted, every report compared with it.
// The race benchmark runs these, and the race tests once each.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "library/fileio.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

extern char** environ;

namespace race {

using Bytes = std::vector<uint8_t>;

inline Bytes readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeAll(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void writeText(const std::string& path, const std::string& text)
{
    writeAll(path, Bytes(text.begin(), text.end()));
}

// A well-formed dump that no other seed gives.
inline Bytes voiceDump(uint32_t seed)
{
    Voice v;
    randomVoice(v, seed);
    v.levelVector.abPosition[1] = static_cast<uint8_t>(v.levelVector.abPosition[0] ^ 1);
    v.detuneVector.cdPosition[1] = static_cast<uint8_t>(v.detuneVector.cdPosition[0] ^ 1);
    std::snprintf(v.name, sizeof v.name, "R%07u", seed % 10000000);
    const VoiceDump d = encodeVoice(v);
    return Bytes(d.begin(), d.end());
}

// count voices from seed first on, one after another, as one .SYX file.
inline void writeVoices(const std::string& path, uint32_t first, int count)
{
    Bytes all;
    for (int i = 0; i < count; ++i) {
        const Bytes d = voiceDump(first + static_cast<uint32_t>(i));
        all.insert(all.end(), d.begin(), d.end());
    }
    writeAll(path, all);
}

inline void writeLibrary(const std::string& path, uint32_t first, int count)
{
    Bytes all = {'T', 'O', 'R', 'V', 'A'};
    for (int i = 0; i < count; ++i) {
        const Bytes d = voiceDump(first + static_cast<uint32_t>(i));
        all.insert(all.end(), 4, 0);
        all.insert(all.end(), d.begin(), d.end());
    }
    writeAll(path, all);
}

// What a library holds: its well-formed records by dump, how many there are, and
// whether anything is torn (a damaged record or a part-record at the end).
struct Held {
    int64_t records = 0;
    bool torn = false;
    std::set<Bytes> dumps;
    std::vector<std::string> names;
};

inline Held heldIn(const std::string& path)
{
    Held h;
    const Bytes file = readAll(path);
    if (file.size() < 5 || std::memcmp(file.data(), "TORVA", 5) != 0) {
        h.torn = true;
        return h;
    }
    h.torn = (file.size() - 5) % libraryRecordSize != 0;
    for (size_t at = 5; at + libraryRecordSize <= file.size(); at += libraryRecordSize) {
        const uint8_t* dump = file.data() + at + 4;
        if (*checkVoiceDump(dump)) {
            h.torn = true;
            continue;
        }
        ++h.records;
        h.dumps.insert(Bytes(dump, dump + dumpSize));
        h.names.emplace_back(reinterpret_cast<const char*>(dump + dumpNameOffset), voiceNameLength);
    }
    return h;
}

struct Run {
    pid_t pid = -1;
    std::string out;   // file that takes its standard output
    int status = -1;
};

// Starts tool with the arguments, its output into out (and its input from in, when
// given); waited for by finish.
inline Run start(const std::string& tool, const std::vector<std::string>& arguments, const std::string& out,
                 const std::string& in = {})
{
    Run r;
    r.out = out;
    std::vector<std::string> words = {tool};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (out + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!in.empty())
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    if (posix_spawn(&r.pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        r.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return r;
}

inline void finish(Run& r)
{
    int raw = 0;
    if (r.pid > 0 && waitpid(r.pid, &raw, 0) == r.pid)
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

inline std::string outputOf(const Run& r)
{
    const Bytes b = readAll(r.out);
    return std::string(b.begin(), b.end());
}

// One try of a race: what should be there, what is, and whether every report the
// programs gave was true.
struct Outcome {
    int64_t expected = 0;
    int64_t found = 0;
    bool reportsTrue = true;
    bool torn = false;
    int64_t lost() const { return expected > found ? expected - found : 0; }
    bool sound() const { return found == expected && reportsTrue && !torn; }
};

// Two imports of count new voices each into a library of base records.
inline Outcome twoImports(const std::string& tool, const std::string& dir, int base, int count)
{
    const std::string lib = dir + "/SOUNDS.SYL";
    writeLibrary(lib, 1, base);
    writeVoices(dir + "/a.syx", 100000, count);
    writeVoices(dir + "/b.syx", 200000, count);
    Run a = start(tool, {"library", "import", dir + "/a.syx", "--library", lib}, dir + "/a.out");
    Run b = start(tool, {"library", "import", dir + "/b.syx", "--library", lib}, dir + "/b.out");
    finish(a);
    finish(b);
    const Held h = heldIn(lib);
    Outcome o;
    o.expected = base + 2 * static_cast<int64_t>(count);
    o.torn = h.torn;
    o.found = 0;
    for (uint32_t s = 1; s < 1 + static_cast<uint32_t>(base); ++s)
        o.found += h.dumps.count(voiceDump(s)) ? 1 : 0;
    for (uint32_t first : {100000u, 200000u})
        for (int i = 0; i < count; ++i)
            o.found += h.dumps.count(voiceDump(first + static_cast<uint32_t>(i))) ? 1 : 0;
    const std::string added = "added " + std::to_string(count) + ",";
    o.reportsTrue = a.status == 0 && b.status == 0 && outputOf(a).rfind(added, 0) == 0 &&
                    outputOf(b).rfind(added, 0) == 0 && h.records == o.expected;
    return o;
}

// An import of count voices while record 0 of base records is deleted, the delete
// starting delayMs after the import (an import takes about a second for 20,000
// voices, a delete a tenth of that).
inline Outcome importAndDelete(const std::string& tool, const std::string& dir, int base, int count,
                               int delayMs)
{
    const std::string lib = dir + "/SOUNDS.SYL";
    writeLibrary(lib, 1, base);
    writeVoices(dir + "/a.syx", 100000, count);
    Run a = start(tool, {"library", "import", dir + "/a.syx", "--library", lib}, dir + "/a.out");
    usleep(static_cast<useconds_t>(delayMs) * 1000);
    Run d = start(tool, {"library", "delete", "0", "--library", lib}, dir + "/d.out");
    finish(a);
    finish(d);
    const Held h = heldIn(lib);
    Outcome o;
    o.expected = base - 1 + static_cast<int64_t>(count);
    o.torn = h.torn;
    for (uint32_t s = 2; s < 1 + static_cast<uint32_t>(base); ++s)
        o.found += h.dumps.count(voiceDump(s)) ? 1 : 0;
    for (int i = 0; i < count; ++i)
        o.found += h.dumps.count(voiceDump(100000 + static_cast<uint32_t>(i))) ? 1 : 0;
    o.reportsTrue = a.status == 0 && d.status == 0 && !h.dumps.count(voiceDump(1)) && h.records == o.expected;
    return o;
}

// Record 1 renamed while record 0 is deleted, delayMs after the delete began: the
// rename, reported done, must be there.
inline Outcome renameAndDelete(const std::string& tool, const std::string& dir, int base, int delayMs)
{
    const std::string lib = dir + "/SOUNDS.SYL";
    writeLibrary(lib, 1, base);
    Run d = start(tool, {"library", "delete", "0", "--library", lib}, dir + "/d.out");
    usleep(static_cast<useconds_t>(delayMs) * 1000);
    Run r = start(tool, {"library", "rename", "1", "RENAMED", "--library", lib}, dir + "/r.out");
    finish(d);
    finish(r);
    const Held h = heldIn(lib);
    Outcome o;
    o.expected = base;   // base - 1 records and the rename
    o.torn = h.torn;
    o.found = h.records;
    int renamed = 0;
    for (const std::string& name : h.names)
        renamed += name == "RENAMED " ? 1 : 0;
    o.found += renamed;
    o.reportsTrue = d.status == 0 && r.status == 0 && renamed == 1 && h.records == base - 1;
    return o;
}

// Two deletes at once, of record 0 and of the last record.
inline Outcome twoDeletes(const std::string& tool, const std::string& dir, int base)
{
    const std::string lib = dir + "/SOUNDS.SYL";
    writeLibrary(lib, 1, base);
    Run a = start(tool, {"library", "delete", "0", "--library", lib}, dir + "/a.out");
    Run b = start(tool, {"library", "delete", "1", "--library", lib}, dir + "/b.out");
    finish(a);
    finish(b);
    const Held h = heldIn(lib);
    Outcome o;
    o.expected = base - 2;
    o.torn = h.torn;
    o.found = h.records;
    o.reportsTrue = a.status == 0 && b.status == 0 && h.records == base - 2;
    return o;
}

// A bank file of 64 voices from seed first on and 16 initial multis.
inline void writeBank(const std::string& path, uint32_t first)
{
    Bank bank = initialBank();
    for (int v = 0; v < bankVoices; ++v) {
        const Bytes d = voiceDump(first + static_cast<uint32_t>(v));
        std::memcpy(bank.voices[static_cast<size_t>(v)].data(), d.data(), dumpSize);
    }
    writeAll(path, encodeBankDump(bank));
}

// The bank a file holds; false when it is no good bank.
inline bool bankIn(const std::string& path, Bank& bank)
{
    const Bytes file = readAll(path);
    std::string error;
    return parseBankDump(file.data(), file.size(), bank, error);
}

// Two bank sets at once on one bank file, each renaming a multi of its own: both
// names must be there (found counts them).
inline Outcome twoBankSets(const std::string& tool, const std::string& dir)
{
    const std::string bankFile = dir + "/BANK.SYX";
    writeBank(bankFile, 1);
    writeText(dir + "/a.lines", "multi[1].name=AAAAAAAA\n");
    writeText(dir + "/b.lines", "multi[2].name=BBBBBBBB\n");
    Run a = start(tool, {"bank", "set", bankFile}, dir + "/a.out", dir + "/a.lines");
    Run b = start(tool, {"bank", "set", bankFile}, dir + "/b.out", dir + "/b.lines");
    finish(a);
    finish(b);
    Outcome o;
    o.expected = 2;
    Bank bank;
    o.torn = !bankIn(bankFile, bank);
    if (!o.torn)
        o.found = (multiName(bank.multis[0]) == "AAAAAAAA" ? 1 : 0) +
                  (multiName(bank.multis[1]) == "BBBBBBBB" ? 1 : 0);
    o.reportsTrue = a.status == 0 && b.status == 0;
    return o;
}

// A bank set renaming multi 1 of a bank file while library bank writes the file anew
// from 64 library records (initial multis): whichever goes second, the file ends as
// the two in turn leave it, the library's 64 voices in their slots (found counts the
// voices there).
inline Outcome bankSetAndLibraryBank(const std::string& tool, const std::string& dir, int delayMs)
{
    const std::string lib = dir + "/SOUNDS.SYL";
    const std::string bankFile = dir + "/BANK.SYX";
    writeLibrary(lib, 1000, bankVoices);
    writeBank(bankFile, 1);
    writeText(dir + "/a.lines", "multi[1].name=AAAAAAAA\n");
    std::vector<std::string> words = {"library", "bank", "--library", lib, "--initial-multis", bankFile};
    for (int v = 0; v < bankVoices; ++v)
        words.push_back(std::to_string(v));
    Run l = start(tool, words, dir + "/l.out");
    usleep(static_cast<useconds_t>(delayMs) * 1000);
    Run a = start(tool, {"bank", "set", bankFile}, dir + "/a.out", dir + "/a.lines");
    finish(l);
    finish(a);
    Outcome o;
    o.expected = bankVoices;
    Bank bank;
    o.torn = !bankIn(bankFile, bank);
    for (int v = 0; !o.torn && v < bankVoices; ++v) {
        const Bytes want = voiceDump(1000 + static_cast<uint32_t>(v));
        o.found +=
            std::memcmp(bank.voices[static_cast<size_t>(v)].data() + 16, want.data() + 16, 574) == 0 ? 1 : 0;
    }
    o.reportsTrue = l.status == 0 && a.status == 0;
    return o;
}

}   // namespace race
