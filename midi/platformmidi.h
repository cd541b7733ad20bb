// SPDX-License-Identifier: GPL-3.0-or-later
// The operating system's MIDI services as the transport needs them: device lists,
// one input port with a callback, one output port, sending one complete message,
// readable error texts. Built on RtMidi; lists the ALSA sequencer's ports first, then
// JACK's when a JACK server is running. A system that cannot start adds no ports and
// no error, prints nothing and never starts a server.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "midi/midibackend.h"

// Seconds the MIDI wire needs for this many bytes: 10 bits per byte at 31,250 baud.
constexpr double midiWireSeconds(size_t bytes)
{
    return static_cast<double>(bytes) * 10.0 / 31250.0;
}

class TPlatformMIDI : public TMIDIBackend {
public:
    TPlatformMIDI();
    ~TPlatformMIDI() override;
    TPlatformMIDI(const TPlatformMIDI&) = delete;
    TPlatformMIDI& operator=(const TPlatformMIDI&) = delete;

    // Lists the ports of every MIDI system that starts. Closes open ports first.
    void enumerate() override;
    int inputCount() const override;
    int outputCount() const override;
    // The port's full name, so that no two look alike; empty for a number outside the list.
    std::string inputName(int n) const override;
    std::string outputName(int n) const override;

    // Empty text on success, else a readable reason. A port that failed stays closed.
    std::string openInput(int n, TMIDIInputHandler handler, void* context) override;
    std::string openOutput(int n) override;
    // Closing waits a moment at most on a JACK server that has stopped answering; the
    // rest of the teardown then finishes on its own thread.
    void closeInput() override;
    void closeOutput() override;
    bool inputOpen() const override;
    // Bytes that have reached the input so far, counted as they arrive where the
    // system allows (JACK), else as whole messages are handed over. Only its changes
    // mean anything.
    unsigned long inputBytes() const override;
    bool outputOpen() const override;

    // Sends one complete message. Waits until the port takes it and, for a System
    // Exclusive message, returns no earlier than the message's wire time after that.
    // False when nothing was sent (no port, the system went away, driver error).
    bool send(const uint8_t* message, size_t size) override;

    // A JACK side whose device's port is gone is away; once a port of that name is
    // there again (and not connected to ours) it is connected again. An ALSA side is
    // away while no port of its name (the client and port numbers aside) is listed;
    // once one is, the side is opened again on it.
    TDeviceWatch watchDevices() override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl;
};
