// SPDX-License-Identifier: GPL-3.0-or-later
// The library file SOUNDS.SYL: its exact bytes, counting, listing, loading and
// replacing records.
#include "tests/library/library_test_support.h"

#include <unistd.h>

#include <random>

#include "settings/settings.h"

TEST_F(LibraryTest, FreshLibraryIsTheMagicAloneAndOneAppendGivesTheExactRecord)
{
    EXPECT_EQ(io.countRecords(), 0);   // missing file
    ASSERT_TRUE(io.openLibrary());
    io.closeFile();
    EXPECT_EQ(library(), (Bytes{'T', 'O', 'R', 'V', 'A'}));
    EXPECT_EQ(io.countRecords(), 0);

    voice = namedVoice("Cello 1 ");
    ASSERT_TRUE(appendRecord(5));   // "Strings" and "Woodwind"
    const Bytes file = library();
    ASSERT_EQ(file.size(), 601u);
    EXPECT_EQ(Bytes(file.begin() + 5, file.begin() + 9), (Bytes{5, 0, 0, 0}));
    EXPECT_EQ(file[9], 0xF0);
    EXPECT_EQ(file[600], 0xF7);
    EXPECT_EQ(std::string(file.begin() + 28, file.begin() + 36), "Cello 1 ");
    EXPECT_EQ(Bytes(file.begin() + 9, file.end()), encoded(voice));
    EXPECT_EQ(io.countRecords(), 1);

    // Bits 16..31 are written as 0.
    ASSERT_TRUE(appendRecord(0xABCD0005u));
    const Bytes two = library();
    EXPECT_EQ(Bytes(two.begin() + 601, two.begin() + 605), (Bytes{5, 0, 0, 0}));
    EXPECT_EQ(events.saveErrors, 0);
    EXPECT_EQ(loads, 0);
}

TEST_F(LibraryTest, OnlyCompleteRecordsCountAndRead)
{
    const Bytes one = record(7, namedVoice("Bass  01"));
    Bytes file = libraryOf({one});
    file.resize(600);   // magic and 595 bytes
    writeBytes(io.libraryPath, file);
    EXPECT_EQ(io.countRecords(), 0);
    ASSERT_TRUE(io.openLibrary());
    EXPECT_FALSE(io.holdsRecord(0));
    EXPECT_EQ(io.readCategories(0), 0u);
    EXPECT_EQ(io.readName(0), "");
    io.closeFile();

    file = libraryOf({one, one});
    file.resize(1196);   // one record and 595 bytes of the next
    writeBytes(io.libraryPath, file);
    EXPECT_EQ(io.countRecords(), 1);
    ASSERT_TRUE(io.openLibrary());
    EXPECT_EQ(io.readCategories(0), 7u);
    EXPECT_EQ(io.readName(0), "Bass  01");
    EXPECT_FALSE(io.holdsRecord(1));
    EXPECT_EQ(io.readName(1), "");
    EXPECT_EQ(io.readName(-1), "");
    io.closeFile();
    EXPECT_FALSE(loadRecord(1));
    EXPECT_EQ(loads, 0);

    // Too short for even the magic, or not a file at all: no records.
    writeBytes(io.libraryPath, {'T', 'O'});
    EXPECT_EQ(io.countRecords(), 0);
    io.libraryPath = dir.string();
    EXPECT_EQ(io.countRecords(), 0);
}

TEST_F(LibraryTest, NamesAreListedEightCharactersWithUnprintableBytesBlank)
{
    Bytes r = record(0, namedVoice("ABCDEFGH"));
    const uint8_t name[8] = {0x7F, 0x00, 0xA0, 0x1F, 0x20, 0x80, 'z', 0xFF};
    std::memcpy(r.data() + libraryNameOffset, name, 8);
    writeBytes(io.libraryPath, libraryOf({r, record(0, namedVoice("Pad     "))}));
    ASSERT_TRUE(io.openLibrary());
    EXPECT_EQ(io.readName(0), std::string("\x7F") + "    " + " z ");
    EXPECT_EQ(io.readName(1), "Pad     ");   // trailing blanks kept
}

