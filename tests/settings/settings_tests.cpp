// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "settings/settings.h"

namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("tarvik-settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "TARVIK.INI").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    TSettings readText(const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
        return TSettings(path);
    }
    std::string fileText() const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir;
    std::string path;
};

}   // namespace

TEST_F(SettingsFile, MissingFileGivesDefaultsAndNotFound)
{
    const TSettings s(path);
    EXPECT_FALSE(s.fileFound);
    EXPECT_EQ(s.midiChannel, 0);
    EXPECT_EQ(s.inDevice, 0);
    EXPECT_EQ(s.outDevice, 0);
    EXPECT_EQ(s.model, 0);
    EXPECT_TRUE(s.autoSend);
}

TEST_F(SettingsFile, EmptyFileGivesDefaultsButCountsAsFound)
{
    const TSettings s = readText("");
    EXPECT_TRUE(s.fileFound);
    EXPECT_EQ(s.midiChannel, 0);
    EXPECT_TRUE(s.autoSend);
}

TEST_F(SettingsFile, SaveWritesFiveCrLfLinesAndReadsBack)
{
    TSettings s;
    s.midiChannel = 15;
    s.model = 1;
    s.inDevice = 12;
    s.outDevice = 3;
    s.autoSend = false;
    s.save(path);
    EXPECT_EQ(fileText(), "MIDI channel=15\r\nModel=1\r\nIn device=12\r\nOut device=3\r\nAuto send=0\r\n");
    const TSettings back(path);
    EXPECT_TRUE(back.fileFound);
    EXPECT_EQ(back.midiChannel, 15);
    EXPECT_EQ(back.model, 1);
    EXPECT_EQ(back.inDevice, 12);
    EXPECT_EQ(back.outDevice, 3);
    EXPECT_FALSE(back.autoSend);

    s.midiChannel = 15;
    s.inDevice = s.outDevice = 99;
    s.save(path);
    EXPECT_LE(fileText().size(), 68u);
}

TEST_F(SettingsFile, LfAndCrLfFilesReadAlike)
{
    const TSettings lf = readText("MIDI channel=4\nModel=1\nIn device=2\nOut device=11\nAuto send=0\n");
    const TSettings crlf =
        readText("MIDI channel=4\r\nModel=1\r\nIn device=2\r\nOut device=11\r\nAuto send=0\r\n");
    for (const TSettings* s : {&lf, &crlf}) {
        EXPECT_EQ(s->midiChannel, 4);
        EXPECT_EQ(s->model, 1);
        EXPECT_EQ(s->inDevice, 2);
        EXPECT_EQ(s->outDevice, 11);
        EXPECT_FALSE(s->autoSend);
    }
}

TEST_F(SettingsFile, KeysInAnyOrderLaterWinsCaseMatters)
{
    const TSettings s = readText(
        "# my synth\nAuto send=5\nMIDI channel=9\nmodel=1\nsome text Out device=7\nMIDI channel=12\n");
    EXPECT_EQ(s.midiChannel, 12);
    EXPECT_EQ(s.model, 0) << "lower-case key is not a key";
    EXPECT_EQ(s.outDevice, 7) << "a key in the middle of a line counts";
    EXPECT_TRUE(s.autoSend);
    EXPECT_FALSE(readText("Auto send=0\n").autoSend);
}

TEST_F(SettingsFile, ValuesAreCutToFiveCharactersAndModelMasked)
{
    EXPECT_EQ(readText("In device=123456\n").inDevice, 12345);
    EXPECT_EQ(readText("Model=2\n").model, 0);
    EXPECT_EQ(readText("Model=3\n").model, 1);
    EXPECT_EQ(readText("Out device=12b\n").outDevice, 12);
    EXPECT_EQ(readText("Out device=  -3\n").outDevice, -3);
    EXPECT_EQ(readText("MIDI channel=200\n").midiChannel, 200) << "stored unchanged";
}

TEST_F(SettingsFile, ValueWithoutNumberKeepsTheDefault)
{
    const TSettings s = readText("Model=x\nAuto send=\nIn device=-\nMIDI channel=7\n");
    EXPECT_EQ(s.model, 0);
    EXPECT_TRUE(s.autoSend);
    EXPECT_EQ(s.inDevice, 0);
    EXPECT_EQ(s.midiChannel, 7);
}

