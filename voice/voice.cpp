// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice/voice.h"

#include <cstring>

void resetVoice(Voice& v)
{
    std::memset(&v, 0, sizeof v);
    std::memcpy(v.name, "12345678", voiceNameLength + 1);
    // An AWM element's AM and PM switches start on, as the synthesiser's own voices have them.
    for (int i = 0; i < 4; i += 2) {
        v.element[i].modulatorAM = 1;
        v.element[i].modulatorPM = 1;
    }
}

void updatePeakStage(OperatorBlock& block)
{
    const uint8_t levels[4] = {block.levelInitial, block.levelAttack, block.levelDecay1, block.levelDecay2};
    uint8_t lowest = levels[0];
    uint8_t stage = 0;
    for (uint8_t s = 1; s < 4; ++s) {
        if (levels[s] < lowest) {
            lowest = levels[s];
            stage = s;
        }
    }
    block.peakStage = stage;
}
