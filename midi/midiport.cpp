#include "midi/midiport.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "app/settings.h"
#include "midi/platformmidi.h"
#include "voice/dumpcodec.h"

TMIDIPort* midiPort = nullptr;

namespace {

enum ReceiveState { idle = 0, waiting = 1, filling = 2 };

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

bool TMIDIPort::sendNote(bool on)
{
    const uint8_t note[3] = {static_cast<uint8_t>((on ? 0x90 : 0x80) | channelBits()), 60,
                             static_cast<uint8_t>(on ? 100 : 0)};
    return impl->midi.send(note, sizeof note);
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
