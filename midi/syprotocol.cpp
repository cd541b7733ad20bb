// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/syprotocol.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "voice/bank.h"

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

TSYProtocol::TSYProtocol(TMIDIPort& port) : transport(port)
{
    bankBuffer.resize(bankCapacity);
    transport.setListener(this);
}

TSYProtocol::~TSYProtocol()
{
    transport.setListener(nullptr);
}

bool TSYProtocol::sendVoice(const Voice& v)
{
    VoiceDump dump = encodeVoice(v);
    dump[dumpChannelOffset] |= channelBits(channel);
    return transport.sendDump(dump.data(), dumpSize);
}

bool TSYProtocol::sendNote(bool on)
{
    const uint8_t note[3] = {static_cast<uint8_t>((on ? 0x90 : 0x80) | channelBits(channel)), 60,
                             static_cast<uint8_t>(on ? 100 : 0)};
    return transport.sendMessage(note, sizeof note);
}

bool TSYProtocol::sendDumpRequest()
{
    const auto request = dumpRequest(channelBits(channel));
    return transport.sendMessage(request.data(), request.size());
}

bool TSYProtocol::sendBankRequest()
{
    const std::vector<uint8_t> request = bankRequest(channelBits(channel));
    // Queued like every other message: after the voice waiting to go, never inside it.
    return transport.sendMessage(request.data(), request.size());
}

void TSYProtocol::received(const uint8_t* message, size_t size)
{
    if (bankState.load(std::memory_order_acquire) != bankIdle)
        takeBankPiece(message, size);
    if (!isVoiceDump(message, size))
        return;
    int expected = waiting;
    if (!receiveState.compare_exchange_strong(expected, filling, std::memory_order_acq_rel))
        return;   // nobody waits, or a dump is already in
    std::memcpy(receiveBuffer, message, size);
    dumpArrived.store(true, std::memory_order_release);
}

// ---- fetching the synthesiser's edit voice ----

bool TSYProtocol::startVoiceFetch()
{
    cancelVoiceFetch();
    dumpArrived.store(false, std::memory_order_relaxed);
    receiveState.store(waiting, std::memory_order_release);
    // The request goes out after the voice waiting to be sent, so that the synthesiser
    // answers with the voice the editor shows.
    const auto bytes = dumpRequest(channelBits(channel));
    requestSerial = transport.queueMessage(bytes.data(), bytes.size());
    return requestSerial != 0;
}

TSYProtocol::VoiceFetchProgress TSYProtocol::voiceFetchProgress() const
{
    VoiceFetchProgress p;
    p.requestOut = requestSerial == 0 || transport.sent(requestSerial);
    p.arrived = dumpArrived.load(std::memory_order_acquire);
    return p;
}

bool TSYProtocol::takeVoice(std::array<uint8_t, dumpSize>& dump)
{
    if (!dumpArrived.load(std::memory_order_acquire))
        return false;
    std::memcpy(dump.data(), receiveBuffer, dumpSize);
    receiveState.store(idle, std::memory_order_release);
    dumpArrived.store(false, std::memory_order_relaxed);
    return true;
}

bool TSYProtocol::finishVoiceFetch(std::array<uint8_t, dumpSize>& dump)
{
    int expected = waiting;
    if (!receiveState.compare_exchange_strong(expected, idle, std::memory_order_acq_rel) &&
        expected == filling) {
        // The input claimed the buffer in time: its copy of 592 bytes is a moment's work.
        const auto cap = Clock::now() + std::chrono::milliseconds(500);
        while (!dumpArrived.load(std::memory_order_acquire) && Clock::now() < cap)
            std::this_thread::yield();
    }
    const bool arrived = takeVoice(dump);
    receiveState.store(idle, std::memory_order_release);
    dumpArrived.store(false, std::memory_order_relaxed);
    transport.reportSendFault();
    return arrived;
}

void TSYProtocol::cancelVoiceFetch()
{
    std::array<uint8_t, dumpSize> dropped;
    finishVoiceFetch(dropped);
}

// ---- fetching the synthesiser's whole bank ----

bool TSYProtocol::startBankFetch()
{
    cancelBankFetch();
    bankLength.store(0, std::memory_order_relaxed);
    bankOverflow.store(false, std::memory_order_relaxed);
    bankStarted = false;
    bankInputStart = bankInputSeen = transport.inputBytes();
    bankLastActivity.store(steadyNanoseconds(), std::memory_order_relaxed);
    bankState.store(bankListening, std::memory_order_release);
    if (sendBankRequest())
        return true;
    cancelBankFetch();
    return false;
}

TSYProtocol::BankProgress TSYProtocol::bankProgress() const
{
    BankProgress p;
    const unsigned long input = transport.inputBytes();
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

bool TSYProtocol::takeBank(std::vector<uint8_t>& bank)
{
    if (bankState.load(std::memory_order_acquire) != bankComplete)
        return false;
    const size_t length = bankLength.load(std::memory_order_acquire);
    bank.assign(bankBuffer.begin(), bankBuffer.begin() + static_cast<long>(length));
    bankState.store(bankIdle, std::memory_order_release);
    return true;
}

void TSYProtocol::cancelBankFetch()
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

void TSYProtocol::takeBankPiece(const uint8_t* piece, size_t size)
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

bool TSYProtocol::startBankSend(const std::vector<uint8_t>& bankMessage)
{
    if (!transport.outputOpen())
        return false;
    const std::vector<std::vector<uint8_t>> blocks = bankBlocks(bankMessage);
    if (blocks.size() != static_cast<size_t>(bankBlockCount))
        return false;
    return transport.sendPaced(blocks, bankBlockGapMs + bankGapMarginMs);
}

TSYProtocol::BankSendProgress TSYProtocol::bankSendProgress() const
{
    return transport.pacedProgress();
}

void TSYProtocol::cancelBankSend()
{
    transport.cancelPaced();
}
