// SPDX-License-Identifier: GPL-3.0-or-later
// The .SYX loader: a file loads exactly when it holds a well-formed voice dump, then
// as that dump decodes; a refused file leaves the voice unchanged and sends nothing.
#include "library/fileio.h"
#include "tests/fuzz/fuzz_support.h"

namespace {
struct Events : TFileIOEvents {
    int invalid = 0, sends = 0;
    void invalidFile() override { ++invalid; }
    void saveError(const std::string&) override {}
    void sendVoice() override { ++sends; }
};
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = scratchPath("load.syx");
    if (!writeWhole(path, data, size))
        return 0;
    Voice before = resetOne();
    std::snprintf(before.name, sizeof before.name, "Before  ");
    voice = before;
    Events events;
    TFileIO io(scratchPath("unused.syl"));
    io.events = &events;
    const bool loaded = io.loadVoiceFile(path);

    const long at = findWellFormedVoiceDump(data, size);
    FUZZ_CHECK(loaded == (at >= 0));
    if (loaded) {
        FUZZ_CHECK(*checkVoiceDump(data + at) == 0);
        Voice expected = before;
        decodeVoice(data + at, expected);
        FUZZ_CHECK(formatVoice(voice) == formatVoice(expected));
        FUZZ_CHECK(events.sends == 1 && events.invalid == 0);
    } else {
        FUZZ_CHECK(formatVoice(voice) == formatVoice(before));
        FUZZ_CHECK(events.sends == 0 && events.invalid == 1);
    }
    return 0;
}
