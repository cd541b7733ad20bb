// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midiport.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "library/voiceimport.h"
#include "midi/platformmidi.h"
#include "midi/sendqueue.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/sysex.h"

namespace {

enum ReceiveState { idle = 0, waiting = 1, filling = 2 };
enum BankState { bankIdle = 0, bankListening = 1, bankFilling = 2, bankComplete = 3 };

int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

using Clock = std::chrono::steady_clock;

// The pause between bank blocks keeps a little more than the synthesiser asks for: the
// end of a block's wire time is known only to some milliseconds (the moment the system
// took it on, the scheduling of the threads on both sides). More would not leave the
// bank within its wire time, 16 pauses and 5% once a JACK server's cycle (up to 21 ms
// at 1024 frames) is waited for before each block.
constexpr int bankGapMarginMs = 15;

}   // namespace

struct TMIDIPort::Impl {
    explicit Impl(std::unique_ptr<TMIDIBackend> backend)
        : midi(std::move(backend)), queue(
                                        [this](const uint8_t* bytes, size_t size) {
                                            // The platform layer waits out the message's wire time.
                                            std::lock_guard<std::mutex> port(portLock);
                                            return midi->send(bytes, size);
                                        },
                                        dumpSettleGapMs)
    {
    }

    std::unique_ptr<TMIDIBackend> midi;
    // The platform layer is the sender's while it sends and the owner's while it opens,
    // closes or lists the ports.
    std::mutex portLock;
    TSendQueue queue;   // last: its sender stops before the rest goes
};

TMIDIPort::TMIDIPort() : TMIDIPort(std::make_unique<TPlatformMIDI>())
{
}

// Should the body throw, impl goes all the same, and its destructor stops the sender.
TMIDIPort::TMIDIPort(std::unique_ptr<TMIDIBackend> backend) : impl(std::make_unique<Impl>(std::move(backend)))
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
    const std::string text = impl->queue.takeFault();
    if (!text.empty() && events)
        events->sendError(text);
}

void TMIDIPort::enumerateDevices()
{
    // Listing closes the ports: what is queued goes out first, as at closePorts.
    if (!flush(1000))
        impl->queue.dropQueued();
    std::lock_guard<std::mutex> lock(impl->portLock);
    impl->midi->enumerate();
    inCount = impl->midi->inputCount();
    outCount = impl->midi->outputCount();
}

std::string TMIDIPort::inDeviceName(int n) const
{
    return impl->midi->inputName(n);
}
std::string TMIDIPort::outDeviceName(int n) const
{
    return impl->midi->outputName(n);
}

bool TMIDIPort::openInput(int inDevice)
{
    std::unique_lock<std::mutex> lock(impl->portLock);
    const std::string error = impl->midi->openInput(inDevice, &TMIDIPort::midiInCallback, this);
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
        impl->queue.dropQueued();
    std::unique_lock<std::mutex> lock(impl->portLock);
    const std::string error = impl->midi->openOutput(outDevice);
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
        impl->queue.dropQueued();
    {
        std::lock_guard<std::mutex> lock(impl->portLock);
        impl->midi->closeInput();
        impl->midi->closeOutput();
    }
    reportSendFault();
}

bool TMIDIPort::sendVoice(const Voice& v)
{
    reportSendFault();
    // Only the owner opens and closes the port, and the owner is who asks here.
    if (!impl->midi->outputOpen())
        return false;
    VoiceDump dump = encodeVoice(v);
    dump[dumpChannelOffset] |= channelBits(channel);
    return impl->queue.enqueue(dump.data(), dumpSize, true) != 0;
}

bool TMIDIPort::sendMessage(const uint8_t* bytes, size_t size)
{
    reportSendFault();
    if (bytes == nullptr || size == 0 || !impl->midi->outputOpen())
        return false;
    return impl->queue.enqueue(bytes, size, false) != 0;
}

bool TMIDIPort::sendNote(bool on)
{
    const uint8_t note[3] = {static_cast<uint8_t>((on ? 0x90 : 0x80) | channelBits(channel)), 60,
                             static_cast<uint8_t>(on ? 100 : 0)};
    return sendMessage(note, sizeof note);
}

bool TMIDIPort::sendDumpRequest()
{
    const auto request = dumpRequest(channelBits(channel));
    return sendMessage(request.data(), request.size());
}

bool TMIDIPort::flush(int timeoutMs)
{
    const bool clean = impl->queue.flush(timeoutMs);
    reportSendFault();
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
        return;   // nobody waits, or a dump is already in
    std::memcpy(self->receiveBuffer, message, size);
    self->dumpArrived.store(true, std::memory_order_release);
}

