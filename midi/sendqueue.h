// SPDX-License-Identifier: GPL-3.0-or-later
// The transport's send queue and its sender thread: messages go to the wire one after
// another, whole, in the order queued. A voice dump still waiting is replaced by a
// newer one (each carries the whole voice) unless something else was queued after it;
// an unreasonable pile is refused; flush says whether everything went out; what
// sending threw is told once for a run of failures. A bank send's blocks wait in the
// queue like every message, with the synthesiser's pause kept between them.
//
// Knows nothing of ports: it is given the function that puts one message on the wire.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TBankSendProgress {
    int blocksSent = 0;   // blocks wholly on the wire
    int blocks = 17;
    bool done = false;        // the send is over: all out, failed or cancelled
    bool failed = false;      // the port refused a block or closed: the rest stays
    bool cancelled = false;   // cancelBank stopped it between blocks
};

class TSendQueue {
public:
    // Puts one message on the wire and returns once it is out; false when it was not
    // sent. May throw: that counts as not sent, and its text is kept for takeFault.
    using Wire = std::function<bool(const uint8_t* bytes, size_t size)>;
    using Clock = std::chrono::steady_clock;

    // More queued than this means nothing takes the messages.
    static constexpr size_t queueLimit = 1024;

    // voiceSettleMs: the quiet the wire keeps after each voice dump, so that the
    // synthesiser has taken it in before the next message comes.
    explicit TSendQueue(Wire wire, int voiceSettleMs);
    // What is queued still goes out; then the sender stops.
    ~TSendQueue();
    TSendQueue(const TSendQueue&) = delete;
    TSendQueue& operator=(const TSendQueue&) = delete;

    // Queues a copy of a message; a voice replaces a voice waiting at the end of the
    // queue. Its serial (they grow in queue order), or 0 when refused (the pile is full).
    unsigned long enqueue(const uint8_t* bytes, size_t size, bool voice);
    // Waits until the message of that serial and all before it are out or given up.
    bool waitDone(unsigned long serial, Clock::time_point until);
    bool done(unsigned long serial) const;
    // Waits until everything queued so far is out, for at most timeoutMs. True when it
    // all went out; false when the time ran out, or when a message failed that no
    // earlier flush has answered for (one that failed before this flush began too).
    bool flush(int timeoutMs);
    // Gives up what still waits (a port that takes nothing must not hold up a close).
    void dropQueued();
    // What sending threw since the last call ("The MIDI output failed while sending:
    // ..."), or empty.
    std::string takeFault();

    // Queues a bank send's blocks together, so that nothing gets between them; no
    // block starts sooner than gapMs after the end of the one before. False when a
    // bank send is under way or the pile would grow too large.
    bool enqueueBank(const std::vector<std::vector<uint8_t>>& blocks, int gapMs);
    TBankSendProgress bankProgress() const;
    // Stops between blocks: a block on the wire finishes, nothing after it goes out.
    void cancelBank();

private:
    struct Outgoing {
        std::vector<uint8_t> bytes;
        bool voice = false;
        unsigned long serial = 0;
        int bankBlock = -1;      // 0..16 for a block of a bank send
        unsigned bankSend = 0;   // which bank send it belongs to
    };
    enum class BankStop { none, cancel, fail };
    struct BankSend {
        unsigned id = 0;
        bool active = false;
        bool holding = false;   // the sender holds one of its blocks
        BankStop stop = BankStop::none;
        int gapMs = 0;
        Clock::time_point lastEnd{};
        TBankSendProgress progress;
    };

    void run();
    // Under lock.
    void endBank(BankStop why);
    void stopBank(BankStop why);
    bool takeBankBlock(const Outgoing& block, std::unique_lock<std::mutex>& lock);
    void bankBlockOut(bool sent);

    Wire wire;
    const int voiceSettleMs;
    mutable std::mutex lock;
    std::condition_variable wake;       // something queued, or the sender is to stop
    std::condition_variable progress;   // a message went out (or was given up)
    std::deque<Outgoing> queue;         // waiting for the wire, oldest first
    BankSend bank;
    unsigned long queuedSerial = 0;    // the last serial given out
    unsigned long doneSerial = 0;      // everything up to here is out or given up
    unsigned long failedSerial = 0;    // the last message the port did not take
    unsigned long flushedSerial = 0;   // what the last flush answered for
    std::string fault;
    bool failing = false;
    bool stopping = false;
    std::thread sender;   // last: it starts once everything it uses is there
};
