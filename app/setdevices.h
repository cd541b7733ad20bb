// "Select MIDI Devices": the input and output device and the MIDI channel. Every pick
// takes effect at once; there is no Cancel, so "&Okay" and the close box are alike.
#pragma once

#include <QDialog>

class QComboBox;
class QListWidget;
class QPushButton;

class TSetDevices : public QDialog {
    Q_OBJECT
public:
    explicit TSetDevices(QWidget* parent = nullptr);

    // Fills the lists from the MIDI transport's device tables and selects what the
    // settings say. Runs once per run: devices that come or go show after a restart.
    void fillDeviceLists();

    QListWidget* lbInputs;
    QListWidget* lbOutputs;
    QComboBox* cbMIDIChannel;
    QPushButton* BitBtn1;

    void selectInputDevice();
    void selectOutputDevice();
    void setMIDIChannel();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A click on the entry already selected picks it again (say, to retry a device
    // that could not be opened): a click counts as a pick when it did not change the
    // selection itself.
    int selectionChanges = 0;
    int selectionChangesAtPress = 0;
};

extern TSetDevices* SetDevices;
