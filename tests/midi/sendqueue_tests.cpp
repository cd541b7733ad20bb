// SPDX-License-Identifier: GPL-3.0-or-later
// The send queue's rules and the port's send faults, on a wire of the test's own: no JACK.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <stdexcept>
#include <thread>

#include "midi/midiport.h"
#include "midi/sendqueue.h"
#include "midi/syprotocol.h"
#include "tests/midi/fakebackend.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A wire that holds its first message until let go, and records what went out.
struct HeldWire {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> holding;
    std::mutex lock;
    std::vector<Bytes> out;
    std::function<bool(const Bytes&)> verdict = [](const Bytes&) { return true; };

    TSendQueue::Wire wire()
    {
        return [this](const uint8_t* p, size_t n) {
            std::unique_lock<std::mutex> guard(lock);
            if (out.empty() && released.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                guard.unlock();
                holding.set_value();
                released.wait();
                guard.lock();
            }
            out.emplace_back(p, p + n);
            return verdict(out.back());
        };
    }
};

bool put(TSendQueue& q, uint8_t tag, bool voice = false)
{
    return q.enqueue(&tag, 1, voice) != 0;
}

}   // namespace

TEST(SendQueue, AWaitingVoiceGivesWayToANewerOneUnlessSomethingWasQueuedAfterIt)
{
    HeldWire w;
    TSendQueue q(w.wire(), 0);
    ASSERT_TRUE(put(q, 1));
    w.holding.get_future().wait();   // message 1 is on the wire
    for (uint8_t tag : {10, 11})     // 11 replaces 10
        put(q, tag, true);
    put(q, 2);   // a note: never dropped, keeps its place
    for (uint8_t tag : {12, 13, 14})
        put(q, tag, true);
    w.release.set_value();
    EXPECT_TRUE(q.flush(5000));
    EXPECT_EQ(w.out, (std::vector<Bytes>{{1}, {11}, {2}, {14}}));
}

TEST(SendQueue, APileBeyondTheBoundIsRefusedAndWhatWasTakenGoesOutInOrder)
{
    HeldWire w;
    TSendQueue q(w.wire(), 0);
    ASSERT_TRUE(put(q, 0));
    w.holding.get_future().wait();
    for (size_t i = 0; i < TSendQueue::queueLimit; ++i)
        ASSERT_TRUE(put(q, uint8_t(i & 0x7F))) << i;
    EXPECT_FALSE(put(q, 1));
    EXPECT_FALSE(put(q, 1, true));   // a voice too, with no voice to replace
    w.release.set_value();
    EXPECT_TRUE(q.flush(10000));
    ASSERT_EQ(w.out.size(), TSendQueue::queueLimit + 1);
    EXPECT_EQ(w.out.back(), Bytes{uint8_t((TSendQueue::queueLimit - 1) & 0x7F)});
    EXPECT_TRUE(put(q, 1));   // room again
}

TEST(SendQueue, FlushAnswersOnceForAFailureEvenOneBeforeItBeganAndAThrowIsToldOncePerRun)
{
    HeldWire w;
    w.release.set_value();
    w.verdict = [](const Bytes& m) {
        if (m[0] == 0x66)
            throw std::runtime_error("the driver fell over");
        return m[0] != 0x55;
    };
    TSendQueue q(w.wire(), 0);

    const unsigned long refused = q.enqueue(Bytes{0x55}.data(), 1, false);
    ASSERT_TRUE(q.waitDone(refused, TSendQueue::Clock::now() + std::chrono::seconds(5)));
    EXPECT_FALSE(q.flush(5000));    // failed before this flush began
    EXPECT_TRUE(q.flush(5000));     // answered for already
    EXPECT_EQ(q.takeFault(), "");   // a refusal is no fault

    for (int i = 0; i < 3; ++i)
        put(q, 0x66);
    EXPECT_FALSE(q.flush(5000));
    EXPECT_EQ(q.takeFault(), "The MIDI output failed while sending: the driver fell over");
    put(q, 0x66);
    EXPECT_FALSE(q.flush(5000));
    EXPECT_EQ(q.takeFault(), "");   // the same run of failures
    put(q, 0x01);
    put(q, 0x66);
    EXPECT_FALSE(q.flush(5000));
    EXPECT_NE(q.takeFault(), "");   // a new run after a message got through
}

TEST(FakePort, AThrowingSendIsToldOnceAndThePortGoesOnSendingAndASetUpThatThrowsLeavesNoThread)
{
    auto owned = std::make_unique<TFakeMIDIBackend>();
    TFakeMIDIBackend& fake = *owned;
    std::atomic<bool> throwing{true};
    fake.onSend([&](const Bytes&) {
        if (throwing)
            throw std::runtime_error("the driver fell over");
        return true;
    });
    struct Events : TMIDIPortEvents {
        std::vector<std::string> sendErrors;
        void openError(const std::string&) override {}
        void sendError(const std::string& text) override { sendErrors.push_back(text); }
    } events;
    TMIDIPort port(std::move(owned));
    port.events = &events;
    port.openPorts(0, 0);
    const uint8_t note[3] = {0x90, 60, 100};
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(port.sendMessage(note, sizeof note));
    EXPECT_FALSE(port.flush(5000));
    ASSERT_EQ(events.sendErrors.size(), 1u);
    EXPECT_NE(events.sendErrors[0].find("the driver fell over"), std::string::npos);

    throwing = false;
    Voice voice;
    randomVoice(voice, 3);
    TSYProtocol protocol(port);
    protocol.setChannel(5);
    EXPECT_TRUE(protocol.sendVoice(voice));
    EXPECT_TRUE(port.flush(5000));
    const VoiceDump expectedBytes = encodeVoice(voice);
    Bytes expected(expectedBytes.begin(), expectedBytes.end());
    expected[dumpChannelOffset] = 5;
    ASSERT_EQ(fake.sent().size(), 1u);
    EXPECT_EQ(fake.sent()[0], expected);
    EXPECT_EQ(events.sendErrors.size(), 1u);

    const auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator());
    };
    const auto before = threads();
    auto faulty = std::make_unique<TFakeMIDIBackend>();
    faulty->throwOnEnumerate = true;
    EXPECT_THROW(TMIDIPort{std::move(faulty)}, std::runtime_error);
    // A joined thread may still be listed for a moment after the join returns; one
    // that was never joined stays.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (threads() != before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(threads(), before);
}
