// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice ports, send and get against the virtual SY-22. These run on a JACK
// server of their own, so that the device numbers the tool prints cannot shift while
// other tests come and go on the shared one.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstring>

#include "tests/midi/vsy22.h"
#include "voice/bankdiff.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

namespace {

// A run-away read fails against this bound instead of filling the memory. The thread
// sanitizer reserves far more address space than that for itself, so there the time
// bound alone has to do.
#if defined(__SANITIZE_THREAD__)
const std::string memoryBound;
#else
const std::string memoryBound = "ulimit -v 2000000 && ";
#endif

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readText(const std::string& path)
{
    const Bytes b = readBytes(path);
    return std::string(b.begin(), b.end());
}

Bytes encoded(const Voice& v)
{
    const VoiceDump d = encodeVoice(v);
    return Bytes(d.begin(), d.end());
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(jack.start());
        work = makeTempDir("tarvik-tool");
        ASSERT_FALSE(work.empty());
    }
    void TearDown() override
    {
        synth.reset();
        std::error_code ignored;
        std::filesystem::remove_all(work, ignored);
    }

    void startSynth(std::vector<std::string> options = {})
    {
        synth = std::make_unique<VirtualSY22>(options);
        ASSERT_TRUE(synth->start()) << synth->log();
    }

    // Runs tarvik-voice in the working directory of the test, within the shell's
    // limits given (so that a run-away read fails instead of filling the memory).
    ToolRun tool(const std::string& arguments, const std::string& limits = "")
    {
        const std::string command = "cd '" + work + "' && " + limits + " '" TARVIK_VOICE "' " + arguments +
                                    " >'" + work + "/stdout' 2>'" + work + "/stderr'";
        ToolRun r;
        const int raw = std::system(command.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = readText(work + "/stdout");
        r.err = readText(work + "/stderr");
        return r;
    }

    // The numbers `ports` gives the synthesiser's two ports.
    void findPorts(int& in, int& out)
    {
        const ToolRun r = tool("ports");
        ASSERT_EQ(r.status, 0) << r.err;
        in = out = -1;
        std::istringstream lines(r.out);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string kind, number, name;
            ASSERT_TRUE(std::getline(fields, kind, '\t') && std::getline(fields, number, '\t') &&
                        std::getline(fields, name))
                << line;
            if (kind == "in" && name == synth->name + ":out")
                in = std::stoi(number);
            if (kind == "out" && name == synth->name + ":in")
                out = std::stoi(number);
        }
        ASSERT_GE(in, 0) << r.out;
        ASSERT_GE(out, 0) << r.out;
    }

    PrivateJack jack;
    std::string work;
    std::unique_ptr<VirtualSY22> synth;
};

TEST_F(Tool, SendPutsTheFilesVoiceOnTheWireWithTheChannelFromOptionOrSettings)
{
    startSynth({"--silent"});
    int in = -1, out = -1;
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));

    Voice v;
    randomVoice(v, 21);
    Bytes file = encoded(v);
    file[2] = 0x05;   // whatever the file says, the channel comes from us
    writeBytes(work + "/voice.syx", file);
    Voice decoded;
    resetVoice(decoded);
    decodeVoice(file.data(), decoded);
    const Bytes sent = encoded(decoded);

    ToolRun r = tool("send voice.syx --out " + std::to_string(out) + " --channel 15");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(synth->waitForCount("dumps", 1));
    Bytes expected = sent;
    expected[2] = 0x0F;
    EXPECT_EQ(synth->received(1), expected);

    // Missing options come from the settings file; its channel keeps only 4 bits.
    const std::string ini = "MIDI channel=19\r\nOut device=" + std::to_string(out) + "\r\n";
    writeBytes(work + "/TARVIK.INI", Bytes(ini.begin(), ini.end()));
    r = tool("send voice.syx");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(synth->waitForCount("dumps", 2));
    expected[2] = 0x03;
    EXPECT_EQ(synth->received(2), expected);

    // Several files go out whole, all of them, in the order named.
    Voice other;
    randomVoice(other, 22);
    writeBytes(work + "/other.syx", encoded(other));
    r = tool("send other.syx voice.syx other.syx");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(synth->waitForCount("dumps", 5));
    Bytes second = encoded(other);
    second[2] = 0x03;
    EXPECT_EQ(synth->received(3), second);
    EXPECT_EQ(synth->received(4), expected);
    EXPECT_EQ(synth->received(5), second);
}

