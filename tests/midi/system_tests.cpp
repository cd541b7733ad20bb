// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI systems that are missing or go away: no ports, no noise, no hang.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include "midi/platformmidi.h"
#include "tests/midi/vsy22.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

namespace {

// The voice the tests send.
Voice voice{};

TEST(MidiSystems, WithoutAJackServerTheListsStayQuietAndNoServerIsStarted)
{
    const std::string absent = "tarvik-absent-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", absent.c_str(), 1);
    // Through PipeWire's JACK layer: a runtime folder where no PipeWire runs.
    const std::string empty = makeTempDir("tarvik-no-pipewire");
    if (PrivateJack::underPipeWire())
        setenv("XDG_RUNTIME_DIR", empty.c_str(), 1);
    RecordingEvents events;

    testing::internal::CaptureStderr();
    {
        TMIDIPort port;
        TSYProtocol protocol(port);
        port.events = &events;
        if (access("/dev/snd/seq", F_OK) != 0) {
            EXPECT_EQ(port.inCount, 0);
            EXPECT_EQ(port.outCount, 0);
            EXPECT_EQ(port.inDeviceName(0), "");
        }
        port.openPorts(port.inCount, port.outCount);
        EXPECT_FALSE(protocol.sendVoice(voice));
        EXPECT_FALSE(fetchVoice(protocol, events));
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");
    EXPECT_EQ(events.openErrors.size(), 2u);
    EXPECT_EQ(events.noDataCalls, 1);
    EXPECT_FALSE(PrivateJack::answers(absent));
    std::filesystem::remove(empty);
}

TEST(MidiSystems, JackServerGoingAwayWhilePortsAreOpenMakesSendingFailQuietly)
{
    PrivateJack jack;
    ASSERT_TRUE(jack.start());
    VirtualSY22 synth({"--silent"});
    ASSERT_TRUE(synth.start()) << synth.log();
    resetVoice(voice);
    RecordingEvents events;
    auto port = std::make_unique<TMIDIPort>();
    auto protocol = std::make_unique<TSYProtocol>(*port);
    port->events = &events;
    const int in = synth.inDevice(*port);
    const int out = synth.outDevice(*port);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    port->openPorts(in, out);
    ASSERT_TRUE(events.openErrors.empty());
    EXPECT_TRUE(protocol->sendVoice(voice));
    ASSERT_TRUE(synth.waitForCount("dumps", 1));

    jack.stop();
    EXPECT_TRUE(eventually([&] { return !protocol->sendVoice(voice); }));
    EXPECT_FALSE(protocol->sendDumpRequest());
    EXPECT_FALSE(fetchVoice(*protocol, events));
    EXPECT_EQ(events.noDataCalls, 1);

    port->closePorts();
    port->openPorts(in, out);
    ASSERT_EQ(events.openErrors.size(), 2u);
    EXPECT_NE(events.openErrors[0].find("JACK"), std::string::npos) << events.openErrors[0];
    protocol.reset();
    port.reset();
    EXPECT_TRUE(eventually([&] { return !synth.running(); }));
}

TEST(MidiSystems, JackServerThatStallsNeverMakesSendingHang)
{
    PrivateJack jack;
    ASSERT_TRUE(jack.start());
    VirtualSY22 synth({"--silent"});
    ASSERT_TRUE(synth.start()) << synth.log();
    resetVoice(voice);
    RecordingEvents events;
    auto port = std::make_unique<TMIDIPort>();
    auto protocol = std::make_unique<TSYProtocol>(*port);
    port->events = &events;
    const int in = synth.inDevice(*port);
    const int out = synth.outDevice(*port);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    port->openPorts(in, out);
    ASSERT_TRUE(events.openErrors.empty());

    // The server stops running its cycles: dumps pile up where nothing takes them. More
    // of them than the port's buffer holds must still come back, sent or not.
    ASSERT_EQ(kill(jack.pid, SIGSTOP), 0);
    const pid_t server = jack.pid;
    struct Resume {
        pid_t pid;
        ~Resume() { kill(pid, SIGCONT); }
    } resume{server};
    alarm(60);   // a hang fails here, not at the test run's time-out
    for (int i = 0; i < 40; ++i)
        protocol->sendVoice(voice);
    alarm(0);

    // Once it runs again, so does sending: the voice the stall held up may be gone,
    // but the next ones arrive.
    kill(server, SIGCONT);
    EXPECT_TRUE(eventually([&] {
        protocol->sendVoice(voice);
        port->flush(1000);
        return synth.count("dumps") >= 2;
    }));
}

TEST(MidiSystems, ClosingAgainstAJackServerThatStoppedAnsweringEndsInTime)
{
    PrivateJack jack;
    ASSERT_TRUE(jack.start());
    VirtualSY22 synth({"--silent"});
    ASSERT_TRUE(synth.start()) << synth.log();
    resetVoice(voice);
    RecordingEvents events;
    auto port = std::make_unique<TMIDIPort>();
    auto protocol = std::make_unique<TSYProtocol>(*port);
    port->events = &events;
    port->openPorts(synth.inDevice(*port), synth.outDevice(*port));
    ASSERT_TRUE(events.openErrors.empty()) << events.openErrors.front();
    EXPECT_TRUE(protocol->sendVoice(voice));
    ASSERT_TRUE(synth.waitForCount("dumps", 1));

    // Stopped, not gone: every call to it would wait for as long as it stays stopped.
    // The program ends with an edit still to send, as it may at exit.
    ASSERT_EQ(kill(jack.pid, SIGSTOP), 0);
    randomVoice(voice, 9);
    protocol->sendVoice(voice);
    alarm(30);   // a hang fails here, not at the test run's time-out
    const auto start = std::chrono::steady_clock::now();
    protocol.reset();
    port.reset();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    alarm(0);
    std::printf("closed against the stopped server in %.2f s\n", seconds);
    EXPECT_LT(seconds, 2.0);

    // Only now does the server go (stopped, it cannot take a gentler signal). Started
    // and stopped once more under its name, it gives back its entry in JACK's registry
    // of servers, which holds only a few and is shared by every server on the machine.
    kill(jack.pid, SIGKILL);
    jack.stop();
    synth.stop();
    EXPECT_TRUE(jack.start());
    jack.stop();
}

TEST(MidiSystems, JackServerKilledDuringABurstNeitherHangsNorCrashesAndSendingResumesAfterReopening)
{
    PrivateJack jack;
    ASSERT_TRUE(jack.start());
    resetVoice(voice);
    RecordingEvents events;
    TMIDIPort port;
    TSYProtocol protocol(port);
    port.events = &events;
    {
        VirtualSY22 synth({"--silent"});
        ASSERT_TRUE(synth.start()) << synth.log();
        port.enumerateDevices();
        port.openPorts(synth.inDevice(port), synth.outDevice(port));
        ASSERT_TRUE(events.openErrors.empty()) << events.openErrors.front();

        alarm(60);   // a hang fails here, not at the test run's time-out
        for (int i = 0; i < 100; ++i) {
            randomVoice(voice, static_cast<uint32_t>(i + 1));
            protocol.sendVoice(voice);
            if (i == 30)
                kill(jack.pid, SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        port.closePorts();
        alarm(0);
        jack.stop();
    }

    // The server returns; the ports opened again carry the voice. Under the same name it
    // also takes back the killed server's entry in JACK's registry of servers, which
    // holds only a few and is shared by every server on the machine.
    ASSERT_TRUE(jack.start());
    VirtualSY22 synth({"--silent"});
    ASSERT_TRUE(synth.start()) << synth.log();
    port.enumerateDevices();
    const size_t errorsBefore = events.openErrors.size();
    port.openPorts(synth.inDevice(port), synth.outDevice(port));
    ASSERT_EQ(events.openErrors.size(), errorsBefore) << events.openErrors.back();
    randomVoice(voice, 500);
    EXPECT_TRUE(protocol.sendVoice(voice));
    EXPECT_TRUE(port.flush(2000));
    const VoiceDump expected = encodeVoice(voice);
    EXPECT_TRUE(eventually([&] { return synth.currentVoice() == Bytes(expected.begin(), expected.end()); }));
}

}   // namespace
