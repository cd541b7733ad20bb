// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midiport.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "settings/settings.h"
#include "library/voiceimport.h"
#include "midi/platformmidi.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"

TMIDIPort* midiPort = nullptr;

namespace {

enum ReceiveState { idle = 0, waiting = 1, filling = 2 };
enum BankState { bankIdle = 0, bankListening = 1, bankFilling = 2, bankComplete = 3 };

int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The first bytes of a bank: F0 43 0n 7E, block 1's count 12 02, "PK  2203VM".
bool isBankHead(const uint8_t* m, size_t size)
{
    return size >= 16 && m[0] == 0xF0 && m[1] == 0x43 && (m[2] & 0xF0) == 0x00 && m[3] == 0x7E &&
           m[4] == 0x12 && m[5] == 0x02 && std::memcmp(m + 6, bankHeaderText, 10) == 0;
}

constexpr size_t requestSize = 15;

// More queued than this means nothing takes the messages: refuse further ones rather
// than pile them up without end.
constexpr size_t queueLimit = 1024;

using Clock = std::chrono::steady_clock;

// The pause between bank blocks keeps a little more than the synthesiser asks for: the
// end of a block's wire time is known only to some milliseconds (the moment the system
// took it on, the scheduling of the threads on both sides). More would not leave the
// bank within its wire time, 16 pauses and 5% once a JACK server's cycle (up to 21 ms
// at 1024 frames) is waited for before each block.
constexpr int bankGapMarginMs = 15;

// The device-number byte: only the channel's low 4 bits, so that a hand-edited
// channel of 200 cannot put a status byte inside a System Exclusive message.
uint8_t channelBits()
{
    return static_cast<uint8_t>(settings.midiChannel & 0x0F);
}

// The 15-byte dump request with the channel's low 4 bits in byte 2.
void makeRequest(uint8_t (&request)[requestSize])
{
    const uint8_t head[] = {0xF0, 0x43, static_cast<uint8_t>(0x20 | channelBits()), 0x7E};
    std::memcpy(request, head, sizeof head);
    std::memcpy(request + 4, dumpHeaderText, 10);
    request[14] = 0xF7;
}

}  // namespace

bool isVoiceDump(const uint8_t* message, size_t size)
{
    if (message == nullptr || size != dumpSize)
        return false;
    return message[0] == 0xF0 && message[1] == 0x43 && (message[2] & 0xF0) == 0x00 &&
           message[3] == 0x7E && message[4] == 0x04 && message[5] == 0x48 &&
           std::memcmp(message + 6, dumpHeaderText, 10) == 0 && message[dumpSize - 1] == 0xF7;
}

struct TMIDIPort::Impl {
    struct Outgoing {
        std::vector<uint8_t> bytes;
        bool voice = false;
        unsigned long serial = 0;   // grows in queue order
        int bankBlock = -1;         // 0..16 for a block of a bank send
        unsigned bankSend = 0;      // which bank send it belongs to
    };

    // The bank send under way or last ended (under queueLock). Its blocks wait in the
    // queue like every message; one whose send has ended is passed over when its turn
    // comes, so that the queue's order and serials stay as they are.
    enum class BankStop { none, cancel, fail };
    struct BankSend {
        unsigned id = 0;
        bool active = false;
        bool holding = false;       // the sender holds one of its blocks
        BankStop stop = BankStop::none;
        Clock::time_point lastEnd{};
        TMIDIPort::BankSendProgress progress;
    } bank;

    TPlatformMIDI midi;
    // The platform layer is the sender's while it sends and the owner's while it opens,
    // closes or lists the ports.
    std::mutex portLock;

    std::mutex queueLock;
    std::condition_variable wake;       // something queued, or the sender is to stop
    std::condition_variable progress;   // a message went out (or was given up)
    std::deque<Outgoing> queue;         // waiting for the wire, oldest first
    unsigned long queuedSerial = 0;     // the last serial given out
    unsigned long doneSerial = 0;       // everything up to here is out or given up
    unsigned long failedSerial = 0;     // the last message the port did not take
    unsigned long flushedSerial = 0;    // what the last flush answered for
    // What sending threw, waiting to be told to the owner: once for a run of failures,
    // however often it threw meanwhile, and again only after a message got through.
    // The port stays in use.
    std::string fault;
    bool failing = false;
    bool stopping = false;
    std::thread sender;     // last: it starts once everything it uses is there

