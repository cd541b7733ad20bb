// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the voice library listed by name and filtered by sixteen sound
// categories, and the menu of every command. Closing it ends the program.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

#include "library/fileio.h"
#include "library/voiceimport.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class TAWMEdit;
class TAboutTarvik;
class TBankWindow;
class TDataReceivedForm;
class TEditCommands;
class TFMEdit;
class TInvFile;
class TMIDIFetch;
class TMIDIPort;
class TSYProtocol;
class TOverwriteDlg;
class TSaveErrDlg;
class TSetDevices;
class TSettings;
class TVectorEdit;
class TVoiceCommonEdit;
class TVoiceDocument;
class TVoiceListView;
class TnoMIDIData;
struct TTarvik;
struct Voice;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Lists the library of run and loads and sends its first voice.
    explicit TMainForm(TTarvik& run, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Makes the windows the main window owns, in start-up's order: the device dialog,
    // the four editors, the about box and the message dialogs.
    void createWindows();

    // What the run gives the main window: the settings, the voice being edited, the
    // editors' commands, the transport and the voice file object.
    TSettings& settings;
    TVoiceDocument& document;
    Voice& voice;
    TEditCommands& commands;
    TMIDIPort* midiPort;
    TSYProtocol* protocol;
    TFileIO* fileIO;

    std::unique_ptr<TSetDevices> SetDevices;
    std::unique_ptr<TAWMEdit> AWMEdit;
    std::unique_ptr<TFMEdit> FMEdit;
    std::unique_ptr<TVoiceCommonEdit> VoiceCommonEdit;
    std::unique_ptr<TVectorEdit> VectorEdit;
    std::unique_ptr<TAboutTarvik> AboutTarvik;
    std::unique_ptr<TInvFile> InvFile;
    std::unique_ptr<TSaveErrDlg> SaveErrDlg;
    std::unique_ptr<TOverwriteDlg> OverwriteDlg;
    std::unique_ptr<TnoMIDIData> noMIDIData;
    std::unique_ptr<TDataReceivedForm> DataReceivedForm;

    // A dump loaded from a file, the library or the bank becomes the voice being
    // edited: one undo step, and it goes to the synthesiser whatever auto-send says.
    void loadDump(const uint8_t* dump);
    // Record n of the library, loaded so; false (nothing changes) when the library
    // does not hold it whole and well.
    bool loadRecord(int32_t n);

    // "Get voice" (menu and editors alike): starts fetching the synthesiser's voice;
    // the answer comes later, through the fetch object. False when it did not start.
    bool fetchVoice();

    // Library list, the name search beside it and the count of listed voices.
    TVoiceListView* dbListBox;
    QLineEdit* edSearch;
    QLabel* lListed;
    // The category boxes, indexed by their bit in a record's category mask.
    QCheckBox* categoryBox[16];
    QCheckBox *cbStrings, *cbBrass, *cbWoodwind, *cbPercussion, *cbPlucked, *cbPad, *cbSolo, *cbSynthetic,
        *cbBass, *cbVocal, *cbPiano, *cbOrgan, *cbKeyboard, *cbMusicalFX, *cbUntunedFX, *cbRealistic;
    QPushButton* bAutoSend;
    QPushButton* bNoAutoSend;
    // Ticked: a voice clicked in the list, or reached with the arrow keys, is sent to
    // the synthesiser to be heard, without becoming the voice being edited.
    QCheckBox* cbAudition;
    QLabel* imNameStrip;
    QLabel* lVersion;
    QLabel* lSendOnChange;
    QGroupBox* gbDatabase;
    QWidget* pnDatabase;

    // Menu entries.
    QAction *LoadVoice, *SaveVoice, *ModifyVoice, *AddVoice, *Exit;
    QAction *ImportVoices, *ExportListed, *ExportVoice, *RenameVoice, *DeleteVoice, *MoveUp, *MoveDown,
        *Categories, *GetAllVoices;
    QMenu* ListMenu;   // the list's context menu: the entry's housekeeping
    QAction *ElementsAC, *ElementsBD, *VoiceCommon, *Vectors;
    QAction *Undo, *Redo, *Compare, *Mutate;
    QAction *SelectMidiDevices, *GetVoiceFromSynth, *About;
    QAction *OpenBank, *SaveBank, *ShowBank, *ShowMultis, *SendBank;
    QMenu *FileMenu, *EditMenu, *MidiMenu;

    QFileDialog* fileOpenDlg;
    QFileDialog* fileSaveDlg;
    QFileDialog* fileImportDlg;
    QFileDialog* fileExportDlg;

    // Handlers, one per command.
    void LoadVoiceClick();
    void SaveVoiceClick();
    void ModifyVoiceClick();
    void AddVoiceClick();
    void ExitClick();
    void ElementsACClick();
    void ElementsBDClick();
    void VoiceCommonClick();
    void VectorsClick();
    void SelectMidiDevicesClick();
    void GetVoiceFromSynthClick();
    void AboutClick();
    void UndoClick();
    void RedoClick();
    void CompareClick();
    void MutateClick();
    void ImportVoicesClick();
    void ExportListedClick();
    void ExportVoiceClick();
    void RenameVoiceClick();
    void DeleteVoiceClick();
    void MoveUpClick();
    void MoveDownClick();
    void CategoriesClick();
    void GetAllVoicesClick();
    void searchChange();
    // Asks for the categories (and whether duplicates stay), then imports the files
    // with a progress dialog and shows the summary. The menu command and a drop on
    // the list end up here.
    void importFiles(const QStringList& paths);
    void bAutoSendClick();
    void bNoAutoSendClick();
    void changeFilter(QCheckBox* sender);
    void extractVoice();
    void extractVoiceOnKey(int key);
    // Sends the voice of the row to be heard, when "Audition" is ticked.
    void auditionRow(int row);
    // Leaving with a voice changed since it was last loaded, fetched or saved asks
    // first ("Save", "Exit anyway", "Cancel"). True when the program may end.
    bool confirmLeaving();

    static bool matchesFilter(uint32_t mask, uint32_t filter);

    // The Bank window, made at first use: it holds the current bank and its multis.
    TBankWindow* bankWindow();

    uint32_t filterMask = 0;
    int32_t voiceCount = 0;
    std::vector<int32_t> rowRecord;
    int32_t rowCount = 0;
    // Every record's mask and name, read again only when the file changed.
    LibraryListing listing;
    std::shared_ptr<const std::vector<char>> listingNames;
    std::shared_ptr<const std::vector<uint8_t>> listingDamaged;

    // Lists the library again when another program changed it (an append, an edit
    // or a rewrite), keeping the chosen voices chosen by what they are, not by where
    // they stood. True when it changed. Runs when the program regains the focus and
    // before every library command.
    // found, when given, gets where each voice chosen before stands now (-1: gone).
    bool syncLibrary(std::vector<int32_t>* found = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs a file dialog in the folder last used by any of them; the folder it ended
    // in is remembered (and kept in the settings), proposed (when given) is the name
    // offered. True when accepted with a file.
    bool runFileDialog(QFileDialog* dialog, const QString& proposed = QString());
    // "Load voice" on a file of several voices (a bank, a MIDI file): offers to import
    // them or to load the first. False when the file is no such file.
    bool offerManyVoices(const QString& path);
    // After records were appended from firstNew on: lists them (lifting a filter that
    // would hide them) and selects them.
    void showNewRecords(int32_t firstNew);
    // Selects the listed rows of these records, current the row of current (else the
    // first of them). False when none of them is listed.
    bool selectRecords(const std::vector<int32_t>& records, int32_t current);
    // The records the user chose last, kept while a filter hides them so that they
    // are chosen again when it is lifted.
    std::vector<int32_t> chosenRecords;
    int32_t chosenCurrent = -1;
    bool refilling = false;
    bool pressing = false;   // a mouse button went down in the list
    // Rebuilds the list. Unless keepChoice, row 0 is selected afterwards. With it,
    // record keepRecord stays selected while it is listed; when it is not (or is -1)
    // nothing is selected, and "Modify" waits until the user chooses a row.
    void fillList(int32_t keepRecord = -1, bool keepChoice = false);
    // The record of the selected row, or -1.
    int32_t selectedRecord() const;
    // The record of the only selected row (-1 unless exactly one), and the records of
    // every selected row in list order.
    int32_t singleRecord() const;
    std::vector<int32_t> selectedRecords() const;
    void recount();
    void stabilizeForm();
    void showSummary(const ImportSummary& summary, const QString& caption, const QString& note = QString());
    // Tells how many voices an export wrote, and of damaged ones it left out.
    void exported(bool ok, size_t voices, const QString& path, const QString& caption);
    // Another program changed the library at every try.
    void keptChanging(const QString& caption);
    void moveSelected(int step);
    void buildMenus();
    void buildBankMenus();
    void buildControls();
    void showHistory();
    // The identities of records as listed, and where voices of those identities
    // stand in the list now (nearest their old places; -1 where gone).
    std::vector<uint64_t> listedHashes(const std::vector<int32_t>& records) const;
    std::vector<int32_t> findListed(const std::vector<uint64_t>& hashes,
                                    const std::vector<int32_t>& near) const;
    // Before a command on the chosen voices: the library as it is now. False (and
    // the user told which) when a chosen voice is no longer in it.
    bool chosenStillThere(const QString& caption);
    TBankWindow* BankWindow = nullptr;
    // Fetches from the synthesiser (voice and bank); null without a transport.
    TMIDIFetch* fetch = nullptr;
    bool fetchingVoice = false;
    void voiceFetchEnded();
};
