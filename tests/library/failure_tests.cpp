// SPDX-License-Identifier: GPL-3.0-or-later
// Library writes that fail: nothing added or changed, nothing counted, "Save error"
// shown. Tests run as root in CI, where permissions stop nothing, so the failures
// here are ones that hold for root too.
#include "tests/library/library_test_support.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

TEST_F(LibraryTest, ShortWriteLeavesTheFileAsItWas)
{
    writeBytes(io.libraryPath,
               libraryOf({record(1, namedVoice("One     ")), record(2, namedVoice("Two     "))}));
    const Bytes before = library();
    voice = seededVoice(21);
    {
        FileSizeLimit limit(before.size() + 300);   // room for half a record
        ASSERT_TRUE(limit.active);
        EXPECT_FALSE(appendRecord(4));
    }
    EXPECT_EQ(library(), before);
    EXPECT_EQ(io.countRecords(), 2);
    EXPECT_EQ(events.saveErrors, 1);

    // With a trailing part-record, which the new record would have replaced: the
    // part-record comes back too.
    Bytes odd = before;
    odd.insert(odd.end(), 100, 0xEE);
    writeBytes(io.libraryPath, odd);
    {
        FileSizeLimit limit(odd.size() + 200);
        ASSERT_TRUE(limit.active);
        EXPECT_FALSE(appendRecord(4));
    }
    EXPECT_EQ(library(), odd);
    EXPECT_EQ(events.saveErrors, 2);

    // A missing library may be made, but never with a record cut short in it.
    std::filesystem::remove(io.libraryPath);
    {
        FileSizeLimit limit(300);
        ASSERT_TRUE(limit.active);
        EXPECT_FALSE(appendRecord(4));
    }
    EXPECT_EQ(io.countRecords(), 0);
    const Bytes made = library();
    EXPECT_TRUE(made.empty() || made == (Bytes{'T', 'O', 'R', 'V', 'A'}));
    EXPECT_EQ(events.saveErrors, 3);
}

TEST_F(LibraryTest, LibraryThatCannotBeWrittenReportsAndStaysUntouched)
{
    voice = seededVoice(22);

    // The folder it should be in is a file.
    writeBytes(path("folder"), {1, 2, 3});
    io.libraryPath = path("folder/SOUNDS.SYL");
    EXPECT_FALSE(io.openLibrary());
    EXPECT_EQ(io.readName(0), "");
    EXPECT_FALSE(appendRecord(1));
    EXPECT_FALSE(overwriteRecord(0, 1));
    EXPECT_FALSE(loadRecord(0));
    EXPECT_EQ(readBytes(path("folder")), (Bytes{1, 2, 3}));
    EXPECT_EQ(events.saveErrors, 2);

    // A folder stands where the file should be.
    std::filesystem::create_directory(path("SOUNDS.SYL"));
    io.libraryPath = path("SOUNDS.SYL");
    EXPECT_FALSE(io.openLibrary());
    EXPECT_FALSE(appendRecord(1));
    EXPECT_FALSE(overwriteRecord(0, 1));
    EXPECT_TRUE(std::filesystem::is_directory(io.libraryPath));
    EXPECT_TRUE(std::filesystem::is_empty(io.libraryPath));
    EXPECT_EQ(events.saveErrors, 4);

    // A pipe where the file should be: refused at once, never waited on.
    std::filesystem::remove(io.libraryPath);
    ASSERT_EQ(mkfifo(io.libraryPath.c_str(), 0600), 0);
    {
        HangGuard guard;
        EXPECT_EQ(io.countRecords(), 0);
        EXPECT_FALSE(io.openLibrary());
        EXPECT_FALSE(loadRecord(0));
        EXPECT_FALSE(appendRecord(1));
        EXPECT_FALSE(overwriteRecord(0, 1));
    }
    EXPECT_EQ(events.saveErrors, 6);

    // A device that is always full.
    if (access("/dev/full", W_OK) == 0) {
        io.libraryPath = "/dev/full";
        EXPECT_FALSE(appendRecord(1));
        EXPECT_EQ(events.saveErrors, 7);
    }
    EXPECT_EQ(loads, 0);
}

