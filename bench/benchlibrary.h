// SPDX-License-Identifier: GPL-3.0-or-later
// The library the benchmarks list: records named V0000000 upwards, every tenth in
// Strings and Brass, the others in Strings alone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "library/fileio.h"
#include "voice/dumpcodec.h"

inline bool writeBenchLibrary(const std::string& path, int records)
{
    Voice v;
    resetVoice(v);
    std::vector<uint8_t> file = {'T', 'O', 'R', 'V', 'A'};
    file.reserve(5 + static_cast<size_t>(records) * libraryRecordSize);
    for (int n = 0; n < records; ++n) {
        std::snprintf(v.name, sizeof v.name, "V%07d", n % 10000000);
        const uint32_t mask = n % 10 == 0 ? 0x0003 : 0x0001;
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<uint8_t>(mask >> (8 * i)));
        const VoiceDump dump = encodeVoice(v);
        file.insert(file.end(), dump.begin(), dump.end());
    }
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && ok;
}
