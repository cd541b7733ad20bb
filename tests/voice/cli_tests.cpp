// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice show / encode / check and its usage, run as the musician runs them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/explore.h"
#include "voice/tg33.h"
#include "voice/voicefields.h"
#include "voice/voicefields.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              (std::string("tarvik-cli-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string file(const std::string& name) const { return (dir / name).string(); }

    void write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream(file(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    void writeText(const std::string& name, const std::string& text) const
    {
        std::ofstream(file(name), std::ios::binary) << text;
    }
    std::string read(const std::string& name) const
    {
        std::ifstream in(file(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    Outcome run(const std::string& arguments) const
    {
        const std::string out = file("stdout"), err = file("stderr");
        const std::string command = std::string(TARVIK_VOICE) + " " + arguments + " >" + out + " 2>" + err;
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read("stdout"), read("stderr")};
    }

    fs::path dir;
};

std::vector<uint8_t> dumpOf(const Voice& v)
{
    const VoiceDump d = encodeVoice(v);
    return {d.begin(), d.end()};
}

int lineCount(const std::string& text)
{
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

}   // namespace

TEST_F(Cli, ShowListsEveryFieldOfTheFirstDump)
{
    Voice v;
    resetVoice(v);
    std::memcpy(v.name, "E Piano1", 8);
    v.effectDepth = 3;
    v.element[1].waveform = 200;
    v.element[1].carrier.levelAttack = 12;
    std::vector<uint8_t> bytes = {0x11, 0xF0, 0x43, 0x20, 0x7E, 0xF7};   // a recorded request first
    const auto dump = dumpOf(v);
    bytes.insert(bytes.end(), dump.begin(), dump.end());
    write("voice.syx", bytes);

    const Outcome r = run("show " + file("voice.syx"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lineCount(r.out), static_cast<int>(voiceFields().size()));
    for (const char* line : {"effectDepth=3\n", "name=E Piano1\n", "element[1].waveform=200\n",
                             "element[1].carrier.levelAttack=12\n", "element[0].modulator.level=0\n",
                             "levelVectorSpeed=16\n", "detuneVector.abPosition[49]=0\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    EXPECT_EQ(r.out.rfind("effectDepth=", 0), 0u) << "record order: effectDepth first";
}

TEST_F(Cli, ShowThenEncodeReproducesTheDumpByteForByte)
{
    for (uint32_t seed : {0u, 5u, 77u, 4242u}) {
        Voice v;
        if (seed == 0)
            resetVoice(v);   // the reset voice: both vectors stand still
        else
            randomVoice(v, seed);
        const auto dump = dumpOf(v);
        write("x.syx", dump);
        const Outcome shown = run("show " + file("x.syx"));
        ASSERT_EQ(shown.status, 0);
        writeText("fields.txt", shown.out);
        const Outcome encoded = run("encode < " + file("fields.txt"));
        ASSERT_EQ(encoded.status, 0) << encoded.err;
        EXPECT_EQ(encoded.out, std::string(dump.begin(), dump.end())) << "seed " << seed;
    }
}

TEST_F(Cli, EncodeStartsFromTheResetVoiceAndRefusesBadLines)
{
    writeText("one.txt", "name=Brass  1\nelement[0].pitch=-3\n");
    const Outcome ok = run("encode < " + file("one.txt"));
    ASSERT_EQ(ok.status, 0) << ok.err;
    Voice v;
    resetVoice(v);
    std::memcpy(v.name, "Brass  1", 8);
    v.element[0].pitch = -3;
    const auto want = dumpOf(v);
    EXPECT_EQ(ok.out, std::string(want.begin(), want.end()));

    writeText("bad.txt", "effectDepth=1\nelement[9].pitch=1\n");
    const Outcome bad = run("encode < " + file("bad.txt"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.out.empty()) << "nothing written on a refusal";
    EXPECT_NE(bad.err.find("line 2"), std::string::npos) << bad.err;
    EXPECT_EQ(lineCount(bad.err), 1);

    writeText("range.txt", "element[0].velocityResponse=300\n");
    EXPECT_EQ(run("encode < " + file("range.txt")).status, 1);
}

TEST_F(Cli, CheckTellsWhatIsWrong)
{
    Voice v;
    randomVoice(v, 3);
    auto dump = dumpOf(v);
    write("good.syx", dump);
    EXPECT_EQ(run("check " + file("good.syx")).status, 0);

    dump[200] ^= 0x01;
    write("sum.syx", dump);
    const Outcome sum = run("check " + file("sum.syx"));
    EXPECT_EQ(sum.status, 1);
    EXPECT_NE(sum.err.find("checksum"), std::string::npos) << sum.err;

    dump = dumpOf(v);
    std::memcpy(dump.data() + 6, "PK  9999AE", 10);
    write("header.syx", dump);
    EXPECT_NE(run("check " + file("header.syx")).err.find("header"), std::string::npos);

    dump = dumpOf(v);
    dump.pop_back();
    write("short.syx", dump);
    EXPECT_EQ(run("check " + file("short.syx")).status, 1);
}

TEST_F(Cli, BadFilesGiveOneLineAndStatusOne)
{
    write("empty.syx", {});
    write("nodump.syx", {0x01, 0x02, 0xF0, 0x43, 0xF7});
    for (const std::string& args :
         {"show " + file("missing.syx"), "show " + file("empty.syx"), "show " + file("nodump.syx"),
          "show " + dir.string(), "check " + file("missing.syx"), "check " + file("empty.syx"),
          "check " + file("nodump.syx"), std::string("show")}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(lineCount(r.err), 1) << args << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << args;
    }
}

TEST_F(Cli, UsageListsEveryCommandAndUnknownWordsGetIt)
{
    const Outcome none = run("");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err.rfind("usage: tarvik-voice COMMAND ...\n", 0), 0u);
    const std::string help(33, ' ');
    EXPECT_NE(none.err.find("\n  show FILE.SYX [--model sy22|sy35]\n" + help +
                            "print every field of the file's voice (a TG33\n" + help + "voice converted)\n"),
              std::string::npos);
    EXPECT_NE(none.err.find("\n  get OUT.SYX [--in N] [--out N] [--channel C]\n  get-bank OUT.SYX [--in N] "
                            "[--out N] [--channel C]\n" +
                            help + "save the synthesiser's 64 voices as it sends them\n"),
              std::string::npos);
    EXPECT_NE(none.err.find("\n  send-bank BANK.SYX [--in N] [--out N] [--channel C] [--no-verify]\n" + help +
                            "check a bank file whole, then replace the\n" + help + "synthesiser's 64"),
              std::string::npos);
    EXPECT_NE(
        none.err.find("\n  --version                      show the version\nDevices, channel and model"),
        std::string::npos);
    EXPECT_EQ(none.err.find("--help"), std::string::npos);

    const Outcome asked = run("--help");
    EXPECT_EQ(asked.status, 0);
    EXPECT_EQ(asked.out, none.err);
    EXPECT_EQ(run("frob").err, none.err);
    EXPECT_EQ(run("--version").out.rfind("tarvik-voice ", 0), 0u);

    const Outcome library = run("library");
    EXPECT_EQ(library.status, 1);
    EXPECT_EQ(library.err, "tarvik-voice: usage: tarvik-voice library "
                           "list|add|get|import|export|rename|delete|categories|bank|check ...\n");
    EXPECT_EQ(run("bank").err, "tarvik-voice: usage: tarvik-voice bank show|set BANK.SYX\n");
    const Outcome unknown = run("bank frob");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "tarvik-voice: bank frob: unknown command (show or set)\n");
    EXPECT_EQ(run("library list a b").err, "tarvik-voice: usage: tarvik-voice library list [FILE]\n");
}

namespace {

Voice explored(uint32_t seed)
{
    Voice v;
    randomVoice(v, seed);
    clampToEditRanges(v);
    return v;
}

TEST_F(Cli, BlendMorphNudgeAndBreedWriteVoicesFromWellFormedParentsOnly)
{
    const Voice a = explored(11), b = explored(12);
    write("a.syx", dumpOf(a));
    write("b.syx", dumpOf(b));
    const std::vector<uint8_t> bytesA = dumpOf(a), bytesB = dumpOf(b);
    const std::string dumpA(bytesA.begin(), bytesA.end()), dumpB(bytesB.begin(), bytesB.end());
    const std::string pa = file("a.syx"), pb = file("b.syx");

    Outcome o = run("blend " + pa + " " + pb + " --at 0");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(o.out == dumpA);
    EXPECT_TRUE(run("blend " + pa + " " + pb + " --at 1").out == dumpB);
    o = run("blend " + pa + " " + pb + " --at 0.5 --lock tuning --lock name");
    EXPECT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(o.out.size(), static_cast<size_t>(dumpSize));
    const Voice half = decodedVoice(reinterpret_cast<const uint8_t*>(o.out.data()));
    EXPECT_EQ(std::string(half.name, voiceNameLength), std::string(a.name, voiceNameLength));
    EXPECT_EQ(half.element[1].pitch, a.element[1].pitch);
    EXPECT_TRUE(run("morph " + pa + " " + pb + " " + pa + " --x 1 --y 0").out == dumpB);
    EXPECT_TRUE(run("nudge " + pa + " " + pb + " --by 0").out == dumpA);
    EXPECT_EQ(run("nudge " + pa + " " + pb + " --by -0.5 --unlock tuning").status, 0);

    fs::create_directories(dir / "bred");
    o = run("breed " + pa + " " + pb + " --seed 5 --strength 0.4 --into " + file("bred"));
    EXPECT_EQ(o.status, 0) << o.err;
    const std::string first = read("bred/candidate-01.syx");
    EXPECT_EQ(first.size(), static_cast<size_t>(dumpSize));
    EXPECT_STREQ(checkVoiceDump(reinterpret_cast<const uint8_t*>(first.data())), "");
    EXPECT_EQ(read("bred/candidate-16.syx").size(), static_cast<size_t>(dumpSize));
    run("breed " + pa + " " + pb + " --seed 5 --strength 0.4 --into " + file("bred"));
    EXPECT_TRUE(read("bred/candidate-01.syx") == first);

    // A bank, a damaged dump and bad numbers are refused with the reason; nothing is written.
    std::vector<uint8_t> two = dumpOf(a);
    two.insert(two.end(), two.begin(), two.end());
    write("two.syx", two);
    std::vector<uint8_t> damaged = dumpOf(b);
    damaged[100] ^= 0x01;
    write("damaged.syx", damaged);
    const std::pair<std::string, std::string> refused[] = {
        {"blend " + file("two.syx") + " " + pb + " --at 0.5", "more than one voice dump"},
        {"blend " + pa + " " + file("damaged.syx") + " --at 0.5", "checksum does not match"},
        {"blend " + pa + " " + pb + " --at 1.5", "--at 1.5: a number in 0..1"},
        {"blend " + pa + " " + pb, "--at is missing"},
        {"nudge " + pa + " " + pb + " --by -2", "a number in -1..1"},
        {"morph " + pa + " " + pb + " --x 0.5 --y nan", "a number in 0..1"},
        {"blend " + pa + " " + pb + " --at 0.5 --lock pitch", "unknown group 'pitch' (groups: common effect"},
        {"blend " + pa + " " + pb + " --at 0.5 --unlock tuning", "--unlock: unknown option"},
        {"morph " + pa + " " + pb + " " + pa + " " + pb + " " + pa + " --x 0 --y 0",
         "usage: tarvik-voice morph"},
        {"breed " + pa + " --seed -1 --strength 0.5 --into " + file("bred"), "--seed -1: a whole number"},
        {"breed " + file("damaged.syx") + " --seed 1 --strength 0.5 --into " + file("bred2"), "checksum"},
    };
    for (const auto& [arguments, message] : refused) {
        o = run(arguments);
        EXPECT_EQ(o.status, 1) << arguments;
        EXPECT_EQ(o.out, "") << arguments;
        EXPECT_NE(o.err.find(message), std::string::npos) << arguments << ": " << o.err;
    }
    EXPECT_FALSE(fs::exists(dir / "bred2"));
}

}   // namespace

TEST_F(Cli, DiffGivesOneLinePerFieldAndItsStatusSaysEqualDifferentOrBad)
{
    Voice a;
    randomVoice(a, 12);
    Voice b = a;
    const VoiceField& attack = *findVoiceField("element[2].carrier.rateAttack");
    setFieldValue(a, attack, 31);
    setFieldValue(b, attack, 45);
    write("a.syx", dumpOf(a));
    write("b.syx", dumpOf(b));
    const Outcome same = run("diff " + file("a.syx") + " " + file("a.syx"));
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.out, "");
    const Outcome differ = run("diff " + file("a.syx") + " " + file("b.syx"));
    EXPECT_EQ(differ.status, 1);
    EXPECT_EQ(differ.out, "element[2].carrier.rateAttack (Attack rate): 31 -> 45\n");
    writeText("junk.syx", "not a dump");
    EXPECT_EQ(run("diff " + file("a.syx") + " " + file("junk.syx")).status, 2);
    EXPECT_EQ(run("diff " + file("a.syx") + " lib:0 --library " + file("none.syl")).status, 2);
    EXPECT_EQ(run("diff " + file("a.syx")).status, 2);
}

TEST_F(Cli, ConvertTakesSinglesAndBanksToTheTG33AndBackByteForByte)
{
    Voice v;
    randomVoice(v, 11);
    v.effectDepth = 3;
    v.element[0].waveform = 54;
    write("a.syx", dumpOf(v));
    Outcome o = run("convert " + file("a.syx") + " " + file("t.syx") + " --to tg33 --model sy35");
    EXPECT_EQ(o.status, 0) << o.err;
    const std::string name = "voice 1 \"" + std::string(v.name, voiceNameLength) + "\": ";
    EXPECT_NE(o.err.find(name + "effect depth 3 written as balance 46, a guess\n"), std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find(name + "an SY-35 voice: element A's wave 54 is another wave on a TG33\n"),
              std::string::npos);
    EXPECT_EQ(read("t.syx").size(), 605u);
    EXPECT_EQ(run("show " + file("t.syx")).out, run("show " + file("a.syx")).out);
    o = run("convert " + file("t.syx") + " " + file("b.syx") + " --to sy");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read("b.syx"), read("a.syx"));
    EXPECT_EQ(run("convert " + file("a.syx") + " " + file("c.syx") + " --to sy").status, 1);

    std::vector<VoiceDump> voices;
    for (uint32_t s = 0; s < 64; ++s) {
        randomVoice(v, 40 + s);
        v.effectDepth = static_cast<uint8_t>(2 * (s % 4));   // 0, 2, 4, 6: the TG33 keeps these
        voices.push_back(encodeVoice(v));
    }
    write("bank.syx", buildBankDump(voices));
    o = run("convert " + file("bank.syx") + " " + file("tbank.syx") + " --to tg33");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read("tbank.syx").size(), tg33BankSize);
    o = run("convert " + file("tbank.syx") + " " + file("back.syx") + " --to sy");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(read("back.syx"), read("bank.syx"));
}
