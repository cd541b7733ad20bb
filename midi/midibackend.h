// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI system as the transport needs it: device lists, one input port with a
// callback, one output port, sending one complete message, readable error texts. The
// platform's (TPlatformMIDI) implements it; tests stand in a fake that records what is
// sent and answers, throws or refuses as they ask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Runs on the MIDI service's thread with one complete message (a whole System
// Exclusive message, or one short message).
using TMIDIInputHandler = void (*)(const uint8_t* message, size_t size, void* context);

// How the devices of the open sides stand, as TMIDIBackend::watchDevices found them.
struct TDeviceWatch {
    bool inputAway = false;   // the input's device is not there now
    bool outputAway = false;
    bool reconnected = false;   // a side was connected again to its device, back under its name
};

class TMIDIBackend {
public:
    virtual ~TMIDIBackend() = default;

    // Lists the ports. Closes open ports first. May throw (a system that falls over).
    virtual void enumerate() = 0;
    virtual int inputCount() const = 0;
    virtual int outputCount() const = 0;
    // The port's full name; empty for a number outside the list.
    virtual std::string inputName(int n) const = 0;
    virtual std::string outputName(int n) const = 0;

    // Empty text on success, else a readable reason. A port that failed stays closed.
    virtual std::string openInput(int n, TMIDIInputHandler handler, void* context) = 0;
    virtual std::string openOutput(int n) = 0;
    virtual void closeInput() = 0;
    virtual void closeOutput() = 0;
    virtual bool inputOpen() const = 0;
    virtual bool outputOpen() const = 0;
    // Bytes that have reached the input so far; only its changes mean anything.
    virtual unsigned long inputBytes() const = 0;

    // Sends one complete message, returning once the wire has had time to carry it.
    // False when nothing was sent; may throw (a driver that falls over).
    virtual bool send(const uint8_t* message, size_t size) = 0;

    // Looks whether the devices of the open sides are still there, and connects a side
    // again to its device once that is back under the same name (a synthesiser switched
    // on again, an interface plugged in again, a program restarted). Called now and then
    // by the owner. A system that cannot tell: nothing away, ever.
    virtual TDeviceWatch watchDevices() { return {}; }
};
