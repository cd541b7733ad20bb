// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice library list / add / get, run as a script runs them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "library/fileio.h"
#include "library/voiceimport.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes dumpOf(const char* name, uint32_t seed)
{
    Voice v;
    randomVoice(v, seed);
    v.levelVector.abPosition[1] = static_cast<uint8_t>(v.levelVector.abPosition[0] ^ 1);
    v.detuneVector.cdPosition[1] = static_cast<uint8_t>(v.detuneVector.cdPosition[0] ^ 1);
    std::memcpy(v.name, name, voiceNameLength);
    const VoiceDump d = encodeVoice(v);
    return Bytes(d.begin(), d.end());
}

class LibraryCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tarvik-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const std::string& name) const { return (dir / name).string(); }

    // Runs tarvik-voice in the scratch folder, so that SOUNDS.SYL is found there.
    Outcome run(const std::string& arguments, const std::string& before = {}) const
    {
        const std::string command = "cd '" + dir.string() + "' && " + before + TARVIK_VOICE + " " +
                                    arguments + " >stdout.txt 2>stderr.txt";
        const int raw = std::system(command.c_str());
        const Bytes out = readBytes(file("stdout.txt")), err = readBytes(file("stderr.txt"));
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(out.begin(), out.end()),
                std::string(err.begin(), err.end())};
    }

    // A refused command: exit 1, one line of message, nothing on standard output.
    void expectRefused(const Outcome& r) const
    {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }

    fs::path dir;
};

}   // namespace

TEST_F(LibraryCli, AddListAndGetWorkTogether)
{
    writeBytes(file("a.syx"), dumpOf("Horns 1 ", 1));
    Bytes recorded = dumpOf("Choir   ", 2);
    recorded[2] = 0x03;   // recorded on channel 4
    Bytes withJunk = {0x01, 0x02, 0x03};
    withJunk.insert(withJunk.end(), recorded.begin(), recorded.end());
    writeBytes(file("b.syx"), withJunk);

    Outcome r = run("library add a.syx --mask 5");   // makes SOUNDS.SYL
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0\t00000005\tHorns 1 \n");
    r = run("library add b.syx --mask 0x8001");
    ASSERT_EQ(r.status, 0) << r.err;
    r = run("library add a.syx");
    ASSERT_EQ(r.status, 0) << r.err;

    r = run("library list");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0\t00000005\tHorns 1 \n1\t00008001\tChoir   \n2\t00000000\tHorns 1 \n");
    const Bytes library = readBytes(file("SOUNDS.SYL"));
    ASSERT_EQ(library.size(), 5u + 3 * 596);
    EXPECT_EQ(Bytes(library.begin(), library.begin() + 5), (Bytes{'T', 'O', 'R', 'V', 'A'}));

    // get gives back the voice as a single-voice file with byte 2 = 0.
    r = run("library get 1 out.syx");
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes expected = recorded;
    expected[2] = 0x00;
    EXPECT_EQ(readBytes(file("out.syx")), expected);
    EXPECT_EQ(Bytes(library.begin() + 5 + 596 + 4, library.begin() + 5 + 2 * 596), expected);

    // Another library named with --library, and list of a named file.
    r = run("library add out.syx --library other.syl --mask 65535");
    ASSERT_EQ(r.status, 0) << r.err;
    r = run("library list other.syl");
    EXPECT_EQ(r.out, "0\t0000FFFF\tChoir   \n");
    r = run("library get 0 again.syx --library other.syl");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(file("again.syx")), expected);
}

