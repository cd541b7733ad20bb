// SPDX-License-Identifier: GPL-3.0-or-later
// Everything one run of the editor owns, made by start-up in its order and taken down
// in the reverse one: the settings, the voice being edited, the MIDI transport and the
// sender that follows the voice, the voice file object, the fetch of the voice, the
// library window, the run's commands on the voice and the list of the other windows.
#pragma once

#include <QString>
#include <memory>

#include "app/appevents.h"
#include "document/voicedocument.h"
#include "settings/settings.h"

class TAutoSender;
class TEditCommands;
class TFileIO;
class TInvFile;
class TMIDIOpenError;
class TMIDIPort;
class TMainForm;
class TSaveErrDlg;
class TSYProtocol;
class TVoiceFetch;
class TVoiceVerbs;
class TWindowList;

struct TTarvik {
    TTarvik();
    ~TTarvik();
    TTarvik(const TTarvik&) = delete;
    TTarvik& operator=(const TTarvik&) = delete;

    // A window other than the library window wrote to the library: the list shows
    // the library as it is now.
    void libraryChanged();
    // Before a command that talks to the synthesiser (its caption: "Send voice"): when
    // the MIDI output (and, for one that waits for an answer, the input) is not open,
    // says "no MIDI device is open" over parent and offers the device dialog. True
    // when the ports the command needs are open (also once the dialog opened them).
    bool synthReachable(QWidget* parent, const QString& caption, bool answered);

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
    // What the file object tells the user: a file that is no voice, a failed save.
    std::unique_ptr<TInvFile> InvFile;
    std::unique_ptr<TSaveErrDlg> SaveErrDlg;
    std::unique_ptr<TVoiceFetch> voiceFetch;
    std::unique_ptr<TEditCommands> commands;
    std::unique_ptr<TMainForm> mainForm;
    // Taken down before the main window: their dialogs and windows sit on it.
    std::unique_ptr<TVoiceVerbs> verbs;
    std::unique_ptr<TWindowList> windows;
};
