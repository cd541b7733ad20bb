#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "voice/bank.h"
#include "voice/voicefields.h"

namespace {

using Bytes = std::vector<uint8_t>;

VoiceDump encodedDump(const Voice& v)
{
    TDumpCodec codec;
    VoiceDump d;
    std::memcpy(d.data(), codec.encodeVoice(v), dumpSize);
    return d;
}

// A bank of 64 different random voices and 16 different multis.
Bank variedBank()
{
    Bank bank = initialBank();
    for (int v = 0; v < bankVoices; ++v) {
        Voice voice;
        randomVoice(voice, 1000u + static_cast<uint32_t>(v));
        bank.voices[static_cast<size_t>(v)] = encodedDump(voice);
    }
    for (int m = 0; m < multiCount; ++m) {
        MultiRecord& r = bank.multis[static_cast<size_t>(m)];
        setMultiName(r, "Multi " + std::to_string(m + 1));
        r[34 + m % 8] = static_cast<uint8_t>(0x40 | m);      // a part plays I(m+1)
        r[50 + m % 8] = static_cast<uint8_t>(-(m % 16));    // negative detunes travel split
        r[66] = static_cast<uint8_t>(0x1B + m);
        setMultiChecksum(r);
    }
    return bank;
}

// Rewrites the checksum of block b after its payload was changed.
void mendBlock(Bytes& bank, int b)
{
    const size_t at = bankBlockOffset(b);
    const size_t payload = static_cast<size_t>(bank[at] * 128 + bank[at + 1]);
    bank[at + 2 + payload] = bankBlockChecksum(bank.data() + at + 2, payload);
}

// Where voice slot v's record starts in a bank message.
size_t voiceAt(int v)
{
    const int b = v / bankVoicesPerBlock;
    return bankBlockOffset(b) + 2 + (b == 0 ? 10 : 0) + static_cast<size_t>(v % bankVoicesPerBlock) * bankRecordSize;
}

}  // namespace

TEST(InnerChecksum, FollowsTheSplitRuleOnAHandCase)
{
    // The split table of the notes: 146 pairs among the voice's 574 wire bytes.
    int pairs = 0;
    for (int i = 16; i < 590; ++i)
        pairs += isVoiceSplitOffset(i);
    EXPECT_EQ(pairs, 146);

    Voice v;
    resetVoice(v);
    v.attackAdjust = -1;   // 0xFF, split as 01 7F: joined it counts 255, not 128
    VoiceDump d = encodedDump(v);
    // 681 for the reset voice (see the golden dump) + 255 = 936 = 168 mod 256 -> 88.
    EXPECT_EQ(d[588], 0x00);
    EXPECT_EQ(d[589], 88);
    EXPECT_TRUE(innerChecksumOk(d.data()));
    EXPECT_STREQ(checkVoiceDump(d.data()), "");

    // A value of 128 or more goes out split: internal sum 1 needs 255 (01 7F).
    v.attackAdjust = 0;
    v.name[0] = static_cast<char>('1' + 44);   // 681 + 88 = 769 = 1 mod 256
    v.name[1] = static_cast<char>('2' + 44);
    d = encodedDump(v);
    EXPECT_EQ(d[588], 0x01);
    EXPECT_EQ(d[589], 0x7F);

    // Voices written before carry 00 00: found wrong, mended with the outer checksum.
    d[588] = d[589] = 0;
    normaliseDump(d.data());
    EXPECT_FALSE(innerChecksumOk(d.data()));
    const VoiceDump mended = writtenDump(d.data());
    EXPECT_TRUE(innerChecksumOk(mended.data()));
    EXPECT_STREQ(checkVoiceDump(mended.data()), "");
    EXPECT_EQ(writtenDump(mended.data()), mended) << "a right value keeps its bytes";
}

TEST(Multi, InitialTemplateAndWireForm)
{
    const MultiRecord m = initialMulti();
    EXPECT_EQ(checkMulti(m), "") << "the template follows the checksum rule";
    EXPECT_EQ(multiChecksum(m), 0x99);
    EXPECT_EQ(multiName(m), "Initial ");

    uint8_t wire[multiWireSize];
    multiToWire(m, wire);
    EXPECT_EQ(wire[0], 0x00);
    EXPECT_EQ(wire[1], 0x5A);
    EXPECT_EQ(wire[92], 0x01);   // 0x99 split
    EXPECT_EQ(wire[93], 0x19);
    EXPECT_EQ(multiFromWire(wire), m);

    MultiRecord broken = m;
    broken[0] = 0x5B;
    EXPECT_EQ(checkMulti(broken), "bad tag");
    broken = m;
    broken[20] ^= 1;
    EXPECT_EQ(checkMulti(broken), "bad checksum");
}

TEST(Multi, LevelTableRoundTripsEveryShownLevel)
{
    EXPECT_EQ(multiLevelShown(0), 99);
    EXPECT_EQ(multiLevelShown(127), 0);
    for (int level = 0; level <= 99; ++level)
        EXPECT_EQ(multiLevelShown(multiLevelStored(level)), level) << level;
}

