// SPDX-License-Identifier: GPL-3.0-or-later
// Random variation of a voice: a share of its fields take random values inside their
// ranges, all taken from the one field table (voicefields.h).
#pragma once

#include <cstdint>

#include "voice/voice.h"

struct MutateOptions {
    int strength = 20;          // 1..100: the share of fields moved, in per cent
    bool name = false;          // the name may change too
    bool vectorSteps = false;   // the vectors' steps (repeats, end marks, positions) may change too
    uint32_t seed = 1;
};

// Moves about strength per cent of the fields the voice's elements and vectors use to
// random values within their ranges. Derived fields (the peak stages) are recomputed,
// the controller byte's spare bits and the fields a dump does not carry are left
// alone. The same seed gives the same voice.
void mutateVoice(Voice& v, const MutateOptions& options);
