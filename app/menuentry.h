// SPDX-License-Identifier: GPL-3.0-or-later
// A command that the main window lays out in its menus (the library's commands, the
// run's verbs, the window list): where it stands, what it is called and what it does.
// The main window makes the action, with the object name given, and lays the places
// out in its menus; within a place, entries keep the order they are handed over in.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>
#include <utility>

class QAction;

enum class TMenuPlace {
    fileVoice,      // File, first: the voice's own files
    fileRecord,     // File, after a separator: the voice into the library (modify, add)
    fileExchange,   // File, after a separator: the library's imports and exports
    fileEntry,      // File, after a separator: the library's entries (rename, move, delete)
    fileBank,       // File, before "Exit": the bank's files (a separator follows)
    fileExit,       // File, last
    editWindows,    // Edit, first: the windows that edit
    editHistory,    // Edit, after the separator: undo and its kin
    midiDevices,    // MIDI, first
    midiVoice,      // MIDI, after the devices
    midiLibrary,    // MIDI, after the voice: the synthesiser's voices into the library
    midiBank,       // MIDI, last
    bar,            // in the menu bar itself, after the menus: acts when chosen
};

struct TMenuEntry {
    TMenuPlace place;
    const char* name;   // the action's object name
    QString caption;
    QList<QKeySequence> shortcuts;
    std::function<void()> run;
    // Told the action once it is made, for an owner that keeps it up to date.
    std::function<void(QAction&)> made = {};
};

// A made that keeps the action in kept for its owner, then runs update (which shows
// the action's state).
inline std::function<void(QAction&)> keepAction(QAction*& kept, std::function<void()> update)
{
    return [&kept, update = std::move(update)](QAction& action) {
        kept = &action;
        update();
    };
}