    Impl() : sender([this] { run(); }) {}
    ~Impl()
    {
        {
            std::lock_guard<std::mutex> lock(queueLock);
            stopping = true;
        }
        wake.notify_all();
        sender.join();
    }

    // Queues a message; a voice replaces the voice at the end of the queue, if one
    // waits there. Returns its serial, or 0 when refused.
    unsigned long enqueue(const uint8_t* bytes, size_t size, bool voice)
    {
        std::unique_lock<std::mutex> lock(queueLock);
        if (voice && !queue.empty() && queue.back().voice) {
            queue.back().bytes.assign(bytes, bytes + size);
            queue.back().serial = ++queuedSerial;
            return queuedSerial;
        }
        if (queue.size() >= queueLimit)
            return 0;
        queue.push_back({std::vector<uint8_t>(bytes, bytes + size), voice, ++queuedSerial});
        lock.unlock();
        wake.notify_one();
        return queuedSerial;
    }

    // Waits until the message of that serial and all before it are out or given up.
    bool waitDone(unsigned long serial, Clock::time_point until)
    {
        std::unique_lock<std::mutex> lock(queueLock);
        return progress.wait_until(lock, until, [&] { return doneSerial >= serial; });
    }

    // Queues the blocks of a bank send together, so that nothing gets between them.
    bool enqueueBank(const std::vector<std::vector<uint8_t>>& blocks)
    {
        std::unique_lock<std::mutex> lock(queueLock);
        if (bank.active || queue.size() + blocks.size() > queueLimit)
            return false;
        bank.id += 1;
        bank.active = true;
        bank.stop = BankStop::none;
        bank.progress = TMIDIPort::BankSendProgress{};
        bank.progress.blocks = static_cast<int>(blocks.size());
        for (size_t i = 0; i < blocks.size(); ++i)
            queue.push_back({blocks[i], false, ++queuedSerial, static_cast<int>(i), bank.id});
        lock.unlock();
        wake.notify_one();
        return true;
    }

    // Under queueLock.
    void endBank(BankStop why)
    {
        if (!bank.active)
            return;
        bank.active = false;
        bank.progress.done = true;
        bank.progress.cancelled = why == BankStop::cancel;
        bank.progress.failed = why == BankStop::fail ||
                               (why == BankStop::none && bank.progress.blocksSent < bank.progress.blocks);
    }
    void stopBank(BankStop why)
    {
        if (!bank.active)
            return;
        bank.stop = why;
        if (!bank.holding)
            endBank(why);       // the sender has not come to its blocks yet
        wake.notify_all();      // a sender waiting out the pause stops waiting
    }

    // The sender's turn of a bank block, under queueLock: false when it is not to go
    // out (its send has ended, or ends now). Waits out the pause after the block before.
    bool takeBankBlock(const Outgoing& block, std::unique_lock<std::mutex>& lock)
    {
        if (!bank.active || block.bankSend != bank.id)
            return false;
        bank.holding = true;
        if (block.bankBlock > 0) {
            const auto until = bank.lastEnd + std::chrono::milliseconds(bankBlockGapMs + bankGapMarginMs);
            wake.wait_until(lock, until, [&] { return stopping || bank.stop != BankStop::none; });
        }
        if (stopping || bank.stop != BankStop::none) {
            bank.holding = false;
            endBank(stopping ? BankStop::fail : bank.stop);
            return false;
        }
        return true;
    }
    // Under queueLock, once the platform layer has put the block on the wire (or not).
    void bankBlockOut(bool sent)
    {
        bank.holding = false;
        if (sent) {
            ++bank.progress.blocksSent;
            bank.lastEnd = Clock::now();
        }
        if (!sent)
            endBank(BankStop::fail);
        else if (bank.stop != BankStop::none || bank.progress.blocksSent == bank.progress.blocks)
            endBank(bank.stop);
    }

