// SPDX-License-Identifier: GPL-3.0-or-later
// The .SYX loader: a file gives a dump exactly when it holds a well-formed voice dump,
// and then that dump byte for byte; a refused file gives none and says "Invalid file".
#include <cstring>

#include "library/fileio.h"
#include "tests/fuzz/fuzz_support.h"

namespace {
struct Events : TFileIOEvents {
    int invalid = 0;
    void invalidFile() override { ++invalid; }
    void saveError(const std::string&) override {}
};
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = scratchPath("load.syx");
    if (!writeWhole(path, data, size))
        return 0;
    Events events;
    TFileIO io(scratchPath("unused.syl"));
    io.events = &events;
    const std::optional<VoiceDump> loaded = io.loadVoiceFile(path);

    const long at = findWellFormedVoiceDump(data, size);
    FUZZ_CHECK(loaded.has_value() == (at >= 0));
    if (loaded) {
        FUZZ_CHECK(*checkVoiceDump(loaded->data()) == 0);
        FUZZ_CHECK(std::memcmp(loaded->data(), data + at, dumpSize) == 0);
        FUZZ_CHECK(events.invalid == 0);
    } else {
        FUZZ_CHECK(events.invalid == 1);
    }
    return 0;
}
