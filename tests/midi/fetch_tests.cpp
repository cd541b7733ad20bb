// SPDX-License-Identifier: GPL-3.0-or-later
// The fetch object on a MIDI system of the test's own: what each outcome signals.
#include <gtest/gtest.h>

#include <QEventLoop>

#include "midi/fetch.h"
#include "midi/midiport.h"
#include "tests/midi/fakebackend.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    std::string what;
    Bytes bytes;
    qulonglong received = 0;
};

// Runs one fetch to its end; start is startVoice or startBank.
Outcome run(TMIDIFetch& fetch, bool (TMIDIFetch::*start)())
{
    Outcome o;
    QEventLoop loop;
    QObject::connect(&fetch, &TMIDIFetch::finished, &loop, &QEventLoop::quit);
    const auto take = [&](const char* what) {
        return [&o, what](const Bytes& b) {
            o.what = what;
            o.bytes = b;
        };
    };
    auto c1 = QObject::connect(&fetch, &TMIDIFetch::voiceReceived, take("voice"));
    auto c2 = QObject::connect(&fetch, &TMIDIFetch::bankReceived, take("bank"));
    auto c3 = QObject::connect(&fetch, &TMIDIFetch::noAnswer, [&] { o.what = "none"; });
    auto c4 = QObject::connect(&fetch, &TMIDIFetch::tooLong, [&] { o.what = "too long"; });
    auto c5 = QObject::connect(&fetch, &TMIDIFetch::stalled, [&](qulonglong n) {
        o.what = "stalled";
        o.received = n;
    });
    if ((fetch.*start)())
        loop.exec();
    else
        o.what = "not started";
    for (const auto& c : {c1, c2, c3, c4, c5})
        QObject::disconnect(c);
    return o;
}

struct FakeFetch : ::testing::Test {
    void SetUp() override
    {
        auto owned = std::make_unique<TFakeMIDIBackend>();
        fake = owned.get();
        port = std::make_unique<TMIDIPort>(std::move(owned));
        port->openPorts(0, 0);
        port->setChannel(4);
    }
    TFakeMIDIBackend* fake = nullptr;
    std::unique_ptr<TMIDIPort> port;
};

}  // namespace

TEST_F(FakeFetch, TheVoiceOnAnyChannelIsTakenOtherMessagesAreNotAndSilenceIsNoAnswer)
{
    randomVoice(voice, 5);
    Bytes dump(dumpCodec.encodeVoice(), dumpCodec.encodeVoice() + dumpSize);
    dump[dumpChannelOffset] = 9;
    fake->onSend = [&](const Bytes& m) {
        if (isDumpRequest(m.data(), m.size())) {
            fake->deliver({0x90, 60, 100});
            fake->deliver(dump);
        }
        return true;
    };
    TMIDIFetch fetch(*port);
    Outcome o = run(fetch, &TMIDIFetch::startVoice);
    EXPECT_EQ(o.what, "voice");
    EXPECT_EQ(o.bytes, dump);
    ASSERT_FALSE(fake->sent().empty());
    EXPECT_EQ(fake->sent().back()[2], 0x24);    // asked on the port's channel

    fake->onSend = [&](const Bytes& m) {
        if (isDumpRequest(m.data(), m.size()))
            fake->deliver(Bytes(dump.begin(), dump.end() - 1));     // one byte short: no dump
        return true;
    };
    EXPECT_EQ(run(fetch, &TMIDIFetch::startVoice).what, "none");
    EXPECT_FALSE(fetch.busy());
}

TEST_F(FakeFetch, ABankInPiecesArrivesWholeAnOverlongAnswerIsRefusedAndAStopIsStalled)
{
    const Bytes bank = buildBankDump({}, 4);
    size_t pieces = 3;
    fake->onSend = [&](const Bytes& m) {
        if (!isBankRequest(m.data(), m.size()))
            return true;
        const size_t step = bank.size() / 3 + 1;
        for (size_t at = 0, n = 0; at < bank.size() && n < pieces; at += step, ++n)
            fake->deliver(Bytes(bank.begin() + long(at), bank.begin() + long(std::min(bank.size(), at + step))));
        return true;
    };
    TMIDIFetch fetch(*port);
    Outcome o = run(fetch, &TMIDIFetch::startBank);
    EXPECT_EQ(o.what, "bank");
    EXPECT_EQ(o.bytes, bank);

    pieces = 1;
    o = run(fetch, &TMIDIFetch::startBank);
    EXPECT_EQ(o.what, "stalled");
    EXPECT_EQ(o.received, bank.size() / 3 + 1);

    fake->onSend = [&](const Bytes& m) {
        if (isBankRequest(m.data(), m.size())) {
            fake->deliver(Bytes(bank.begin(), bank.end() - 1));
            fake->deliver(Bytes(bankCapacity, 0x01));
        }
        return true;
    };
    EXPECT_EQ(run(fetch, &TMIDIFetch::startBank).what, "too long");

    port->closePorts();
    EXPECT_EQ(run(fetch, &TMIDIFetch::startBank).what, "not started");
}
