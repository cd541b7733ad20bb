// SPDX-License-Identifier: GPL-3.0-or-later
// The main window, the library window: the voice library listed by name and filtered
// by sixteen sound categories, the library's commands, and the menus, where it hosts
// the run's verbs and windows too. Closing it ends the program.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/menuentry.h"

class QCheckBox;
class QLabel;
class QTimer;
class QMenu;
class QPushButton;
class TEditCommands;
class TFileIO;
class TLibraryCommands;
class TLibraryList;
class TMIDIPort;
class TSettings;
class TVoiceDocument;
struct TTarvik;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Lists the library of run and loads and sends its first voice.
    explicit TMainForm(TTarvik& run, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Lays out the menus: the library's own commands and, in their places, the entries
    // hosted for the run's verbs and windows.
    void buildMenus(const std::vector<TMenuEntry>& hosted);
    // Asked before the window closes (and the program ends): false keeps it open.
    std::function<bool()> mayLeave;
    // A whole bank received by "Get all voices" becomes the current bank there: ""
    // when it did, else why not.
    void setBankKeeper(std::function<std::string(const std::vector<uint8_t>& bank)> keeper);
    // Asked before "Get all voices" replaces the current bank: false leaves it.
    void setBankGuard(std::function<bool(const QString& caption)> guard);
    // The Bank window's "Get": the synthesiser's bank, without the library.
    void getBank(QWidget& over);
    // The library records chosen in the list, in list order.
    std::vector<int32_t> chosenRecords() const;

    // Record n of the library becomes the voice being edited: one undo step, and it
    // goes to the synthesiser whatever auto-send says (unless send is false); false
    // (nothing changes) when the library does not hold it whole and well.
    bool loadRecord(int32_t n, bool send = true);
    // Imports files into the library, as "Import voices..." does once they are chosen.
    void importFiles(const QStringList& paths);
    // Lists the library again when another program changed it, keeping the chosen
    // voices chosen. True when it changed. Runs when the program regains the focus and
    // before every library command.
    bool syncLibrary();

    // What the list shows: the categories ticked (bit n: category n), the voices in the
    // library and the rows listed.
    uint32_t filterMask() const;
    int32_t voiceCount() const;
    int32_t rowCount() const;

    // Looks at the synthesiser's devices (a second's timer does it too): one that went
    // away is named, with its state, on a line at the window's foot until it is back
    // and connected again.
    void watchDevices();
    // That line's text; empty while it is hidden.
    QString deviceLine() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    QWidget* buildClient();
    QWidget* buildPanel(QWidget* client);
    void buildAudition(QWidget* client);
    void buildAutoSend(QWidget* client);
    void watchList();
    bool listKey(QKeyEvent* key, bool press);
    bool listViewportEvent(QEvent* event);
    void extractVoice();
    // Sends the voice of the row to be heard, when "Audition" is ticked.
    void auditionRow(int row);

    TSettings& settings;
    TVoiceDocument& document;
    TEditCommands& commands;
    TMIDIPort* midiPort;
    TFileIO* fileIO;

    TLibraryList* list = nullptr;
    TLibraryCommands* library = nullptr;
    QPushButton* bAutoSend;
    QPushButton* bNoAutoSend;
    // Ticked: a voice clicked in the list, or reached with the arrow keys, is sent to
    // the synthesiser to be heard, without becoming the voice being edited.
    QCheckBox* cbAudition;
    QLabel* imNameStrip;
    QLabel* lVersion;
    QLabel* lSendOnChange;
    QWidget* pnDatabase;
    QLabel* lDevice = nullptr;
    QTimer* deviceTimer = nullptr;
    void showDeviceLine(const QString& text);
    QMenu *FileMenu = nullptr, *EditMenu = nullptr, *MidiMenu = nullptr;
    bool pressing = false;   // a mouse button went down in the list
};
