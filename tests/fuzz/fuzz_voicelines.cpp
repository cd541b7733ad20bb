// SPDX-License-Identifier: GPL-3.0-or-later
// The `tarvik-voice encode` line parser: a refused text leaves the voice alone; a
// taken one encodes to a well-formed dump, and printing it parses back to it.
#include <cstring>

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Voice before = resetOne();
    Voice v = before;
    std::string error;
    if (!parseVoiceLines(text, v, error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(std::memcmp(&v, &before, sizeof v) == 0);
        return 0;
    }
    const std::vector<uint8_t> dump = encodedDump(v);
    FUZZ_CHECK(*checkVoiceDump(dump.data()) == 0);
    Voice again = resetOne();
    FUZZ_CHECK(parseVoiceLines(formatVoice(v), again, error));
    FUZZ_CHECK(formatVoice(again) == formatVoice(v));
    FUZZ_CHECK(encodedDump(again) == dump);
    return 0;
}
