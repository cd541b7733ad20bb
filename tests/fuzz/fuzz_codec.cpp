// SPDX-License-Identifier: GPL-3.0-or-later
// The dump decoder, then the encoder: whatever 592 bytes come in, what goes out is a
// well-formed dump that decodes to the same voice, and `show` of it encodes back to it.
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t in[dumpSize] = {};
    for (size_t i = 0; i < size && i < dumpSize; ++i)
        in[i] = data[i];

    Voice first = resetOne();
    decodeVoice(in, first);
    const std::vector<uint8_t> out = encodedDump(first);
    FUZZ_CHECK(out[0] == 0xF0 && out[dumpSize - 1] == 0xF7);
    for (int i = 1; i < dumpSize - 1; ++i)
        FUZZ_CHECK(out[static_cast<size_t>(i)] < 0x80);
    FUZZ_CHECK(*checkVoiceDump(out.data()) == 0);   // frame, header, count, checksum

    Voice second = resetOne();
    decodeVoice(out.data(), second);
    FUZZ_CHECK(carriedFields(first) == carriedFields(second));

    // tarvik-voice show | tarvik-voice encode gives back the dump the program wrote.
    Voice shown = resetOne();
    decodeVoice(out.data(), shown);
    storedFirstRepeats(out.data(), shown.levelVector.repeats[0], shown.detuneVector.repeats[0]);
    Voice parsed = resetOne();
    std::string error;
    FUZZ_CHECK(parseVoiceLines(formatVoice(shown), parsed, error));
    FUZZ_CHECK(encodedDump(parsed) == out);
    return 0;
}
