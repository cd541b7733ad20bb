// SPDX-License-Identifier: GPL-3.0-or-later
// The Bank window: the current bank's 64 internal voices I01..I64 by name, filled from
// a bank file, from the synthesiser ("Get all voices from synth...") or new; voices
// dropped in from the library list, slots swapped or moved by dragging; the bank
// saved to a .SYX file or sent to the synthesiser, block by block, with a progress bar
// that Cancel stops between blocks. It owns the current bank; the run's window list
// owns it (and the Multi editor over the bank's multis). Caption "Tarvik - Bank".
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "voice/bank.h"

class QCheckBox;
class QFileDialog;
class QLabel;
class QMenu;
class QProgressDialog;
class QPushButton;
class QTimer;
class TBankDocument;
class TBankWriteDialog;
class TFileIO;
class TMIDIFetch;
class TSYProtocol;
class TSettings;
struct LibraryListing;
class TVoiceDocument;

// The dragged slot of the Bank window's list (its number 0..63, decimal).
inline constexpr char bankSlotMimeType[] = "application/x-tarvik-bank-slot";

// The 64 slots as rows: "I01  name".
class TBankSlots : public QAbstractListModel {
    Q_OBJECT
public:
    TBankSlots(const TBankDocument* document, QObject* parent);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    void reload();

private:
    const TBankDocument* document;
};

// The slots in four columns of sixteen. A drop on a slot reports what came: library
// records, or another slot (with Shift held: moved there rather than swapped); a
// double-click or Enter on a slot reports it too.
class TBankSlotView : public QListView {
    Q_OBJECT
public:
    explicit TBankSlotView(QWidget* parent = nullptr);
    // The slot under a point of the viewport, or -1.
    int slotAt(const QPoint& point) const;

signals:
    // hashes and names: each record's as the library list showed it (0 and "" when the
    // drag did not say).
    void recordsDropped(int slot, const std::vector<int32_t>& records, const std::vector<uint64_t>& hashes,
                        const QStringList& names);
    void slotDropped(int from, int to, bool move);
    void slotDoubleClicked(int slot);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool acceptable(const QDropEvent* event) const;
};

// The current bank as the last run left it, beside the settings file.
inline constexpr char keptBankFileName[] = "BANK.SYX";

// The name of slot s as the lists show it ("I07").
QString slotName(int slot);
// The voice name a dump carries, blanks for bytes that are not plain text.
QString dumpVoiceName(const VoiceDump& dump);

class TBankWindow : public QWidget {
    Q_OBJECT
public:
    // What the window works with, all of it the run's: the voice a slot loads into,
    // the transport a bank goes out through (null: none), the library records dropped
    // onto slots come from (null: none), the settings (the channel), and the commands
    // of its "Get" and "Multis..." buttons.
    struct Needs {
        TVoiceDocument& voice;
        TSYProtocol* protocol;
        TFileIO* fileIO;
        TSettings& settings;
        std::function<void()> getAllVoices = {};
        std::function<void()> showMultis = {};
        // The synthesiser's fetch object, for the read-back of a send and "What will
        // change" (null: a send is not verified).
        TMIDIFetch* fetch = nullptr;
        // The library records chosen in the library window, in list order.
        std::function<std::vector<int32_t>()> chosenRecords = {};
        // Before a send: false when the synthesiser cannot be reached (told already).
        std::function<bool(const QString& caption)> reachSynth = {};
    };
    // parent: the window it stays with (the main window).
    TBankWindow(const Needs& needs, QWidget* parent);
    ~TBankWindow() override;

    TBankDocument* document() const { return bank; }

    // The commands. Each tells the user of a refusal or failure itself.
    // Opens a bank file; a bad one is refused with its reason and changes nothing.
    bool openBankFile(const QString& path);
    // Makes the bank new: 64 initial voices and 16 initial multis (undo has the old).
    void newBank();
    // Writes the bank to path (whole, then renamed over any old file).
    bool saveBankFile(const QString& path);
    // Asks for confirmation, then sends the bank block by block; returns at once, the
    // progress dialog and a timer follow the send.
    void sendBank();
    bool sending() const { return sendActive; }
    // "What will change": reads the synthesiser's bank once and lists the slots and
    // multis a send of this bank would change. Returns at once.
    void whatWillChange();
    // A whole bank message received from the synthesiser becomes the current bank.
    // "" when it did, else why not (the current bank then stays).
    std::string takeReceivedBank(const std::vector<uint8_t>& message);

