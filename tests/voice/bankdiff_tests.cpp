// SPDX-License-Identifier: GPL-3.0-or-later
// Storing a voice in a bank message, judging what a bank send left, and the lines of
// differences between voices and banks.
#include <gtest/gtest.h>

#include <cstring>

#include "voice/bankdiff.h"
#include "voice/dumpcodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bank randomBank(uint32_t seed)
{
    Bank bank = initialBank();
    for (size_t k = 0; k < bank.voices.size(); ++k) {
        Voice v;
        randomVoice(v, seed * 100 + static_cast<uint32_t>(k));
        bank.voices[k] = encodeVoice(v);
    }
    return bank;
}

}   // namespace

TEST(BankDiff, ReplacingASlotWritesOnlyItsRecordAndBlockChecksum)
{
    const Bytes original = encodeBankDump(randomBank(1));
    Voice v;
    randomVoice(v, 7);
    VoiceDump dump = encodeVoice(v);
    dump[dumpInnerChecksumOffset] = dump[dumpInnerChecksumOffset + 1] = 0;   // mended on the way
    Bytes stored = original;
    replaceBankSlot(stored, 16, dump.data());
    EXPECT_EQ(checkBankDump(stored.data(), stored.size()), "");
    const size_t record = bankBlockOffset(4) + 2;
    for (size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] != original[i]) {
            EXPECT_TRUE((i >= record && i < record + bankRecordSize) || i == record + bankVoicePayload) << i;
        }
    }
    Bank before, after;
    std::string error;
    ASSERT_TRUE(parseBankDump(original.data(), original.size(), before, error));
    ASSERT_TRUE(parseBankDump(stored.data(), stored.size(), after, error));
    EXPECT_EQ(bankDifference(before, after).voices, std::vector<int>{16});
    EXPECT_TRUE(bankDifference(before, after).multis.empty());
}

TEST(BankDiff, AWriteIsJudgedKeptKeptNothingOrByWhatDiffers)
{
    const Bank before = randomBank(1);
    Bank sent = before;
    Voice v;
    randomVoice(v, 9);
    std::memcpy(v.name, "MyPad   ", 8);
    sent.voices[16] = encodeVoice(v);
    BankWriteCheck c = checkBankWrite(before, sent, sent, 16);
    EXPECT_EQ(c.outcome, BankWriteCheck::Outcome::kept);
    EXPECT_EQ(c.text, "I17 now holds 'MyPad'; the other 63 voices and the 16 multis are unchanged");
    c = checkBankWrite(before, sent, before, 16);
    EXPECT_EQ(c.outcome, BankWriteCheck::Outcome::keptNothing);
    EXPECT_EQ(c.text, "The synthesiser kept nothing: is its memory protect on?");

    // A whole bank of which one block and one multi did not arrive.
    const Bank whole = randomBank(2);
    Bank readBack = whole;
    for (int s = 16; s < 20; ++s)
        readBack.voices[static_cast<size_t>(s)] = before.voices[static_cast<size_t>(s)];
    setMultiName(readBack.multis[2], "Other");
    c = checkBankWrite(before, whole, readBack, -1);
    EXPECT_EQ(c.outcome, BankWriteCheck::Outcome::differs);
    EXPECT_EQ(c.text, "The bank read back differs from what was sent in I17, I18, I19, I20 and multi 3");
    EXPECT_EQ(checkBankWrite(before, whole, whole, -1).outcome, BankWriteCheck::Outcome::kept);
}

TEST(BankDiff, VoiceDifferencesAreOneShownLinePerField)
{
    Voice a;
    randomVoice(a, 3);
    EXPECT_TRUE(voiceDifferences(a, a).empty());
    Voice b = a;
    const VoiceField& attack = *findVoiceField("element[2].carrier.rateAttack");
    setFieldValue(a, attack, 31);
    setFieldValue(b, attack, 45);
    const auto d = voiceDifferences(a, b);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(differenceLine(d[0]), "element[2].carrier.rateAttack (Attack rate): 31 -> 45");
    // Levels in shown form: stored 0 shows as 127, stored 27 as 100.
    const VoiceField& level = *findVoiceField("element[1].carrier.levelAttack");
    b = a;
    setFieldValue(a, level, 0);
    setFieldValue(b, level, 27);
    const auto l = voiceDifferences(a, b);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].a + " " + l[0].b, "127 100");
}

TEST(BankDiff, BankLinesAndPresetNames)
{
    Bank a = randomBank(4);
    Bank b = a;
    std::memcpy(b.voices[4].data() + dumpNameOffset, "NewName ", 8);
    multiField(MultiFieldId::Level, 1).set(b.multis[2], 1, 80);
    multiField(MultiFieldId::Voice, 0).set(a.multis[5], 0, 64);
    multiField(MultiFieldId::Voice, 0).set(b.multis[5], 0, 29);
    const auto lines = bankDifferenceLines(a, b);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "multi[6].part[1].voice: I01 -> P30 Fanfare");
    EXPECT_EQ(bankDifferenceLines(a, b, true)[2], "multi[6].part[1].voice: I01 -> P30");
    EXPECT_EQ(lines[0].rfind("voice[I05]: '", 0), 0u);
    EXPECT_NE(lines[0].find("' -> 'NewName'"), std::string::npos);
    EXPECT_EQ(lines[1].rfind("multi[3].part[2].level: ", 0), 0u);
    EXPECT_TRUE(bankDifferenceLines(a, a).empty());

    EXPECT_EQ(multiVoiceLabel(29), "P30 Fanfare");
    EXPECT_EQ(multiVoiceLabel(29, true), "P30");
    EXPECT_EQ(multiVoiceLabel(64 + 4), "I05");
    int slot = -1;
    EXPECT_TRUE(parseSlotText("I17", slot));
    EXPECT_EQ(slot, 16);
    for (const char* bad : {"I00", "I65", "P17", "I1", "I017", ""})
        EXPECT_FALSE(parseSlotText(bad, slot)) << bad;
}
