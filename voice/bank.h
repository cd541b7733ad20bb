// SPDX-License-Identifier: GPL-3.0-or-later
// The synthesiser's whole internal memory as one bank dump: the 64 internal voices
// I01..I64 and the 16 multis. Free of Qt; the bank window, the multi editor, the
// transport and tarvik-voice all sit on it.
//
// A bank dump is one message: F0 43 0n 7E, 17 blocks of [count hi][count lo][payload]
// [checksum], then F7. Block 1's payload is "PK  2203VM" and 4 voice records, blocks
// 2..16 hold 4 voice records each, block 17 the 16 multis. A voice record is the
// single dump's bytes 16..589; a multi travels as 94 wire bytes. A block's checksum is
// (-sum of its payload) & 0x7F, the count bytes not counted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "voice/dumpcodec.h"

constexpr int bankVoices = 64;
constexpr int bankVoiceBlocks = 16;
constexpr int bankVoicesPerBlock = 4;
constexpr int bankBlockCount = 17;    // 16 voice blocks and the multi block
constexpr int bankRecordSize = 574;   // a single dump's bytes 16..589
constexpr int bankRecordOffset = 16;
constexpr int bankFirstPayload = 10 + bankVoicesPerBlock * bankRecordSize;   // 2306
constexpr int bankVoicePayload = bankVoicesPerBlock * bankRecordSize;        // 2296
// The size of a bank as the synthesiser sends it (a real bank file is this long).
constexpr size_t bankExpectedSize = 38306;

constexpr int multiCount = 16;
constexpr int multiParts = 8;
constexpr int multiRecordSize = 68;   // internal bytes
constexpr int multiWireSize = 94;
constexpr int bankMultiPayload = multiCount * multiWireSize;   // 1504
constexpr uint8_t multiTag = 0x5A;
constexpr uint8_t voiceTag = 0xA5;   // internal voice byte 0 (dump 16/17: 01 25)

using MultiRecord = std::array<uint8_t, multiRecordSize>;   // internal bytes, as the synth keeps them

struct Bank {
    std::array<VoiceDump, bankVoices> voices;     // I01..I64 as single dumps: byte 2 = 0, checksums right
    std::array<MultiRecord, multiCount> multis;   // multis 1..16, internal bytes
};

// Puts a dump in the library's form: byte 2 (the channel) 0, every byte from 1 to
// 590 below 0x80, byte 590 the checksum of bytes 6..589. Bytes 0 and 591 stay; the
// inner checksum stays as it is.
void normaliseDump(uint8_t* dump);

// A stored dump as the program writes it out (into a bank, an export): normalised,
// and its inner checksum written only where it is wrong (voices written before the
// program kept it carry 00 00 there), so a right one keeps its bytes.
VoiceDump writtenDump(const uint8_t* dump);

// The single dump of one bank voice record (574 bytes), normalised.
VoiceDump dumpFromBankRecord(const uint8_t* record);

Bank initialBank();                          // 64 reset voices (inner checksum right), 16 initial multis
MultiRecord initialMulti();                  // the synthesiser's "Initial " multi
uint8_t multiChecksum(const MultiRecord&);   // byte 67 that makes all 68 sum to 0
void setMultiChecksum(MultiRecord&);
std::string checkMulti(const MultiRecord&);   // "" or "bad tag" / "bad checksum"

// Whether internal multi byte i travels split (bit 7, then bits 6..0).
bool isMultiSplitOffset(int i);
// Wire form of one multi (94 bytes) and back.
void multiToWire(const MultiRecord&, uint8_t* wire94);
MultiRecord multiFromWire(const uint8_t* wire94);

// A bank message of 64 voices (their bytes 16..589, taken as they are; missing ones
// zeros) on channel n with 16 initial multis; bankExpectedSize bytes. For the import
// tests and the stand-in synthesiser, which hold voices only.
std::vector<uint8_t> buildBankDump(const std::vector<VoiceDump>& voices, int channel = 0);

// The 7-bit checksum of a block's payload (payload bytes taken as 7-bit): a good
// block's payload and checksum byte sum to 0 mod 128.
uint8_t bankBlockChecksum(const uint8_t* payload, size_t size);

// Where block b (0..16) of a well-framed bank message starts (its count bytes).
size_t bankBlockOffset(int block);

