// SPDX-License-Identifier: GPL-3.0-or-later
// Everything one run of the editor owns, made by start-up in its order and taken down
// in the reverse one: the settings, the voice being edited, the MIDI transport and the
// sender that follows the voice, the voice file object, and the windows (the main
// window owns the editors and the dialogs it opens).
#pragma once

#include <memory>

#include "app/appevents.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "document/autosender.h"
#include "document/voicedocument.h"
#include "editors/editcommands.h"
#include "library/fileio.h"
#include "midi/midiport.h"
#include "midi/syprotocol.h"
#include "settings/settings.h"

struct TTarvik {
    TTarvik() = default;
    TTarvik(const TTarvik&) = delete;
    TTarvik& operator=(const TTarvik&) = delete;

    TSettings settings;
    TVoiceDocument document;
    TAppMIDIEvents midiEvents{*this};
    TAppFileEvents fileEvents{*this};
    // Made before any port opens: an open error is told through it.
    std::unique_ptr<TMIDIOpenError> openErrorDialog;
    std::unique_ptr<TMIDIPort> port;
    std::unique_ptr<TSYProtocol> protocol;   // the synthesiser's requests and sends, on the port
    std::unique_ptr<TAutoSender> sender;
    std::unique_ptr<TFileIO> fileIO;
    std::unique_ptr<TEditCommands> commands;
    std::unique_ptr<TMainForm> mainForm;
};
