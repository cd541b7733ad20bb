// SPDX-License-Identifier: GPL-3.0-or-later
// The library's commands, on the list's chosen voices or the whole library: modify,
// add, import, export, rename, categories, move, delete, and "Get all voices from
// synth..." (the synthesiser's bank into the library). Each reads the library again
// first, should another program have changed it, and acts on the voices the user saw.
// The main window lays their menu entries out; the list's context menu holds the
// entry's housekeeping.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/menuentry.h"

class QAction;
class QFileDialog;
class QMenu;
class QPoint;
class QWidget;
class TLibraryList;
class TOverwriteDlg;
struct ImportSummary;
enum class VoiceModel;
struct TTarvik;

class TLibraryCommands : public QObject {
    Q_OBJECT
public:
    TLibraryCommands(TTarvik& run, TLibraryList& list, QWidget& window);
    ~TLibraryCommands() override;

    // The commands' menu entries, for the main window to lay out; the commands keep
    // the actions made of them up to date.
    std::vector<TMenuEntry> menuEntries();
    // The list's context menu at a point of the screen, once the commands are
    // enabled for the list's choice; nothing while no row is chosen.
    void popupListMenu(const QPoint& at);

    void modifyVoice();
    void addVoice();
    void importVoices();
    // Asks for the categories (and whether duplicates stay), then imports the files
    // with a progress dialog and shows the summary. The menu command and a drop on
    // the list end up here.
    void importFiles(const QStringList& paths);
    void exportListed();
    void exportVoice();
    void renameVoice();
    void categories();
    // The chosen entry past its neighbour in the list: step -1 up, 1 down.
    void moveSelected(int step);
    void deleteVoices();
    void getAllVoices();
    // The Bank window's "Get": the synthesiser's bank becomes the current bank, its
    // dialogs over that window; nothing goes into the library, so no categories asked.
    void getBank(QWidget& over);

    // Enables the commands that the list's choice allows.
    void stabilize();

    // A whole bank received by "Get all voices" becomes the current bank there: ""
    // when it did, else why not.
    std::function<std::string(const std::vector<uint8_t>& bank)> keepBank;
    // Asked before "Get all voices" replaces the current bank: false leaves it.
    std::function<bool(const QString& caption)> mayReplaceBank;

private:
    void buildDialogs();
    // The main window has made every action that the list's choice enables.
    bool actionsMade() const;
    // The bank the synthesiser sent, or empty (and the user told why) when none came.
    std::vector<uint8_t> receiveBank(const QString& caption, QWidget& over);
    void addReceivedBank(const std::vector<uint8_t>& bank, uint32_t mask, const QString& caption);
    void showSummary(const ImportSummary& summary, const QString& caption, const QString& note = QString());
    // The synthesiser the settings name, for converted voices.
    VoiceModel model() const;
    // Writes the records in the format chosen in the export dialog and tells how it went.
    void exportAs(const std::vector<int32_t>& records, const QString& path, const QString& caption);
    // As TG33 single dumps, or one TG33 bank (64 at most; the rest initial voices),
    // telling what the conversion could not carry.
    void exportTG33(const std::vector<int32_t>& records, const QString& path, const QString& caption,
                    bool bank);
    // Tells how many voices an export wrote, and of damaged ones it left out.
    void exported(bool ok, size_t voices, const QString& path, const QString& caption);
    // A command on the chosen voices, tried again while another program changes the
    // library under it: attempt answers true when it is done, false when the library
    // changed meanwhile (it is read again, the voices chosen found again, and attempt
    // runs anew). A chosen voice that is gone ends it quietly; after the third try the
    // user is told. False only then.
    bool tryOnChosen(const QString& caption, const std::function<bool()>& attempt);
    // Another program changed the library at every try.
    void keptChanging(const QString& caption);

    TTarvik& run;
    TLibraryList& list;
    QWidget& window;
    // Made by the main window from the entries (null until then).
    QAction *ModifyVoice = nullptr, *ExportListed = nullptr, *ExportVoice = nullptr, *RenameVoice = nullptr,
            *DeleteVoice = nullptr, *MoveUp = nullptr, *MoveDown = nullptr, *Categories = nullptr;
    QMenu* ListMenu;   // the list's context menu: the entry's housekeeping
    QFileDialog* fileImportDlg;
    QFileDialog* fileExportDlg;
    std::unique_ptr<TOverwriteDlg> OverwriteDlg;
};
