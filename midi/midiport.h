// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI transport: device lists, the two ports, sending the voice and fetching
// the synthesiser's voice and bank. One object for the whole run, on the
// platform's MIDI system or any other TMIDIBackend (the tests' fake).
//
// Everything goes out through the send queue's thread (midi/sendqueue.h), which owns
// the output port while it sends: sendVoice and sendMessage queue and return at once, and the sender puts
// the messages on the wire one after another, whole, in the order queued and never
// faster than the wire carries them. A voice dump still waiting for the wire is
// replaced by a newer one (each dump carries the whole voice, so the synthesiser always
// ends with the newest), unless something else was queued after it. The object's
// methods are called from one thread, the owner's (the window thread in the editor).
//
// The transfers know nothing of windows: what the user must be told goes through
// TMIDIPortEvents, which the editor answers with its dialogs and the command-line
// tool with a line on standard error.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi/midibackend.h"
#include "midi/sendqueue.h"
#include "voice/dumpcodec.h"
#include "voice/sysex.h"

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

class TMIDIPort {
public:
    TMIDIPort();   // on the platform's MIDI system; enumerateDevices
    explicit TMIDIPort(std::unique_ptr<TMIDIBackend> backend);
    ~TMIDIPort();

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

    // The MIDI channel (0..15 = channel 1..16) the voice, the note and the requests go
    // out on; only its low 4 bits are used. The owner sets it from its settings.
    void setChannel(int midiChannel) { channel = midiChannel; }
    int currentChannel() const { return channel; }

    // Encodes v, ORs the low 4 bits of the channel into byte 2 and queues the dump;
    // returns at once. False when no output port is open.
    bool sendVoice(const Voice& v);
    // Queues a copy of one complete message (a short message or a whole System
    // Exclusive message): it goes out after everything queued before it, the voice
    // waiting included, and is never dropped for a newer voice. False when no output
    // port is open, or when an unreasonable pile of messages waits already.
    bool sendMessage(const uint8_t* bytes, size_t size);
    // The test note: note on (middle C, velocity 100) or its note off on the low 4
    // bits of the channel, queued like any other message.
    bool sendNote(bool on);
    // Queues the 15-byte dump request with the low 4 bits of the channel in byte 2.
    bool sendDumpRequest();
    // Waits until everything queued so far has gone out, for at most timeoutMs. True
    // when it all went out; false when the time ran out or the port failed a message
    // that no earlier flush has answered for.
    bool flush(int timeoutMs);

    // ---- fetching the synthesiser's edit voice ----
    // Nothing here waits: a fetch object polls (midi/fetch.h). startVoiceFetch arms
    // the input callback for a voice dump (on any channel; other messages are passed
    // over) and queues the dump request after the voice waiting to be sent. False
    // when the request could not be queued; the callback is armed all the same.
    bool startVoiceFetch();
    struct VoiceFetchProgress {
        bool requestOut = false;   // the request is on the wire (or was never queued)
        bool arrived = false;      // a dump is in: takeVoice hands it over
    };
    VoiceFetchProgress voiceFetchProgress() const;
    // Copies the dump that came and ends the fetch. False while none came.
    bool takeVoice(std::array<uint8_t, dumpSize>& dump);
    // Ends the fetch: a dump that comes later is passed over; one whose copy the
    // callback has begun is waited for (a moment) and handed over. False when none came.
    bool finishVoiceFetch(std::array<uint8_t, dumpSize>& dump);
    // The same, dropping what came. Safe at any time.
    void cancelVoiceFetch();

    // The input callback, on the MIDI service's thread: copies a voice dump into the
    // receive buffer while a voice fetch is armed, and gathers a bank while a bank
    // fetch is. Never decodes, allocates or touches a window.
    static void midiInCallback(const uint8_t* message, size_t size, void* instance);

    int inCount = 0;
    int outCount = 0;

    // After each voice dump the sender leaves the wire quiet this long, so that a
    // synthesiser has taken the dump in before the next one comes.
    static constexpr int dumpSettleGapMs = 20;