TEST_F(LibraryTest, ReadOnlyLibraryStillListsAndLoads)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write any file";
    writeBytes(io.libraryPath, libraryOf({record(3, seededVoice(23))}));
    ASSERT_EQ(chmod(io.libraryPath.c_str(), 0444), 0);
    const Bytes before = library();
    ASSERT_TRUE(io.openLibrary());
    EXPECT_EQ(io.readCategories(0), 3u);
    io.closeFile();
    EXPECT_TRUE(loadRecord(0));
    EXPECT_EQ(encoded(voice), encoded(seededVoice(23)));
    EXPECT_FALSE(appendRecord(1));
    EXPECT_FALSE(overwriteRecord(0, 1));
    EXPECT_EQ(library(), before);
    EXPECT_EQ(events.saveErrors, 2);

    // And a read-only folder lets no library be made in it.
    std::filesystem::create_directory(path("ro"));
    ASSERT_EQ(chmod(path("ro").c_str(), 0555), 0);
    io.libraryPath = path("ro/SOUNDS.SYL");
    EXPECT_FALSE(io.openLibrary());
    EXPECT_FALSE(appendRecord(1));
    EXPECT_FALSE(std::filesystem::exists(io.libraryPath));
    chmod(path("ro").c_str(), 0755);
}

TEST_F(LibraryTest, AWriteThatCannotHaveTheLockWritesNothingAndSaysSo)
{
    writeBytes(io.libraryPath,
               libraryOf({record(1, namedVoice("One     ")), record(2, namedVoice("Two     "))}));
    const Bytes before = library();
    voice = seededVoice(31);
    io.lockWaitMs = 200;
    const int held = open(io.libraryPath.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);   // another program is writing
    EXPECT_FALSE(appendRecord(1));
    EXPECT_EQ(events.lastReason.rfind("the library is in use by another program", 0), 0u)
        << events.lastReason;
    EXPECT_FALSE(overwriteRecord(1, 1));
    EXPECT_FALSE(io.renameRecord(0, "New"));
    EXPECT_FALSE(io.setRecordCategories(0, 7));
    EXPECT_FALSE(io.deleteRecords({0}));
    EXPECT_FALSE(io.moveRecord(0, 1));
    EXPECT_NE(io.lastError.find("nothing was written"), std::string::npos) << io.lastError;
    EXPECT_EQ(library(), before);
    close(held);

    // A lock dies with the program that held it, however that program ended.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(io.libraryPath.c_str(), O_RDWR);
        flock(fd, LOCK_EX);
        pause();
        _exit(0);
    }
    usleep(50000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    io.lockWaitMs = 5000;
    EXPECT_TRUE(appendRecord(1));
    EXPECT_EQ(io.countRecords(), 3);
}

TEST_F(LibraryTest, AWriteActsOnlyOnTheRecordThatWasListed)
{
    writeBytes(io.libraryPath,
               libraryOf({record(1, namedVoice("One     ")), record(2, namedVoice("Two     ")),
                          record(3, namedVoice("Three   "))}));
    LibraryListing listing;
    ASSERT_TRUE(io.refreshListing(listing));
    ASSERT_EQ(listing.count(), 3);
    // Another program deletes record 0: what was record 2 is record 1 now.
    TFileIO other(io.libraryPath);
    ASSERT_TRUE(other.deleteRecords({0}));
    const Bytes before = library();
    voice = seededVoice(32);
    EXPECT_FALSE(overwriteRecord(1, 5, listing.hashes[1]));
    EXPECT_TRUE(io.stale);
    const std::vector<uint64_t> two = {listing.hashes[1]};
    EXPECT_FALSE(io.deleteRecords({1}, &two));
    EXPECT_TRUE(io.stale);
    EXPECT_FALSE(io.renameRecord(2, "X", listing.hashes[2]));   // no record 2 any more
    EXPECT_TRUE(io.stale);
    EXPECT_EQ(library(), before);
    EXPECT_EQ(events.saveErrors, 0);   // nothing failed: the list was only out of date
    // Listed again, the same voice is found by what it is.
    ASSERT_TRUE(io.refreshListing(listing));
    ASSERT_EQ(listing.hashes[0], libraryRecordHash(before.data() + 5));
    const std::vector<uint64_t> first = {listing.hashes[0]};
    EXPECT_TRUE(io.deleteRecords({0}, &first));
    EXPECT_FALSE(io.stale);
    EXPECT_EQ(io.countRecords(), 1);
}
