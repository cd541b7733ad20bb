// SPDX-License-Identifier: GPL-3.0-or-later
// The 256 FM waveforms of elements B and D: their names, the operator setup that
// choosing a waveform loads, and the carrier envelope of the "Preset" envelope type.
// Both tables are the synthesiser's own, kept as readable CSV in editors/data/ and
// read once from the text embedded in the program.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "editors/envelope.h"

constexpr int fmWaveCount = 256;

// Names in list order; the index is VoiceElement.waveform.
const std::array<std::string, fmWaveCount>& fmWaveNames();

// What choosing a waveform writes into an FM element. Levels here are in stored
// form (127 - shown), as the voice record holds them.
struct FMWaveSetup {
    uint8_t feedback;
    // carrier
    uint8_t carrierWave, carrierHarmonic, carrierFixed, carrierDetune, carrierTemperament;
    // modulator
    uint8_t modulatorWave, modulatorHarmonic, modulatorFixed, modulatorDetune, modulatorTemperament,
        modulatorLevel;
    uint8_t modLevelInitial, modLevelAttack, modLevelDecay1, modLevelDecay2;
    uint8_t modLevelScaling;
    uint8_t modRateAttack, modRateDecay1, modRateDecay2, modRateRelease;
    uint8_t modRateScaling;
};

// Indexed by waveform. The envelopes are in shown form (EnvelopeRow).
extern const std::array<FMWaveSetup, fmWaveCount>& fmWaveSetups;
extern const std::array<EnvelopeRow, fmWaveCount>& fmWaveEnvelopes;

// Copies a setup into an element: feedback, the carrier's wave, harmonic, fixed
// frequency, detune and temperament, and the whole modulator setup with its level
// and envelope. The carrier's level, envelope and scalings, the modulator's
// envelope-delay flag and every other element field stay.
void applyFMWaveSetup(VoiceElement& element, const FMWaveSetup& setup);
