// SPDX-License-Identifier: GPL-3.0-or-later
// Exploring: whatever voices come in (decoded from any bytes, or any record bytes at
// all), every blend, nudge, morph and breed gives voices inside the editors' ranges
// that encode to a well-formed dump the synthesiser sends back unchanged.
#include <cstring>

#include "tests/fuzz/fuzz_support.h"
#include "voice/explore.h"

namespace {

void checkPlayable(const Voice& v)
{
    for (const VoiceField& f : voiceFields()) {
        if (f.type == FieldType::Name)
            continue;
        const int value = fieldValue(v, f);
        FUZZ_CHECK(value >= f.minimum && value <= f.maximum);
        const int shown = shownValue(f, value);
        FUZZ_CHECK(shown >= f.editMinimum && shown <= f.editMaximum);
    }
    const std::vector<uint8_t> out = encodedDump(v);
    FUZZ_CHECK(*checkVoiceDump(out.data()) == 0);
    FUZZ_CHECK(encodedDump(decodedVoice(out.data())) == out);
}

double fractionOf(const uint8_t* p)
{
    return (p[0] * 256 + p[1]) / 65535.0;
}

}   // namespace

// Twelve control bytes: the number of voices (2..4) and how each is read, the fraction,
// y, the locks, the seed and the strength; then each voice's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t control[12] = {};
    std::memcpy(control, data, size < sizeof control ? size : sizeof control);
    const size_t count = 2 + control[0] % 3;
    const double t = fractionOf(control + 1), y = fractionOf(control + 3);
    GroupLocks locks;
    for (int g = 0; g < fieldGroupCount; ++g)
        if ((control[5] * 256 + control[6]) >> g & 1)
            locks.lock(static_cast<FieldGroup>(g));
    uint32_t seed = 0;
    std::memcpy(&seed, control + 7, sizeof seed);
    const double strength = control[11] / 255.0;

    std::vector<Voice> voices;
    size_t at = sizeof control;
    for (size_t i = 0; i < count; ++i) {
        Voice v = resetOne();
        if (control[0] >> (3 + i) & 1) {
            // Any record bytes at all: fields far outside their ranges.
            const size_t n = at < size ? std::min(size - at, sizeof v) : 0;
            std::memcpy(&v, data + at, n);
            at += n;
        } else {
            uint8_t dump[dumpSize] = {};
            const size_t n = at < size ? std::min(size - at, sizeof dump) : 0;
            std::memcpy(dump, data + at, n);
            at += n;
            decodeVoice(dump, v);
        }
        voices.push_back(v);
    }

    Voice r;
    FUZZ_CHECK(blendVoices(voices[0], voices[1], t, locks, r).empty());
    checkPlayable(r);
    FUZZ_CHECK(nudgeVoice(voices[0], voices[1], 2 * t - 1, locks, r).empty());
    checkPlayable(r);
    FUZZ_CHECK(morphVoices(voices, t, y, locks, r).empty());
    checkPlayable(r);

    BreedInput in;
    in.current = voices[0];
    in.favourites.assign(voices.begin() + 1, voices.end());
    if (control[0] & 0x80)
        in.previous = voices[0];
    in.strength = strength;
    in.seed = seed;
    in.locks = locks;
    std::vector<Voice> bred;
    FUZZ_CHECK(breedVoices(in, bred).empty());
    FUZZ_CHECK(bred.size() == static_cast<size_t>(breedCount));
    for (const Voice& c : bred)
        checkPlayable(c);
    return 0;
}