TEST_F(LibraryCli, ListShowsNamesAsTheMainWindowDoes)
{
    Bytes lib = {'T', 'O', 'R', 'V', 'A', 0x03, 0x00, 0x01, 0x00};
    Bytes dump = dumpOf("AAAAAAAA", 3);
    const uint8_t name[8] = {'S', 0x7F, 0x00, 0xA0, 'x', ' ', ' ', ' '};
    std::memcpy(dump.data() + dumpNameOffset, name, 8);
    lib.insert(lib.end(), dump.begin(), dump.end());
    lib.insert(lib.end(), 100, 0x55);   // a trailing part-record
    writeBytes(file("SOUNDS.SYL"), lib);
    const Outcome r = run("library list");
    EXPECT_EQ(r.status, 0);
    // The name's bytes break the dump's checksum (and 0xA0 is no data byte): listed,
    // and marked as a record that cannot be loaded.
    EXPECT_EQ(r.out, std::string("0\t00010003\tS\x7F  x   \tdamaged\n"));

    writeBytes(file("empty.syl"), {'T', 'O', 'R', 'V', 'A'});
    EXPECT_EQ(run("library list empty.syl").out, "");
}

TEST_F(LibraryCli, BadInputIsRefusedInOneLineAndTheLibraryStays)
{
    writeBytes(file("a.syx"), dumpOf("Keep    ", 4));
    ASSERT_EQ(run("library add a.syx").status, 0);
    const Bytes before = readBytes(file("SOUNDS.SYL"));
    Bytes shortDump = dumpOf("Short   ", 5);
    shortDump.pop_back();
    writeBytes(file("short.syx"), shortDump);
    fs::create_directory(file("folder.syl"));

    for (const char* command :
         {"library add short.syx", "library add missing.syx", "library add a.syx --mask 70000",
          "library add a.syx --mask 12z", "library add a.syx --mask", "library add a.syx --bogus",
          "library add", "library get 1 out.syx", "library get -1 out.syx", "library get x out.syx",
          "library get 0", "library get 0 no-folder/out.syx", "library list missing.syl",
          "library list folder.syl", "library frob", "library", "library add a.syx --library folder.syl",
          "library add a.syx --library a.syx/x"}) {
        SCOPED_TRACE(command);
        expectRefused(run(command));
        EXPECT_EQ(readBytes(file("SOUNDS.SYL")), before);
    }
    EXPECT_FALSE(fs::exists(file("out.syx")));
    EXPECT_FALSE(fs::exists(file("missing.syl")));
    EXPECT_TRUE(fs::is_empty(file("folder.syl")));

    // Reading commands never make a library.
    fs::remove(file("SOUNDS.SYL"));
    expectRefused(run("library list"));
    expectRefused(run("library get 0 out.syx"));
    EXPECT_FALSE(fs::exists(file("SOUNDS.SYL")));
}

TEST_F(LibraryCli, ImportCountsAndExportGivesTheVoicesBack)
{
    std::vector<VoiceDump> voices;
    for (uint32_t i = 0; i < 64; ++i) {
        const Bytes d = dumpOf(("Bank" + std::to_string(1000 + i).substr(1)).c_str(), 20 + i);
        VoiceDump v;
        std::copy(d.begin(), d.end(), v.begin());
        voices.push_back(v);
    }
    Bytes bank = buildBankDump(voices, 2);
    bank[4 + 2309 + 2299 + 500] ^= 0x01;   // block 3 damaged
    writeBytes(file("bank.syx"), bank);
    Bytes singles = {0x11, 0x22};
    const Bytes a = dumpOf("Single A", 1);
    singles.insert(singles.end(), a.begin(), a.end());
    singles.insert(singles.end(), voices[0].begin(), voices[0].end());   // also in the bank
    writeBytes(file("singles.syx"), singles);
    writeBytes(file("junk.bin"), {1, 2, 3});

    Outcome r = run("library import bank.syx singles.syx junk.bin missing.syx --mask 0x11");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "added 61, duplicates 1, refused 3\n");
    EXPECT_EQ(r.err, "tarvik-voice: bank.syx: bank at byte 0, block 3: bad checksum\n"
                     "tarvik-voice: junk.bin: not a voice file\n"
                     "tarvik-voice: missing.syx: cannot be read\n");
    const Bytes library = readBytes(file("SOUNDS.SYL"));
    ASSERT_EQ(library.size(), 5u + 61 * 596);
    EXPECT_EQ(Bytes(library.begin() + 5, library.begin() + 9), (Bytes{0x11, 0, 0, 0}));
    EXPECT_EQ(Bytes(library.begin() + 9, library.begin() + 5 + 596),
              Bytes(voices[0].begin(), voices[0].end()));

    r = run("library import singles.syx --keep-duplicates --library other.syl");
    EXPECT_EQ(r.out, "added 2, duplicates 0, refused 0\n");
    r = run("library import junk.bin");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "added 0, duplicates 0, refused 1\n");

    ASSERT_EQ(run("library categories 60 0x13").status, 0);
    r = run("library export out.syx --mask 0x12");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(file("out.syx")), a);
    ASSERT_EQ(run("library export all.syx").status, 0);
    EXPECT_EQ(readBytes(file("all.syx")).size(), 61u * dumpSize);
}

