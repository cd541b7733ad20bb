// SPDX-License-Identifier: GPL-3.0-or-later
// "Select MIDI Devices": the input and output device and the MIDI channel. Every pick
// takes effect at once; there is no Cancel, so "&Okay" and the close box are alike.
#pragma once

#include <QDialog>

class QComboBox;
class QListWidget;
class QPushButton;
class TMIDIPort;
class TSYProtocol;
class TSettings;

class TSetDevices : public QDialog {
    Q_OBJECT
public:
    // port and protocol may be null (no transport): the lists stay empty.
    TSetDevices(TMIDIPort* port, TSYProtocol* protocol, TSettings& settings, QWidget* parent = nullptr);

    // Fills the lists from the MIDI transport's device tables and selects what the
    // settings say. A channel outside 1..16 shows as the channel messages really go
    // out on (its low 4 bits), without changing the setting.
    void fillDeviceLists();
    // "Refresh": lists the devices again and opens the chosen ones anew, found by their
    // names wherever they stand in the new lists. A chosen device that is gone is
    // reported by its name and nothing is opened in its place.
    void bRefreshClick();

    void selectInputDevice();
    void selectOutputDevice();
    void setMIDIChannel();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* lbInputs;
    QListWidget* lbOutputs;
    QComboBox* cbMIDIChannel;
    QPushButton* bOkay;
    QPushButton* bRefresh;
    TMIDIPort* midiPort;
    TSYProtocol* protocol;
    TSettings& settings;
    // A click on the entry already selected picks it again (say, to retry a device
    // that could not be opened): a click counts as a pick when it did not change the
    // selection itself.
    int selectionChanges = 0;
    int selectionChangesAtPress = 0;
};

// Opens the ports of the settings. A device the settings name is looked for by its
// name (the system may number it otherwise this time); one that is missing is reported
// by its name, its number becomes -1 and nothing is opened in its place. A device
// without a name (older settings) opens by its number, and keeps that device's name
// from then on. The ports are closed first.
void openSettingsDevices(TMIDIPort* port, TSettings& settings);
