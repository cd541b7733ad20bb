// SPDX-License-Identifier: GPL-3.0-or-later
// Sending a whole bank to the virtual SY-22 over JACK MIDI through the transport: how
// long it takes against its aim (the wire time of the bank's 38,306 bytes at 31,250
// baud, plus a pause of 100 ms between each two of its 17 blocks, plus 5%), and the
// longest stretch in which the caller's loop was not served (a window polling the
// progress must stay painted). Uses the running JACK server, or starts a private one.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "midi/platformmidi.h"
#include "tests/midi/vsy22.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

int main()
{
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };

    PrivateJack privateJack;
    if (!PrivateJack::answers(getenv("JACK_DEFAULT_SERVER") ? getenv("JACK_DEFAULT_SERVER") : "default")) {
        if (!privateJack.start()) {
            std::fputs("bench_bank: no JACK server, and jackd would not start\n", stderr);
            return 1;
        }
    }
    VirtualSY22 synth;
    if (!synth.start()) {
        std::fprintf(stderr, "bench_bank: the virtual SY-22 did not start\n%s", synth.log().c_str());
        return 1;
    }
    RecordingEvents events;
    TMIDIPort port;
    TSYProtocol protocol(port);
    port.events = &events;
    if (!port.openOutput(synth.outDevice(port))) {
        std::fprintf(stderr, "bench_bank: %s\n",
                     events.openErrors.empty() ? "no output port" : events.openErrors.front().c_str());
        return 1;
    }

    Bank bank = initialBank();
    for (size_t k = 0; k < bank.voices.size(); ++k) {
        Voice v;
        randomVoice(v, static_cast<uint32_t>(900 + k));
        const VoiceDump d = encodeVoice(v);
        std::copy(d.begin(), d.end(), bank.voices[k].begin());
    }
    const std::vector<uint8_t> message = encodeBankDump(bank, 0);

    const auto start = Clock::now();
    if (!protocol.startBankSend(message)) {
        std::fputs("bench_bank: startBankSend refused the bank\n", stderr);
        return 1;
    }
    // The caller's loop as a window's would run: a look at the progress, then a few
    // milliseconds for painting and input.
    auto last = Clock::now();
    double longestUnserved = seconds(last - start);
    double longestCall = 0;   // inside bankSendProgress itself
    TSYProtocol::BankSendProgress progress;
    for (;;) {
        const auto before = Clock::now();
        progress = protocol.bankSendProgress();
        const auto now = Clock::now();
        longestCall = std::max(longestCall, seconds(now - before));
        longestUnserved = std::max(longestUnserved, seconds(now - last));
        last = now;
        if (progress.done)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double total = seconds(Clock::now() - start);
    const double wire = midiWireSeconds(bankExpectedSize);
    const double aim = (wire + (bankBlockCount - 1) * bankBlockGapMs / 1000.0) * 1.05;
    const bool arrived = synth.waitForCount("banks", 1, 20.0);

    std::printf("bank send over JACK: %.2f s (aim %.2f s = (wire time %.2f s + 16 x 100 ms) + 5%%)%s\n",
                total, aim, wire, total <= aim ? "" : ", OVER THE AIM");
    std::printf("caller's loop: longest unserved stretch %.1f ms (5 ms of it the loop's own pause; "
                "the longest bankSendProgress call %.2f ms)\n",
                longestUnserved * 1000.0, longestCall * 1000.0);
    std::printf("virtual SY-22: %ld of 17 blocks written, shortest pause between blocks %.1f ms, %ld shorter "
                "than 100 ms%s\n",
                synth.count("bank-blocks"), static_cast<double>(synth.count("min-gap-us")) / 1000.0,
                synth.count("short-gaps"), arrived ? "" : ", THE BANK DID NOT ARRIVE WHOLE");
    const bool good = arrived && progress.blocksSent == bankBlockCount && !progress.failed &&
                      synth.count("short-gaps") == 0;
    return good ? 0 : 1;
}
