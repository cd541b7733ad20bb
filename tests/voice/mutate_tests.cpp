// SPDX-License-Identifier: GPL-3.0-or-later
// Mutate keeps to the field table's ranges and leaves alone what is not ticked.
#include <gtest/gtest.h>

#include <cstring>

#include "voice/mutate.h"
#include "voice/voice.h"
#include "voice/voicefields.h"

namespace {

TEST(Mutate, AtFullStrengthEveryFieldStaysInItsRangeAndNameAndStepsStayUnlessTicked)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        Voice v;
        randomVoice(v, seed);
        const Voice before = v;
        MutateOptions options;
        options.strength = 100;
        options.seed = seed;
        mutateVoice(v, options);
        int moved = 0;
        for (const VoiceField& f : voiceFields()) {
            if (f.type == FieldType::Name)
                continue;
            // Inside the field's range, and shown inside the editors' range.
            const int value = fieldValue(v, f);
            EXPECT_GE(value, f.minimum) << f.path;
            EXPECT_LE(value, f.maximum) << f.path;
            if (value != fieldValue(before, f)) {
                EXPECT_GE(shownValue(f, value), f.editMinimum) << f.path;
                EXPECT_LE(shownValue(f, value), f.editMaximum) << f.path;
            }
            moved += value != fieldValue(before, f);
        }
        EXPECT_GT(moved, 100);
        EXPECT_EQ(std::memcmp(v.name, before.name, sizeof v.name), 0);
        // Every step of both vectors, positions included.
        EXPECT_EQ(std::memcmp(&v.levelVector, &before.levelVector, sizeof v.levelVector), 0);
        EXPECT_EQ(std::memcmp(&v.detuneVector, &before.detuneVector, sizeof v.detuneVector), 0);
        EXPECT_EQ(v.controllerReserved, before.controllerReserved);

        options.name = options.vectorSteps = true;
        mutateVoice(v, options);
        EXPECT_NE(std::memcmp(v.name, before.name, voiceNameLength), 0);
        for (int i = 0; i < voiceNameLength; ++i) {
            EXPECT_GE(v.name[i], 0x20);
            EXPECT_LE(v.name[i], 0x7E);
            EXPECT_NE(v.name[i], '\\');
        }
        EXPECT_EQ(v.name[voiceNameLength], 0);
    }
}

}   // namespace