TEST_F(Tool, GetWritesTheSynthesisersVoiceAsASingleVoiceFile)
{
    Voice v;
    randomVoice(v, 33);
    writeBytes(work + "/synth.syx", encoded(v));
    startSynth({"--voice", work + "/synth.syx", "--channel", "4"});
    int in = -1, out = -1;
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));

    const ToolRun r =
        tool("get got.syx --in " + std::to_string(in) + " --out " + std::to_string(out) + " --channel 4");
    ASSERT_EQ(r.status, 0) << r.err;
    Voice decoded;
    resetVoice(decoded);
    decodeVoice(encoded(v).data(), decoded);
    const Bytes got = readBytes(work + "/got.syx");
    EXPECT_EQ(got, encoded(decoded));
    ASSERT_EQ(got.size(), static_cast<size_t>(dumpSize));
    EXPECT_EQ(got[2], 0x00);
}

TEST_F(Tool, GetWithoutAnAnswerOrWithAMissingPortFailsAndWritesNothing)
{
    startSynth({"--silent"});
    int in = -1, out = -1;
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));

    ToolRun r = tool("get got.syx --in " + std::to_string(in) + " --out " + std::to_string(out));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No data received\n");
    EXPECT_FALSE(std::filesystem::exists(work + "/got.syx"));

    r = tool("get got.syx --in " + std::to_string(in) + " --out 999");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("999"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(std::filesystem::exists(work + "/got.syx"));

    Voice v;
    resetVoice(v);
    writeBytes(work + "/voice.syx", encoded(v));
    r = tool("send voice.syx --out 999");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    // A device or a folder is refused, never read (a device could be read for ever).
    for (const std::string file : {"/dev/zero", ".", "missing.syx"}) {
        r = tool("send " + file + " --out " + std::to_string(out), memoryBound + "timeout 30");
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(synth->count("received"), 1);   // only the request of the first get
}

}   // namespace

TEST_F(Tool, GetBankSavesTheWholeBankForImportAndSavesNothingWhenTheTransferStops)
{
    Bytes singles;
    for (int k = 0; k < 64; ++k) {
        Voice v;
        randomVoice(v, 500 + static_cast<unsigned>(k));
        const Bytes d = encoded(v);
        singles.insert(singles.end(), d.begin(), d.end());
    }
    writeBytes(work + "/voices.syx", singles);
    startSynth({"--bank", work + "/voices.syx", "--channel", "2"});
    int in = -1, out = -1;
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));
    const std::string ports = " --in " + std::to_string(in) + " --out " + std::to_string(out);

    ToolRun r = tool("get-bank bank.syx --channel 2" + ports);
    ASSERT_EQ(r.status, 0) << r.err;
    r = tool("library import bank.syx --library lib.syl");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "added 64, duplicates 0, refused 0\n");
    const Bytes library = readBytes(work + "/lib.syl");
    ASSERT_EQ(library.size(), 5u + 64u * 596u);
    for (int k = 0; k < 64; ++k)
        EXPECT_TRUE(std::equal(singles.begin() + k * dumpSize, singles.begin() + (k + 1) * dumpSize,
                               library.begin() + 5 + k * 596 + 4))
            << "voice " << k;

    // A bank whose voice lost a byte on the way (its inner checksum is wrong): no backup.
    synth.reset();
    Bytes damaged = singles;
    damaged[7 * dumpSize + 100] ^= 0x01;
    unsigned sum = 0;
    for (int i = 6; i < dumpChecksumOffset; ++i)
        sum += damaged[7 * dumpSize + static_cast<size_t>(i)];
    damaged[7 * dumpSize + dumpChecksumOffset] = static_cast<uint8_t>((0 - sum) & 0x7F);
    writeBytes(work + "/damaged.syx", damaged);
    startSynth({"--bank", work + "/damaged.syx", "--channel", "2"});
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));
    r = tool("get-bank bad.syx --channel 2 --in " + std::to_string(in) + " --out " + std::to_string(out));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("damaged (voice I08: bad inner checksum)"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(work + "/bad.syx"));

    // A synthesiser that goes away half-way: a clear line, no file.
    synth.reset();
    startSynth({"--bank", work + "/voices.syx", "--lifetime", "4"});
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));
    r = tool("get-bank cut.syx --in " + std::to_string(in) + " --out " + std::to_string(out));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("stopped coming"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(work + "/cut.syx"));
}