    // Gives up what still waits (a port that takes nothing must not hold up a close).
    void dropQueued()
    {
        std::lock_guard<std::mutex> lock(queueLock);
        stopBank(BankStop::fail);
        queue.clear();
        doneSerial = queuedSerial;
        progress.notify_all();
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(queueLock);
        for (;;) {
            wake.wait(lock, [&] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;     // stopping, with nothing left
            Outgoing message = std::move(queue.front());
            queue.pop_front();
            if (message.bankBlock >= 0 && !takeBankBlock(message, lock)) {
                doneSerial = std::max(doneSerial, message.serial);
                progress.notify_all();
                continue;
            }
            lock.unlock();
            bool sent = false;
            std::string thrown;
            try {
                // The platform layer waits out the message's wire time before it returns.
                std::lock_guard<std::mutex> port(portLock);
                sent = midi.send(message.bytes.data(), message.bytes.size());
            } catch (const std::exception& e) {
                thrown = e.what();
            } catch (...) {
                thrown = "unknown failure";
            }
            if (sent && message.voice)
                std::this_thread::sleep_for(std::chrono::milliseconds(dumpSettleGapMs));
            lock.lock();
            if (!thrown.empty() && !failing)
                fault = "The MIDI output failed while sending: " + thrown;
            failing = !thrown.empty() || (failing && !sent);
            if (message.bankBlock >= 0)
                bankBlockOut(sent);
            if (!sent)
                failedSerial = message.serial;
            doneSerial = std::max(doneSerial, message.serial);
            progress.notify_all();
        }
    }
};

// Should the body throw, impl goes all the same, and its destructor stops the sender.
TMIDIPort::TMIDIPort() : impl(std::make_unique<Impl>())
{
    bankBuffer.resize(bankCapacity);
    enumerateDevices();
}

TMIDIPort::~TMIDIPort()
{
    closePorts();
}

void TMIDIPort::reportSendFault()
{
    std::string text;
    {
        std::lock_guard<std::mutex> lock(impl->queueLock);
        text.swap(impl->fault);
    }
    if (!text.empty() && events)
        events->sendError(text);
}

void TMIDIPort::enumerateDevices()
{
    // Listing closes the ports: what is queued goes out first, as at closePorts.
    if (!flush(1000))
        impl->dropQueued();
    std::lock_guard<std::mutex> lock(impl->portLock);
    impl->midi.enumerate();
    inCount = impl->midi.inputCount();
    outCount = impl->midi.outputCount();
}

std::string TMIDIPort::inDeviceName(int n) const { return impl->midi.inputName(n); }
std::string TMIDIPort::outDeviceName(int n) const { return impl->midi.outputName(n); }

bool TMIDIPort::openInput(int inDevice)
{
    std::unique_lock<std::mutex> lock(impl->portLock);
    const std::string error = impl->midi.openInput(inDevice, &TMIDIPort::midiInCallback, this);
    lock.unlock();
    if (error.empty())
        return true;
    if (events)
        events->openError(error);
    return false;
}

bool TMIDIPort::openOutput(int outDevice)
{
    if (!flush(1000))
        impl->dropQueued();
    std::unique_lock<std::mutex> lock(impl->portLock);
    const std::string error = impl->midi.openOutput(outDevice);
    lock.unlock();
    if (error.empty())
        return true;
    if (events)
        events->openError(error);
    return false;
}

void TMIDIPort::openPorts(int inDevice, int outDevice)
{
    openInput(inDevice);
    openOutput(outDevice);
}

void TMIDIPort::closePorts()
{
    if (!flush(1000))
        impl->dropQueued();
    {
        std::lock_guard<std::mutex> lock(impl->portLock);
        impl->midi.closeInput();
        impl->midi.closeOutput();
    }
    reportSendFault();
}

bool TMIDIPort::sendVoice()
{
    ++sendVoiceCalls;
    reportSendFault();
    // Only the owner opens and closes the port, and the owner is who asks here.
    if (!impl->midi.outputOpen())
        return false;
    uint8_t dump[dumpSize];
    std::memcpy(dump, dumpCodec.encodeVoice(), dumpSize);
    // The codec's own buffer keeps byte 2 at 0x00 for whoever writes it to a file next.
    dump[dumpChannelOffset] |= channelBits();
    return impl->enqueue(dump, dumpSize, true) != 0;
}

bool TMIDIPort::sendMessage(const uint8_t* bytes, size_t size)
{
    reportSendFault();
    if (bytes == nullptr || size == 0 || !impl->midi.outputOpen())
        return false;
    return impl->enqueue(bytes, size, false) != 0;
}

bool TMIDIPort::sendNote(bool on)
{
    const uint8_t note[3] = {static_cast<uint8_t>((on ? 0x90 : 0x80) | channelBits()), 60,
                             static_cast<uint8_t>(on ? 100 : 0)};
    return sendMessage(note, sizeof note);
}

bool TMIDIPort::sendDumpRequest()
{
    uint8_t request[requestSize];
    makeRequest(request);
    return sendMessage(request, requestSize);
}

bool TMIDIPort::flush(int timeoutMs)
{
    unsigned long target = 0;
    {
        std::lock_guard<std::mutex> lock(impl->queueLock);
        target = impl->queuedSerial;
    }
    const bool done = impl->waitDone(target, Clock::now() + std::chrono::milliseconds(timeoutMs));
    reportSendFault();
    if (!done)
        return false;
    // A message that failed before this flush began still counts, unless an earlier
    // flush has answered for it already.
    std::lock_guard<std::mutex> lock(impl->queueLock);
    const bool clean = impl->failedSerial <= impl->flushedSerial;
    impl->flushedSerial = std::max(impl->flushedSerial, target);
    return clean;
}

void TMIDIPort::midiInCallback(const uint8_t* message, size_t size, void* instance)
{
    auto* self = static_cast<TMIDIPort*>(instance);
    if (self != nullptr && message != nullptr && size > 0 &&
        self->bankState.load(std::memory_order_acquire) != bankIdle)
        self->takeBankPiece(message, size);
    if (self == nullptr || !isVoiceDump(message, size))
        return;
    int expected = waiting;
    if (!self->receiveState.compare_exchange_strong(expected, filling, std::memory_order_acq_rel))
        return;     // nobody waits, or a dump is already in
    std::memcpy(self->receiveBuffer, message, size);
    self->dumpArrived.store(true, std::memory_order_release);
}

bool TMIDIPort::getVoice()
{
    using namespace std::chrono;
    if (fetching)
        return false;   // a window event during the wait asked again: the wait answers
    fetching = true;
    if (events)
        events->waitStarted();
    const auto tick = [this] {
        if (events)
            events->waitTick();
    };
    dumpArrived.store(false, std::memory_order_relaxed);
    receiveState.store(waiting, std::memory_order_release);

    // The request goes out after the voice waiting to be sent, so that the synthesiser
    // answers with the voice the editor shows; the wait for the answer starts once it
    // is out. A port that takes nothing holds this up for a few seconds at most.
    const unsigned long request = [this] {
        uint8_t bytes[requestSize];
        makeRequest(bytes);
        return impl->midi.outputOpen() ? impl->enqueue(bytes, requestSize, false) : 0;
    }();
    if (request != 0) {
        const auto giveUp = steady_clock::now() + seconds(3);
        while (!impl->waitDone(request, steady_clock::now() + milliseconds(5)) && steady_clock::now() < giveUp)
            tick();
    }

    // Until the whole-second clock has advanced by 2 (1 to 2 seconds); the steady
    // clock caps it at 2 seconds should the time of day be set back meanwhile.
    const auto second = [] {
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    };
    const auto start = second();
    const auto cap = steady_clock::now() + seconds(2);
    while (!dumpArrived.load(std::memory_order_acquire) && second() - start < 2 &&
           steady_clock::now() < cap) {
        tick();
        std::this_thread::sleep_for(milliseconds(1));
    }

    int expected = waiting;
    if (!receiveState.compare_exchange_strong(expected, idle, std::memory_order_acq_rel)) {
        // The callback claimed the buffer in time: its copy of 592 bytes is under way.
        const auto copyCap = steady_clock::now() + milliseconds(500);
        while (!dumpArrived.load(std::memory_order_acquire) && steady_clock::now() < copyCap)
            std::this_thread::yield();
    }
    const bool arrived = dumpArrived.load(std::memory_order_acquire);
    receiveState.store(idle, std::memory_order_release);
    if (events)
        events->waitEnded();
    fetching = false;
    reportSendFault();
    if (!arrived) {
        if (events)
            events->noData();
        return false;
    }
    dumpCodec.decodeVoice(receiveBuffer);
    if (events)
        events->voiceReceived();
    return true;
}

// ---- fetching the synthesiser's whole bank ----

bool TMIDIPort::sendBankRequest()
{
    const std::vector<uint8_t> request = bankRequest(channelBits());
    // Queued like every other message: after the voice waiting to go, never inside it.
    return sendMessage(request.data(), request.size());
}

bool TMIDIPort::startBankFetch()
{
    cancelBankFetch();
    bankLength.store(0, std::memory_order_relaxed);
    bankOverflow.store(false, std::memory_order_relaxed);
    bankStarted = false;
    bankInputStart = bankInputSeen = impl->midi.inputBytes();
    bankLastActivity.store(steadyNanoseconds(), std::memory_order_relaxed);
    bankState.store(bankListening, std::memory_order_release);
    if (sendBankRequest())
        return true;
    cancelBankFetch();
    return false;
}

TMIDIPort::BankProgress TMIDIPort::bankProgress() const
{
    BankProgress p;
    const unsigned long input = impl->midi.inputBytes();
    if (input != bankInputSeen) {
        bankInputSeen = input;
        const int64_t now = steadyNanoseconds();
        if (now > bankLastActivity.load(std::memory_order_acquire))
            bankLastActivity.store(now, std::memory_order_release);
    }
    p.received = std::max<size_t>(bankLength.load(std::memory_order_acquire), input - bankInputStart);
    p.complete = bankState.load(std::memory_order_acquire) == bankComplete;
    p.overflow = bankOverflow.load(std::memory_order_acquire);
    p.idleSeconds = static_cast<double>(steadyNanoseconds() -
                                        bankLastActivity.load(std::memory_order_acquire)) / 1e9;
    return p;
}

bool TMIDIPort::takeBank(std::vector<uint8_t>& bank)
{
    if (bankState.load(std::memory_order_acquire) != bankComplete)
        return false;
    const size_t length = bankLength.load(std::memory_order_acquire);
    bank.assign(bankBuffer.begin(), bankBuffer.begin() + static_cast<long>(length));
    bankState.store(bankIdle, std::memory_order_release);
    return true;
}

void TMIDIPort::cancelBankFetch()
{
    for (;;) {
        int expected = bankListening;
        if (bankState.compare_exchange_strong(expected, bankIdle, std::memory_order_acq_rel))
            return;
        if (expected == bankFilling) {
            std::this_thread::yield();     // a piece is being copied: a moment
            continue;
        }
        bankState.store(bankIdle, std::memory_order_release);   // idle or complete
        return;
    }
}

void TMIDIPort::takeBankPiece(const uint8_t* piece, size_t size)
{
    int expected = bankListening;
    if (!bankState.compare_exchange_strong(expected, bankFilling, std::memory_order_acq_rel))
        return;
    size_t have = bankLength.load(std::memory_order_relaxed);
    int next = bankListening;
    if (piece[0] == 0xF0) {
        // A new System Exclusive message: the bank, if its head says so (a piece too
        // short to tell is taken on trust and judged once the message is whole).
        bankStarted = true;
        have = 0;
    } else if (!bankStarted || (piece[0] >= 0x80 && piece[0] != 0xF7)) {
        // Short messages and what comes before the bank play no part.
        bankState.store(bankListening, std::memory_order_release);
        return;
    }
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(piece, 0xF7, size));
    const size_t take = end ? static_cast<size_t>(end - piece) + 1 : size;
    if (have + take > bankBuffer.size()) {
        bankOverflow.store(true, std::memory_order_release);
        bankStarted = false;
        have = 0;
    } else {
        std::memcpy(bankBuffer.data() + have, piece, take);
        have += take;
        if (end) {
            if (isBankHead(bankBuffer.data(), have)) {
                next = bankComplete;
            } else {
                have = 0;       // another message altogether: still waiting for the bank
            }
            bankStarted = false;
        }
    }
    bankLength.store(have, std::memory_order_release);
    bankLastActivity.store(steadyNanoseconds(), std::memory_order_release);
    bankState.store(next, std::memory_order_release);
}

// ---- sending a whole bank ----

bool TMIDIPort::startBankSend(const std::vector<uint8_t>& bankMessage)
{
    if (!impl->midi.outputOpen())
        return false;
    const std::vector<std::vector<uint8_t>> blocks = bankBlocks(bankMessage);
    if (blocks.size() != static_cast<size_t>(bankBlockCount))
        return false;
    return impl->enqueueBank(blocks);
}

TMIDIPort::BankSendProgress TMIDIPort::bankSendProgress() const
{
    std::lock_guard<std::mutex> lock(impl->queueLock);
    return impl->bank.progress;
}

void TMIDIPort::cancelBankSend()
{
    std::lock_guard<std::mutex> lock(impl->queueLock);
    impl->stopBank(Impl::BankStop::cancel);
}
