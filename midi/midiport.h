// The MIDI transport: device lists, the two ports, sending the voice and fetching
// the synthesiser's voice. One object for the whole run (midiPort).
//
// The transfers know nothing of windows: what the user must be told goes through
// TMIDIPortEvents, which the editor answers with its dialogs and the command-line
// tool with a line on standard error.
#pragma once

#include <atomic>
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
    std::string inDeviceName(int n) const;    // at most 32 characters
    std::string outDeviceName(int n) const;

    void openPorts(int inDevice, int outDevice);
    void closePorts();

    // Encodes voice, ORs the low 4 bits of settings.midiChannel into byte 2 and sends
    // the dump; returns once the port has sent all of it. False when nothing was sent.
    bool sendVoice();
    bool sendDumpRequest();
    // Sends the request and waits at most about two seconds for a voice dump. True
    // when one arrived and was decoded into voice.
    bool getVoice();

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
};

// The process-wide transport, created at start-up.
extern TMIDIPort* midiPort;
