// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI transport: device lists, the two ports, handing what comes in to the one
// who listens, and the send queue. One object for the whole run, on the platform's
// MIDI system or any other TMIDIBackend (the tests' fake). What the messages say is
// the synthesiser protocol's business (midi/syprotocol.h), one floor up.
//
// Everything goes out through the send queue's thread (midi/sendqueue.h), which owns
// the output port while it sends: the sends queue and return at once, and the sender puts
// the messages on the wire one after another, whole, in the order queued and never
// faster than the wire carries them. A dump still waiting for the wire is replaced by
// a newer one (each dump carries the whole voice, so the synthesiser always ends with
// the newest), unless something else was queued after it. The object's methods are
// called from one thread, the owner's (the window thread in the editor).
//
// The transport knows nothing of windows: what the user must be told goes through
// TMIDIPortEvents, which the editor answers with its dialogs and the command-line
// tool with a line on standard error.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/midibackend.h"
#include "midi/sendqueue.h"

class TMIDIPortEvents {
public:
    virtual ~TMIDIPortEvents() = default;
    // A port could not be opened (or the input port not started); text is the
    // system's own error text. Called once per failing port, input first.
    virtual void openError(const std::string& text) = 0;
    // Sending failed in a way the MIDI system did not foresee (it threw); told once, on
    // the owner's thread at its next call into the transport. The port stays usable.
    virtual void sendError(const std::string& /*text*/) {}
};

// Hears what comes in at the input port, one complete message at a time, on the MIDI
// service's thread: it must not wait, allocate or touch a window.
class TMIDIInputListener {
public:
    virtual ~TMIDIInputListener() = default;
    virtual void received(const uint8_t* message, size_t size) = 0;
};

class TMIDIPort {
public:
    TMIDIPort();   // on the platform's MIDI system; enumerateDevices
    explicit TMIDIPort(std::unique_ptr<TMIDIBackend> backend);
    ~TMIDIPort();
    TMIDIPort(const TMIDIPort&) = delete;
    TMIDIPort& operator=(const TMIDIPort&) = delete;

    void enumerateDevices();
    std::string inDeviceName(int n) const;   // the full port name
    std::string outDeviceName(int n) const;

    // Opens the input port (with midiInCallback), then the output port; each failure
    // goes to events->openError, input first. A failed port stays closed.
    void openPorts(int inDevice, int outDevice);
    // One side alone, for callers that need only that side. True when it opened.
    bool openInput(int inDevice);
    bool openOutput(int outDevice);
    // What is queued still goes out first, for at most a second (a server that went
    // away cannot hold it up longer); then both ports close, waiting a moment at most
    // on a JACK server that has stopped answering.
    void closePorts();
    bool outputOpen() const;
    bool inputOpen() const;

    // Looks whether the open sides' devices are still there and connects a side again
    // to its device once it is back under its name (see TMIDIBackend::watchDevices).
    // The owner calls it now and then; deviceAway tells what the last look found.
    TDeviceWatch watchDevices();
    bool deviceAway(bool input) const { return input ? watched.inputAway : watched.outputAway; }

    // Queues a copy of one complete message (a short message or a whole System
    // Exclusive message): it goes out after everything queued before it, the dump
    // waiting included, and is never dropped for a newer dump. Its place in the queue
    // (places grow in queue order), or 0 when no output port is open, or when an
    // unreasonable pile of messages waits already.
    unsigned long queueMessage(const uint8_t* bytes, size_t size);
    // The same, true when it was queued.
    bool sendMessage(const uint8_t* bytes, size_t size) { return queueMessage(bytes, size) != 0; }
    // Queues a copy of a dump that carries the whole voice: one still waiting at the
    // end of the queue is replaced by it, and after it the wire stays quiet for
    // dumpSettleGapMs. False when no output port is open.
    bool sendDump(const uint8_t* bytes, size_t size);
    // True once the message queued at that place, and everything before it, is out or
    // given up.
    bool sent(unsigned long place) const;
    // Waits until everything queued so far has gone out, for at most timeoutMs. True
    // when it all went out; false when the time ran out or the port failed a message
    // that no earlier flush has answered for.
    bool flush(int timeoutMs);

    // ---- the paced send (a bank's blocks) ----
    // Queues the messages behind whatever was queued before, with nothing between them;
    // the sender puts each on the wire whole and starts the next no sooner than gapMs
    // after the end of its wire time. Returns at once; false when no output port is
    // open, a paced send is under way or the pile would grow too large.
    bool sendPaced(const std::vector<std::vector<uint8_t>>& messages, int gapMs);
    // Polled by the owner. Before any paced send: none sent, nothing set.
    TBankSendProgress pacedProgress() const;
    // Stops between messages: one already on the wire finishes, nothing after it goes
    // out. Once that one is out, progress says done and cancelled. Nothing happens
    // when no paced send is under way.
    void cancelPaced();

    // Who hears the input from now on (null: nobody). Once this returns no call to
    // the one before is under way, so that it may go.
    void setListener(TMIDIInputListener* listener);
    // Bytes that have reached the input so far; only its changes mean anything (a
    // message still coming in shows here before the listener gets it whole).
    unsigned long inputBytes() const;

    // The input callback, on the MIDI service's thread: hands each message to the
    // listener. Never allocates or waits.
    static void midiInCallback(const uint8_t* message, size_t size, void* instance);

    // Tells events what sending threw since the last call, if anything.
    void reportSendFault();

    int inCount = 0;
    int outCount = 0;

    // After each dump the sender leaves the wire quiet this long, so that a
    // synthesiser has taken the dump in before the next one comes.
    static constexpr int dumpSettleGapMs = 20;

    TMIDIPortEvents* events = nullptr;

    struct Impl;   // the platform layer's state
private:
    bool openSide(bool input, int device);

    std::unique_ptr<Impl> impl;
    TDeviceWatch watched;
    // Shared with the input callback: who listens, and how many callbacks are inside
    // the listener right now.
    std::atomic<TMIDIInputListener*> listener{nullptr};
    std::atomic<int> listening{0};
};
