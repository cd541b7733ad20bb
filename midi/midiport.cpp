// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midiport.h"

#include <exception>
#include <mutex>
#include <thread>

#include "midi/platformmidi.h"

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

// The one open of either side; failures go to events.
bool TMIDIPort::openSide(bool input, int device)
{
    std::unique_lock<std::mutex> lock(impl->portLock);
    const std::string error = input ? impl->midi->openInput(device, &TMIDIPort::midiInCallback, this)
                                    : impl->midi->openOutput(device);
    lock.unlock();
    if (error.empty()) {
        (input ? watched.inputAway : watched.outputAway) = false;
        return true;
    }
    if (events)
        events->openError(error);
    return false;
}

bool TMIDIPort::openInput(int inDevice)
{
    return openSide(true, inDevice);
}

bool TMIDIPort::openOutput(int outDevice)
{
    if (!flush(1000))
        impl->queue.dropQueued();
    return openSide(false, outDevice);
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
    watched = TDeviceWatch();
    reportSendFault();
}

bool TMIDIPort::outputOpen() const
{
    // Only the owner opens and closes the port, and the owner is who asks here.
    return impl->midi->outputOpen();
}

TDeviceWatch TMIDIPort::watchDevices()
{
    {
        // The sender does not send while a side is connected again.
        std::lock_guard<std::mutex> lock(impl->portLock);
        try {
            watched = impl->midi->watchDevices();
        } catch (const std::exception&) {
            // A system that falls over while asked: as it was.
        }
    }
    return watched;
}

bool TMIDIPort::inputOpen() const
{
    return impl->midi->inputOpen();
}

unsigned long TMIDIPort::queueMessage(const uint8_t* bytes, size_t size)
{
    reportSendFault();
    if (bytes == nullptr || size == 0 || !impl->midi->outputOpen())
        return 0;
    return impl->queue.enqueue(bytes, size, false);
}

bool TMIDIPort::sendDump(const uint8_t* bytes, size_t size)
{
    reportSendFault();
    if (bytes == nullptr || size == 0 || !impl->midi->outputOpen())
        return false;
    return impl->queue.enqueue(bytes, size, true) != 0;
}

bool TMIDIPort::sent(unsigned long place) const
{
    return impl->queue.done(place);
}

bool TMIDIPort::flush(int timeoutMs)
{
    const bool clean = impl->queue.flush(timeoutMs);
    reportSendFault();
    return clean;
}

bool TMIDIPort::sendPaced(const std::vector<std::vector<uint8_t>>& messages, int gapMs)
{
    if (!impl->midi->outputOpen())
        return false;
    return impl->queue.enqueueBank(messages, gapMs);
}

TBankSendProgress TMIDIPort::pacedProgress() const
{
    return impl->queue.bankProgress();
}

void TMIDIPort::cancelPaced()
{
    impl->queue.cancelBank();
}

void TMIDIPort::setListener(TMIDIInputListener* l)
{
    // A callback that comes after the store sees the new one; one that came before is
    // counted in listening before it looks.
    listener.store(l);
    while (listening.load() != 0)
        std::this_thread::yield();
}

unsigned long TMIDIPort::inputBytes() const
{
    return impl->midi->inputBytes();
}

void TMIDIPort::midiInCallback(const uint8_t* message, size_t size, void* instance)
{
    auto* self = static_cast<TMIDIPort*>(instance);
    if (self == nullptr || message == nullptr || size == 0)
        return;
    self->listening.fetch_add(1);
    if (TMIDIInputListener* l = self->listener.load())
        l->received(message, size);
    self->listening.fetch_sub(1);
}