TEST_F(LibraryCli, RenameDeleteAndCategories)
{
    for (const char* name : {"Zero    ", "One     ", "Two     ", "Three   "}) {
        writeBytes(file("v.syx"), dumpOf(name, static_cast<uint32_t>(name[1])));
        ASSERT_EQ(run("library add v.syx").status, 0);
    }
    EXPECT_EQ(run("library rename 1 'Pad -1'").status, 0);
    EXPECT_EQ(run("library rename 2 -- -Lead-").status, 0);
    EXPECT_EQ(run("library categories 3 0x8001").status, 0);
    EXPECT_EQ(run("library delete 0").status, 0);
    EXPECT_EQ(run("library list").out,
              "0\t00000000\tPad -1  \n1\t00000000\t-Lead-  \n2\t00008001\tThree   \n");
    const Bytes before = readBytes(file("SOUNDS.SYL"));
    for (const char* command : {"library rename 3 Name", "library rename 0 TooLongName", "library rename 0",
                                "library delete 0 5", "library delete", "library categories 0 70000",
                                "library categories x 1", "library delete 0 --library missing.syl"}) {
        SCOPED_TRACE(command);
        expectRefused(run(command));
        EXPECT_EQ(readBytes(file("SOUNDS.SYL")), before);
    }
}

namespace {

// A bank as the synthesiser sends one: 64 different voices, multis of its own.
Bytes synthBank(int channel)
{
    Bank bank = initialBank();
    for (int v = 0; v < bankVoices; ++v) {
        const Bytes d = dumpOf(("Slot " + std::to_string(100 + v)).c_str(), 300u + static_cast<uint32_t>(v));
        std::copy(d.begin(), d.end(), bank.voices[static_cast<size_t>(v)].begin());
    }
    for (int m = 0; m < multiCount; ++m) {
        MultiRecord& r = bank.multis[static_cast<size_t>(m)];
        setMultiName(r, "Perf " + std::to_string(m + 1));
        r[34 + m % multiParts] = static_cast<uint8_t>(0x40 | (63 - m));
        r[58] = static_cast<uint8_t>(-12);
        r[66] = 0x33;
        setMultiChecksum(r);
    }
    return encodeBankDump(bank, channel);
}

std::string slots(const std::string& first, int from)
{
    std::string words = first;
    for (int n = from; n < from + bankVoices; ++n)
        words += " " + std::to_string(n);
    return words;
}

}   // namespace

