// SPDX-License-Identifier: GPL-3.0-or-later
// What differs between two voices, two banks, and between what a bank send wrote and
// what the synthesiser holds afterwards: the lines `tarvik-voice diff` prints, the
// editor's "Compare with..." table, the Bank window's "What will change" and the
// report of every verified bank send and store. Free of Qt.
//
// Storing a voice in a slot works on the bank message as the synthesiser sent it:
// only the slot's record and its block's checksum are written, every other byte stays
// as received.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "voice/bank.h"
#include "voice/voicefields.h"

// "I01".."I64" (upper or lower case i) as slot 0..63; false for anything else.
bool parseSlotText(const std::string& text, int& slot);
std::string slotText(int slot);   // "I07"

// The voice name a dump carries as text, trailing blanks cut ("MyPad"); bytes that are
// not plain text as '?'.
std::string dumpNameText(const uint8_t* dump);

// Writes dump (a well-formed single dump) into slot 0..63 of a well-formed bank
// message: the record with its inner checksum right, the block's checksum made right
// again; nothing else of the message changes.
void replaceBankSlot(std::vector<uint8_t>& message, int slot, const uint8_t* dump);

// The slots (0..63) and multis (0..15) whose records differ.
struct BankDifference {
    std::vector<int> voices;   // slots 0..63
    std::vector<int> multis;
    bool empty() const { return voices.empty() && multis.empty(); }
};
BankDifference bankDifference(const Bank& a, const Bank& b);
// "I05, I06, I07 and I08 and multi 3" style: "I05, I06, I07, I08; multis 3, 4".
std::string differenceText(const BankDifference& d);

// What a bank send left in the synthesiser, judged from the bank it held before, the
// bank sent and the bank read back afterwards. storedSlot is the slot of a store to
// one slot (0..63) or -1 for a whole bank.
struct BankWriteCheck {
    enum class Outcome { kept, keptNothing, differs } outcome = Outcome::kept;
    BankDifference notKept;   // differs: what holds other than was sent
    std::string text;         // the report, one sentence
};
BankWriteCheck checkBankWrite(const Bank& before, const Bank& sent, const Bank& readBack, int storedSlot);

// One differing field of two voices, in the editors' shown form.
struct VoiceFieldDifference {
    const VoiceField* field;
    std::string a;   // shown value of the first voice ('name' in quotes for the name)
    std::string b;
};
// The fields a dump carries that differ, in record order.
std::vector<VoiceFieldDifference> voiceDifferences(const Voice& a, const Voice& b);
// "element[2].carrier.rateAttack (Attack rate): 31 -> 45"
std::string differenceLine(const VoiceFieldDifference& d);

// The lines of two banks' differences: "voice[I05]: 'Old' -> 'New'" for each slot and
// "multi[3].part[2].level: 80 -> 90" for each multi field (the name's row included),
// an SY-22 preset voice with its name ("P30 Fanfare"; sy35: the number alone).
std::vector<std::string> bankDifferenceLines(const Bank& a, const Bank& b, bool sy35 = false);

