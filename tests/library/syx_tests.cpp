// SPDX-License-Identifier: GPL-3.0-or-later
// Single-voice .SYX files: what is written, which files load and which are refused.
#include "tests/library/library_test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "settings/settings.h"

namespace {

Bytes junk(size_t size, uint8_t seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) {
        b[i] = static_cast<uint8_t>(seed + i * 7);
        if (b[i] == 0xF0)
            b[i] = 0x70;
    }
    return b;
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

}   // namespace

class SyxTest : public LibraryTest {
protected:
    // Loads bytes as a file; checks that a refused file left voice alone and sent nothing.
    bool load(const Bytes& bytes)
    {
        writeBytes(path("v.syx"), bytes);
        voice = namedVoice("Before  ");
        const int invalid = events.invalid, sends = loads;
        const bool ok = loadVoiceFile(path("v.syx"));
        if (ok) {
            EXPECT_EQ(loads, sends + 1);
            EXPECT_EQ(events.invalid, invalid);
        } else {
            EXPECT_EQ(encoded(voice), encoded(namedVoice("Before  ")));
            EXPECT_EQ(loads, sends);
            EXPECT_EQ(events.invalid, invalid + 1);
        }
        return ok;
    }
};

TEST_F(SyxTest, SavedFileIsExactlyTheDump)
{
    voice = seededVoice(3);
    ASSERT_TRUE(saveVoiceFile(path("a.syx")));
    const Bytes file = readBytes(path("a.syx"));
    ASSERT_EQ(file.size(), 592u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0xF0, 0x43, 0x00, 0x7E}));
    EXPECT_EQ(file, encoded(voice));

    // Saving over a longer file leaves no tail.
    writeBytes(path("b.syx"), Bytes(2000, 0x11));
    ASSERT_TRUE(saveVoiceFile(path("b.syx")));
    EXPECT_EQ(readBytes(path("b.syx")), encoded(voice));
    EXPECT_EQ(events.saveErrors, 0);

    // A file that cannot be made: "Save error" with the system's reason, nothing written.
    EXPECT_FALSE(saveVoiceFile(path("no-such-folder/a.syx")));
    EXPECT_EQ(events.lastReason, "No such file or directory");
    EXPECT_FALSE(saveVoiceFile(dir.string()));
    EXPECT_EQ(events.lastReason, "Is a directory");
    EXPECT_EQ(events.saveErrors, 2);
    // A pipe nobody reads from: refused at once, not waited on.
    ASSERT_EQ(mkfifo(path("pipe.syx").c_str(), 0600), 0);
    {
        HangGuard guard;
        EXPECT_FALSE(saveVoiceFile(path("pipe.syx")));
    }
    EXPECT_EQ(events.saveErrors, 3);
    // A write that fails after the file was opened is reported too.
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_FALSE(saveVoiceFile("/dev/full"));
        EXPECT_EQ(events.saveErrors, 4);
    }
}

TEST_F(SyxTest, SavingOverAFileLeavesItWholeWhenTheWriteFails)
{
    voice = seededVoice(4);
    ASSERT_TRUE(saveVoiceFile(path("a.syx")));
    const Bytes old = readBytes(path("a.syx"));
    voice = seededVoice(5);
    {
        FileSizeLimit limit(300);   // the disk fills half-way through the dump
        ASSERT_TRUE(limit.active);
        EXPECT_FALSE(saveVoiceFile(path("a.syx")));
    }
    EXPECT_EQ(readBytes(path("a.syx")), old);
    EXPECT_EQ(events.lastReason, "File too large");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
              1)
        << "a new file was left behind";
    // A file the user may not write stays as it is, though the folder would let a
    // new one take its place.
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(path("a.syx").c_str(), 0444), 0);
        EXPECT_FALSE(saveVoiceFile(path("a.syx")));
        EXPECT_EQ(events.lastReason, "Permission denied");
        EXPECT_EQ(readBytes(path("a.syx")), old);
    }
}

TEST_F(SyxTest, DumpsAmongOtherBytesLoad)
{
    const Voice v = seededVoice(11);
    const Bytes dump = encoded(v);
    EXPECT_TRUE(load(dump));
    EXPECT_EQ(encoded(voice), dump);
    EXPECT_TRUE(load(join({junk(100, 1), dump})));
    EXPECT_EQ(encoded(voice), dump);
    EXPECT_TRUE(load(join({dump, junk(300, 2), dump})));
    EXPECT_TRUE(load(join({junk(100, 3), dump, junk(100, 4)})));
    EXPECT_EQ(encoded(voice), dump);

    // Recorded from the synthesiser on channel 6: byte 2 is not looked at.
    Bytes recorded = dump;
    recorded[2] = 0x05;
    EXPECT_TRUE(load(recorded));
    EXPECT_EQ(encoded(voice), dump);

    // A dump that straddles the pieces the file is read in.
    EXPECT_TRUE(load(join({junk(65536 - 300, 5), dump, junk(10, 6)})));
    EXPECT_EQ(encoded(voice), dump);
}

