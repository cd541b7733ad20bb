// The MIDI transport: device lists, the two ports, sending the voice and fetching
// the synthesiser's voice. One object for the whole run (midiPort).
//
// The transfers know nothing of windows: what the user must be told goes through
// TMIDIPortEvents, which the editor answers with its dialogs and the command-line
// tool with a line on standard error.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TMIDIPortEvents {
public:
    virtual ~TMIDIPortEvents() = default;
    // A port could not be opened (or the input port not started); text is the
    // system's own error text. Called once per failing port, input first.
    virtual void openError(const std::string& text) = 0;
    // getVoice waited in vain.
    virtual void noData() = 0;
    // getVoice decoded a dump into voice: refresh the editors (AWM, FM, vector,
    // voice common, in that order), then acknowledge.
    virtual void voiceReceived() = 0;
};

class TMIDIPort {
public:
    TMIDIPort();            // enumerateDevices
    ~TMIDIPort();

    void enumerateDevices();
    std::string inDeviceName(int n) const;    // the full port name
    std::string outDeviceName(int n) const;

    // Opens the input port (with midiInCallback), then the output port; each failure
    // goes to events->openError, input first. A failed port stays closed.
    void openPorts(int inDevice, int outDevice);
    // One side alone, for callers that need only that side. True when it opened.
    bool openInput(int inDevice);
    bool openOutput(int outDevice);
    void closePorts();

    // Encodes voice, ORs the low 4 bits of settings.midiChannel into byte 2 and sends
    // the dump; returns once the port has sent all of it. False when nothing was sent.
    bool sendVoice();
    // The 15-byte dump request with the low 4 bits of the channel in byte 2.
    bool sendDumpRequest();
    // Sends the request and waits until the whole-second clock has advanced by 2
    // (1 to 2 seconds) for a voice dump. Only a voice dump counts as the answer; other
    // messages during the wait are passed over. True when one arrived and was decoded
    // into voice (then events->voiceReceived), else events->noData and voice unchanged.
    bool getVoice();

    // The input callback, on the MIDI service's thread: copies a voice dump into
    // receiveBuffer and sets dumpArrived, only while getVoice waits. Never decodes,
    // allocates or touches a window.
    static void midiInCallback(const uint8_t* message, size_t size, void* instance);

    int inCount = 0;
    int outCount = 0;

    // Every sendVoice call counts here, sent or not: tests watch it.
    unsigned long sendVoiceCalls = 0;

    TMIDIPortEvents* events = nullptr;

    // Shared with the input callback, which runs on the MIDI service's thread.
    uint8_t receiveBuffer[608] = {};
    std::atomic<bool> dumpArrived{false};

    struct Impl;            // the platform layer's state
private:
    Impl* impl = nullptr;
    // Who may fill receiveBuffer: idle (nobody waits), waiting (getVoice waits),
    // filling (the callback has claimed the buffer and is copying).
    std::atomic<int> receiveState{0};
};

// True for a voice bulk dump on any channel: 592 bytes, F0 43 0n 7E 04 48
// "PK  2203AE" ... F7. Nothing else (the checksum included) is looked at.
bool isVoiceDump(const uint8_t* message, size_t size);

// The process-wide transport, created at start-up.
extern TMIDIPort* midiPort;
