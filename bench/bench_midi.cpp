// SPDX-License-Identifier: GPL-3.0-or-later
// How fast the transport talks to the virtual SY-22 over JACK MIDI: the median and
// worst time of 50 voice fetches (request out, dump back, through the fetch object), and how many dumps go
// out per second when each is sent and waited for (the settle gap after each dump included). Uses the running
// JACK server, or starts a private one for the run.
#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "tests/midi/vsy22.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };

    PrivateJack privateJack;
    if (!PrivateJack::answers(getenv("JACK_DEFAULT_SERVER") ? getenv("JACK_DEFAULT_SERVER") : "default")) {
        if (!privateJack.start()) {
            std::fputs("bench_midi: no JACK server, and jackd would not start\n", stderr);
            return 1;
        }
    }
    VirtualSY22 synth;
    if (!synth.start()) {
        std::fprintf(stderr, "bench_midi: the virtual SY-22 did not start\n%s", synth.log().c_str());
        return 1;
    }
    RecordingEvents events;
    TMIDIPort port;
    TSYProtocol protocol(port);
    port.events = &events;
    const int in = synth.inDevice(port);
    const int out = synth.outDevice(port);
    port.openPorts(in, out);
    if (!events.openErrors.empty()) {
        std::fprintf(stderr, "bench_midi: %s\n", events.openErrors.front().c_str());
        return 1;
    }

    constexpr int trips = 50;
    std::vector<double> times;
    for (int i = 0; i < trips; ++i) {
        const auto start = Clock::now();
        const bool got = fetchVoice(protocol, events);
        times.push_back(seconds(Clock::now() - start));
        if (!got) {
            std::fprintf(stderr, "bench_midi: round trip %d got no answer\n", i + 1);
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    const double median = (times[trips / 2 - 1] + times[trips / 2]) / 2.0;

    constexpr int dumps = 30;
    const auto start = Clock::now();
    Voice voice;
    for (int i = 0; i < dumps; ++i) {
        randomVoice(voice, static_cast<uint32_t>(i + 1));
        // Each one out before the next: a dump still waiting would be replaced.
        if (!protocol.sendVoice(voice) || !port.flush(2000)) {
            std::fputs("bench_midi: sendVoice failed\n", stderr);
            return 1;
        }
    }
    const double rate = dumps / seconds(Clock::now() - start);
    const bool allArrived = synth.waitForCount("dumps", dumps);

    std::printf("voice fetch round trip over JACK (%d trips): median %.1f ms, worst %.1f ms\n", trips,
                median * 1000.0, times.back() * 1000.0);
    std::printf("sendVoice: %.2f dumps per second (the MIDI wire allows %.2f)%s\n", rate,
                31250.0 / (10.0 * dumpSize), allArrived ? "" : ", NOT ALL ARRIVED");
    return allArrived ? 0 : 1;
}