TEST(Bank, EncodeParseRoundTripAndBlocks)
{
    const Bank bank = variedBank();
    const Bytes message = encodeBankDump(bank, 5);
    ASSERT_EQ(message.size(), bankExpectedSize);
    EXPECT_EQ(checkBankDump(message.data(), message.size()), "");
    EXPECT_EQ(message[2], 0x05);
    const uint8_t counts[][2] = {{0x12, 0x02}, {0x11, 0x78}, {0x0B, 0x60}};
    EXPECT_EQ(message[4], counts[0][0]);
    EXPECT_EQ(message[5], counts[0][1]);
    EXPECT_EQ(message[bankBlockOffset(1)], counts[1][0]);
    EXPECT_EQ(message[bankBlockOffset(1) + 1], counts[1][1]);
    EXPECT_EQ(message[bankBlockOffset(16)], counts[2][0]);
    EXPECT_EQ(message[bankBlockOffset(16) + 1], counts[2][1]);

    Bank back = initialBank();
    std::string error;
    int channel = -1;
    ASSERT_TRUE(parseBankDump(message.data(), message.size(), back, error, &channel)) << error;
    EXPECT_EQ(channel, 5);
    EXPECT_EQ(back.voices, bank.voices);
    EXPECT_EQ(back.multis, bank.multis);
    EXPECT_EQ(encodeBankDump(back, 5), message);

    const std::vector<Bytes> pieces = bankBlocks(message);
    ASSERT_EQ(pieces.size(), 17u);
    EXPECT_EQ(pieces[0].size(), 4u + 2309u);
    EXPECT_EQ(pieces[1].size(), 2299u);
    EXPECT_EQ(pieces[16].size(), 1507u + 1u);
    EXPECT_EQ(pieces[16].back(), 0xF7);
    Bytes joined;
    for (const Bytes& p : pieces)
        joined.insert(joined.end(), p.begin(), p.end());
    EXPECT_EQ(joined, message);

    // A voice written before the inner checksum was kept goes into the bank mended.
    Bank old = bank;
    old.voices[9][588] = old.voices[9][589] = 0;
    normaliseDump(old.voices[9].data());
    const Bytes mended = encodeBankDump(old, 5);
    EXPECT_EQ(checkBankDump(mended.data(), mended.size()), "");
    EXPECT_EQ(mended, message);
}

TEST(Bank, EachRefusalNamesItsReasonAndPlace)
{
    const Bytes good = encodeBankDump(variedBank());
    struct Case {
        const char* expected;
        void (*damage)(Bytes&);
    };
    const Case cases[] = {
        {"truncated in block 9", [](Bytes& b) { b.resize(bankBlockOffset(8) + 100); }},
        {"truncated in block 17", [](Bytes& b) { b.resize(b.size() - 2); }},
        {"block 3: count 2300, expected 2296", [](Bytes& b) { b[bankBlockOffset(2) + 1] = 0x7C; }},
        {"block 5: bad checksum", [](Bytes& b) { b[bankBlockOffset(4) + 40] ^= 0x01; }},
        {"block 5: a status byte inside the data", [](Bytes& b) { b[bankBlockOffset(4) + 40] |= 0x80; }},
        {"voice I07: bad tag",
         [](Bytes& b) {
             b[voiceAt(6) + 1] = 0x26;
             mendBlock(b, 1);
         }},
        {"voice I07: bad inner checksum",
         [](Bytes& b) {
             b[voiceAt(6) + 3] ^= 0x01;   // a name byte
             mendBlock(b, 1);
         }},
        {"multi 3: bad checksum",
         [](Bytes& b) {
             b[bankBlockOffset(16) + 2 + 2 * multiWireSize + 5] ^= 0x01;
             mendBlock(b, 16);
         }},
        {"multi 3: bad tag",
         [](Bytes& b) {
             b[bankBlockOffset(16) + 2 + 2 * multiWireSize + 1] = 0x5B;
             mendBlock(b, 16);
         }},
        {"no multi block",
         [](Bytes& b) {
             b.resize(bankBlockOffset(16));
             b.push_back(0xF7);
         }},
        {"not a bank dump", [](Bytes& b) { b[15] = 'X'; }},
        {"not a bank dump", [](Bytes& b) { b.resize(3); }},
        {"no F7 after block 17", [](Bytes& b) { b.back() = 0x00; }},
        {"bytes after the F7", [](Bytes& b) { b.push_back(0xF0); }},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        c.damage(bad);
        EXPECT_EQ(checkBankDump(bad.data(), bad.size()), c.expected);
        Bank bank = initialBank();
        const Bank before = bank;
        std::string error;
        EXPECT_FALSE(parseBankDump(bad.data(), bad.size(), bank, error));
        EXPECT_EQ(error, c.expected);
        EXPECT_EQ(bank.voices, before.voices) << c.expected;
        EXPECT_EQ(bank.multis, before.multis) << c.expected;
    }
    // The synth's own initial bank is good.
    const Bytes initial = encodeBankDump(initialBank());
    EXPECT_EQ(checkBankDump(initial.data(), initial.size()), "");
}

