// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "voice/bank.h"
#include "voice/voicefields.h"

namespace {

using Bytes = std::vector<uint8_t>;

VoiceDump encodedDump(const Voice& v)
{
    VoiceDump d;
    std::memcpy(d.data(), encodeVoice(v).data(), dumpSize);
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
        r[34 + m % 8] = static_cast<uint8_t>(0x40 | m);    // a part plays I(m+1)
        r[50 + m % 8] = static_cast<uint8_t>(-(m % 16));   // negative detunes travel split
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
    return bankBlockOffset(b) + 2 + (b == 0 ? 10 : 0) +
           static_cast<size_t>(v % bankVoicesPerBlock) * bankRecordSize;
}

}   // namespace

TEST(InnerChecksum, FollowsTheSplitRuleOnHandCases)
{
    int pairs = 0;   // the notes' split table: 146 pairs among the 574 wire bytes
    for (int i = 16; i < 590; ++i)
        pairs += isVoiceSplitOffset(i);
    EXPECT_EQ(pairs, 146);

    // The reset voice's internal bytes sum to 681 (see its golden dump); attack adjust
    // -1 travels split as 01 7F and counts 255 joined: 936 = 168 mod 256, so 88.
    Voice v;
    resetVoice(v);
    v.attackAdjust = -1;
    VoiceDump d = encodedDump(v);
    EXPECT_EQ(d[588], 0x00);
    EXPECT_EQ(d[589], 88);
    // 681 + 88 = 1 mod 256 needs 255, split as 01 7F.
    v.attackAdjust = 0;
    v.name[0] = static_cast<char>('1' + 44);
    v.name[1] = static_cast<char>('2' + 44);
    d = encodedDump(v);
    EXPECT_EQ(d[588], 0x01);
    EXPECT_EQ(d[589], 0x7F);
    EXPECT_STREQ(checkVoiceDump(d.data()), "");
    EXPECT_EQ(writtenDump(d.data()), d) << "a right value keeps its bytes";
}

TEST(Multi, InitialTemplateFollowsTheRuleAndTravelsSplit)
{
    const MultiRecord m = initialMulti();
    EXPECT_EQ(checkMulti(m), "");
    EXPECT_EQ(multiChecksum(m), 0x99);
    int pairs = 0;
    for (int i = 0; i < multiRecordSize; ++i)
        pairs += isMultiSplitOffset(i);
    EXPECT_EQ(pairs, multiWireSize - multiRecordSize);
    uint8_t wire[multiWireSize];
    multiToWire(m, wire);
    EXPECT_EQ(Bytes(wire, wire + 3), (Bytes{0x00, 0x5A, 0x00}));
    EXPECT_EQ(Bytes(wire + 92, wire + 94), (Bytes{0x01, 0x19}));
    EXPECT_EQ(multiFromWire(wire), m);
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
    EXPECT_EQ(Bytes(message.begin(), message.begin() + 6), (Bytes{0xF0, 0x43, 0x05, 0x7E, 0x12, 0x02}));
    for (int b = 1; b < 17; ++b)
        EXPECT_EQ(Bytes(message.begin() + bankBlockOffset(b), message.begin() + bankBlockOffset(b) + 2),
                  b < 16 ? (Bytes{0x11, 0x78}) : (Bytes{0x0B, 0x60}));

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
    EXPECT_EQ(pieces[16].size(), 1507u + 1u);
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
        // One 256-byte piece of the transfer lost: its block, not the checksum it upset.
        {"block 9: 256 bytes missing", [](Bytes& b) { b.erase(b.begin() + 19712, b.begin() + 19968); }},
        {"block 17: 162 bytes missing", [](Bytes& b) { b.erase(b.end() - 163, b.end() - 1); }},
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
    for (const char* line : {"voice[I64].name=", "\nmulti[1].part[8].channel=16\n",
                             "\nmulti[2].part[2].voice=I02\n", "\nmulti[2].part[3].voice=P29 BrasSect\n",
                             "\nmulti[3].part[3].detune=-2\n", "\nmulti[1].part[1].level=99\n"})
        EXPECT_NE(shown.find(line), std::string::npos) << line;
    Bank other = bank;
    other.multis.fill(initialMulti());
    std::string error;
    ASSERT_TRUE(parseMultiLines(shown, other, error)) << error;
    EXPECT_EQ(other.multis, bank.multis);

    ASSERT_TRUE(parseMultiLines("multi[4].part[2].voice=C64\r\n", other, error));
    EXPECT_EQ(other.multis[3][35], 0xBF);

    for (const auto& [lines, expected] : std::vector<std::pair<std::string, std::string>>{
             {"multi[1].effectType=3\nmulti[1].part[9].level=3",
              "line 2: unknown field 'multi[1].part[9].level'"},
             {"multi[17].name=Initial ", "line 1: unknown field 'multi[17].name'"},
             {"multi[1].part[1].detune=17", "line 1: '17' does not fit multi[1].part[1].detune (-16..16)"},
             {"multi[1].part[1].voice=I65",
              "line 1: 'I65' does not fit multi[1].part[1].voice (P01..P64, I01..I64, C01..C64)"},
             {"multi[1].part[1].channel=17",
              "line 1: '17' does not fit multi[1].part[1].channel (1..16 or off)"},
             {"voice[I01].name=Renamed!", "line 1: voice names are not set here"},
         }) {
        Bank b = bank;
        EXPECT_FALSE(parseMultiLines(lines, b, error));
        EXPECT_EQ(error, expected);
        EXPECT_EQ(b.multis, bank.multis) << "a refused text changes nothing";
    }
}

