// SPDX-License-Identifier: GPL-3.0-or-later
// The synthesiser's side of the conversation, above the transport (midi/midiport.h):
// the voice dump with the channel in byte 2, the test note, the dump and bank requests,
// taking in the voice or bank the synthesiser answers with, and sending a whole bank
// in the blocks and pauses its receive needs. One object for the whole run, beside its
// port, which must outlive it; it listens to the port's input from its construction to
// its destruction. Its methods are called from the owner's thread, as the port's are.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "midi/midiport.h"
#include "voice/dumpcodec.h"
#include "voice/sysex.h"

// The longest bank message the fetch takes in (a bank is about 38 KB).
constexpr size_t bankCapacity = 64 * 1024;
// Seconds a bank fetch waits for the first piece, and for each next one, before it
// counts as unanswered or stalled.
constexpr double bankAnswerSeconds = 4.0;
constexpr double bankStallSeconds = 3.0;

class TSYProtocol : public TMIDIInputListener {
public:
    explicit TSYProtocol(TMIDIPort& port);
    ~TSYProtocol() override;
    TSYProtocol(const TSYProtocol&) = delete;
    TSYProtocol& operator=(const TSYProtocol&) = delete;

    TMIDIPort& port() { return transport; }

    // The MIDI channel (0..15 = channel 1..16) the voice, the note and the requests go
    // out on; only its low 4 bits are used. The owner sets it from its settings.
    void setChannel(int midiChannel) { channel = midiChannel; }
    int currentChannel() const { return channel; }

    // Encodes v, ORs the low 4 bits of the channel into byte 2 and queues the dump as
    // the port's replaceable dump; returns at once. False when no output port is open.
    bool sendVoice(const Voice& v);
    // The test note: note on (middle C, velocity 100) or its note off on the low 4
    // bits of the channel, queued like any other message.
    bool sendNote(bool on);
    // Queues the 15-byte dump request with the low 4 bits of the channel in byte 2.
    bool sendDumpRequest();
    // F0 43 2n 7E "PK  2203VM" F7 with the low 4 bits of the channel: the one place
    // the bank request leaves.
    bool sendBankRequest();

    // ---- fetching the synthesiser's edit voice ----
    // Nothing here waits: a fetch object polls (midi/fetch.h). startVoiceFetch arms
    // the input for a voice dump (on any channel; other messages are passed over) and
    // queues the dump request after the voice waiting to be sent. False when the
    // request could not be queued; the input is armed all the same.
    bool startVoiceFetch();
    struct VoiceFetchProgress {
        bool requestOut = false;   // the request is on the wire (or was never queued)
        bool arrived = false;      // a dump is in: takeVoice hands it over
    };
    VoiceFetchProgress voiceFetchProgress() const;
    // Copies the dump that came and ends the fetch. False while none came.
    bool takeVoice(std::array<uint8_t, dumpSize>& dump);
    // Ends the fetch: a dump that comes later is passed over; one whose copy the
    // input has begun is waited for (a moment) and handed over. False when none came.
    bool finishVoiceFetch(std::array<uint8_t, dumpSize>& dump);
    // The same, dropping what came. Safe at any time.
    void cancelVoiceFetch();

    // ---- fetching the synthesiser's whole bank ----
    // Nothing here waits: the fetch object (midi/fetch.h) polls bankProgress from a
    // timer and decides when the synthesiser has said nothing for too long. The input
    // gathers the answer into a buffer made once, whether it comes as one message or,
    // as through a real interface, in pieces.
    struct BankProgress {
        size_t received = 0;      // bytes come in since the request (the bank's, mostly)
        bool complete = false;    // the whole message is in: takeBank hands it over
        bool overflow = false;    // longer than any bank: the fetch is lost
        double idleSeconds = 0;   // since the last piece came in (or the request left)
    };
    // Arms the input and sends the bank request. False when the request could not be
    // sent; then no fetch is under way.
    bool startBankFetch();
    BankProgress bankProgress() const;
    // Moves the complete bank message (F0 ... F7, as received) into bank and ends the
    // fetch. False while it is not complete.
    bool takeBank(std::vector<uint8_t>& bank);
    // Ends the fetch; whatever came in is dropped. Safe to call at any time.
    void cancelBankFetch();

    // ---- sending a whole bank ----
    // Queues the bank message's 17 blocks (F0 43 0n 7E with block 1, blocks 2..16,
    // block 17 with F7) behind whatever was queued before, as the port's paced send:
    // each block starts no sooner than bankBlockGapMs (and 15 ms more) after the end
    // of the one before's wire time, the synthesiser's receive needing that pause.
    // Returns at once; false when no output port is open, a bank send is under way, or
    // the message is no bank of the right length. The channel is whatever the
    // message's header carries.
    bool startBankSend(const std::vector<uint8_t>& bankMessage);
    using BankSendProgress = TBankSendProgress;
    // Polled by the owner. Before any bank send: no block sent, nothing set.
    BankSendProgress bankSendProgress() const;
    // Stops between blocks: a block already on the wire finishes, nothing after it goes
    // out. Once that block is out, progress says done and cancelled with blocksSent =
    // the blocks that went out. Nothing happens when no bank send is under way.
    void cancelBankSend();

private:
    // On the MIDI service's thread: copies a voice dump into the receive buffer while
    // a voice fetch is armed, and gathers a bank while a bank fetch is. Never decodes,
    // allocates or touches a window.
    void received(const uint8_t* message, size_t size) override;
    // The input's share of a bank fetch (MIDI service's thread).
    void takeBankPiece(const uint8_t* piece, size_t size);

    TMIDIPort& transport;
    int channel = 0;
    // Who may touch bankBuffer: idle (no fetch), listening (the input may claim it),
    // filling (the input is copying a piece), complete (the owner's thread owns it).
    std::atomic<int> bankState{0};
    std::atomic<size_t> bankLength{0};
    std::atomic<bool> bankOverflow{false};
    mutable std::atomic<int64_t> bankLastActivity{0};   // steady clock, nanoseconds
    bool bankStarted = false;                           // the input's own: an F0 of a bank came
    // The input's byte count as the fetch began and as last seen: a message still
    // coming in shows there before the input gets it whole.
    unsigned long bankInputStart = 0;
    mutable unsigned long bankInputSeen = 0;
    std::vector<uint8_t> bankBuffer;
    // Shared with the input. Who may fill receiveBuffer: idle (no fetch), waiting (a
    // fetch is armed), filling (the input has claimed the buffer and is copying);
    // dumpArrived once the copy is whole.
    std::atomic<int> receiveState{0};
    std::atomic<bool> dumpArrived{false};
    uint8_t receiveBuffer[dumpSize] = {};
    unsigned long requestSerial = 0;   // the dump request's place in the port's queue
};
