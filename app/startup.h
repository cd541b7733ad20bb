// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and shutdown of the editor. main() makes the application object and hands
// over to runTarvik(); the tests call the steps one by one in a scratch directory.
#pragma once

#include <QApplication>
#include <memory>
#include <string>

class TMIDIBackend;
struct TTarvik;

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

// Steps 1 to 6: settings, the MIDI open error dialog, the MIDI transport (on backend
// when given, else the platform's MIDI system) and its ports, the voice reset and its
// sender, the voice file object.
void createObjects(TTarvik& run, std::unique_ptr<TMIDIBackend> backend = nullptr);
// Steps 7 to 11: the application's title, every window in its order, the device
// lists, the device dialog on a first run, the editors brought in line.
void createWindows(TTarvik& run);
// Step 12: shows the main window and runs the event loop until it closes.
void runEventLoop(TTarvik& run);
// Closes the ports and writes the settings file.
void shutDown(TTarvik& run);
// The whole run: createObjects, then createWindows and the loop under one exception
// handler, then shutDown; everything is taken down as the run ends. Returns 0.
int runTarvik();
// The editor's own data folder for a start from the desktop: $XDG_DATA_HOME/tarvik,
// or ~/.local/share/tarvik when XDG_DATA_HOME is unset or not an absolute path.
std::string dataFolder();
// Makes the data folder (and its parents) when missing and makes it the working
// directory. False, with the reason in error, when it cannot be made or entered.
bool enterDataFolder(std::string& folder, std::string& error);
