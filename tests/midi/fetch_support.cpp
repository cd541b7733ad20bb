// SPDX-License-Identifier: GPL-3.0-or-later
// fetchVoice: the one part of the test support that needs the event loop.
#include <QEventLoop>
#include <QTimer>

#include "midi/fetch.h"
#include "tests/midi/vsy22.h"
#include "voice/dumpcodec.h"

bool fetchVoice(TSYProtocol& protocol, RecordingEvents& events)
{
    TMIDIFetch fetch(protocol);
    bool received = false;
    QObject::connect(&fetch, &TMIDIFetch::voiceReceived, [&](const std::vector<uint8_t>& dump) {
        decodeVoice(dump.data(), events.voice);
        received = true;
        events.voiceReceived();
    });
    QObject::connect(&fetch, &TMIDIFetch::noAnswer, [&] { events.noData(); });
    QTimer window;   // stands in for a window that must keep painting meanwhile
    QObject::connect(&window, &QTimer::timeout, [&] {
        ++events.waitTicks;
        events.lastTick = std::chrono::steady_clock::now();
    });
    window.start(20);
    QEventLoop loop;
    QObject::connect(&fetch, &TMIDIFetch::finished, &loop, &QEventLoop::quit);
    if (fetch.startVoice())
        loop.exec();
    return received;
}