TEST_F(SettingsFile, OnlyTheFirstHundredBytesCount)
{
    std::string text = "MIDI channel=3\r\n";
    text += std::string(100 - text.size() - 4, '#');
    text += "Model=1\r\n";   // straddles byte 100: the key is cut off
    text += std::string(300 - text.size() - 16, 'x');
    text += "Out device=5\r\n";
    ASSERT_GE(text.size(), 300u - 4);
    const TSettings s = readText(text);
    EXPECT_TRUE(s.fileFound);
    EXPECT_EQ(s.midiChannel, 3);
    EXPECT_EQ(s.model, 0);
    EXPECT_EQ(s.outDevice, 0);
}

// The devices' names and the last folder follow the five lines, which stay as they
// were; a name holding a key of the five is only a name.
TEST_F(SettingsFile, NamesAndFolderFollowTheFiveLinesAndReadBack)
{
    TSettings s;
    s.inDevice = 2;
    s.outDevice = 3;
    s.inDeviceName = "virtual-sy22:out Model=1 \xC3\xA9";
    s.outDeviceName = "system:midi_playback_1\r\nModel=1";   // a line end is never written
    s.lastFolder = "/home/me/sy22 voices";
    s.save(path);
    EXPECT_EQ(fileText(), "MIDI channel=0\r\nModel=0\r\nIn device=2\r\nOut device=3\r\nAuto send=1\r\n"
                          "In device name=virtual-sy22:out Model=1 \xC3\xA9\r\n"
                          "Out device name=system:midi_playback_1Model=1\r\n"
                          "Last folder=/home/me/sy22 voices\r\n");
    const TSettings back(path);
    EXPECT_EQ(back.model, 0);
    EXPECT_EQ(back.inDevice, 2);
    EXPECT_EQ(back.outDevice, 3);
    EXPECT_EQ(back.inDeviceName, s.inDeviceName);
    EXPECT_EQ(back.outDeviceName, "system:midi_playback_1Model=1");
    EXPECT_EQ(back.lastFolder, s.lastFolder);

    // A file of the five lines alone names nothing; a long folder line past byte 100
    // still counts, and LF line ends read alike.
    const TSettings old = readText("MIDI channel=4\nModel=1\nIn device=2\nOut device=1\nAuto send=0\n");
    EXPECT_TRUE(old.inDeviceName.empty() && old.outDeviceName.empty() && old.lastFolder.empty());
    const std::string folder = "/" + std::string(300, 'f');
    const TSettings late =
        readText("MIDI channel=4\nOut device name=b:in\nLast folder=" + folder + "\nModel=1\n");
    EXPECT_EQ(late.midiChannel, 4);
    EXPECT_EQ(late.outDeviceName, "b:in");
    EXPECT_EQ(late.lastFolder, folder);
    EXPECT_EQ(late.model, 0) << "a key of the five past byte 100 does not count";
}

// Start-up sends the first voice unless a line after the others says not to; the
// line is written only then, so that files stay as they were.
TEST_F(SettingsFile, SendAtStartIsALineAfterTheOthersWrittenOnlyWhenOff)
{
    TSettings s;
    EXPECT_TRUE(s.sendAtStart);
    EXPECT_EQ(s.text().find("Send at start"), std::string::npos);
    s.sendAtStart = false;
    s.lastFolder = "/music";
    s.save(path);
    EXPECT_EQ(fileText(), "MIDI channel=0\r\nModel=0\r\nIn device=0\r\nOut device=0\r\nAuto send=1\r\n"
                          "Last folder=/music\r\nSend at start=0\r\n");
    EXPECT_FALSE(TSettings(path).sendAtStart);
    EXPECT_TRUE(readText("Auto send=0\nSend at start=1\n").sendAtStart);
    EXPECT_TRUE(readText("Send at start=x\n").sendAtStart) << "no number: the default";
}

TEST_F(SettingsFile, UnwritablePlaceFailsSilently)
{
    TSettings s;
    s.save((dir / "no-such-dir" / "TARVIK.INI").string());
    EXPECT_FALSE(fs::exists(dir / "no-such-dir"));
}

// A disk that fills up while the file is written (here the size limit of the process
// writing it) keeps the old file whole; no half-written file is left beside it.
TEST_F(SettingsFile, FullDiskKeepsTheOldFile)
{
    const std::string old = "MIDI channel=5\r\nModel=1\r\nIn device=2\r\nOut device=3\r\nAuto send=0\r\n";
    std::ofstream(path, std::ios::binary) << old;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10, 10};
        setrlimit(RLIMIT_FSIZE, &limit);
        TSettings s;
        s.inDevice = 12;
        _exit(s.save(path) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "save reported success";
    EXPECT_EQ(fileText(), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // The same save with room to spare replaces it.
    TSettings s;
    s.inDevice = 12;
    EXPECT_TRUE(s.save(path));
    EXPECT_EQ(TSettings(path).inDevice, 12);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}
