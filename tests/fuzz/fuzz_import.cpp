// SPDX-License-Identifier: GPL-3.0-or-later
// The import readers for bank dumps and Standard MIDI Files (FUZZ_MIDI_FILE: the input
// follows an "MThd"; otherwise it is searched byte by byte for single and bank dumps).
// Whatever the bytes, every voice that comes out is a well-formed dump in the library's
// form (TG33 voices among them, converted), and a file that gives no voice is refused
// with a reason.
#include <cstring>

#include "library/voiceimport.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> file;
#ifdef FUZZ_MIDI_FILE
    file = {'M', 'T', 'h', 'd'};
#else
    file = {0x00};   // never taken for a MIDI file
#endif
    file.insert(file.end(), data, data + size);
    const VoiceReadResult result = readVoices(file.data(), file.size());
    for (const VoiceDump& dump : result.voices) {
        FUZZ_CHECK(*checkVoiceDump(dump.data()) == 0);
        FUZZ_CHECK(dump[2] == 0);
        VoiceDump again = dump;
        normaliseDump(again.data());
        FUZZ_CHECK(again == dump);
    }
    // Each voice converted from a TG33 one carries the inner checksum the synthesiser checks.
    for (size_t i = 0; i < result.converted.size() && i < result.voices.size(); ++i)
        FUZZ_CHECK(!result.converted[i] || innerChecksumOk(result.voices[i].data()));
    FUZZ_CHECK(!result.voices.empty() || !result.refusals.empty());
    for (const VoiceRefusal& r : result.refusals)
        FUZZ_CHECK(!r.reason.empty());
    return 0;
}
