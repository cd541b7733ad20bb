// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "voice/bank.h"
#include "voice/tg33.h"
#include "voice/voicefields.h"

namespace {

VoiceDump randomDump(uint32_t seed)
{
    Voice v;
    randomVoice(v, seed);
    return encodeVoice(v);
}

bool reports(const ConversionReport& report, const std::string& line)
{
    return std::find(report.begin(), report.end(), line) != report.end();
}

// A TG33 record as the real ones are: unknown bytes 0, balance and send from the table.
TG33Record tg33Record(uint8_t balance = 52, uint8_t send = 127)
{
    TG33Record r{};
    r[2] = balance;
    r[6] = send;
    std::memcpy(r.data() + 12, "TG Piano", 8);
    for (int i = 21; i < tg33RecordSize; ++i)
        r[static_cast<size_t>(i)] = static_cast<uint8_t>((i * 7 + 3) & 0x7F);
    for (int at : {56, 57, 105, 106, 134, 135, 183, 184})
        r[static_cast<size_t>(at)] = 0;
    for (int at : {41, 71, 119, 149})
        r[static_cast<size_t>(at)] = 0x30 | 1;   // envelope type 3, pan 1
    r[29] = 5;                                   // element A: a plain AWM wave
    return r;
}

}   // namespace

TEST(TG33, SyVoiceComesBackByteForByteThroughSingleAndBank)
{
    std::vector<TG33Record> records;
    std::vector<VoiceDump> dumps;
    for (uint32_t seed = 0; seed < tg33BankVoices; ++seed) {
        VoiceDump d = randomDump(500 + seed);
        d[18] = static_cast<uint8_t>((seed % 8) << 4 | (seed % 16));   // every depth and type
        if (seed == 3)
            d[37] = 127;   // element A on the Drum Set
        setInnerChecksum(d.data());
        dumps.push_back(d);
        records.push_back(tg33RecordFromDump(d.data()));
        const std::vector<uint8_t> single = tg33SingleDump(records.back());
        ASSERT_EQ(single.size(), static_cast<size_t>(tg33SingleSize));
        ASSERT_TRUE(hasTG33SingleHead(single.data(), single.size()));
        ASSERT_STREQ(tg33SingleFault(single.data(), single.size() - 1, true), "");
        EXPECT_EQ(dumpFromTG33Record(tg33RecordOfSingle(single.data()).data()), d) << "seed " << seed;
    }
    EXPECT_EQ(records[3][0] & 2, 2);   // the drum flag follows element A's wave
    EXPECT_EQ(records[4][0] & 2, 0);

    const std::vector<uint8_t> bank = tg33BankDump(records);
    ASSERT_EQ(bank.size(), tg33BankSize);
    EXPECT_EQ(bank[4], 0x12);
    EXPECT_EQ(bank[5], 0x36);
    EXPECT_EQ(bank[4 + 2361], 0x12);
    EXPECT_EQ(bank[4 + 2361 + 1], 0x2C);
    const std::vector<TG33BankBlock> blocks = readTG33BankBlocks(bank.data(), bank.size() - 1);
    ASSERT_EQ(blocks.size(), 16u);
    for (int v = 0; v < tg33BankVoices; ++v) {
        const TG33BankBlock& b = blocks[static_cast<size_t>(v / 4)];
        ASSERT_EQ(b.fault, "");
        EXPECT_EQ(dumpFromTG33Record(b.records[static_cast<size_t>(v % 4)].data()),
                  dumps[static_cast<size_t>(v)]);
    }
}

TEST(TG33, EachBlockOfARecordLandsWhereTheSyKeepsIt)
{
    TG33Record r = tg33Record(73, 127);
    r[0] = 1;    // A-B-C-D
    r[1] = 11;   // effect type
    r[20] = 9;   // bend range
    const VoiceDump d = dumpFromTG33Record(r.data());
    EXPECT_STREQ(checkVoiceDump(d.data()), "");
    EXPECT_TRUE(innerChecksumOk(d.data()));
    EXPECT_EQ(d[16], 0x01);
    EXPECT_EQ(d[17], 0x25);
    EXPECT_EQ(d[18], 6 << 4 | 11);   // balance 73 is depth 6
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data() + 19), 8), "TG Piano");
    EXPECT_EQ(d[27], 1);
    EXPECT_EQ(d[28], 9);
    // Controller block, the four elements without the TG33's extra bytes, the vectors.
    const struct {
        int tg33, sy, length;
    } blocks[] = {{21, 29, 8}, {29, 37, 27}, {58, 64, 47}, {107, 111, 27}, {136, 138, 47}, {185, 185, 402}};
    for (const auto& b : blocks)
        for (int i = 0; i < b.length; ++i) {
            const int sy = b.sy + i;
            const bool pan = sy == 49 || sy == 77 || sy == 123 || sy == 151;
            EXPECT_EQ(d[static_cast<size_t>(sy)], pan ? 0x33 : r[static_cast<size_t>(b.tg33 + i)])
                << "TG33 " << b.tg33 + i << " -> SY " << sy;
        }
    EXPECT_EQ(d[587], 0);
}

