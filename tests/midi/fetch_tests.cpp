// SPDX-License-Identifier: GPL-3.0-or-later
// The bank fetch on a MIDI system of the test's own: pieces, an overlong answer, a stop.
// (The voice fetch's outcomes are the JACK transport tests'.)
#include <gtest/gtest.h>

#include <QEventLoop>

#include "midi/fetch.h"
#include "midi/midiport.h"
#include "midi/syprotocol.h"
#include "tests/midi/fakebackend.h"
#include "voice/bank.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    std::string what;
    Bytes bytes;
    qulonglong received = 0;
};

// Runs one bank fetch to its end: what it ended in.
Outcome run(TMIDIFetch& fetch)
{
    Outcome o;
    QEventLoop loop;
    QObject fence;   // the connections end with the run
    QObject::connect(&fetch, &TMIDIFetch::finished, &loop, &QEventLoop::quit);
    QObject::connect(&fetch, &TMIDIFetch::bankReceived, &fence, [&](const Bytes& b) { o = {"bank", b, 0}; });
    QObject::connect(&fetch, &TMIDIFetch::tooLong, &fence, [&] { o.what = "too long"; });
    QObject::connect(&fetch, &TMIDIFetch::stalled, &fence, [&](qulonglong n) { o = {"stalled", {}, n}; });
    if (!fetch.startBank())
        return {"not started", {}, 0};
    loop.exec();
    return o;
}

struct FakeFetch : ::testing::Test {
    void SetUp() override
    {
        auto owned = std::make_unique<TFakeMIDIBackend>();
        fake = owned.get();
        port = std::make_unique<TMIDIPort>(std::move(owned));
        protocol = std::make_unique<TSYProtocol>(*port);
        port->openPorts(0, 0);
    }
    TFakeMIDIBackend* fake = nullptr;
    std::unique_ptr<TMIDIPort> port;
    std::unique_ptr<TSYProtocol> protocol;
};

}   // namespace

TEST_F(FakeFetch, ABankInPiecesArrivesWholeAnOverlongAnswerIsRefusedAndAStopIsStalled)
{
    const Bytes bank = buildBankDump({}, 4);
    size_t pieces = 3;
    fake->onSend([&](const Bytes& m) {
        if (!isBankRequest(m.data(), m.size()))
            return true;
        const size_t step = bank.size() / 3 + 1;
        for (size_t at = 0, n = 0; at < bank.size() && n < pieces; at += step, ++n)
            fake->deliver(
                Bytes(bank.begin() + long(at), bank.begin() + long(std::min(bank.size(), at + step))));
        return true;
    });
    TMIDIFetch fetch(*protocol);
    Outcome o = run(fetch);
    EXPECT_EQ(o.what, "bank");
    EXPECT_EQ(o.bytes, bank);

    pieces = 1;
    o = run(fetch);
    EXPECT_EQ(o.what, "stalled");
    EXPECT_EQ(o.received, bank.size() / 3 + 1);

    fake->onSend([&](const Bytes& m) {
        if (isBankRequest(m.data(), m.size())) {
            fake->deliver(Bytes(bank.begin(), bank.end() - 1));
            fake->deliver(Bytes(bankCapacity, 0x01));
        }
        return true;
    });
    EXPECT_EQ(run(fetch).what, "too long");

    port->closePorts();
    EXPECT_EQ(run(fetch).what, "not started");
}
