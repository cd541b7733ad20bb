// SPDX-License-Identifier: GPL-3.0-or-later
// A command that the main window hosts in its menus for someone else (the run's verbs,
// the window list): where it stands, what it is called and what it does. The main
// window makes the action, with the object name given, and lays the places out in
// its menus; within a place, entries keep the order they are handed over in.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>

class QAction;

enum class TMenuPlace {
    fileVoice,     // File, first: the voice's own files
    fileBank,      // File, before "Exit": the bank's files (a separator follows)
    fileExit,      // File, last
    editWindows,   // Edit, first: the windows that edit
    editHistory,   // Edit, after the separator: undo and its kin
    midiDevices,   // MIDI, first
    midiVoice,     // MIDI, after the devices
    midiBank,      // MIDI, after "Get all voices from synth..."
    bar,           // in the menu bar itself, after the menus: acts when chosen
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