TEST_F(LibraryTest, ListingPassReadsEveryRecordInAnyOrder)
{
    // More records than one read-ahead window holds, read forwards, backwards and by
    // jumps: every mask and name must be that record's own.
    constexpr int count = 4000;
    Bytes file = {'T', 'O', 'R', 'V', 'A'};
    const Bytes base = record(0, namedVoice("........"));
    for (int n = 0; n < count; ++n) {
        Bytes r = base;
        const uint32_t mask = static_cast<uint32_t>(n) * 2654435761u;
        for (int i = 0; i < 4; ++i)
            r[i] = static_cast<uint8_t>(mask >> (8 * i));
        const std::string name = "v" + std::to_string(1000000 + n).substr(0, 7);
        std::memcpy(r.data() + libraryNameOffset, name.data(), 8);
        file.insert(file.end(), r.begin(), r.end());
    }
    writeBytes(io.libraryPath, file);
    ASSERT_EQ(io.countRecords(), count);
    auto check = [&](int n) {
        SCOPED_TRACE("record " + std::to_string(n));
        EXPECT_EQ(io.readCategories(n), static_cast<uint32_t>(n) * 2654435761u);
        EXPECT_EQ(io.readName(n), "v" + std::to_string(1000000 + n).substr(0, 7));
    };
    ASSERT_TRUE(io.openLibrary());
    for (int n = 0; n < count; ++n)
        check(n);
    for (int n = count - 1; n >= 0; n -= 7)
        check(n);
    std::mt19937 jump(42);
    for (int i = 0; i < 500; ++i)
        check(static_cast<int>(jump() % count));
    EXPECT_EQ(io.readName(count), "");
    io.closeFile();
}

TEST_F(LibraryTest, TheListingMarksDamagedRecordsAsTheDumpCheckDoes)
{
    // Sound records with one to three bytes changed at random places, some back to
    // their own value: the listing's quick check must agree with the dump check on
    // each, and the hash must tell every changed record from its original.
    std::mt19937 random(7);
    std::vector<Bytes> records;
    for (uint32_t n = 0; n < 600; ++n) {
        Bytes r = record(n, seededVoice(n));
        const int changes = 1 + static_cast<int>(random() % 3);
        for (int c = 0; c < changes && n % 5 != 0; ++c) {
            const size_t at = 4 + random() % dumpSize;
            const uint32_t how = random() % 4;
            r[at] = how == 0   ? static_cast<uint8_t>(r[at] ^ 0x80)
                    : how == 1 ? static_cast<uint8_t>(r[at] ^ 0x01)
                    : how == 2 ? static_cast<uint8_t>((r[at] + 64) & 0x7F)
                               : r[at];
        }
        records.push_back(r);
    }
    writeBytes(io.libraryPath, libraryOf(records));
    LibraryListing listing;
    ASSERT_TRUE(io.refreshListing(listing));
    ASSERT_EQ(listing.count(), 600);
    int damaged = 0;
    for (int32_t n = 0; n < listing.count(); ++n) {
        const Bytes& r = records[static_cast<size_t>(n)];
        EXPECT_EQ(listing.isDamaged(n), *checkVoiceDump(r.data() + 4) != 0) << "record " << n;
        damaged += listing.isDamaged(n) ? 1 : 0;
        const Bytes original = record(static_cast<uint32_t>(n), seededVoice(static_cast<uint32_t>(n)));
        EXPECT_EQ(listing.hashes[static_cast<size_t>(n)] == libraryRecordHash(original.data()), r == original)
            << "record " << n;
    }
    EXPECT_GT(damaged, 100);
    EXPECT_LT(damaged, 600);
}

TEST_F(LibraryTest, RecordsTheFileNoLongerHoldsReadAsAbsent)
{
    writeBytes(io.libraryPath,
               libraryOf({record(1, namedVoice("One     ")), record(2, namedVoice("Two     ")),
                          record(3, namedVoice("Three   "))}));
    ASSERT_EQ(io.countRecords(), 3);
    ASSERT_TRUE(io.openLibrary());
    // Another program cuts the file to one record and a piece while it is open.
    ASSERT_EQ(truncate(io.libraryPath.c_str(), 5 + 596 + 100), 0);
    EXPECT_EQ(io.readCategories(0), 1u);
    EXPECT_EQ(io.readName(0), "One     ");
    EXPECT_EQ(io.readCategories(1), 0u);
    EXPECT_EQ(io.readName(1), "");
    EXPECT_EQ(io.readName(2), "");
    io.closeFile();

    voice = namedVoice("Current ");
    const Bytes before = encoded(voice);
    EXPECT_FALSE(loadRecord(2));
    EXPECT_FALSE(loadRecord(-1));
    EXPECT_EQ(encoded(voice), before);
    EXPECT_EQ(loads, 0);
    EXPECT_EQ(events.invalid, 0);

    // Replacing a record that is gone adds nothing and says so.
    const Bytes file = library();
    EXPECT_FALSE(overwriteRecord(1, 3));
    EXPECT_EQ(library(), file);
    EXPECT_EQ(events.saveErrors, 1);
}