TEST_F(Tool, SendBankRefusesABadFileWithItsReasonAndSendsAGoodOneWhole)
{
    startSynth({"--channel", "5"});
    int in = -1, out = -1;
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));
    const std::string port = " --out " + std::to_string(out);
    const Bytes good = testBankMessage(7, 0);

    Bytes badBlock = good;
    badBlock[bankBlockOffset(2) + 40] ^= 0x01;
    Bytes badInner = good;
    breakInnerChecksum(badInner, 6);
    const std::vector<std::pair<Bytes, std::string>> bad = {
        {Bytes(good.begin(), good.begin() + 10000), "truncated in block 5"},
        {badBlock, "block 3: bad checksum"},
        {badInner, "voice I07: bad inner checksum"},
    };
    for (const auto& [file, reason] : bad) {
        writeBytes(work + "/bad.syx", file);
        const ToolRun r = tool("send-bank bad.syx" + port);
        EXPECT_EQ(r.status, 1) << reason;
        EXPECT_EQ(r.err, "tarvik-voice: bad.syx: " + reason + "; nothing was sent\n");
    }

    writeBytes(work + "/good.syx", good);
    const ToolRun r = tool("send-bank good.syx --channel 5 --no-verify" + port);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("block 17 of 17 sent\n"), std::string::npos) << r.err;
    // It returned with the last byte out: the synthesiser has the bank, and it is the first
    // thing it was sent.
    ASSERT_TRUE(synth->waitForCount("banks", 1, 5));
    Bytes expected = good;
    expected[2] = 0x05;
    EXPECT_EQ(synth->received(1), expected);
    EXPECT_EQ(synth->count("bank-blocks"), 17);
    // The pauses between blocks are the transport's (BankSend tests them): a program just
    // started can hand its first block to JACK a few cycles late under a sanitizer, which
    // shortens the first pause as the stand-in measures it without any fault of the sender.
}

// The message's bytes that differ from another's of the same length, as offsets.
std::vector<size_t> differingBytes(const Bytes& a, const Bytes& b)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            at.push_back(i);
    return at;
}

TEST_F(Tool, StoreReplacesOnlyTheSlotAndAProtectedSynthesiserIsReportedAsKeepingNothing)
{
    const Bytes original = testBankMessage(3, 0);
    writeBytes(work + "/memory.syx", original);
    startSynth({"--bank", work + "/memory.syx"});
    int in = -1, out = -1;
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));
    const std::string ports = " --in " + std::to_string(in) + " --out " + std::to_string(out);
    Voice v;
    randomVoice(v, 99);
    std::memcpy(v.name, "MyPad   ", 8);
    writeBytes(work + "/mypad.syx", encoded(v));

    ToolRun r = tool("store mypad.syx I17" + ports);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("I17 holds '"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("I17 now holds 'MyPad'; the other 63 voices and the 16 multis are unchanged\n"),
              std::string::npos)
        << r.err;
    // What went out is the bank as received but slot 17's record and its block's checksum.
    const Bytes sent = synth->received(2);
    ASSERT_EQ(sent.size(), original.size());
    const size_t record = bankBlockOffset(4) + 2;
    const size_t checksum = record + bankVoicePayload;
    for (size_t at : differingBytes(original, sent))
        EXPECT_TRUE((at >= record && at < record + bankRecordSize) || at == checksum) << at;
    Bank before, after;
    std::string error;
    ASSERT_TRUE(parseBankDump(original.data(), original.size(), before, error)) << error;
    const Bytes memory = readBytes(synth->dir + "/memory.syx");
    ASSERT_TRUE(parseBankDump(memory.data(), memory.size(), after, error)) << error;
    const BankDifference d = bankDifference(before, after);
    EXPECT_EQ(d.voices, std::vector<int>{16});
    EXPECT_TRUE(d.multis.empty());
    EXPECT_EQ(decodedVoice(after.voices[16].data()).name, std::string("MyPad   "));

    // Memory protect on: the truth, and a failing status.
    ASSERT_TRUE(synth->restart({"--protect"}));
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));
    randomVoice(v, 100);
    writeBytes(work + "/other.syx", encoded(v));
    r = tool("store other.syx I17 --in " + std::to_string(in) + " --out " + std::to_string(out));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("tarvik-voice: The synthesiser kept nothing: is its memory protect on?\n"),
              std::string::npos)
        << r.err;
}