TEST(TG33, ReportNamesEachLossyFieldAndNothingElse)
{
    ConversionReport none;
    dumpFromTG33Record(tg33Record(52, 127).data(), VoiceModel::sy22, &none);
    EXPECT_TRUE(none.empty());
    TG33Record back =
        tg33RecordFromDump(dumpFromTG33Record(tg33Record(40, 127).data()).data(), VoiceModel::sy22, &none);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(back, tg33Record(40, 127));

    ConversionReport lost;
    TG33Record r = tg33Record(64, 127);
    r[4] = 3;
    r[0] = 2;   // drum flag without the Drum Set
    r[29] = 54;
    dumpFromTG33Record(r.data(), VoiceModel::sy35, &lost);
    EXPECT_TRUE(reports(lost, "the TG33's effect balance 64 became depth 6"));
    EXPECT_TRUE(reports(lost, "TG33 byte 4 (meaning unknown) held 3: dropped"));
    EXPECT_TRUE(reports(lost, "the TG33's drum flag was set with element A on wave 54: dropped"));
    EXPECT_TRUE(reports(lost, "for an SY-35: element A's wave 54 is another wave than on the TG33"));
    EXPECT_EQ(lost.size(), 4u);

    lost.clear();
    dumpFromTG33Record(tg33Record(64, 0).data(), VoiceModel::sy22, &lost);
    EXPECT_EQ(lost, ConversionReport{"the TG33's effect balance 64 became depth 0"});
    lost.clear();
    dumpFromTG33Record(tg33Record(0, 127).data(), VoiceModel::sy22, &lost);
    EXPECT_EQ(lost, ConversionReport{"the TG33's effect send level 127 became depth 0"});

    VoiceDump d = randomDump(7);
    d[18] = 3 << 4;
    d[37] = 54;
    d[49] = 2;   // pan inside the range: nothing to say
    lost.clear();
    const TG33Record written = tg33RecordFromDump(d.data(), VoiceModel::sy35, &lost);
    EXPECT_EQ(written[2], 46);
    EXPECT_TRUE(reports(lost, "effect depth 3 written as balance 46, a guess"));
    EXPECT_TRUE(reports(lost, "an SY-35 voice: element A's wave 54 is another wave on a TG33"));
    lost.clear();
    tg33RecordFromDump(d.data(), VoiceModel::sy22, &lost);
    EXPECT_EQ(lost, ConversionReport{"effect depth 3 written as balance 46, a guess"});
}

TEST(TG33, DamagedBankBlocksAreRefusedAlone)
{
    std::vector<TG33Record> records(tg33BankVoices, tg33Record());
    std::vector<uint8_t> bank = tg33BankDump(records);
    const size_t block5 = 4 + 2361 + 3 * 2351, block9 = 4 + 2361 + 7 * 2351;
    bank[block5 + 2 + 100] ^= 1;   // bad checksum
    bank[block9 + 1] = 0x2D;       // wrong count
    std::vector<TG33BankBlock> blocks = readTG33BankBlocks(bank.data(), bank.size() - 1);
    for (int b = 0; b < 16; ++b) {
        const std::string expected = b == 4 ? "bad checksum" : b == 8 ? "bad block size" : "";
        EXPECT_EQ(blocks[static_cast<size_t>(b)].fault, expected) << "block " << b + 1;
        EXPECT_EQ(blocks[static_cast<size_t>(b)].records.size(), expected.empty() ? 4u : 0u);
    }
    blocks = readTG33BankBlocks(bank.data(), 4 + 2361 + 2351 + 10);   // cut inside block 3
    EXPECT_EQ(blocks[1].fault, "");
    EXPECT_EQ(blocks[2].fault, "truncated");
    EXPECT_EQ(blocks[15].fault, "truncated");

    std::vector<uint8_t> single = tg33SingleDump(records[0]);
    EXPECT_STREQ(tg33SingleFault(single.data(), single.size() - 2, true), "truncated");
    single[300] ^= 4;
    EXPECT_STREQ(tg33SingleFault(single.data(), single.size() - 1, true), "bad checksum");
    single[300] |= 0x80;
    EXPECT_STREQ(tg33SingleFault(single.data(), single.size() - 1, true), "a status byte inside the data");
}
