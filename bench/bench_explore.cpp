// SPDX-License-Identifier: GPL-3.0-or-later
// Exploration: the time to breed 16 candidates and to compute one morph point (median
// of many runs), and then, over the real JACK wire to the virtual SY-22, the Explore
// window's morph pad dragged at 60 moves a second for 10 seconds, offscreen: how long
// after the last move the synthesiser holds the voice of the last point (in dump wire
// times), and the longest the window's event loop went unserved (a 2 ms heartbeat's
// longest gap). Uses the running JACK server, or starts a private one.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "app/explorewindow.h"
#include "app/startup.h"
#include "app/tarvik.h"
#include "app/windowlist.h"
#include "bench/benchlibrary.h"
#include "midi/midiport.h"
#include "midi/platformmidi.h"
#include "tests/midi/vsy22.h"
#include "voice/dumpcodec.h"
#include "voice/explore.h"
#include "voice/voicefields.h"

namespace {

using Clock = std::chrono::steady_clock;

double medianMs(int runs, const std::function<void(int)>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        work(i);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

Voice randomParent(uint32_t seed)
{
    Voice v{};
    randomVoice(v, seed);
    return v;
}

void timeOperations()
{
    BreedInput input;
    input.current = randomParent(1);
    input.favourites = {randomParent(2), randomParent(3)};
    input.strength = 0.5;
    std::vector<Voice> bred;
    const double breedMs = medianMs(201, [&](int i) {
        input.seed = uint32_t(i + 1);
        breedVoices(input, bred);
    });
    const std::vector<Voice> corners = {randomParent(4), randomParent(5), randomParent(6), randomParent(7)};
    Voice out{};
    const double morphMs = medianMs(
        2001, [&](int i) { morphVoices(corners, (i % 100) / 99.0, (i % 37) / 36.0, GroupLocks{}, out); });
    std::printf("breed 16 candidates (two favourites):   %7.3f ms  (aim < 1 ms)\n", breedMs);
    std::printf("one morph point (four corners):         %7.3f ms  (aim < 1 ms)\n", morphMs);
}

// The pad's press, moves and release as the mouse gives them.
void padEvent(QWidget* pad, QEvent::Type type, double x, double y)
{
    const QPointF at(x * (pad->width() - 1), (1.0 - y) * (pad->height() - 1));
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, pad->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(pad, &event);
}

int dragPad(int argc, char** argv)
{
    PrivateJack privateJack;
    if (!PrivateJack::answers(getenv("JACK_DEFAULT_SERVER") ? getenv("JACK_DEFAULT_SERVER") : "default") &&
        !privateJack.start()) {
        std::fputs("bench_explore: no JACK server, and jackd would not start\n", stderr);
        return 1;
    }
    VirtualSY22 synth({"--silent"});
    if (!synth.start()) {
        std::fprintf(stderr, "bench_explore: the virtual SY-22 did not start\n%s", synth.log().c_str());
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    int in = -1, out = -1;
    {
        TMIDIPort probe;
        in = synth.inDevice(probe);
        out = synth.outDevice(probe);
    }
    FILE* ini = std::fopen("TARVIK.INI", "wb");
    std::fprintf(ini, "MIDI channel=0\r\nIn device=%d\r\nOut device=%d\r\nModel=0\r\nAuto send=1\r\n", in,
                 out);
    std::fclose(ini);
    writeBenchLibrary(libraryFileName, 4);

    auto run = std::make_unique<TTarvik>();
    createObjects(*run);
    createWindows(*run);
    auto* explore = run->windows->window<TExploreWindow>("ExploreWindow");
    explore->show();
    explore->setCornerFromCurrent(0);
    for (int c = 1; c < 4; ++c) {
        explore->audition(c * 3);
        explore->setCornerFromAudition(c);
    }
    QWidget* pad = explore->findChild<QWidget*>(QStringLiteral("padMorph"));
    run->port->flush(3000);

    // The heartbeat: the longest time between two of its beats is the longest the
    // event loop went unserved (less the beat itself).
    QElapsedTimer clock;
    clock.start();
    qint64 lastBeat = 0, longestGap = 0;
    std::vector<qint64> gaps;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (lastBeat) {
            longestGap = std::max(longestGap, now - lastBeat);
            gaps.push_back(now - lastBeat);
        }
        lastBeat = now;
    });
    heartbeat.start(2);

    constexpr int moves = 600;   // 60 a second for 10 seconds
    int made = 0;
    double x = 0, y = 0;
    qint64 lastMove = 0, longestMove = 0;
    QTimer mover;
    mover.setTimerType(Qt::PreciseTimer);
    QObject::connect(&mover, &QTimer::timeout, [&] {
        const double t = made / double(moves);
        x = 0.5 + 0.45 * std::cos(2 * M_PI * 3 * t);
        y = 0.5 + 0.45 * std::sin(2 * M_PI * 5 * t);
        const qint64 before = clock.nsecsElapsed();
        padEvent(pad, made == 0 ? QEvent::MouseButtonPress : QEvent::MouseMove, x, y);
        lastMove = clock.nsecsElapsed();
        longestMove = std::max(longestMove, lastMove - before);
        if (++made == moves) {
            mover.stop();
            padEvent(pad, QEvent::MouseButtonRelease, x, y);
        }
    });
    mover.start(1000 / 60);
    while (made < moves)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);

    const VoiceDump d = encodeVoice(*explore->auditioned());
    const Bytes last(d.begin(), d.end());
    bool arrived = false;
    while (!(arrived = synth.currentVoice() == last) && clock.nsecsElapsed() - lastMove < 5'000'000'000)
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    const double heldAfter = (clock.nsecsElapsed() - lastMove) / 1e9;
    heartbeat.stop();
    const double wire = midiWireSeconds(dumpSize);
    std::printf("pad dragged: %d moves at 60 a second; one dump's wire time %.1f ms\n", moves, wire * 1e3);
    std::printf("last move to the synthesiser holding its voice: %5.2f wire times  (aim <= 2)%s\n",
                heldAfter / wire, arrived ? "" : "  THE LAST POINT NEVER ARRIVED");
    std::sort(gaps.begin(), gaps.end());
    const qint64 p99 = gaps.empty() ? 0 : gaps[gaps.size() * 99 / 100];
    std::printf(
        "longest the event loop went unserved:         %5.1f ms  (aim <= 20 ms; 99th percentile %.1f ms)\n",
        std::max<qint64>(0, longestGap - 2'000'000) / 1e6, std::max<qint64>(0, p99 - 2'000'000) / 1e6);
    std::printf("longest one pad move took (morph and send):  %5.2f ms\n", longestMove / 1e6);
    std::printf("(the gaps count the whole machine: other processes' load shows in them)\n");
    run.reset();
    return arrived ? 0 : 1;
}

}   // namespace

int main(int argc, char** argv)
{
    timeOperations();
    return dragPad(argc, argv);
}