TEST_F(LibraryCli, BankFromAnImportedBackupIsTheBackup)
{
    const Bytes backup = synthBank(3);
    writeBytes(file("backup.syx"), backup);
    Outcome r = run("library import backup.syx");
    ASSERT_EQ(r.out, "added 64, duplicates 0, refused 0\n") << r.err;
    r = run(slots("library bank out.syx", 0) + " --multis backup.syx");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(file("out.syx")), backup);

    // A voice written before the inner checksum was kept (00 00 there) goes into a bank
    // and an export mended, the same entry in several slots.
    Bytes old = dumpOf("Old one ", 7);
    old[588] = old[589] = 0;
    normaliseDump(old.data());
    writeBytes(file("old.syx"), old);
    ASSERT_EQ(run("library import old.syx").status, 0);
    std::string words = "library bank fresh.syx";
    for (int v = 0; v < bankVoices; ++v)
        words += v % 2 ? " 64" : " 5";
    r = run(words + " --initial-multis");
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes fresh = readBytes(file("fresh.syx"));
    Bank bank;
    std::string error;
    ASSERT_TRUE(parseBankDump(fresh.data(), fresh.size(), bank, error)) << error;
    EXPECT_EQ(bank.voices[1], writtenDump(old.data()));
    EXPECT_EQ(bank.multis[15], initialMulti());
    ASSERT_EQ(run("library export old-out.syx --mask 0").status, 0);
    const Bytes exported = readBytes(file("old-out.syx"));
    ASSERT_EQ(exported.size(), 65u * dumpSize);
    EXPECT_TRUE(innerChecksumOk(exported.data() + 64 * dumpSize));
    EXPECT_STREQ(checkVoiceDump(exported.data() + 64 * dumpSize), "");

    Bytes damaged = backup;
    damaged.resize(damaged.size() - 100);
    writeBytes(file("short.syx"), damaged);
    for (const std::string& command :
         {slots("library bank x.syx", 0) + " --multis backup.syx --initial-multis",
          slots("library bank x.syx", 0), std::string("library bank x.syx 0 1 2 --initial-multis"),
          slots("library bank SOUNDS.SYL", 0) + " --initial-multis"}) {
        SCOPED_TRACE(command);
        expectRefused(run(command));
        EXPECT_FALSE(fs::exists(file("x.syx")));
    }
    r = run(slots("library bank x.syx", 0) + " --multis short.syx");
    expectRefused(r);
    EXPECT_EQ(r.err, "tarvik-voice: short.syx: truncated in block 17\n");
    EXPECT_FALSE(fs::exists(file("x.syx")));
}

TEST_F(LibraryCli, BankSetRewritesOnlyTheNamedFields)
{
    const Bytes original = synthBank(0);
    writeBytes(file("bank.syx"), original);
    Outcome r = run("bank show bank.syx");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 24), "voice[I01].name=Slot 100");
    EXPECT_NE(r.out.find("\nmulti[16].part[8].voice=I49\nmulti[16].part[8].level=99\n"), std::string::npos);
    writeBytes(file("all.txt"), Bytes(r.out.begin(), r.out.end()));
    ASSERT_EQ(run("bank set bank.syx < all.txt").status, 0);
    EXPECT_EQ(readBytes(file("bank.syx")), original) << "its own lines change nothing";

    const std::string lines =
        "multi[3].name=Pads    \nmulti[3].part[2].level=50\nmulti[3].part[5].channel=off\n";
    writeBytes(file("lines.txt"), Bytes(lines.begin(), lines.end()));
    r = run("bank set bank.syx < lines.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes changed = readBytes(file("bank.syx"));
    ASSERT_EQ(changed.size(), original.size());
    EXPECT_EQ(checkBankDump(changed.data(), changed.size()), "");
    const size_t multi3 = bankBlockOffset(bankVoiceBlocks) + 2 + 2 * multiWireSize;
    for (size_t i = 0; i < changed.size(); ++i)
        if (changed[i] != original[i]) {
            EXPECT_TRUE((i >= multi3 && i < multi3 + multiWireSize) || i == changed.size() - 2)
                << "byte " << i;
        }
    EXPECT_EQ(changed[multi3 + 3], 'P');

    // A bad line leaves the file alone and names its line; so does a bad bank.
    const std::string bad = "multi[3].part[2].level=40\nmulti[3].part[2].level=100\n";
    writeBytes(file("bad.txt"), Bytes(bad.begin(), bad.end()));
    r = run("bank set bank.syx < bad.txt");
    expectRefused(r);
    EXPECT_EQ(r.err.rfind("tarvik-voice: line 2: '100' does not fit multi[3].part[2].level (0..99)", 0), 0u)
        << r.err;
    EXPECT_EQ(readBytes(file("bank.syx")), changed);

    Bytes broken = original;
    broken[bankBlockOffset(0) + 2 + 10 + 2 * bankRecordSize + 3] ^= 1;   // I03's name
    writeBytes(file("broken.syx"), broken);
    for (const char* command : {"bank show broken.syx", "bank set broken.syx < lines.txt"}) {
        r = run(command);
        expectRefused(r);
        EXPECT_EQ(r.err, "tarvik-voice: broken.syx: block 1: bad checksum\n");
    }
    EXPECT_EQ(readBytes(file("broken.syx")), broken);
}

