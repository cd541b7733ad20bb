// SPDX-License-Identifier: GPL-3.0-or-later
// What the library tests share: a scratch folder per test, whole-file reads and
// writes, and events that count what the user would have seen.
#pragma once

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "library/fileio.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

using Bytes = std::vector<uint8_t>;

struct CountingEvents : TFileIOEvents {
    int invalid = 0;
    int saveErrors = 0;
    std::string lastReason;
    void invalidFile() override { ++invalid; }
    void saveError(const std::string& reason) override
    {
        ++saveErrors;
        lastReason = reason;
    }
};

// Ends the test program should the code under test wait for ever (a pipe, a device):
// a hang then fails at once instead of at the test run's time-out.
struct HangGuard {
    explicit HangGuard(unsigned seconds = 20) { alarm(seconds); }
    ~HangGuard() { alarm(0); }
};

inline Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes encoded(const Voice& v)
{
    const VoiceDump d = encodeVoice(v);
    return Bytes(d.begin(), d.end());
}

// A voice with every field drawn from the seed, both vectors moving so that a round
// trip through the codec gives back the same dump.
inline Voice seededVoice(uint32_t seed)
{
    Voice v;
    randomVoice(v, seed);
    v.levelVector.abPosition[1] = static_cast<uint8_t>(v.levelVector.abPosition[0] ^ 1);
    v.detuneVector.cdPosition[1] = static_cast<uint8_t>(v.detuneVector.cdPosition[0] ^ 1);
    return v;
}

inline Voice namedVoice(const char* name)
{
    Voice v;
    resetVoice(v);
    std::memcpy(v.name, name, voiceNameLength);
    v.name[voiceNameLength] = 0;
    return v;
}

// One library record as it stands in the file.
inline Bytes record(uint32_t mask, const Voice& v)
{
    Bytes r = {static_cast<uint8_t>(mask), static_cast<uint8_t>(mask >> 8), static_cast<uint8_t>(mask >> 16),
               static_cast<uint8_t>(mask >> 24)};
    const Bytes dump = encoded(v);
    r.insert(r.end(), dump.begin(), dump.end());
    return r;
}

inline Bytes libraryOf(const std::vector<Bytes>& records)
{
    Bytes file = {'T', 'O', 'R', 'V', 'A'};
    for (const Bytes& r : records)
        file.insert(file.end(), r.begin(), r.end());
    return file;
}

// Limits the size of files this process may write, for one scope. Writing past the
// limit then fails with EFBIG (the signal that would end the process is ignored), the
// way a full disk cuts a write short.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }
    bool active = false;

private:
    rlimit saved{};
    void (*oldHandler)(int) = nullptr;
};

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-library-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        io.libraryPath = path("SOUNDS.SYL");
        io.events = &events;
        resetVoice(voice);
    }
    void TearDown() override
    {
        io.closeFile();
        std::filesystem::remove_all(dir);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    Bytes library() const { return readBytes(io.libraryPath); }

    // The file object's voice traffic as the editor drives it: what is loaded is
    // decoded into voice (and counted), what is saved or stored is voice encoded.
    bool loadVoiceFile(const std::string& p) { return took(io.loadVoiceFile(p)); }
    bool loadRecord(int32_t n)
    {
        VoiceDump dump;
        return io.readDump(n, dump.data()) && took(dump);
    }
    bool saveVoiceFile(const std::string& p) { return io.saveVoiceFile(p, encodeVoice(voice)); }
    bool appendRecord(uint32_t mask) { return io.appendRecord(mask, encodeVoice(voice)); }
    bool overwriteRecord(int32_t n, uint32_t mask, std::optional<uint64_t> expected = {})
    {
        return io.overwriteRecord(n, mask, encodeVoice(voice), expected);
    }
    bool took(const std::optional<VoiceDump>& dump)
    {
        if (!dump)
            return false;
        decodeVoice(dump->data(), voice);
        ++loads;
        return true;
    }

    std::filesystem::path dir;
    CountingEvents events;
    TFileIO io;
    Voice voice;
    int loads = 0;
};
