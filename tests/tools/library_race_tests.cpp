// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice against libraries that other programs write at the same moment, files
// that are no library, damaged records and floods of refusals.
#include <gtest/gtest.h>

#include <sys/file.h>

#include <algorithm>
#include <filesystem>

#include "bench/library_race.h"
#include "library/voiceimport.h"

namespace fs = std::filesystem;

namespace {

class LibraryRace : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tarvik-race-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const std::string& name) const { return dir + "/" + name; }

    // Runs the tool alone; its standard output and error.
    struct Result {
        int status;
        std::string out, err;
    };
    Result run(const std::vector<std::string>& arguments) const
    {
        race::Run r = race::start(TARVIK_VOICE, arguments, file("run.out"));
        race::finish(r);
        const race::Bytes err = race::readAll(file("run.out.err"));
        return {r.status, race::outputOf(r), std::string(err.begin(), err.end())};
    }
    void fresh() const
    {
        fs::remove_all(dir);
        fs::create_directory(dir);
    }

    std::string dir;
};

}   // namespace

TEST_F(LibraryRace, TwoProgramsWritingAtOnceLoseNothingAndReportTruly)
{
    // Each race is one the library lost records in, or reported falsely, without a
    // lock: the second program starts amid the first one's work.
    const int voices = 20000;
    auto expectSound = [](const race::Outcome& o, const char* race) {
        EXPECT_TRUE(o.sound()) << race << ": expected " << o.expected << " records, found " << o.found
                               << (o.reportsTrue ? "" : ", a report was false") << (o.torn ? ", torn" : "");
    };
    expectSound(race::twoImports(TARVIK_VOICE, dir, 0, voices), "two imports");
    for (int delay : {500, 750}) {
        fresh();
        expectSound(race::importAndDelete(TARVIK_VOICE, dir, voices, voices, delay), "import + delete");
    }
    for (int delay : {20, 40}) {
        fresh();
        expectSound(race::renameAndDelete(TARVIK_VOICE, dir, voices, delay), "rename + delete");
    }
    fresh();
    expectSound(race::twoDeletes(TARVIK_VOICE, dir, voices), "two deletes");
    // Bank files are locked as the library is.
    fresh();
    expectSound(race::twoBankSets(TARVIK_VOICE, dir), "two bank sets");
    fresh();
    expectSound(race::bankSetAndLibraryBank(TARVIK_VOICE, dir, 2), "bank set + library bank");
}

TEST_F(LibraryRace, OnlyALibraryIsWrittenAsOneAndDamageIsNamed)
{
    // A voice file passed as the library: refused by every write, listed as nothing.
    race::writeVoices(file("voice.syx"), 7, 1);
    const race::Bytes syx = race::readAll(file("voice.syx"));
    race::writeVoices(file("new.syx"), 9, 1);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"library", "add", file("new.syx"), "--library", file("voice.syx")},
          {"library", "import", file("new.syx"), "--library", file("voice.syx")},
          {"library", "delete", "0", "--library", file("voice.syx")},
          {"library", "rename", "0", "NEW", "--library", file("voice.syx")},
          {"library", "get", "0", file("out.syx"), "--library", file("voice.syx")},
          {"library", "list", file("voice.syx")}}) {
        const Result r = run(command);
        EXPECT_EQ(r.status, 1) << command[1];
        EXPECT_NE(r.err.find("not a library file"), std::string::npos) << command[1] << ": " << r.err;
        EXPECT_EQ(race::readAll(file("voice.syx")), syx) << command[1];
    }

    // A damaged record, and 100 bytes that slipped in before record 4, which throw
    // every later record out of step.
    race::writeLibrary(file("SOUNDS.SYL"), 1, 6);
    race::Bytes lib = race::readAll(file("SOUNDS.SYL"));
    lib[5 + 596 + 4 + 300] ^= 0x01;   // record 1's checksum no longer holds
    lib.insert(lib.begin() + 5 + 4 * 596, 100, 0x11);
    race::writeAll(file("SOUNDS.SYL"), lib);
    Result r = run({"library", "list", file("SOUNDS.SYL")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("1\t00000000\tR0000002\tdamaged\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0\t00000000\tR0000001\n"), std::string::npos) << r.out;
    r = run({"library", "get", "1", file("out.syx"), "--library", file("SOUNDS.SYL")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("record 1 is damaged"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(file("out.syx")));
    r = run({"library", "check", file("SOUNDS.SYL")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("record 1: damaged (checksum does not match)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("records from 4 on are out of step"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("100 bytes past"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("a part-record of 100 bytes"), std::string::npos) << r.out;
    r = run({"library", "export", file("all.syx"), "--library", file("SOUNDS.SYL")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(race::readAll(file("all.syx")).size() % dumpSize, 0u);
    EXPECT_LT(race::readAll(file("all.syx")).size(), 6u * dumpSize);   // the damaged stay out
}

TEST_F(LibraryRace, AFloodOfRefusalsIsCountedWithinALittleMemory)
{
    // 4 MB of bank heads with nothing after them: each head is 16 truncated blocks.
    const uint8_t head[16] = {0xF0, 0x43, 0x00, 0x7E, 0x12, 0x02, 'P', 'K',
                              ' ',  ' ',  '2',  '2',  '0',  '3',  'V', 'M'};
    race::Bytes flood;
    const size_t heads = 4 * 1024 * 1024 / sizeof head;
    for (size_t i = 0; i < heads; ++i)
        flood.insert(flood.end(), head, head + sizeof head);
    race::writeAll(file("flood.syx"), flood);
    // The texts of 4 million refusals take far more than this; the count does not.
    const std::string command = "ulimit -v 262144 && exec " + std::string(TARVIK_VOICE) + " library import " +
                                file("flood.syx") + " --library " + file("SOUNDS.SYL") + " >" + file("out") +
                                " 2>" + file("err");
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    const race::Bytes out = race::readAll(file("out")), err = race::readAll(file("err"));
    const std::string text(out.begin(), out.end()), errors(err.begin(), err.end());
    const size_t refused = heads * bankVoiceBlocks;
    EXPECT_EQ(text, "added 0, duplicates 0, refused " + std::to_string(refused) + "\n");
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), static_cast<long>(keptRefusals) + 1)
        << errors.substr(0, 300);
    EXPECT_NE(errors.find("and 4,194,204 more"), std::string::npos)
        << errors.substr(errors.size() > 200 ? errors.size() - 200 : 0);
}
