#include "midi/midiport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/settings.h"
#include "midi/platformmidi.h"
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
    static const uint8_t head[16] = {0xF0, 0x43, 0x00, 0x7E, 0x12, 0x02, 'P', 'K', ' ', ' ',
                                     '2', '2', '0', '3', 'V', 'M'};
    if (size < sizeof head)
        return false;
    for (size_t i = 0; i < sizeof head; ++i)
        if ((i == 2 ? (m[i] & 0xF0) : m[i]) != head[i])
            return false;
    return true;
}

constexpr size_t requestSize = 15;

// The device-number byte: only the channel's low 4 bits, so that a hand-edited
// channel of 200 cannot put a status byte inside a System Exclusive message.
uint8_t channelBits()
{
    return static_cast<uint8_t>(settings.midiChannel & 0x0F);
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
    TPlatformMIDI midi;
    // The dump as it goes out, channel included. The codec's own buffer keeps byte 2
    // at 0x00 for whoever writes it to a file next.
    uint8_t sendBuffer[dumpSize] = {};
};

TMIDIPort::TMIDIPort() : impl(new Impl)
{
    bankBuffer.resize(bankCapacity);
    enumerateDevices();
}

TMIDIPort::~TMIDIPort()
{
    closePorts();
    delete impl;
}

void TMIDIPort::enumerateDevices()
{
    impl->midi.enumerate();
    inCount = impl->midi.inputCount();
    outCount = impl->midi.outputCount();
}

std::string TMIDIPort::inDeviceName(int n) const { return impl->midi.inputName(n); }
std::string TMIDIPort::outDeviceName(int n) const { return impl->midi.outputName(n); }

bool TMIDIPort::openInput(int inDevice)
{
    const std::string error = impl->midi.openInput(inDevice, &TMIDIPort::midiInCallback, this);
    if (error.empty())
        return true;
    if (events)
        events->openError(error);
    return false;
}

bool TMIDIPort::openOutput(int outDevice)
{
    const std::string error = impl->midi.openOutput(outDevice);
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
    impl->midi.closeInput();
    impl->midi.closeOutput();
}

bool TMIDIPort::sendVoice()
{
    ++sendVoiceCalls;
    std::memcpy(impl->sendBuffer, dumpCodec.encodeVoice(), dumpSize);
    impl->sendBuffer[dumpChannelOffset] |= channelBits();
    return impl->midi.send(impl->sendBuffer, dumpSize);
}

bool TMIDIPort::sendDumpRequest()
{
    uint8_t request[requestSize] = {0xF0, 0x43, 0x20, 0x7E};
    request[2] |= channelBits();
    std::memcpy(request + 4, dumpHeaderText, 10);
    request[14] = 0xF7;
    return impl->midi.send(request, requestSize);
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
    dumpArrived.store(false, std::memory_order_relaxed);
    receiveState.store(waiting, std::memory_order_release);
    sendDumpRequest();

    // Until the whole-second clock has advanced by 2 (1 to 2 seconds); the steady
    // clock caps it at 2 seconds should the time of day be set back meanwhile.
    const auto second = [] {
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    };
    const auto start = second();
    const auto cap = steady_clock::now() + seconds(2);
    while (!dumpArrived.load(std::memory_order_acquire) && second() - start < 2 &&
           steady_clock::now() < cap)
        std::this_thread::sleep_for(milliseconds(1));

    int expected = waiting;
    if (!receiveState.compare_exchange_strong(expected, idle, std::memory_order_acq_rel)) {
        // The callback claimed the buffer in time: its copy of 592 bytes is under way.
        const auto copyCap = steady_clock::now() + milliseconds(500);
        while (!dumpArrived.load(std::memory_order_acquire) && steady_clock::now() < copyCap)
            std::this_thread::yield();
    }
    const bool arrived = dumpArrived.load(std::memory_order_acquire);
    receiveState.store(idle, std::memory_order_release);
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
    uint8_t request[requestSize] = {0xF0, 0x43, 0x20, 0x7E, 'P', 'K', ' ', ' ',
                                    '2', '2', '0', '3', 'V', 'M', 0xF7};
    request[2] |= channelBits();
    return impl->midi.send(request, requestSize);
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