TEST_F(SyxTest, BrokenFilesAreRefusedAndTheVoiceStays)
{
    const Bytes dump = encoded(seededVoice(12));
    EXPECT_FALSE(load(Bytes(dump.begin(), dump.end() - 1)));   // one byte short
    EXPECT_FALSE(load(join({junk(50, 7), Bytes(dump.begin(), dump.end() - 1)})));
    Bytes wrongEnd = dump;
    wrongEnd[591] = 0x00;
    EXPECT_FALSE(load(wrongEnd));
    EXPECT_FALSE(load(join({wrongEnd, junk(40, 8)})));   // F7 one byte late
    EXPECT_FALSE(load(junk(5000, 9)));                   // no F0 at all
    EXPECT_FALSE(load({}));
    Bytes request = {0xF0, 0x43, 0x20, 0x7E, 'P', 'K', ' ', ' ', '2', '2', '0', '3', 'A', 'E', 0xF7};
    EXPECT_FALSE(load(request));

    // Not a readable file.
    const int invalidBefore = events.invalid;
    voice = namedVoice("Before  ");
    EXPECT_FALSE(loadVoiceFile(path("missing.syx")));
    EXPECT_FALSE(loadVoiceFile(dir.string()));
    // A device that never ends and a pipe nobody writes to: refused, never read.
    ASSERT_EQ(mkfifo(path("pipe.syx").c_str(), 0600), 0);
    {
        HangGuard guard;
        EXPECT_FALSE(loadVoiceFile("/dev/zero"));
        EXPECT_FALSE(loadVoiceFile(path("pipe.syx")));
    }
    EXPECT_EQ(events.invalid, invalidBefore + 4);
    EXPECT_EQ(encoded(voice), encoded(namedVoice("Before  ")));
    EXPECT_EQ(loads, 0);
}

TEST_F(SyxTest, FirstCompleteDumpWinsOverEarlierSystemExclusive)
{
    const Bytes dump = encoded(seededVoice(13));
    // A recorded dump request, then the synthesiser's answer.
    const Bytes request = {0xF0, 0x43, 0x20, 0x7E, 'P', 'K', ' ', ' ', '2', '2', '0', '3', 'A', 'E', 0xF7};
    EXPECT_TRUE(load(join({request, dump})));
    EXPECT_EQ(encoded(voice), dump);

    // A stray F0 whose 592-byte run does not end with F7 is passed over.
    EXPECT_TRUE(load(join({junk(20, 10), Bytes{0xF0}, junk(30, 11), dump})));
    EXPECT_EQ(encoded(voice), dump);

    // A stray F0 whose 592nd byte is F7 but that is no well-formed dump is passed
    // over too: the real dump after it loads.
    Bytes stray(592, 0x00);
    stray[0] = 0xF0;
    stray[591] = 0xF7;
    EXPECT_TRUE(load(join({stray, dump})));
    EXPECT_EQ(encoded(voice), dump);
}

TEST_F(SyxTest, OnlyAWellFormedDumpLoads)
{
    // F0, 590 zero bytes, F7: no header, no checksum.
    Bytes blank(592, 0x00);
    blank[0] = 0xF0;
    blank[591] = 0xF7;
    EXPECT_FALSE(load(blank));
    const Bytes dump = encoded(seededVoice(15));
    Bytes badSum = dump;
    badSum[590] ^= 0x01;
    EXPECT_FALSE(load(badSum));
    Bytes badHeader = dump;
    badHeader[6] = 'Q';
    badHeader[590] = static_cast<uint8_t>((badHeader[590] + 'P' - 'Q') & 0x7F);
    EXPECT_FALSE(load(badHeader));
}

TEST_F(SyxTest, TheSameFileLoadsAgainAndAgain)
{
    const Bytes dump = encoded(seededVoice(14));
    EXPECT_TRUE(load(dump));
    EXPECT_TRUE(load(dump));
    EXPECT_EQ(loads, 2);
}

TEST_F(SyxTest, RandomVoicesSurviveSaveAndLoad)
{
    const uint32_t first = static_cast<uint32_t>(std::random_device{}());
    for (uint32_t seed = first; seed != first + 200; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Voice v = seededVoice(seed);
        voice = v;
        ASSERT_TRUE(saveVoiceFile(path("r.syx")));
        resetVoice(voice);
        ASSERT_TRUE(loadVoiceFile(path("r.syx")));
        ASSERT_EQ(encoded(voice), encoded(v));
    }
}