TEST_F(LibraryTest, LoadedRecordBecomesTheVoiceAndADamagedOneIsRefused)
{
    const Voice wanted = seededVoice(77);
    writeBytes(io.libraryPath, libraryOf({record(1, namedVoice("First   ")), record(2, wanted)}));
    for (int i = 0; i < 2; ++i) {
        resetVoice(voice);
        ASSERT_TRUE(loadRecord(1));
        EXPECT_EQ(encoded(voice), encoded(wanted));
    }
    // A record whose stored dump is damaged is not loaded, and says why.
    Bytes file = library();
    file[5 + 596 + 4 + 590] ^= 0x55;   // checksum
    file[5 + 4] = 0x00;                // frame byte of record 0
    writeBytes(io.libraryPath, file);
    const Bytes kept = encoded(voice);
    EXPECT_FALSE(loadRecord(0));
    EXPECT_NE(io.lastError.find("record 0 is damaged"), std::string::npos) << io.lastError;
    EXPECT_FALSE(loadRecord(1));
    EXPECT_NE(io.lastError.find("checksum"), std::string::npos) << io.lastError;
    EXPECT_EQ(encoded(voice), kept);
    EXPECT_EQ(loads, 2);
}

TEST_F(LibraryTest, OverwriteChangesThatRecordOnly)
{
    writeBytes(io.libraryPath,
               libraryOf({record(1, namedVoice("One     ")), record(2, namedVoice("Two     ")),
                          record(3, namedVoice("Three   "))}));
    const Bytes before = library();
    voice = seededVoice(5);
    ASSERT_TRUE(overwriteRecord(1, 0x8001));
    const Bytes after = library();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(Bytes(after.begin(), after.begin() + 601), Bytes(before.begin(), before.begin() + 601));
    EXPECT_EQ(Bytes(after.begin() + 601, after.begin() + 1197), record(0x8001, voice));
    EXPECT_EQ(Bytes(after.begin() + 1197, after.end()), Bytes(before.begin() + 1197, before.end()));
    EXPECT_EQ(events.saveErrors, 0);
    EXPECT_EQ(loads, 0);
}

TEST_F(LibraryTest, AppendLandsWhereTheCountSaysEvenOnAnOddLengthFile)
{
    // An empty file (no magic yet) gets its magic with the first record.
    writeBytes(io.libraryPath, {});
    voice = namedVoice("First   ");
    ASSERT_TRUE(appendRecord(1));
    EXPECT_EQ(library(), libraryOf({record(1, voice)}));

    // A trailing part-record is replaced by the new record, which is then counted
    // and listed as the last one.
    Bytes file = library();
    file.insert(file.end(), 100, 0xEE);
    writeBytes(io.libraryPath, file);
    voice = namedVoice("Second  ");
    ASSERT_TRUE(appendRecord(2));
    EXPECT_EQ(library(), libraryOf({record(1, namedVoice("First   ")), record(2, voice)}));
    EXPECT_EQ(io.countRecords(), 2);
}

TEST_F(LibraryTest, RandomVoicesSurviveLibraryRecords)
{
    const uint32_t first = static_cast<uint32_t>(std::random_device{}());
    constexpr uint32_t count = 40;
    for (uint32_t i = 0; i < count; ++i) {
        voice = seededVoice(first + i);
        ASSERT_TRUE(appendRecord((first + i) & 0xFFFF)) << "seed " << first + i;
    }
    ASSERT_EQ(io.countRecords(), static_cast<int32_t>(count));
    ASSERT_TRUE(io.openLibrary());
    for (uint32_t i = 0; i < count; ++i) {
        const Voice v = seededVoice(first + i);
        SCOPED_TRACE("seed " + std::to_string(first + i));
        EXPECT_EQ(io.readCategories(static_cast<int32_t>(i)), (first + i) & 0xFFFF);
        EXPECT_EQ(io.readName(static_cast<int32_t>(i)), std::string(v.name, 8));
    }
    io.closeFile();
    for (uint32_t i = count; i-- > 0;) {
        SCOPED_TRACE("seed " + std::to_string(first + i));
        resetVoice(voice);
        ASSERT_TRUE(loadRecord(static_cast<int32_t>(i)));
        EXPECT_EQ(encoded(voice), encoded(seededVoice(first + i)));
    }
}
