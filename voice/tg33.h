// SPDX-License-Identifier: GPL-3.0-or-later
// Voices of the TG33, the SY-22's rack sibling: its single dumps and banks read into SY
// voice dumps and written from them, with what each conversion could not carry named.
// Free of Qt; the library import, tarvik-voice and the editor all sit on it.
//
// The TG33 keeps a voice as a 587-byte record (no checksum of its own): a 21-byte common
// block, the 8 controller bytes, elements A..D as on the SY with 2 more bytes after each,
// then the vector speeds and both vectors. The element and vector bytes are the SY's,
// except that pan is mirrored (p <-> 4 - p). The SY's one effect depth 0..7 stands for
// the TG33's effect balance 0..100 and send level 0..127 (tg33EffectBalance and
// syEffectDepth below, one table).
//
// Framing: a single dump is F0 43 0n 7E, count, "LM  0012VE", the record, a checksum
// over the header text and the record, F7 (605 bytes). A bank is F0 43 0n 7E, 16 blocks
// of [count][payload][checksum] (block 1's payload "LM  0012VC" and 4 records, the others
// 4 records), F7 (37,631 bytes), and no multis. A TG33 multi ("LM  0012ME") is not read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "voice/dumpcodec.h"

constexpr int tg33RecordSize = 587;
constexpr int tg33SingleSize = 605;   // F0 to F7
constexpr int tg33BankVoices = 64;
constexpr int tg33BankBlocks = 16;
constexpr int tg33VoicesPerBlock = 4;
constexpr int tg33FirstPayload = 10 + tg33VoicesPerBlock * tg33RecordSize;   // 2358
constexpr int tg33BlockPayload = tg33VoicesPerBlock * tg33RecordSize;        // 2348
constexpr size_t tg33BankSize = 37631;                                       // F0 to F7

extern const char tg33SingleHeaderText[11];   // "LM  0012VE"
extern const char tg33BankHeaderText[11];     // "LM  0012VC"
extern const char tg33MultiHeaderText[11];    // "LM  0012ME"

using TG33Record = std::array<uint8_t, tg33RecordSize>;

// Which synthesiser an SY voice is for: the SY-35 plays other AWM waves than the SY-22
// and the TG33 at a few wave numbers.
enum class VoiceModel { sy22 = 0, sy35 = 1 };

// What one conversion could not carry, one plain line each ("effect depth 3 written as
// balance 46, a guess"); empty when nothing was lost.
using ConversionReport = std::vector<std::string>;

// ---- the effect amount (one table; its balances for depths 0, 1, 3, 5 and 7 are guesses) ----
// The TG33 balance an SY depth 0..7 is written as, and the send level (127, or 0 for depth 0).
int tg33EffectBalance(int depth);
int tg33EffectSend(int depth);
// Whether that balance is a guess rather than one seen on voices both models share.
bool tg33BalanceIsGuess(int depth);
// The SY depth of a TG33 balance and send level: send 0 gives 0, otherwise the smallest
// depth whose balance is not below the TG33's (above the table's highest, 7).
int syEffectDepth(int balance, int send);

// Whether AWM wave number w plays another wave on an SY-35 than on an SY-22 or a TG33.
bool sy35WaveDiffers(int wave);

// ---- one voice ----
// The SY dump of a TG33 record: byte 2 = 0, tag, inner checksum and checksum right.
// report (when given) gets what was lost; model is the SY the voice is for.
VoiceDump dumpFromTG33Record(const uint8_t* record, VoiceModel model = VoiceModel::sy22,
                             ConversionReport* report = nullptr);
// The TG33 record of an SY dump (592 bytes; its checksums are not looked at). model is
// the SY the voice comes from.
TG33Record tg33RecordFromDump(const uint8_t* dump, VoiceModel model = VoiceModel::sy22,
                              ConversionReport* report = nullptr);

// ---- framing ----
// F0 43 0n 7E at m[0..3] and the header text at m[6..15] (the count bytes are not looked
// at: TG33 files disagree about them).
bool hasTG33SingleHead(const uint8_t* m, size_t size);
bool hasTG33BankHead(const uint8_t* m, size_t size);
bool hasTG33MultiHead(const uint8_t* m, size_t size);

// What is wrong with a TG33 single dump m[0..length) (its F0 on, without the F7; closed
// tells whether an F7 follows): "truncated", "too long", "a status byte inside the
// data", "bad checksum", or "" for a good one.
const char* tg33SingleFault(const uint8_t* m, size_t length, bool closed);
// The record of a good TG33 single dump.
TG33Record tg33RecordOfSingle(const uint8_t* m);
// The first good TG33 single dump in a byte run (605 bytes from an F0 with the single's
// head to an F7, no status byte between, checksum right): its offset, or -1.
long findTG33Single(const uint8_t* data, size_t size);

// One block of a TG33 bank as read: its four records, or why it was refused
// ("truncated", "bad block size", "a status byte inside the data", "bad checksum").
struct TG33BankBlock {
    std::string fault;
    std::vector<TG33Record> records;   // tg33VoicesPerBlock of them when fault is empty
};
// The 16 blocks of a bank message m[0..length) (its F0 on, without the F7), each read
// or refused alone.
std::vector<TG33BankBlock> readTG33BankBlocks(const uint8_t* m, size_t length);

// A TG33 single dump of the record (605 bytes, byte 2 = 0).
std::vector<uint8_t> tg33SingleDump(const TG33Record& record);
// A TG33 bank of 64 records (tg33BankSize bytes, byte 2 = 0); missing ones are the
// initial voice's.
std::vector<uint8_t> tg33BankDump(const std::vector<TG33Record>& records);
