// SPDX-License-Identifier: GPL-3.0-or-later
// The synthesiser's single-voice bulk dump: 592 bytes of System Exclusive, the only
// form in which a voice leaves or enters the program (MIDI, .SYX files, library).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "voice/sysex.h"
#include "voice/voice.h"

constexpr int dumpSize = 592;
constexpr int dumpChannelOffset = 2;   // senders OR the MIDI channel in here
constexpr int dumpNameOffset = 19;
constexpr int dumpChecksumOffset = 590;
constexpr int dumpInnerChecksumOffset = 588;   // split: 588 = bit 7, 589 = bits 6..0

// The 592 bytes of one voice dump, F0 to F7.
using VoiceDump = std::array<uint8_t, dumpSize>;

// The dump of v: byte 2 = 0x00 (senders OR the MIDI channel in), inner and outer
// checksums right.
VoiceDump encodeVoice(const Voice& v);

// Takes 592 bytes that begin with the F0 byte and fills v; validates nothing (the
// inner checksum included). Each field is read with the width the encoder writes,
// flags as 0 or 1, so that what it gives encodes and decodes again to the same voice.
void decodeVoice(const uint8_t* dump, Voice& v);
// The same into a voice of its own.
Voice decodedVoice(const uint8_t* dump);

// The inner checksum. The synthesiser keeps a voice as 428 internal bytes: the dump's
// bytes 16..589 with every split pair (bit 7, then bits 6..0) joined into one byte.
// Internal byte 427 (dump 588/589) makes internal bytes 0..427 sum to 0 mod 256. The
// synthesiser checks it at every power-on and replaces a voice whose value is wrong by
// its initial voice, so every dump the program writes carries it.
// The value dump 588/589 should carry.
uint8_t innerChecksum(const uint8_t* dump);
// Whether dump 588/589 (joined) carries that value.
bool innerChecksumOk(const uint8_t* dump);
// Writes the inner checksum at 588/589 and then the outer checksum at 590.
void setInnerChecksum(uint8_t* dump);
// Whether dump offset i is the high byte of a split pair (i from 16 to 588).
bool isVoiceSplitOffset(int i);

// Whether dump bytes 16/17 carry the voice tag (01 25, internal byte 0xA5): the
// synthesiser drops a voice without it at its next power-on.
bool hasVoiceTag(const uint8_t* dump);
// The reason checkVoiceDump gives for a dump without the tag.
constexpr const char* wrongVoiceTag = "voice tag (bytes 16/17) is not 01 25";

// What a dump check finds wrong, if anything: frame bytes, header text, byte count,
// voice tag, checksum. Empty text means a well-formed voice dump.
const char* checkVoiceDump(const uint8_t* dump);

// Finds the first complete voice dump in a byte run: the first run of 592 bytes that
// starts at an F0 byte and ends with F7, trying each F0 in turn. Returns its offset,
// or -1 when there is none.
long findVoiceDump(const uint8_t* data, size_t size);

// The same, but only a well-formed voice dump counts (checkVoiceDump finds nothing
// wrong): the first such run of 592 bytes, or -1.
long findWellFormedVoiceDump(const uint8_t* data, size_t size);

// The step-1 repeats of both vectors exactly as a dump holds them. The decoder marks a
// vector whose steps all share one position as ending at step 1; `tarvik-voice show`
// prints the stored value instead, so that its output encodes back to the same bytes.
void storedFirstRepeats(const uint8_t* dump, int32_t& level, int32_t& detune);