// The real-voice fixtures through the library's add and get and into a bank: each
// comes back byte for byte.
TEST_F(LibraryCli, RealVoicesComeBackFromTheLibraryAndABank)
{
    std::vector<Bytes> voices;
    for (const auto& entry : fs::directory_iterator(std::string(TARVIK_TEST_DATA) + "/voices")) {
        voices.push_back(readBytes(entry.path().string()));
        writeBytes(file("in.syx"), voices.back());
        ASSERT_EQ(run("library add in.syx").status, 0);
        const std::string n = std::to_string(voices.size() - 1);
        ASSERT_EQ(run("library get " + n + " out.syx").status, 0);
        EXPECT_EQ(readBytes(file("out.syx")), voices.back()) << entry.path();
    }
    std::string words = "library bank bank.syx --initial-multis";
    for (int v = 0; v < bankVoices; ++v)
        words += " " + std::to_string(static_cast<size_t>(v) % voices.size());
    ASSERT_EQ(run(words).status, 0);
    const Bytes message = readBytes(file("bank.syx"));
    Bank bank;
    std::string error;
    ASSERT_TRUE(parseBankDump(message.data(), message.size(), bank, error)) << error;
    for (int v = 0; v < bankVoices; ++v)
        EXPECT_EQ(
            Bytes(bank.voices[static_cast<size_t>(v)].begin(), bank.voices[static_cast<size_t>(v)].end()),
            voices[static_cast<size_t>(v) % voices.size()])
            << "slot " << v;
}

