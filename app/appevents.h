// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's answers to what the MIDI transport and the voice file object must tell
// the user: the message dialogs.
#pragma once

#include "library/fileio.h"
#include "midi/midiport.h"

struct TTarvik;

class TAppMIDIEvents : public TMIDIPortEvents {
public:
    explicit TAppMIDIEvents(TTarvik& run) : run(run) {}
    void openError(const std::string& text) override;
    void sendError(const std::string& text) override;

private:
    TTarvik& run;
};

class TAppFileEvents : public TFileIOEvents {
public:
    explicit TAppFileEvents(TTarvik& run) : run(run) {}
    void invalidFile() override;
    void saveError(const std::string& reason) override;

private:
    TTarvik& run;
};