bool TMIDIPort::startVoiceFetch()
{
    cancelVoiceFetch();
    dumpArrived.store(false, std::memory_order_relaxed);
    receiveState.store(waiting, std::memory_order_release);
    // The request goes out after the voice waiting to be sent, so that the synthesiser
    // answers with the voice the editor shows.
    const auto bytes = dumpRequest(channelBits(channel));
    reportSendFault();
    requestSerial = impl->midi->outputOpen() ? impl->queue.enqueue(bytes.data(), bytes.size(), false) : 0;
    return requestSerial != 0;
}

TMIDIPort::VoiceFetchProgress TMIDIPort::voiceFetchProgress() const
{
    VoiceFetchProgress p;
    p.requestOut = requestSerial == 0 || impl->queue.done(requestSerial);
    p.arrived = dumpArrived.load(std::memory_order_acquire);
    return p;
}

bool TMIDIPort::takeVoice(std::array<uint8_t, dumpSize>& dump)
{
    if (!dumpArrived.load(std::memory_order_acquire))
        return false;
    std::memcpy(dump.data(), receiveBuffer, dumpSize);
    receiveState.store(idle, std::memory_order_release);
    dumpArrived.store(false, std::memory_order_relaxed);
    return true;
}

bool TMIDIPort::finishVoiceFetch(std::array<uint8_t, dumpSize>& dump)
{
    int expected = waiting;
    if (!receiveState.compare_exchange_strong(expected, idle, std::memory_order_acq_rel) &&
        expected == filling) {
        // The callback claimed the buffer in time: its copy of 592 bytes is a moment's work.
        const auto cap = Clock::now() + std::chrono::milliseconds(500);
        while (!dumpArrived.load(std::memory_order_acquire) && Clock::now() < cap)
            std::this_thread::yield();
    }
    const bool arrived = takeVoice(dump);
    receiveState.store(idle, std::memory_order_release);
    dumpArrived.store(false, std::memory_order_relaxed);
    reportSendFault();
    return arrived;
}

void TMIDIPort::cancelVoiceFetch()
{
    std::array<uint8_t, dumpSize> dropped;
    finishVoiceFetch(dropped);
}

// ---- fetching the synthesiser's whole bank ----

bool TMIDIPort::sendBankRequest()
{
    const std::vector<uint8_t> request = bankRequest(channelBits(channel));
    // Queued like every other message: after the voice waiting to go, never inside it.
    return sendMessage(request.data(), request.size());
}

bool TMIDIPort::startBankFetch()
{
    cancelBankFetch();
    bankLength.store(0, std::memory_order_relaxed);
    bankOverflow.store(false, std::memory_order_relaxed);
    bankStarted = false;
    bankInputStart = bankInputSeen = impl->midi->inputBytes();
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
    const unsigned long input = impl->midi->inputBytes();
    if (input != bankInputSeen) {
        bankInputSeen = input;
        const int64_t now = steadyNanoseconds();
        if (now > bankLastActivity.load(std::memory_order_acquire))
            bankLastActivity.store(now, std::memory_order_release);
    }
    p.received = std::max<size_t>(bankLength.load(std::memory_order_acquire), input - bankInputStart);
    p.complete = bankState.load(std::memory_order_acquire) == bankComplete;
    p.overflow = bankOverflow.load(std::memory_order_acquire);
    p.idleSeconds =
        static_cast<double>(steadyNanoseconds() - bankLastActivity.load(std::memory_order_acquire)) / 1e9;
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
            std::this_thread::yield();   // a piece is being copied: a moment
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
    if (piece[0] == sysexStart) {
        // A new System Exclusive message: the bank, if its head says so (a piece too
        // short to tell is taken on trust and judged once the message is whole).
        bankStarted = true;
        have = 0;
    } else if (!bankStarted || (piece[0] >= 0x80 && piece[0] != sysexEnd)) {
        // Short messages and what comes before the bank play no part.
        bankState.store(bankListening, std::memory_order_release);
        return;
    }
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(piece, sysexEnd, size));
    const size_t take = end ? static_cast<size_t>(end - piece) + 1 : size;
    if (have + take > bankBuffer.size()) {
        bankOverflow.store(true, std::memory_order_release);
        bankStarted = false;
        have = 0;
    } else {
        std::memcpy(bankBuffer.data() + have, piece, take);
        have += take;
        if (end) {
            if (hasBankHead(bankBuffer.data(), have)) {
                next = bankComplete;
            } else {
                have = 0;   // another message altogether: still waiting for the bank
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
    if (!impl->midi->outputOpen())
        return false;
    const std::vector<std::vector<uint8_t>> blocks = bankBlocks(bankMessage);
    if (blocks.size() != static_cast<size_t>(bankBlockCount))
        return false;
    return impl->queue.enqueueBank(blocks, bankBlockGapMs + bankGapMarginMs);
}

TMIDIPort::BankSendProgress TMIDIPort::bankSendProgress() const
{
    return impl->queue.bankProgress();
}

void TMIDIPort::cancelBankSend()
{
    impl->queue.cancelBank();
}
