// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's answers to what the MIDI transport and the voice file object must tell
// the user: the message dialogs, the editors' reload, the send after a load.
#pragma once

#include "library/fileio.h"
#include "midi/midiport.h"

class TAppMIDIEvents : public TMIDIPortEvents {
public:
    void openError(const std::string& text) override;
    void sendError(const std::string& text) override;
    // What a voice fetch ends in: the synthesiser said nothing ("No data"), or its
    // voice has been decoded into the voice record: the editors reload (AWM, FM,
    // vector, voice common, in that order), then the arrival is acknowledged.
    void noData();
    void voiceReceived();
};

class TAppFileEvents : public TFileIOEvents {
public:
    void invalidFile() override;
    void saveError(const std::string& reason) override;
    void sendVoice() override;
};

extern TAppMIDIEvents appMIDIEvents;
extern TAppFileEvents appFileEvents;
