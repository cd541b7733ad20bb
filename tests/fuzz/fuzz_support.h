// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: a failed invariant aborts with a line saying which,
// so that libFuzzer keeps the input that broke it; scratch files live in memory.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);          \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

inline std::string scratchPath(const char* name)
{
    const char* shm = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(shm) + "/tarvik-fuzz-" + std::to_string(getpid()) + "-" + name;
}

inline bool writeWhole(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> readWhole(const std::string& path)
{
    std::vector<uint8_t> data;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            data.insert(data.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return data;
}

inline std::vector<uint8_t> encodedDump(const Voice& v)
{
    const VoiceDump d = encodeVoice(v);
    return {d.begin(), d.end()};
}

inline Voice resetOne()
{
    Voice v;
    resetVoice(v);
    return v;
}

// Every field that a dump carries, as path=value lines; the name as formatVoice has it.
// An AWM element's routing flags are sent as constants and its FM-only fields not at
// all, so they take no part in a comparison of voices that went through a dump.
inline std::string carriedFields(const Voice& v)
{
    std::string out;
    for (const VoiceField& f : voiceFields())
        if (f.travels)
            out += f.path + "=" +
                   (f.type == FieldType::Name ? std::string(v.name, voiceNameLength)
                                              : std::to_string(fieldValue(v, f))) +
                   "\n";
    return out;
}
