// SPDX-License-Identifier: GPL-3.0-or-later
// The transport against the virtual SY-22 through the JACK server of the test run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "midi/platformmidi.h"
#include "tests/midi/vsy22.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

namespace {

using Clock = std::chrono::steady_clock;

Bytes encoded(const Voice& v)
{
    const VoiceDump d = encodeVoice(v);
    return Bytes(d.begin(), d.end());
}

Bytes request(uint8_t channelByte)
{
    return {0xF0, 0x43, channelByte, 0x7E, 'P', 'K', ' ', ' ', '2', '2', '0', '3', 'A', 'E', 0xF7};
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Transport : public ::testing::Test {
protected:
    void SetUp() override { resetVoice(voice); }

    // Starts the synthesiser holding a voice of its own and opens our ports on it.
    void connect(std::vector<std::string> options = {})
    {
        randomVoice(synthVoice, 4242);
        synthFile =
            std::filesystem::temp_directory_path() / ("tarvik-synth-" + std::to_string(getpid()) + ".syx");
        writeBytes(synthFile.string(), encoded(synthVoice));
        options.insert(options.end(), {"--voice", synthFile.string()});
        synth = std::make_unique<VirtualSY22>(options);
        ASSERT_TRUE(synth->start()) << synth->log();
        port = std::make_unique<TMIDIPort>();
        protocol = std::make_unique<TSYProtocol>(*port);
        port->events = &events;
        inDevice = synth->inDevice(*port);
        outDevice = synth->outDevice(*port);
        ASSERT_GE(inDevice, 0);
        ASSERT_GE(outDevice, 0);
        port->openPorts(inDevice, outDevice);
        ASSERT_TRUE(events.openErrors.empty()) << events.openErrors.front();
    }

    void TearDown() override
    {
        protocol.reset();
        port.reset();
        synth.reset();
        if (!synthFile.empty())
            std::filesystem::remove(synthFile);
    }

    // What the synthesiser's voice becomes once decoded here.
    Bytes synthVoiceAsDecoded()
    {
        Voice v;
        resetVoice(v);
        decodeVoice(encoded(synthVoice).data(), v);
        return encoded(v);
    }

    Voice synthVoice{};
    std::filesystem::path synthFile;
    std::unique_ptr<VirtualSY22> synth;
    std::unique_ptr<TMIDIPort> port;
    std::unique_ptr<TSYProtocol> protocol;
    RecordingEvents events;
    // The voice the test sends, and the one a fetch decodes into.
    Voice& voice = events.voice;
    int inDevice = -1;
    int outDevice = -1;
};

TEST_F(Transport, DumpAndRequestCarryOnlyTheChannelsLowBitsInByteTwo)
{
    connect({"--silent"});
    randomVoice(voice, 7);
    const Bytes dump = encoded(voice);
    for (int channel : {0, 15, 200}) {
        protocol->setChannel(channel);
        EXPECT_TRUE(protocol->sendVoice(voice));
        EXPECT_TRUE(protocol->sendDumpRequest());
    }
    ASSERT_TRUE(synth->waitForCount("received", 6)) << synth->log();

    const uint8_t dumpByte[] = {0x00, 0x0F, 0x08};
    const uint8_t requestByte[] = {0x20, 0x2F, 0x28};
    for (int i = 0; i < 3; ++i) {
        Bytes expected = dump;
        expected[2] = dumpByte[i];
        EXPECT_EQ(synth->received(2 * i + 1), expected) << "dump " << i;
        EXPECT_EQ(synth->received(2 * i + 2), request(requestByte[i])) << "request " << i;
    }
}

TEST_F(Transport, FetchedVoiceLandsInTheRecordBeforeTheEditorsAreTold)
{
    connect();
    const Bytes expected = synthVoiceAsDecoded();
    ASSERT_NE(encoded(voice), expected);

    EXPECT_TRUE(fetchVoice(*protocol, events));
    EXPECT_EQ(events.receivedCalls, 1);
    EXPECT_EQ(events.noDataCalls, 0);
    EXPECT_EQ(events.voiceWhenReceived, expected);
    EXPECT_EQ(encoded(voice), expected);
}

TEST_F(Transport, AnswerArrivingWhileTheRequestIsStillBeingSentIsTaken)
{
    // Answering at once, without the wire's pace: the dump comes back while sending the
    // request still waits for it to leave.
    connect({"--no-wire-pace"});
    const Bytes expected = synthVoiceAsDecoded();
    for (int attempt = 0; attempt < 3; ++attempt) {
        resetVoice(voice);
        EXPECT_TRUE(fetchVoice(*protocol, events)) << "attempt " << attempt;
        EXPECT_EQ(encoded(voice), expected);
    }
    EXPECT_EQ(events.noDataCalls, 0);
    EXPECT_EQ(events.receivedCalls, 3);
}

TEST_F(Transport, OtherMessagesFirstAndAnswerOnAnotherChannelStillGiveTheDump)
{
    connect({"--other-first", "--answer-channel", "9"});
    const Bytes expected = synthVoiceAsDecoded();

    EXPECT_TRUE(fetchVoice(*protocol, events));
    EXPECT_EQ(events.receivedCalls, 1);
    EXPECT_EQ(events.noDataCalls, 0);
    EXPECT_EQ(encoded(voice), expected);
}

TEST_F(Transport, SilenceGivesNoDataAfterOneToTwoSecondsTwiceWithTheVoiceKept)
{
    connect({"--silent"});
    randomVoice(voice, 11);
    const Bytes before = encoded(voice);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const auto start = Clock::now();
        EXPECT_FALSE(fetchVoice(*protocol, events));
        const double waited = secondsSince(start);
        EXPECT_GE(waited, 1.0);
        EXPECT_LT(waited, 4.0);   // bounded, not a speed figure
        EXPECT_EQ(events.noDataCalls, attempt);
        EXPECT_EQ(events.receivedCalls, 0);
        // The event loop ran all through the wait: a window had its turns.
        EXPECT_GE(events.waitTicks, 2 * attempt);
        EXPECT_GE(std::chrono::duration<double>(events.lastTick - start).count(), 0.5);
        EXPECT_EQ(encoded(voice), before);
    }
    EXPECT_TRUE(synth->waitForCount("requests", 2));
}

TEST_F(Transport, LateAnswerToAnEarlierRequestIsNeverTaken)
{
    connect({"--delay-ms", "2500"});
    randomVoice(voice, 13);
    const Bytes before = encoded(voice);

    // A listener of our own on the synthesiser's output sees the late answer come in.
    TPlatformMIDI listener;
    listener.enumerate();
    ASSERT_EQ(listener.openInput(
                  inDevice, [](const uint8_t*, size_t, void*) {}, nullptr),
              "");
    EXPECT_FALSE(fetchVoice(*protocol, events));
    ASSERT_TRUE(synth->waitForCount("answers", 1));
    EXPECT_TRUE(eventually([&] { return listener.inputBytes() >= dumpSize; }));
    EXPECT_FALSE(protocol->voiceFetchProgress().arrived);   // nobody asked: not taken in

    // The next request's own answer comes too late as well: nothing may stand in for it.
    EXPECT_FALSE(fetchVoice(*protocol, events));
    EXPECT_EQ(events.noDataCalls, 2);
    EXPECT_EQ(events.receivedCalls, 0);
    EXPECT_EQ(encoded(voice), before);
}

TEST_F(Transport, MissingDevicesGiveTwoReadableErrorsInputFirstAndTheProgramGoesOn)
{
    TMIDIPort p;
    TSYProtocol sy(p);
    p.events = &events;
    p.openPorts(p.inCount + 3, p.outCount + 7);
    ASSERT_EQ(events.openErrors.size(), 2u);
    EXPECT_NE(events.openErrors[0].find("input device number " + std::to_string(p.inCount + 3)),
              std::string::npos)
        << events.openErrors[0];
    EXPECT_NE(events.openErrors[1].find("output device number " + std::to_string(p.outCount + 7)),
              std::string::npos)
        << events.openErrors[1];

    p.openPorts(-1, -1);
    ASSERT_EQ(events.openErrors.size(), 4u);
    EXPECT_NE(events.openErrors[2].find("input"), std::string::npos);
    EXPECT_NE(events.openErrors[3].find("output"), std::string::npos);

    const Bytes before = encoded(voice);
    EXPECT_FALSE(sy.sendVoice(voice));
    EXPECT_FALSE(sy.sendDumpRequest());
    EXPECT_FALSE(fetchVoice(sy, events));
    EXPECT_EQ(events.noDataCalls, 1);
    EXPECT_EQ(encoded(voice), before);
}

TEST_F(Transport, ClosingAndReopeningThePortsWorks)
{
    connect();
    EXPECT_TRUE(protocol->sendVoice(voice));
    ASSERT_TRUE(synth->waitForCount("dumps", 1));

    port->closePorts();
    EXPECT_FALSE(protocol->sendVoice(voice));
    EXPECT_FALSE(fetchVoice(*protocol, events));
    EXPECT_EQ(events.noDataCalls, 1);
    EXPECT_EQ(synth->count("dumps"), 1);

    port->openPorts(inDevice, outDevice);
    EXPECT_TRUE(events.openErrors.empty()) << events.openErrors.front();
    EXPECT_TRUE(protocol->sendVoice(voice));
    EXPECT_TRUE(synth->waitForCount("dumps", 2));
    EXPECT_TRUE(fetchVoice(*protocol, events));
    EXPECT_EQ(events.receivedCalls, 1);
}

TEST_F(Transport, ABurstOfEditsEndsWithTheFinalVoiceAndEveryDumpWholeAndInEditOrder)
{
    connect({"--silent"});
    // A bank request queued in the middle: a message that is no voice is never dropped
    // for a newer voice, and goes out between the dumps where it was queued.
    const uint8_t bankRequest[] = {0xF0, 0x43, 0x20, 0x7E, 'P', 'K', ' ', ' ',
                                   '2',  '2',  '0',  '3',  'V', 'M', 0xF7};
    std::vector<Bytes> sent;
    const auto burstStart = Clock::now();
    for (int i = 0; i < 100; ++i) {
        randomVoice(voice, 100 + static_cast<uint32_t>(i));
        sent.push_back(encoded(voice));
        EXPECT_TRUE(protocol->sendVoice(voice));
        if (i == 49) {
            EXPECT_TRUE(port->sendMessage(bankRequest, sizeof bankRequest));
        }
    }
    const double burst = secondsSince(burstStart);
    ASSERT_TRUE(port->flush(5000));
    // Its counts follow its voice: the last message it counts is the final voice.
    ASSERT_TRUE(eventually([&] {
        const long n = synth->count("received");
        return n > 0 && synth->received(static_cast<int>(n)) == sent.back();
    })) << synth->log();

    // While the edits came, the wire carried one dump per wire time at most; whatever
    // the machine's speed, every other voice was replaced before it went out. At the
    // least: the dump on the wire as the burst began, the one the request waits behind,
    // the request, the final voice.
    const long received = synth->count("received");
    const long carried = 4 + static_cast<long>(burst / midiWireSeconds(dumpSize));
    EXPECT_LE(received, std::min(carried, 60L)) << "superseded voices should not go out";
    size_t next = 0;   // dumps come in edit order, each one the editor held
    bool requestSeen = false;
    for (int n = 1; n <= received; ++n) {
        const Bytes message = synth->received(n);
        if (message == Bytes(std::begin(bankRequest), std::end(bankRequest))) {
            EXPECT_FALSE(requestSeen);
            EXPECT_EQ(next, 50u) << "the request follows the voice of the 50th edit";
            requestSeen = true;
            continue;
        }
        ASSERT_TRUE(isVoiceDump(message.data(), message.size())) << "message " << n;
        const auto at = std::find(sent.begin() + static_cast<long>(next), sent.end(), message);
        ASSERT_NE(at, sent.end()) << "message " << n << " is no voice edited, or out of order";
        next = static_cast<size_t>(at - sent.begin()) + 1;
    }
    EXPECT_TRUE(requestSeen);
    EXPECT_EQ(next, sent.size()) << "the final voice arrives last";
}

TEST_F(Transport, FetchRightAfterAnEditAnswersWithTheEditedVoice)
{
    connect();
    randomVoice(voice, 77);
    ASSERT_TRUE(protocol->sendVoice(voice));   // on the wire
    randomVoice(voice, 78);
    ASSERT_TRUE(protocol->sendVoice(voice));   // waiting behind it
    const Bytes edited = encoded(voice);
    resetVoice(voice);
    EXPECT_TRUE(fetchVoice(*protocol, events));
    EXPECT_EQ(encoded(voice), edited);
}

TEST_F(Transport, AVoiceStillWaitingAtCloseOrExitIsSent)
{
    connect({"--silent"});
    for (uint32_t seed : {5u, 6u, 7u}) {
        randomVoice(voice, seed);
        protocol->sendVoice(voice);
    }
    port->closePorts();
    EXPECT_TRUE(eventually([&] { return synth->currentVoice() == encoded(voice); }, 2.0));

    port->openPorts(inDevice, outDevice);
    for (uint32_t seed : {8u, 9u}) {
        randomVoice(voice, seed);
        protocol->sendVoice(voice);
    }
    protocol.reset();
    port.reset();
    EXPECT_TRUE(eventually([&] { return synth->currentVoice() == encoded(voice); }, 2.0));
}

}   // namespace