TEST_F(Tool, StoreRefusesABadSlotOrFileAndSendsNothingWhenTheSynthesiserIsSilent)
{
    startSynth({"--silent"});
    int in = -1, out = -1;
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));
    const std::string ports = " --in " + std::to_string(in) + " --out " + std::to_string(out);
    Voice v;
    randomVoice(v, 5);
    writeBytes(work + "/v.syx", encoded(v));
    Bytes broken = encoded(v);
    broken[300] ^= 0x01;
    writeBytes(work + "/broken.syx", broken);
    for (const char* words : {"v.syx I65", "v.syx I00", "v.syx P01", "broken.syx I01"}) {
        const ToolRun r = tool(std::string("store ") + words + ports);
        EXPECT_EQ(r.status, 1) << words;
        EXPECT_EQ(r.err.find("Reading"), std::string::npos) << r.err;
    }
    const ToolRun r = tool("store v.syx I01" + ports);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("did not answer"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was sent"), std::string::npos) << r.err;
    EXPECT_EQ(synth->count("banks"), 0);
}

TEST_F(Tool, SendBankReadsBackAndNamesTheFourSlotsOfADroppedBlock)
{
    startSynth({"--drop-block", "5"});
    int in = -1, out = -1;
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));
    writeBytes(work + "/good.syx", testBankMessage(11, 0));
    const ToolRun r = tool("send-bank good.syx --in " + std::to_string(in) + " --out " + std::to_string(out));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("tarvik-voice: The bank read back differs from what was sent in I17, I18, I19 and "
                         "I20\n"),
              std::string::npos)
        << r.err;
}

namespace {

// New programs one after another, each opening its ports on a synthesiser whose ports
// are there the whole time, as a user scripting the tool would run them: under
// PipeWire's JACK layer every one of them must get through.
class PipeWireLoop : public Tool {};

TEST_F(PipeWireLoop, HundredSendsAndFetchesInARowAllGetThrough)
{
    Voice held;
    randomVoice(held, 71);
    writeBytes(work + "/synth.syx", encoded(held));
    startSynth({"--voice", work + "/synth.syx"});
    int in = -1, out = -1;
    ASSERT_NO_FATAL_FAILURE(findPorts(in, out));
    Voice decoded;
    resetVoice(decoded);
    decodeVoice(encoded(held).data(), decoded);
    const Bytes expected = encoded(decoded);
    const std::string outPort = " --out " + std::to_string(out);
    const std::string ports = " --in " + std::to_string(in) + outPort;

    int passed = 0;
    std::string firstFailure;
    for (int round = 0; round < 100; ++round) {
        bool ok = false;
        ToolRun r;
        if (round % 2 == 0) {
            const long before = synth->count("dumps");
            r = tool("send synth.syx" + outPort);
            ok = r.status == 0 && synth->waitForCount("dumps", before + 1);
        } else {
            std::filesystem::remove(work + "/got.syx");
            r = tool("get got.syx" + ports);
            ok = r.status == 0 && readBytes(work + "/got.syx") == expected;
        }
        if (ok)
            ++passed;
        else if (firstFailure.empty())
            firstFailure = "round " + std::to_string(round) + ": " + r.err + "(the synthesiser had " +
                           std::to_string(synth->count("requests")) + " requests, " +
                           std::to_string(synth->count("dumps")) + " dumps)";
    }
    // Aim: all of them. On a busy machine PipeWire's JACK layer (0.3.65) now and then
    // loses one message on its way between two programs; the figure printed is the one
    // to watch, and more than that fails.
    std::printf("%d of 100 sends and fetches in a row got through\n", passed);
    EXPECT_GE(passed, 98) << firstFailure;
    if (passed < 100)
        std::printf("first one lost: %s\n", firstFailure.c_str());
}

}   // namespace
