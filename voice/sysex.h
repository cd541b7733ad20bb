// SPDX-License-Identifier: GPL-3.0-or-later
// The framing of the synthesiser's System Exclusive messages, in one place: the heads
// of a voice dump and of a bank dump, the two requests, the 7-bit checksum and the
// device-number byte. Every reader and writer of these messages (the codec, the bank,
// the file readers, the transport) asks here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint8_t sysexStart = 0xF0;
constexpr uint8_t sysexEnd = 0xF7;
constexpr uint8_t sysexManufacturer = 0x43;
constexpr uint8_t sysexFormat = 0x7E;
constexpr size_t sysexHeadSize = 16;      // F0 43 0n 7E, two count bytes, ten header characters
constexpr size_t sysexRequestSize = 15;   // F0 43 2n 7E, ten header characters, F7

extern const char dumpHeaderText[11];   // "PK  2203AE"
extern const char bankHeaderText[11];   // "PK  2203VM"

// The device-number byte takes only the channel's low 4 bits, so that a hand-edited
// channel of 200 cannot put a status byte inside a System Exclusive message.
constexpr uint8_t channelBits(int channel)
{
    return static_cast<uint8_t>(channel & 0x0F);
}

// The 7-bit checksum of bytes that a good message makes sum to 0 mod 128 with it:
// (-sum) & 0x7F. A byte's bit 7 makes no difference.
uint8_t sysexChecksum(const uint8_t* bytes, size_t size);
// Whether bytes (the checksum byte the last of them) sum to 0 mod 128.
bool sysexChecksumHolds(const uint8_t* bytes, size_t size);

// F0 43 0n 7E at m[0..3], n any channel.
bool hasSysexHead(const uint8_t* m, size_t size);
// A voice dump's first 16 bytes: F0 43 0n 7E 04 48 "PK  2203AE".
bool hasDumpHead(const uint8_t* m, size_t size);
// A bank's first 16 bytes: F0 43 0n 7E, block 1's count 12 02, "PK  2203VM".
bool hasBankHead(const uint8_t* m, size_t size);
// True for a voice bulk dump on any channel: 592 bytes, the dump head ... F7. Nothing
// else (the checksum included) is looked at.
bool isVoiceDump(const uint8_t* message, size_t size);
// Writes a voice dump's head (byte 2 = 0, channel 1) into its first 16 bytes.
void writeDumpHead(uint8_t* dump);

// F0 43 2n 7E "PK  2203AE" F7: asks the synthesiser on channel n for its edit voice.
std::array<uint8_t, sysexRequestSize> dumpRequest(int channel);
// F0 43 2n 7E "PK  2203VM" F7: asks the synthesiser on channel n for its bank.
std::vector<uint8_t> bankRequest(int channel);
// Whether m is either request (on any channel), and which.
bool isDumpRequest(const uint8_t* m, size_t size);
bool isBankRequest(const uint8_t* m, size_t size);