// Outputs never land on the library or on what a command reads, bad lines and bad
// dumps are refused with their reason, and a library that is a dangling link, a pipe
// or a folder is refused at once.
TEST_F(LibraryCli, RefusalsNameTheirReasonAndLeaveEveryFileAsItWas)
{
    writeBytes(file("a.syx"), dumpOf("Voice A ", 1));
    ASSERT_EQ(run("library add a.syx").status, 0);
    ASSERT_EQ(run("library add a.syx --library other.syl").status, 0);
    writeBytes(file("bank.syx"), synthBank(0));
    Bytes wrongTag = dumpOf("Tagged  ", 2);
    wrongTag[17] = 0x24;
    normaliseDump(wrongTag.data());
    writeBytes(file("tag.syx"), wrongTag);
    const std::string nul = std::string("multi[1].name=Ab") + '\0' + "cdefg\n";
    writeBytes(file("nul.txt"), Bytes(nul.begin(), nul.end()));
    writeBytes(file("long.txt"), Bytes(5000, 'x'));
    std::string many;
    for (int i = 0; i < 10001; ++i)
        many += "multi[1].effectType=0\n";
    writeBytes(file("many.txt"), Bytes(many.begin(), many.end()));
    const Bytes library = readBytes(file("SOUNDS.SYL")), other = readBytes(file("other.syl")),
                bank = readBytes(file("bank.syx"));
    const std::pair<std::string, const char*> cases[] = {
        {"library get 0 SOUNDS.SYL", "SOUNDS.SYL: is the library itself"},
        {"library get 0 other.syl", "other.syl: is a voice library"},
        {"get SOUNDS.SYL", "SOUNDS.SYL: is the library itself"},
        {"get-bank other.syl", "other.syl: is a voice library"},
        {slots("library bank bank.syx --multis bank.syx", 0), "bank.syx: is a file this command reads"},
        {"bank set bank.syx < nul.txt",
         "line 1: a multi name is 8 characters from space to ~ (\\xHH for those), not 'Ab\\x00cdefg'"},
        {"bank set bank.syx < long.txt", "line 1: longer than 1024 characters"},
        {"bank set bank.syx < many.txt", "more than 10000 lines"},
        {"library import tag.syx", "voice tag (bytes 16/17) is not 01 25"},
    };
    for (const auto& [command, says] : cases) {
        SCOPED_TRACE(command);
        const Outcome r = run(command);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_LT(r.err.size(), 300u);
        EXPECT_EQ(readBytes(file("SOUNDS.SYL")), library);
        EXPECT_EQ(readBytes(file("other.syl")), other);
        EXPECT_EQ(readBytes(file("bank.syx")), bank);
    }

    // A stored voice with a wrong tag: check names it, and no bank is made of it.
    Bytes stored = library;
    stored.resize(library.size() + 4);
    stored.insert(stored.end(), wrongTag.begin(), wrongTag.end());
    writeBytes(file("SOUNDS.SYL"), stored);
    Outcome r = run("library check");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("record 1: damaged (voice tag (bytes 16/17) is not 01 25)"), std::string::npos)
        << r.out;
    r = run(slots("library bank new.syx --initial-multis", 1));
    EXPECT_NE(r.err.find("record 1 is damaged (voice tag"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(file("new.syx")));

    for (const char* kind : {"link", "pipe", "folder"}) {
        SCOPED_TRACE(kind);
        fs::remove_all(file("SOUNDS.SYL"));
        if (std::string(kind) == "link")
            fs::create_symlink(file("nowhere.syl"), file("SOUNDS.SYL"));
        else if (std::string(kind) == "pipe")
            ASSERT_EQ(mkfifo(file("SOUNDS.SYL").c_str(), 0644), 0);
        else
            fs::create_directory(file("SOUNDS.SYL"));
        for (const char* command : {"library import a.syx", "library add a.syx"}) {
            r = run(command, "timeout 10 ");
            EXPECT_EQ(r.status, 1) << command << ": " << r.err;
            EXPECT_NE(r.err.find("SOUNDS.SYL: "), std::string::npos) << r.err;
        }
    }
}

// What a killed rewrite leaves beside the library: listed by check, removed by
// check --clean unless a program has it open.
TEST_F(LibraryCli, CheckListsLeftOverTemporariesAndCleanRemovesThem)
{
    writeBytes(file("a.syx"), dumpOf("Voice A ", 1));
    ASSERT_EQ(run("library add a.syx").status, 0);
    writeBytes(file("SOUNDS.SYL.Ab12Cd"), Bytes(1000, 0));
    writeBytes(file("SOUNDS.SYL.kept01"), Bytes(10, 0));
    writeBytes(file("SOUNDS.SYL.old"), Bytes(10, 0));   // no temporary's name: never touched
    const int held = open(file("SOUNDS.SYL.kept01").c_str(), O_RDONLY);
    Outcome r = run("library check");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("left-over temporary file SOUNDS.SYL.Ab12Cd (1000 bytes)"), std::string::npos)
        << r.out;
    r = run("library check --clean");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("removed left-over temporary file SOUNDS.SYL.Ab12Cd"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SOUNDS.SYL.kept01 (10 bytes): a program has it open"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(file("SOUNDS.SYL.Ab12Cd")));
    EXPECT_TRUE(fs::exists(file("SOUNDS.SYL.kept01")));
    EXPECT_TRUE(fs::exists(file("SOUNDS.SYL.old")));
    close(held);
}
