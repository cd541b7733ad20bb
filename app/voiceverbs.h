// SPDX-License-Identifier: GPL-3.0-or-later
// The run's commands on the voice being edited that are not about the library: load
// and save a .SYX voice, get the voice from the synthesiser (the busy cursor and the
// "MIDI dump received" / "No data received" messages), undo, redo, compare, mutate,
// and leaving the program (asking first when the voice has unsaved changes). The main
// window hosts their menu entries; their dialogs sit on it.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "app/menuentry.h"

class QAction;
class QFileDialog;
class QWidget;
class TDataReceivedForm;
class TnoMIDIData;
struct TTarvik;

class TVoiceVerbs : public QObject {
    Q_OBJECT
public:
    // window: the main window, which the dialogs belong to and "Exit" closes.
    TVoiceVerbs(TTarvik& run, QWidget& window);
    ~TVoiceVerbs() override;

    std::vector<TMenuEntry> menuEntries();

    void loadVoice();
    void saveVoice();
    // "Get voice" (menu and editors alike): starts fetching the synthesiser's voice;
    // the answer comes later. False when it did not start.
    bool fetchVoice();
    // Leaving with a voice changed since it was last loaded, fetched or saved asks
    // first ("Save", "Exit anyway", "Cancel"). True when the program may end.
    bool confirmLeaving();

    // "Load voice" on a file of several voices offers to import them: the library's.
    std::function<void(const QStringList& paths)> importFiles;

private:
    QFileDialog* fileOpenDlg;
    QFileDialog* fileSaveDlg;
    std::unique_ptr<TnoMIDIData> noMIDIData;
    std::unique_ptr<TDataReceivedForm> DataReceivedForm;
    // A file of several voices (a bank, a MIDI file): offers to import them or to load
    // the first. False when the file is no such file.
    bool offerManyVoices(const QString& path);
    // A file holding a TG33 single dump: loaded converted (one undo step), and what the
    // conversion could not carry told. False when the file holds none.
    bool loadTG33Voice(const QString& path);
    void fetchEnded();
    void showHistory();

    TTarvik& run;
    QWidget& window;
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* compare = nullptr;
    bool fetching = false;
};