TEST(MultiFields, ShowLinesApplyBackAndABadLineChangesNothing)
{
    const Bank bank = variedBank();
    const std::string shown = formatBank(bank);
    EXPECT_NE(shown.find("voice[I64].name="), std::string::npos);
    EXPECT_NE(shown.find("multi[1].part[1].channel=1\n"), std::string::npos);
    EXPECT_NE(shown.find("multi[1].part[8].channel=16\n"), std::string::npos);
    EXPECT_NE(shown.find("multi[2].part[2].voice=I02\n"), std::string::npos);
    EXPECT_NE(shown.find("multi[2].part[3].voice=P29\n"), std::string::npos);
    EXPECT_NE(shown.find("multi[3].part[3].detune=-2\n"), std::string::npos);
    EXPECT_NE(shown.find("multi[1].part[1].level=99\n"), std::string::npos);

    Bank other = bank;
    other.multis.fill(initialMulti());
    std::string error;
    ASSERT_TRUE(parseMultiLines(shown, other, error)) << error;
    EXPECT_EQ(other.multis, bank.multis);

    Bank edited = bank;
    ASSERT_TRUE(parseMultiLines("multi[4].part[2].channel=off\nmulti[4].part[2].voice=C64\r\n"
                                "multi[4].part[2].level=50\nmulti[4].effectDepth=7\n",
                                edited, error))
        << error;
    const MultiRecord& m = edited.multis[3];
    EXPECT_EQ(checkMulti(m), "");
    EXPECT_EQ(m[11], 16);
    EXPECT_EQ(m[35], 0xBF);
    EXPECT_EQ(m[43], multiLevelStored(50));
    EXPECT_EQ(m[66] >> 4, 7);

    const struct {
        const char* lines;
        const char* error;
    } bad[] = {
        {"multi[1].name=Initial \nmulti[1].part[9].level=3\n", "line 2: unknown field 'multi[1].part[9].level'"},
        {"\nmulti[17].name=Initial \n", "line 2: unknown field 'multi[17].name'"},
        {"multi[1].part[1].detune=17\n", "line 1: '17' does not fit multi[1].part[1].detune (-16..16)"},
        {"multi[1].part[1].voice=I65\n",
         "line 1: 'I65' does not fit multi[1].part[1].voice (P01..P64, I01..I64, C01..C64)"},
        {"multi[1].part[1].channel=17\n", "line 1: '17' does not fit multi[1].part[1].channel (1..16 or off)"},
        {"multi[1].name=Too long name\n", "line 1: a name is 8 characters (\\xHH for others)"},
        {"voice[I01].name=Renamed!\n", "line 1: voice names are not set here"},
        {"multi[1].effectType\n", "line 1: expected path=value"},
    };
    for (const auto& c : bad) {
        Bank b = bank;
        EXPECT_FALSE(parseMultiLines(std::string("multi[5].effectType=3\n") + c.lines, b, error));
        // The first line is good: the error's line number counts it.
        std::string expected = c.error;
        const int line = std::stoi(expected.substr(5)) + 1;
        expected = "line " + std::to_string(line) + expected.substr(expected.find(':'));
        EXPECT_EQ(error, expected);
        EXPECT_EQ(b.multis, bank.multis) << "a refused text changes nothing";
    }
}

TEST(MultiFields, RemapFollowsAMoveAndASwap)
{
    Bank bank = initialBank();
    MultiRecord& a = bank.multis[0];
    a[34] = 0x40 | 6;    // I07
    a[35] = 0x40 | 20;   // I21
    a[36] = 0x00 | 6;    // P07: a preset, never remapped
    a[37] = 0x80 | 6;    // C07
    setMultiChecksum(a);
    bank.multis[15] = a;

    Bank moved = bank;
    remapMultiVoices(moved, 6, 20, false);
    for (const MultiRecord* m : {&moved.multis[0], &moved.multis[15]}) {
        EXPECT_EQ((*m)[34], 0x40 | 20);
        EXPECT_EQ((*m)[35], 0x40 | 20) << "a move leaves parts naming the target";
        EXPECT_EQ((*m)[36], 6);
        EXPECT_EQ((*m)[37], 0x80 | 6);
        EXPECT_EQ(checkMulti(*m), "");
    }
    EXPECT_EQ(moved.multis[1], initialMulti());

    Bank swapped = bank;
    remapMultiVoices(swapped, 6, 20, true);
    EXPECT_EQ(swapped.multis[0][34], 0x40 | 20);
    EXPECT_EQ(swapped.multis[0][35], 0x40 | 6);
    EXPECT_EQ(checkMulti(swapped.multis[0]), "");
}
