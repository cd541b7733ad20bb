// SPDX-License-Identifier: GPL-3.0-or-later
// The voice record. The editors edit one in place and the codec turns it
// into the synthesiser's 592-byte bulk dump and back. Values are held in the
// synthesiser's own form: levels, operator levels and the LFO rate inverted
// (0 = loudest / fastest), pan as 4 - position, signed values as 8-bit two's complement.
#pragma once

#include <cstdint>

struct OperatorBlock {
    uint8_t fixedFrequency;    // flag: pitch does not track the keyboard (FM only)
    uint8_t fmWaveform;        // 0..7, 0 = pure sine (FM only)
    uint8_t fmFrequency;       // 0..15 harmonic (FM only)
    uint8_t level;             // 0..127, 0 loudest; the carrier's level is the element level
    uint8_t temperament;       // 0..3 keyboard pitch scaling
    uint8_t detune;            // 0..15
    uint8_t levelScaling;      // 0..15
    uint8_t rateScaling;       // 0..7
    uint8_t envelopeDelayOn;   // flag: the attack waits for the voice's envelopeDelay
    uint8_t rateAttack;        // 0..63
    uint8_t rateDecay1;        // 0..63
    uint8_t peakStage;         // 0..3, which level is highest (updatePeakStage)
    uint8_t rateDecay2;        // 0..63
    uint8_t rateRelease;       // 0..63
    uint8_t levelInitial;      // 0..127, stored inverted
    uint8_t levelAttack;       // 0..127, stored inverted
    uint8_t levelDecay1;       // 0..127, stored inverted
    uint8_t levelDecay2;       // 0..127, stored inverted
};

// Elements A and C (index 0 and 2) are AWM elements, B and D (1 and 3) FM elements,
// fixed by position. An AWM element uses only its carrier block, and not the
// carrier's fixedFrequency, fmWaveform or fmFrequency.
struct VoiceElement {
    uint8_t waveform;            // AWM 0..127, FM 0..255
    int8_t pitch;                // -12..+12 semitones
    int8_t velocityResponse;     // -5..+5
    int8_t aftertouchResponse;   // -3..+3
    uint8_t lfoWaveform;         // 0..4
    uint8_t lfoSpeed;            // 0..31
    uint8_t lfoDelay;            // 0..255 (editors offer 0..127)
    uint8_t lfoRate;             // 0..255, stored inverted: shown 127 - lfoRate
    uint8_t lfoAMDepth;          // 0..15
    uint8_t carrierAM;           // flag (FM)
    uint8_t modulatorAM;         // flag: FM assign to modulator; AWM the AM switch ("AM on")
    uint8_t lfoPMDepth;          // 0..31
    uint8_t carrierPM;           // flag (FM)
    uint8_t modulatorPM;         // flag: FM assign to modulator; AWM the PM switch ("PM on")
    uint8_t envelopeType;        // 0 User, 1 Preset, 2..7 named shapes
    uint8_t pan;                 // 0..4, the scroll bar shows 4 - pan
    uint8_t feedback;            // 0..7 (FM)
    OperatorBlock modulator;     // FM only
    OperatorBlock carrier;
};

constexpr int vectorSteps = 50;

struct VectorTable {
    int32_t repeats[vectorSteps];      // 0..253 shown "1".."254", 254 "Repeat", 255 "End"
    uint8_t cdPosition[vectorSteps];   // 0..62, shown as value - 31
    uint8_t abPosition[vectorSteps];   // 0..62, shown as value - 31
};

constexpr int voiceNameLength = 8;

struct Voice {
    uint8_t effectDepth;              // 0..7
    uint8_t effectType;               // 0..15
    char name[voiceNameLength + 1];   // 8 characters and a terminating zero
    uint8_t voiceConfig;              // 0 "A-B", 1 "A-B-C-D"
    uint8_t bendRange;                // 0..12
    uint8_t aftertouchAM;             // flag
    uint8_t aftertouchPM;             // flag
    uint8_t aftertouchLevel;          // flag
    uint8_t modWheelAM;               // flag
    uint8_t modWheelPM;               // flag
    // Bits 2 and 3 of the controller byte: the synthesiser sets them (its own initial
    // voice sets bit 2) but no control edits them. Kept as the byte AND 0x0C so that a
    // fetched voice goes back unchanged.
    uint8_t controllerReserved;
    int8_t aftertouchPitch;      // -12..+12
    uint8_t envelopeDelay;       // 0..127, shared by every block with envelopeDelayOn
    int8_t attackAdjust;         // -64..+63
    int8_t releaseAdjust;        // -64..+63
    VoiceElement element[4];     // A, B, C, D
    uint8_t levelVectorSpeed;    // 1..16 (units of 10 ms)
    uint8_t detuneVectorSpeed;   // 1..16
    VectorTable levelVector;
    VectorTable detuneVector;
};

// Element kinds are fixed by position.
constexpr bool isFMElement(int index)
{
    return (index & 1) != 0;
}

// Every field zero, then the name "12345678" and the AM and PM switches of elements
// A and C on.
void resetVoice(Voice& v);

// Recompute peakStage: the stage whose stored level is lowest (loudest), the earlier
// stage winning a tie.
void updatePeakStage(OperatorBlock& block);
