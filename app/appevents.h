// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's answers to what the MIDI transport and the voice file object must tell
// the user: the message dialogs, the editors' reload, the send after a load.
#pragma once

#include "library/fileio.h"
#include "midi/midiport.h"

class TAppMIDIEvents : public TMIDIPortEvents {
public:
    void openError(const std::string& text) override;
    void noData() override;
    void voiceReceived() override;
    // While getVoice waits the windows keep painted, with a busy cursor; input waits.
    void waitStarted() override;
    void waitTick() override;
    void waitEnded() override;
    void sendError(const std::string& text) override;
};

class TAppFileEvents : public TFileIOEvents {
public:
    void invalidFile() override;
    void saveError(const std::string& reason) override;
    void sendVoice() override;
};

extern TAppMIDIEvents appMIDIEvents;
extern TAppFileEvents appFileEvents;
