// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and shutdown of the editor. main() makes the application object and hands
// over to runTarvik(); the tests call the steps one by one in a scratch directory.
#pragma once

#include <QApplication>
#include <string>

// The application object: a toolkit exception escaping an event handler is shown in
// the standard error report and ends the event loop; shutdown follows.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an exception in the standard error report.
void showException(const char* what);

// Steps 1 to 6: settings, the MIDI open error dialog, the MIDI transport and its
// ports, the voice reset, the voice file object.
void createObjects();
// Steps 7 to 11: the application's title, every window in its order, the device
// lists, the device dialog on a first run, the editors brought in line.
void createWindows();
// Step 12: shows the main window and runs the event loop until it closes.
void runEventLoop();
// Closes the ports and writes the settings file.
void shutDown();
// The whole run: createObjects, then createWindows and the loop under one exception
// handler, then shutDown. Returns 0.
int runTarvik();
// The editor's own data folder for a start from the desktop: $XDG_DATA_HOME/tarvik,
// or ~/.local/share/tarvik when XDG_DATA_HOME is unset or not an absolute path.
std::string dataFolder();
// Makes the data folder (and its parents) when missing and makes it the working
// directory. False, with the reason in error, when it cannot be made or entered.
bool enterDataFolder(std::string& folder, std::string& error);

// Releases every window and process-wide object (after shutDown, or between tests).
void releaseAll();