// A whole bank message (F0 43 0n 7E ... F7, 38,306 bytes). checkBankDump names the
// first fault with its block or slot: "truncated in block 9", "block 3: count 2300,
// expected 2296", "block 5: bad checksum", "block 5: a status byte inside the data",
// "block 5: 256 bytes missing" (a whole message that lost bytes on the way),
// "voice I07: bad tag", "voice I07: bad inner checksum", "multi 3: bad tag",
// "multi 3: bad checksum", "no multi block", "no F7 after block 17", "bytes after the
// F7", "not a bank dump". Empty = good.
std::string checkBankDump(const uint8_t* data, size_t size);
// Strict read (checkBankDump first); false with error set on any fault, bank then as
// it was. channel = n of the header.
bool parseBankDump(const uint8_t* data, size_t size, Bank& bank, std::string& error, int* channel = nullptr);
// The message for the synth on channel n: header, 17 blocks with right counts and
// checksums, F7. A voice whose inner checksum is wrong goes out with it mended and
// every multi with its checksum right, so nothing sent is reset at the next power-on.
std::vector<uint8_t> encodeBankDump(const Bank& bank, int channel = 0);
// The 17 pieces a sender puts on the wire with >= 100 ms between them: piece 0 =
// F0 43 0n 7E + block 1; pieces 1..15 = blocks 2..16; piece 16 = block 17 + F7.
// Concatenated = the message. Empty when the message is not bankExpectedSize long.
std::vector<std::vector<uint8_t>> bankBlocks(const std::vector<uint8_t>& bankMessage);
constexpr int bankBlockGapMs = 100;

// Multi fields, one table (drives `tarvik-voice bank show/set`, the multi editor's
// binder and its undo captions): one row per field of one multi, in the order
// `bank show` prints them, path relative to "multi[M].": "name", "effectType",
// "effectDepth", then for each part P = 1..8 "part[P].channel", "part[P].voice",
// "part[P].level", "part[P].detune", "part[P].noteShift", "part[P].noteLow",
// "part[P].noteHigh". A part row carries its part (0..7) in `part` and perPart true;
// call get(record, row.part). get and set work in shown form: channel 1..16 with
// 17 = off, voice bank*64+number 0..191 (bank 0 = P, 1 = I, 2 = C), level 0..99
// through the synthesiser's level table, detune and noteShift signed. set keeps the
// multi's checksum right. The name row has no get/set (multiName, setMultiName).
struct MultiField {
    std::string path;
    std::string caption;   // for undo: "Part 3 level"
    int minimum;
    int maximum;
    int (*get)(const MultiRecord&, int part);
    void (*set)(MultiRecord&, int part, int value);
    bool perPart;
    int part;   // 0..7 for a part row, -1 otherwise
    bool isName() const { return get == nullptr; }
};
const std::vector<MultiField>& multiFields();
// The row of a path relative to "multi[M]." ("part[3].level"), or nullptr.
const MultiField* findMultiField(const std::string& path);
// A multi field named so that the compiler checks it: the effect's, and each part's.
enum class MultiFieldId {
    EffectType,
    EffectDepth,
    Channel,
    Voice,
    Level,
    Detune,
    NoteShift,
    NoteLow,
    NoteHigh
};
// The row of a field of the multi, or of part p (0..7).
const MultiField& multiField(MultiFieldId id, int part = 0);

// The name as 8 stored characters; set pads with blanks to 8 (longer is cut).
std::string multiName(const MultiRecord&);
void setMultiName(MultiRecord&, const std::string&);
// Level 0..99 shown for a stored attenuation 0..127, and what a shown level stores.
int multiLevelShown(int stored);
int multiLevelStored(int shown);

// Text forms for show/set: channel "1".."16" or "off"; voice "P01".."C64"; the name
// as its 8 characters with bytes outside 0x20..0x7E and the backslash as \xHH;
// everything else decimal.
std::string multiFieldText(const MultiField&, const MultiRecord&);
// The shown value of a field's text; false when it is no value of that field.
bool multiFieldValue(const MultiField&, const std::string& text, int& value);
std::string multiVoiceText(int shownVoice);   // "P01".."C64"

// What `tarvik-voice bank show` prints; a part naming an SY-22 preset voice gives its
// name too (sy35: the number alone).
std::string formatBank(const Bank&, bool sy35 = false);
// Applies `multi[M].path=value` lines to the bank's multis (a `voice[Inn].name=` line is
// accepted when it names the slot's own name, so `bank show` output applies as is).
// On the first bad line returns false with error "line N: ..." and the bank as it was.
// A value as messages quote it: in single quotes, at most 60 characters, bytes outside
// 0x20..0x7E as \xHH.
std::string quotedText(const std::string& text);
// A line that gives a field the value it shows already leaves the field's bytes as they
// are; a multi name is 8 characters from 0x20..0x7E.
bool parseMultiLines(const std::string& text, Bank& bank, std::string& error);
// One such line (number counts from 1), applied to bank; false with error as above.
bool parseMultiLine(std::string line, int number, Bank& bank, std::string& error);
// A voice moved from slot `from` to slot `to` (0..63): every part naming I(from+1)
// names I(to+1). swap = both directions at once (slots swapped). Checksums kept right.
void remapMultiVoices(Bank& bank, int from, int to, bool swap);

// The SY-22's preset voice P(number+1) by name, trailing blanks cut ("Fanfare"); "" for
// a number outside 0..63.
std::string presetVoiceName(int number);
// A multi part's voice (0..191, as the multi field gives it) as the lists show it:
// "P30 Fanfare" for an SY-22 preset (sy35: the number alone, "P30"), else "I05".
std::string multiVoiceLabel(int shownVoice, bool sy35 = false);
