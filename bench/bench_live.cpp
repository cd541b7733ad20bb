// SPDX-License-Identifier: GPL-3.0-or-later
// Live editing against the virtual SY-22 over JACK MIDI, through the real transport:
// bursts of edits at 10, 50 and 200 a second, and one slow edit. For each it prints the
// dumps the synthesiser got against the edits made, how long after the last edit the
// synthesiser held the final voice (in dump wire times), and the longest time one
// sendVoice call held its caller. Uses the running JACK server, or starts a private one.
//
// JACK hands a dump over whole, so the virtual SY-22 holds it as soon as its first byte
// would be on a real wire; "real wire" adds the last dump's own wire time to that.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "midi/platformmidi.h"
#include "settings/settings.h"
#include "tests/midi/vsy22.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

struct Result {
    int edits = 0;
    long dumps = 0;
    double finalWires = 0;   // last edit to the final voice held, in wire times
    double longestCallMs = 0;
    bool arrived = false;
};

Result burst(TSYProtocol& protocol, const VirtualSY22& synth, int edits, double perSecond, uint32_t seed)
{
    Voice voice{};
    const double wire = midiWireSeconds(dumpSize);
    const long dumpsBefore = synth.count("dumps");
    Result r;
    r.edits = edits;
    const auto start = Clock::now();
    for (int i = 0; i < edits; ++i) {
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(i / perSecond)));
        randomVoice(voice, seed + static_cast<uint32_t>(i));
        const auto before = Clock::now();
        protocol.sendVoice(voice);
        r.longestCallMs = std::max(r.longestCallMs, seconds(Clock::now() - before) * 1000.0);
    }
    const auto lastEdit = Clock::now();
    const VoiceDump d = encodeVoice(voice);
    const Bytes final(d.begin(), d.end());
    const auto giveUp = lastEdit + std::chrono::seconds(5);
    while (!(r.arrived = synth.currentVoice() == final) && Clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    r.finalWires = seconds(Clock::now() - lastEdit) / wire;
    protocol.port().flush(2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the synthesiser's counts follow
    r.dumps = synth.count("dumps") - dumpsBefore;
    return r;
}

}   // namespace

int main()
{
    PrivateJack privateJack;
    if (!PrivateJack::answers(getenv("JACK_DEFAULT_SERVER") ? getenv("JACK_DEFAULT_SERVER") : "default")) {
        if (!privateJack.start()) {
            std::fputs("bench_live: no JACK server, and jackd would not start\n", stderr);
            return 1;
        }
    }
    VirtualSY22 synth({"--silent"});
    if (!synth.start()) {
        std::fprintf(stderr, "bench_live: the virtual SY-22 did not start\n%s", synth.log().c_str());
        return 1;
    }
    RecordingEvents events;
    TMIDIPort port;
    TSYProtocol protocol(port);
    port.events = &events;
    protocol.setChannel(TSettings().midiChannel);
    port.openPorts(synth.inDevice(port), synth.outDevice(port));
    if (!events.openErrors.empty()) {
        std::fprintf(stderr, "bench_live: %s\n", events.openErrors.front().c_str());
        return 1;
    }

    std::printf("one dump's wire time: %.1f ms; settle gap after each dump: %d ms\n",
                midiWireSeconds(dumpSize) * 1000.0, TMIDIPort::dumpSettleGapMs);
    std::printf("%-22s %6s %6s %22s %11s %18s\n", "input", "edits", "dumps", "last edit to final",
                "real wire", "longest sendVoice");
    bool ok = true;
    struct Case {
        const char* name;
        int edits;
        double rate;
    };
    const Case cases[] = {{"burst, 10 a second", 30, 10.0},
                          {"burst, 50 a second", 100, 50.0},
                          {"burst, 200 a second", 400, 200.0},
                          {"one slow edit", 1, 1.0}};
    uint32_t seed = 1;
    for (const Case& c : cases) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));   // the wire at rest
        const Result r = burst(protocol, synth, c.edits, c.rate, seed);
        seed += static_cast<uint32_t>(c.edits);
        ok = ok && r.arrived;
        std::printf("%-22s %6d %6ld %19.2f wt %8.2f wt %15.3f ms%s\n", c.name, r.edits, r.dumps, r.finalWires,
                    r.finalWires + 1.0, r.longestCallMs, r.arrived ? "" : "  FINAL VOICE NEVER ARRIVED");
    }
    std::printf("aims: final voice within 2 wire times of the last edit; no sendVoice call over 5 ms\n");
    return ok ? 0 : 1;
}