    TMIDIPortEvents* events = nullptr;

    // ---- fetching the synthesiser's whole bank ----
    // Nothing here waits: the fetch object (midi/fetch.h) polls bankProgress from a
    // timer and decides when the synthesiser has said nothing for too long. The
    // input callback gathers the answer into a buffer made once, whether it comes as
    // one message or, as through a real interface, in pieces.
    struct BankProgress {
        size_t received = 0;      // bytes come in since the request (the bank's, mostly)
        bool complete = false;    // the whole message is in: takeBank hands it over
        bool overflow = false;    // longer than any bank: the fetch is lost
        double idleSeconds = 0;   // since the last piece came in (or the request left)
    };
    // Arms the callback and sends the bank request. False when the request could not
    // be sent; then no fetch is under way.
    bool startBankFetch();
    BankProgress bankProgress() const;
    // Moves the complete bank message (F0 ... F7, as received) into bank and ends the
    // fetch. False while it is not complete.
    bool takeBank(std::vector<uint8_t>& bank);
    // Ends the fetch; whatever came in is dropped. Safe to call at any time.
    void cancelBankFetch();
    // F0 43 2n 7E "PK  2203VM" F7 with the low 4 bits of the channel: the one place
    // the bank request leaves.
    bool sendBankRequest();

    // ---- sending a whole bank ----
    // Queues the bank message's 17 blocks (F0 43 0n 7E with block 1, blocks 2..16,
    // block 17 with F7) behind whatever was queued before; the sender puts each on the
    // wire whole and starts the next no sooner than bankBlockGapMs (and 15 ms
    // more) after the end of its wire time, the synthesiser's receive
    // needing that pause. Returns at once; false when no output port is open, a bank
    // send is under way, or the message is no bank of the right length. The channel
    // is whatever the message's header carries.
    bool startBankSend(const std::vector<uint8_t>& bankMessage);
    using BankSendProgress = TBankSendProgress;
    // Polled by the owner. Before any bank send: no block sent, nothing set.
    BankSendProgress bankSendProgress() const;
    // Stops between blocks: a block already on the wire finishes, nothing after it goes
    // out. Once that block is out, progress says done and cancelled with blocksSent =
    // the blocks that went out. Nothing happens when no bank send is under way.
    void cancelBankSend();

    struct Impl;   // the platform layer's state
private:
    // The callback's share of a bank fetch (MIDI service's thread).
    void takeBankPiece(const uint8_t* piece, size_t size);
    // Tells events what sending threw since the last call, if anything.
    void reportSendFault();

    std::unique_ptr<Impl> impl;
    int channel = 0;
    // Who may touch bankBuffer: idle (no fetch), listening (the callback may claim it),
    // filling (the callback is copying a piece), complete (the UI thread owns it).
    std::atomic<int> bankState{0};
    std::atomic<size_t> bankLength{0};
    std::atomic<bool> bankOverflow{false};
    mutable std::atomic<int64_t> bankLastActivity{0};   // steady clock, nanoseconds
    bool bankStarted = false;                           // callback's own: an F0 of a bank came
    // The input's byte count as the fetch began and as last seen: a message still
    // coming in shows there before the callback gets it whole.
    unsigned long bankInputStart = 0;
    mutable unsigned long bankInputSeen = 0;
    std::vector<uint8_t> bankBuffer;
    // Shared with the input callback. Who may fill receiveBuffer: idle (no fetch),
    // waiting (a fetch is armed), filling (the callback has claimed the buffer and is
    // copying); dumpArrived once the copy is whole.
    std::atomic<int> receiveState{0};
    std::atomic<bool> dumpArrived{false};
    uint8_t receiveBuffer[dumpSize] = {};
    unsigned long requestSerial = 0;
};

// The longest bank message the fetch takes in (a bank is about 38 KB).
constexpr size_t bankCapacity = 64 * 1024;
// Seconds a bank fetch waits for the first piece, and for each next one, before it
// counts as unanswered or stalled.
constexpr double bankAnswerSeconds = 4.0;
constexpr double bankStallSeconds = 3.0;