    // Library records into consecutive slots from slot on (as many as fit before
    // I64); a voice with a wrong inner checksum is repaired on the way. hashes (and
    // names), where given, are the records as the list showed them: a record that is
    // another voice now is looked for where it went, and named when it is gone.
    void dropRecords(int slot, const std::vector<int32_t>& records, const std::vector<uint64_t>& hashes = {},
                     const QStringList& names = {});
    // Record n of the library into d when it is still the voice hashed (it is looked
    // for elsewhere in now, the library read again, when not); else why not into refused.
    bool readDroppedRecord(int32_t n, uint64_t hash, const QString& name, LibraryListing& now, VoiceDump& d,
                           QStringList& refused);
    // A slot dragged onto another: swapped, or moved there (the slots between shift
    // by one). The multis' parts follow their voices while cbFollow is checked.
    void dropSlot(int from, int to, bool move);
    // Loads the slot's voice into the editors, as loading from the library does.
    void loadSlot(int slot);
    // The slot commands on the selected slot (the keys and the slots' menu): copy or
    // cut a slot, paste it there (a cut one moves there, as a Shift-drop does), put
    // the chosen library voices there, put the initial voice there.
    void copySlot(bool cut);
    void pasteSlot();
    void putChosenVoices();
    void clearSlot();
    int selectedSlot() const;
    // The file dialogs, then openBankFile or saveBankFile. askSave: true when saved.
    void askOpen();
    bool askSave();

    // Before the bank is replaced by the command of that caption ("New bank"): with
    // unsaved changes, asks Save / Discard / Cancel. True when it may be replaced.
    bool mayReplace(const QString& caption);
    // The same as the program ends (Discard drops the changes), then the bank is kept
    // for the next run in path. True when the program may end.
    bool confirmLeaving(const QString& path);
    // Starts on the bank kept in path by the last run; none there (or a file that is
    // no bank): a new bank, the reason shown as its origin.
    void startFromKept(const QString& path);
    // Writes the current bank to path for the next run. False when it could not.
    bool keepForNextRun(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QFileDialog* bankOpenDlg;
    QFileDialog* bankSaveDlg;

    TBankSlotView* lvSlots;
    QCheckBox* cbFollow;
    QLabel* lOrigin;
    QLabel* lHint;
    QPushButton *bGet, *bOpen, *bNew, *bSave, *bSend, *bMultis, *bUndo, *bRedo, *bClose;
    void buildControls();
    QLayout* buildButtons();
    void buildDialogs();
    void connectControls();
    void addSlotCommands();
    QMenu* slotMenu = nullptr;
    // The slot copied or cut: its voice as it was then, and where it was cut from.
    std::optional<VoiceDump> copiedVoice;
    int cutFrom = -1;

    Needs needs;
    TSYProtocol* protocol;
    TFileIO* fileIO;
    TSettings& settings;
    void pollSend();
    void finishSend(const QString& text, bool warning);
    void showState();

    TBankDocument* bank;
    TBankSlots* slotModel;
    QProgressDialog* sendProgress = nullptr;
    QTimer* sendTimer = nullptr;
    bool sendActive = false;
    bool cancelAsked = false;

    // The verified send (the bank read before and after) and "What will change".
    QCheckBox* cbVerify;
    QPushButton* bWhatChanges;
    TBankWriteDialog* verifiedSend = nullptr;
    QProgressDialog* changesProgress = nullptr;
    bool checkingChanges = false;
    void buildVerifyControls();
    void sendVerified(const std::vector<uint8_t>& message);
    void showChanges(const std::vector<uint8_t>& message);
    void endChanges(const QString& failure);
};
