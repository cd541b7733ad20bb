// SPDX-License-Identifier: GPL-3.0-or-later
// Storing a voice in a slot of the virtual SY-22 over JACK MIDI, as "Store voice in
// synth..." does it (the bank read, the slot replaced, the bank sent and read back):
// how long it takes against its aim (the wire time of three banks of 38,306 bytes at
// 31,250 baud, plus a pause of 100 ms between each two of the send's 17 blocks, plus
// 5%), and the longest stretch in which the event loop was not served (the windows
// must stay painted throughout). Uses the running JACK server, or starts a private one.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "midi/bankwrite.h"
#include "midi/fetch.h"
#include "midi/platformmidi.h"
#include "tests/midi/vsy22.h"

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    PrivateJack privateJack;
    if (!PrivateJack::answers(getenv("JACK_DEFAULT_SERVER") ? getenv("JACK_DEFAULT_SERVER") : "default")) {
        if (!privateJack.start()) {
            std::fputs("bench_store: no JACK server, and jackd would not start\n", stderr);
            return 1;
        }
    }
    VirtualSY22 synth;
    if (!synth.start()) {
        std::fprintf(stderr, "bench_store: the virtual SY-22 did not start\n%s", synth.log().c_str());
        return 1;
    }
    RecordingEvents events;
    TMIDIPort port;
    TSYProtocol protocol(port);
    port.events = &events;
    if (!port.openInput(synth.inDevice(port)) || !port.openOutput(synth.outDevice(port))) {
        std::fprintf(stderr, "bench_store: %s\n",
                     events.openErrors.empty() ? "no ports" : events.openErrors.front().c_str());
        return 1;
    }
    TMIDIFetch fetch(protocol);
    TBankWrite write(protocol, fetch);
    Voice v;
    randomVoice(v, 4711);
    TBankWrite::Result result;
    QEventLoop loop;
    QObject::connect(&write, &TBankWrite::confirmReplace, &write, &TBankWrite::proceed);
    QObject::connect(&write, &TBankWrite::finished, [&](const TBankWrite::Result& r) {
        result = r;
        loop.quit();
    });
    // A timer of the event loop as a window's painting would be served: the longest
    // stretch between two of its turns.
    QElapsedTimer sinceTurn, total;
    qint64 longestUnserved = 0;
    TBankWrite::Stage longestDuring = TBankWrite::Stage::idle;
    TBankWrite::Stage stage = TBankWrite::Stage::idle;
    QObject::connect(&write, &TBankWrite::stageChanged, [&](TBankWrite::Stage s) { stage = s; });
    QTimer turns;
    turns.setInterval(5);
    QObject::connect(&turns, &QTimer::timeout, [&] {
        const qint64 gap = sinceTurn.restart();
        if (gap > longestUnserved) {
            longestUnserved = gap;
            longestDuring = stage;
        }
    });
    total.start();
    sinceTurn.start();
    turns.start();
    if (!write.startStore(encodeVoice(v), 16)) {
        std::fputs("bench_store: the store did not start\n", stderr);
        return 1;
    }
    loop.exec();
    const double seconds = static_cast<double>(total.elapsed()) / 1000.0;
    const double wire = midiWireSeconds(bankExpectedSize);
    const double aim = (3 * wire + (bankBlockCount - 1) * bankBlockGapMs / 1000.0) * 1.05;
    std::printf("store to slot over JACK: %.2f s (aim %.2f s = (3 x wire time %.2f s + 16 x 100 ms) + 5%%)%s\n",
                seconds, aim, wire, seconds <= aim ? "" : ", OVER THE AIM");
    const char* stages[] = {"the end", "reading the bank", "the question", "sending", "reading it back"};
    std::printf("event loop: longest unserved stretch %.0f ms, at %s (5 ms of it the timer's own interval)\n",
                static_cast<double>(longestUnserved), stages[static_cast<int>(longestDuring)]);
    std::printf("report: %s\n", result.text.c_str());
    return result.kind == TBankWrite::Result::Kind::kept && seconds <= aim ? 0 : 1;
}