TEST(MultiFields, RemapFollowsAMoveAndASwap)
{
    Bank bank = initialBank();
    MultiRecord& a = bank.multis[15];
    a[34] = 0x40 | 6;    // I07
    a[35] = 0x40 | 20;   // I21
    a[36] = 6;           // P07 and C07 are no internal slots
    a[37] = 0x80 | 6;
    setMultiChecksum(a);

    Bank moved = bank;
    remapMultiVoices(moved, 6, 20, false);
    EXPECT_EQ(Bytes(moved.multis[15].begin() + 34, moved.multis[15].begin() + 38),
              (Bytes{0x54, 0x54, 6, 0x86}));
    EXPECT_EQ(checkMulti(moved.multis[15]), "");
    EXPECT_EQ(moved.multis[0], initialMulti());

    remapMultiVoices(bank, 6, 20, true);
    EXPECT_EQ(Bytes(bank.multis[15].begin() + 34, bank.multis[15].begin() + 38),
              (Bytes{0x54, 0x46, 6, 0x86}));
    EXPECT_EQ(checkMulti(bank.multis[15]), "");
}

// `bank show | bank set` changes nothing, whatever a multi byte holds: every internal
// byte but the tag and the checksum, through every value it can carry (split bytes 8
// bits, the others 7).
TEST(BankLines, ShownLinesSetAgainLeaveEveryStoredMultiByte)
{
    const Bank start = initialBank();
    for (int i = 1; i < multiRecordSize - 1; ++i) {
        const int top = isMultiSplitOffset(i) ? 255 : 127;
        for (int value = 0; value <= top; ++value) {
            Bank bank = start;
            MultiRecord& m = bank.multis[0];
            m[static_cast<size_t>(i)] = static_cast<uint8_t>(value);
            setMultiChecksum(m);
            std::string text;
            for (const MultiField& f : multiFields())
                text += "multi[1]." + f.path + "=" + multiFieldText(f, m) + "\n";
            const Bank before = bank;
            std::string error;
            ASSERT_TRUE(parseMultiLines(text, bank, error))
                << "byte " << i << " = " << value << ": " << error;
            ASSERT_EQ(bank.multis[0], before.multis[0]) << "byte " << i << " = " << value;
        }
    }
}

TEST(BankLines, NamesAreSevenBitTextAndMessagesStayShortAndPlain)
{
    Bank bank = initialBank();
    const Bank before = bank;
    std::string error;
    for (const char* name :
         {"multi[2].name=\\x80bcdefgh", "multi[2].name=Ab\\x0Acdefg", "multi[2].name=Short"}) {
        EXPECT_FALSE(parseMultiLines(std::string("\n") + name + "\n", bank, error)) << name;
        EXPECT_EQ(error.rfind("line 2: a multi name is 8 characters", 0), 0u) << error;
    }
    EXPECT_FALSE(parseMultiLines(
        "multi[1].part[1].detune=1" + std::string(1, '\0') + std::string(200000, '7'), bank, error));
    EXPECT_LT(error.size(), 150u) << error;
    EXPECT_NE(error.find("'1\\x00777"), std::string::npos) << error;
    EXPECT_EQ(bank.multis, before.multis);
}
