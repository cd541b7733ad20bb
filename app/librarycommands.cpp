// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/librarycommands.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <algorithm>

#include "app/dialogs.h"
#include "app/librarydialogs.h"
#include "app/librarylist.h"
#include "app/tarvik.h"
#include "app/voicelist.h"
#include "document/voicedocument.h"
#include "document/voicefetch.h"
#include "files/filewrite.h"
#include "library/fileio.h"
#include "library/voiceimport.h"
#include "midi/fetch.h"
#include "midi/midiport.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/tg33.h"

namespace {

// The export dialog's formats: the SY's own single dumps, and the TG33's.
const QString sySingleDumps = QStringLiteral("SY single dumps (*.SYX *.syx)");
const QString tg33SingleDumps = QStringLiteral("TG33 single dumps (*.SYX *.syx)");
const QString tg33Bank = QStringLiteral("TG33 bank (*.SYX *.syx)");

}   // namespace

TLibraryCommands::TLibraryCommands(TTarvik& run, TLibraryList& list, QWidget& window)
    : QObject(&window), run(run), list(list), window(window), OverwriteDlg(std::make_unique<TOverwriteDlg>())
{
    ListMenu = new QMenu(&window);
    ListMenu->setObjectName(QStringLiteral("ListMenu"));
    buildDialogs();
    connect(&list, &TLibraryList::choiceChanged, this, &TLibraryCommands::stabilize);
}

TLibraryCommands::~TLibraryCommands() = default;

std::vector<TMenuEntry> TLibraryCommands::menuEntries()
{
    // The actions the choice enables are kept, and enabled for it as soon as made.
    const auto keep = [this](QAction*& kept) { return keepAction(kept, [this] { stabilize(); }); };
    const auto ctrl = [](int key) { return QList<QKeySequence>{QKeySequence(Qt::CTRL | key)}; };
    const QList<QKeySequence> none;
    using P = TMenuPlace;
    return {
        {P::fileRecord, "ModifyVoice", QStringLiteral("&Modify voice in database"), ctrl(Qt::Key_M),
         [this] { modifyVoice(); }, keep(ModifyVoice)},
        {P::fileRecord, "AddVoice", QStringLiteral("&Add voice to database"), ctrl(Qt::Key_D),
         [this] { addVoice(); }},
        {P::fileExchange, "ImportVoices", QStringLiteral("&Import voices..."), none,
         [this] { importVoices(); }},
        {P::fileExchange, "ExportListed", QStringLiteral("&Export listed voices..."), none,
         [this] { exportListed(); }, keep(ExportListed)},
        {P::fileExchange, "ExportVoice", QStringLiteral("Export selected &voice..."), none,
         [this] { exportVoice(); }, keep(ExportVoice)},
        {P::fileEntry, "RenameVoice", QStringLiteral("&Rename voice..."), none, [this] { renameVoice(); },
         keep(RenameVoice)},
        {P::fileEntry, "Categories", QStringLiteral("Ca&tegories..."), none, [this] { categories(); },
         keep(Categories)},
        {P::fileEntry, "MoveUp", QStringLiteral("Move &up"), none, [this] { moveSelected(-1); },
         keep(MoveUp)},
        {P::fileEntry, "MoveDown", QStringLiteral("Move do&wn"), none, [this] { moveSelected(1); },
         keep(MoveDown)},
        {P::fileEntry, "DeleteVoice", QStringLiteral("&Delete voice..."), none, [this] { deleteVoices(); },
         keep(DeleteVoice)},
        {P::midiLibrary, "GetAllVoices", QStringLiteral("Get &all voices from synth..."), none,
         [this] { getAllVoices(); }},
    };
}

void TLibraryCommands::popupListMenu(const QPoint& at)
{
    // The same housekeeping as the File menu's, once its actions are made.
    if (!actionsMade())
        return;
    if (ListMenu->isEmpty()) {
        ListMenu->addActions({RenameVoice, Categories, MoveUp, MoveDown, DeleteVoice});
        ListMenu->addSeparator();
        ListMenu->addAction(ExportVoice);
    }
    stabilize();
    if (list.view()->selectedCount() > 0)
        ListMenu->popup(at);
}

void TLibraryCommands::buildDialogs()
{
    fileImportDlg = new QFileDialog(&window, QStringLiteral("Import voices"));
    fileImportDlg->setObjectName(QStringLiteral("fileImportDlg"));
    fileImportDlg->setOption(QFileDialog::DontUseNativeDialog);
    fileImportDlg->setAcceptMode(QFileDialog::AcceptOpen);
    fileImportDlg->setFileMode(QFileDialog::ExistingFiles);
    fileImportDlg->setNameFilters(
        {QStringLiteral("Voice files (*.SYX *.syx *.MID *.mid *.midi)"), QStringLiteral("All files (*)")});

    // A folder that does not exist is refused inside the dialog, as "Save voice" does.
    fileExportDlg =
        makeSyxDialog(&window, "fileExportDlg", QStringLiteral("Export voices"), QFileDialog::AcceptSave);
    fileExportDlg->setNameFilters({sySingleDumps, tg33SingleDumps, tg33Bank});
}

void TLibraryCommands::modifyVoice()
{
    if (!run.fileIO || (ModifyVoice && !ModifyVoice->isEnabled()))
        return;
    // The record replaced is the one the user saw: when another program changed the
    // library meanwhile, the list is read again and the question asked again.
    const bool done = tryOnChosen(QStringLiteral("Modify voice in database"), [&] {
        // The current row may have been deselected (Ctrl+click), or several chosen:
        // then nothing is replaced.
        const int row = list.view()->singleRow();
        if (row < 0 || row >= list.rowCount())
            return true;
        const int32_t n = list.recordAt(row);
        OverwriteDlg->setVoiceName(list.view()->text(row));
        if (OverwriteDlg->exec() != TMessageDialog::ResultConfirm)
            return true;
        if (run.fileIO->overwriteRecord(n, list.filterMask(), encodeVoice(run.document.voice),
                                        list.listedHashes({n}).front()))
            run.document.saved();
        else if (run.fileIO->stale)
            return false;
        list.fillList();
        return true;
    });
    if (!done)
        list.fillList();
}

void TLibraryCommands::addVoice()
{
    if (!run.fileIO)
        return;
    // A record the file did not take is not counted: the list never shows a voice that
    // the library does not hold.
    if (!run.fileIO->appendRecord(list.filterMask(), encodeVoice(run.document.voice)))
        return;
    run.document.saved();
    // Counted from the file: another program may have added voices too.
    list.recount();
    list.fillList();
}

void TLibraryCommands::showSummary(const ImportSummary& summary, const QString& caption, const QString& note)
{
    QStringList lines;
    if (summary.cancelled)
        lines << QStringLiteral("Cancelled: the voices added until then stay in the database.") << QString();
    if (summary.writeFailed)
        lines << QStringLiteral("The database could not take every voice.") << QString();
    QString added = QString::number(summary.added);
    if (summary.converted > 0)
        added += summary.converted == summary.added
                     ? QStringLiteral(" (converted from TG33)")
                     : QStringLiteral(" (%1 converted from TG33)").arg(summary.converted);
    lines << QStringLiteral("Voices added: %1").arg(added)
          << QStringLiteral("Duplicates skipped: %1").arg(summary.duplicates)
          << QStringLiteral("Refused: %1").arg(summary.refused);
    // A long list of refusals is cut short: the summary has to fit on the screen.
    constexpr int shown = 10;
    const int reasons = static_cast<int>(summary.reasons.size());
    for (int i = 0; i < std::min(reasons, shown); ++i)
        lines << QStringLiteral("  ") + QString::fromStdString(summary.reasons[static_cast<size_t>(i)]);
    // Past the refusals kept, the rest were only counted.
    if (summary.refused > shown && reasons > shown)
        lines << QStringLiteral("  ... and %1 more")
                     .arg(
                         QLocale(QLocale::English).toString(static_cast<qlonglong>(summary.refused - shown)));
    // What conversions lost and what was passed over, as many lines as fit.
    const int notes = static_cast<int>(summary.notes.size());
    if (notes > 0)
        lines << QString() << QStringLiteral("Converted voices and passed over:");
    for (int i = 0; i < std::min(notes, shown); ++i)
        lines << QStringLiteral("  ") + QString::fromStdString(summary.notes[static_cast<size_t>(i)]);
    if (summary.noteCount > shown && notes > shown)
        lines << QStringLiteral("  ... and %1 more")
                     .arg(QLocale(QLocale::English)
                              .toString(static_cast<qlonglong>(summary.noteCount - shown)));
    if (!note.isEmpty())
        lines << QString() << note;
    tellUser(&window, caption, lines.join(QLatin1Char('\n')));
}

void TLibraryCommands::importVoices()
{
    if (!runFileDialog(fileImportDlg, run.settings))
        return;
    importFiles(fileImportDlg->selectedFiles());
}

void TLibraryCommands::importFiles(const QStringList& paths)
{
    if (!run.fileIO || paths.isEmpty())
        return;
    TCategoryDlg choice(&window, QStringLiteral("Import voices"), true);
    choice.setMask(list.filterMask());
    if (choice.exec() != QDialog::Accepted)
        return;
    std::vector<std::string> files;
    for (const QString& path : paths)
        files.push_back(QFile::encodeName(path).toStdString());

    const int32_t before = run.fileIO->countRecords();
    ImportSummary summary;
    {
        // Shown only when the import takes a while; the window stays painted meanwhile.
        // It is gone before the summary: its timer would show it over the summary.
        QProgressDialog progress(QStringLiteral("Importing voices..."), QStringLiteral("Cancel"), 0, 0,
                                 &window);
        progress.setWindowTitle(QStringLiteral("Import voices"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        summary = importVoiceFiles(
            *run.fileIO, files, choice.mask(), choice.keepDuplicates(),
            [&](size_t done, size_t total) {
                progress.setMaximum(static_cast<int>(total));
                progress.setValue(static_cast<int>(std::min(done, total)));
                QCoreApplication::processEvents();
                return !progress.wasCanceled();
            },
            model());
    }
    list.recount();
    list.showNewRecords(before);
    showSummary(summary, QStringLiteral("Import voices"));
}

void TLibraryCommands::exportListed()
{
    if (run.fileIO)
        list.syncLibrary();
    if (!run.fileIO || list.rowCount() <= 0)
        return;
    fileExportDlg->setWindowTitle(QStringLiteral("Export listed voices"));
    if (!runFileDialog(fileExportDlg, run.settings))
        return;
    std::vector<int32_t> records;
    for (int row = 0; row < list.rowCount(); ++row)
        records.push_back(list.recordAt(row));
    exportAs(records, fileExportDlg->selectedFiles().constFirst(), QStringLiteral("Export listed voices"));
}

void TLibraryCommands::exportVoice()
{
    if (!run.fileIO || !list.chosenStillThere(QStringLiteral("Export voice")))
        return;
    const std::vector<int32_t> records = list.selectedRecords();
    if (!run.fileIO || records.empty())
        return;
    QString proposed;
    if (records.size() == 1) {
        fileExportDlg->setWindowTitle(QStringLiteral("Export voice"));
        proposed = shownName(list.view()->text(list.view()->selectedRows().front())) + QStringLiteral(".SYX");
    } else {
        fileExportDlg->setWindowTitle(QStringLiteral("Export selected voices"));
    }
    if (!runFileDialog(fileExportDlg, run.settings, proposed))
        return;
    exportAs(records, fileExportDlg->selectedFiles().constFirst(), fileExportDlg->windowTitle());
}

VoiceModel TLibraryCommands::model() const
{
    return run.settings.model == 1 ? VoiceModel::sy35 : VoiceModel::sy22;
}

void TLibraryCommands::exportAs(const std::vector<int32_t>& records, const QString& path,
                                const QString& caption)
{
    const QString format = fileExportDlg->selectedNameFilter();
    if (format == tg33SingleDumps || format == tg33Bank)
        exportTG33(records, path, caption, format == tg33Bank);
    else
        exported(run.fileIO->exportRecords(records, QFile::encodeName(path).toStdString()), records.size(),
                 path, caption);
}

void TLibraryCommands::exportTG33(const std::vector<int32_t>& records, const QString& path,
                                  const QString& caption, bool bank)
{
    if (bank && records.size() > static_cast<size_t>(tg33BankVoices)) {
        tellUser(&window, caption,
                 QStringLiteral("A TG33 bank holds 64 voices; %1 are chosen. Nothing was exported.")
                     .arg(records.size()));
        return;
    }
    // Written over the library itself, the export would put dumps where the records were.
    if (QFileInfo(path).exists() &&
        QFileInfo(path).canonicalFilePath() ==
            QFileInfo(QFile::decodeName(run.fileIO->libraryPath.c_str())).canonicalFilePath()) {
        tellUser(&window, caption, QStringLiteral("That file is the database itself: nothing was exported."));
        return;
    }
    std::vector<TG33Record> converted;
    QStringList lost;
    size_t damaged = 0;
    for (const int32_t n : records) {
        VoiceDump d;
        if (!run.fileIO->readDump(n, d.data())) {
            ++damaged;
            continue;
        }
        ConversionReport report;
        converted.push_back(tg33RecordFromDump(d.data(), model(), &report));
        const QString name = shownName(
            QString::fromLatin1(reinterpret_cast<const char*>(d.data() + dumpNameOffset), voiceNameLength));
        for (const std::string& line : report)
            lost << QStringLiteral("  \u201C%1\u201D: %2").arg(name, QString::fromStdString(line));
    }
    if (converted.empty()) {
        tellUser(&window, caption, QStringLiteral("Every chosen voice is damaged: nothing was exported."));
        return;
    }
    std::vector<uint8_t> bytes;
    if (bank)
        bytes = tg33BankDump(converted);
    for (size_t i = 0; !bank && i < converted.size(); ++i) {
        const std::vector<uint8_t> single = tg33SingleDump(converted[i]);
        bytes.insert(bytes.end(), single.begin(), single.end());
    }
    TSafeFile out;
    if (!out.open(QFile::encodeName(path).toStdString()) || !out.write(bytes.data(), bytes.size()) ||
        !out.commit()) {
        if (run.fileIO->events)
            run.fileIO->events->saveError(out.error);
        return;
    }
    QStringList lines;
    lines << (bank ? QStringLiteral("%1 voice(s) written to %2 as a TG33 bank")
                   : QStringLiteral("%1 voice(s) written to %2 as TG33 single dumps"))
                 .arg(converted.size())
                 .arg(QDir::toNativeSeparators(path));
    if (bank && converted.size() < static_cast<size_t>(tg33BankVoices))
        lines << QStringLiteral("The bank's other %1 places hold the initial voice.")
                     .arg(tg33BankVoices - static_cast<int>(converted.size()));
    if (damaged > 0)
        lines << QStringLiteral("%1 damaged voice(s) left out: their stored dumps fail their check.")
                     .arg(damaged);
    // What the conversion lost, as many lines as fit on the screen.
    constexpr int shown = 10;
    if (!lost.isEmpty())
        lines << QString() << QStringLiteral("The conversion could not carry everything:")
              << lost.mid(0, shown);
    if (lost.size() > shown)
        lines << QStringLiteral("  ... and %1 more").arg(lost.size() - shown);
    tellUser(&window, caption, lines.join(QLatin1Char('\n')));
}

void TLibraryCommands::exported(bool ok, size_t voices, const QString& path, const QString& caption)
{
    // A write that failed has shown "Error saving file" already.
    const int damaged = run.fileIO->skippedDamaged;
    if (!ok) {
        if (damaged > 0)
            tellUser(&window, caption,
                     QStringLiteral("Every chosen voice is damaged: nothing was exported."));
        return;
    }
    QString text = (voices - damaged == 1 ? QStringLiteral("1 voice written to %2")
                                          : QStringLiteral("%1 voices written to %2"))
                       .arg(voices - damaged)
                       .arg(QDir::toNativeSeparators(path));
    if (damaged > 0)
        text += QStringLiteral("\n%1 damaged voice(s) left out: their stored dumps fail their check.")
                    .arg(damaged);
    tellUser(&window, caption, text);
}

void TLibraryCommands::renameVoice()
{
    if (!run.fileIO)
        return;
    const QString caption = QStringLiteral("Rename voice");
    tryOnChosen(caption, [&] {
        const int32_t n = list.singleRecord();
        if (n < 0)
            return true;
        if (list.listing().isDamaged(n)) {
            tellUser(&window, caption,
                     QStringLiteral(
                         "This voice is damaged: its stored dump fails its check, so it is not renamed."));
            return true;
        }
        QInputDialog dialog(&window);
        dialog.setObjectName(QStringLiteral("RenameDlg"));
        dialog.setWindowTitle(caption);
        dialog.setLabelText(QStringLiteral("Name (at most 8 characters):"));
        dialog.setTextValue(shownName(list.view()->text(list.view()->selectedRow())));
        if (auto* edit = dialog.findChild<QLineEdit*>())
            edit->setMaxLength(8);
        if (dialog.exec() != QDialog::Accepted)
            return true;
        const QString typed = dialog.textValue();
        const bool plain = std::all_of(typed.begin(), typed.end(),
                                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() <= 0x7E; });
        const std::string name = typed.toStdString();
        if (!plain || !TFileIO::validRecordName(name)) {
            tellUser(&window, caption,
                     QStringLiteral("A voice name has at most 8 characters: plain letters, digits, "
                                    "blanks and punctuation."));
            return true;
        }
        if (!run.fileIO->renameRecord(n, name, list.listedHashes({n}).front()) && run.fileIO->stale)
            return false;
        list.fillList(n, true);
        return true;
    });
}

void TLibraryCommands::categories()
{
    if (!run.fileIO)
        return;
    tryOnChosen(QStringLiteral("Categories"), [&] {
        const std::vector<int32_t> records = list.selectedRecords();
        if (records.empty())
            return true;
        // Several entries start from the categories they all share, those only some
        // of them carry half-ticked; OK changes what the user changed and keeps the rest.
        uint32_t all = 0xFFFF, some = 0;
        std::vector<uint32_t> masks;
        for (const int32_t n : records) {
            masks.push_back(list.listing().masks[static_cast<size_t>(n)]);
            all &= masks.back();
            some |= masks.back();
        }
        const QString caption =
            records.size() == 1 ? QStringLiteral("Categories of %1")
                                      .arg(shownName(list.view()->text(list.view()->selectedRows().front())))
                                : QStringLiteral("Categories of %1 voices").arg(records.size());
        TCategoryDlg dialog(&window, caption, false);
        dialog.setObjectName(QStringLiteral("CategoriesDlg"));
        dialog.setMasks(all, some & 0xFFFF);
        if (dialog.exec() != QDialog::Accepted)
            return true;
        std::vector<uint32_t> changed;
        for (const uint32_t old : masks)
            changed.push_back(dialog.apply(old));
        const std::vector<uint64_t> hashes = list.listedHashes(records);
        if (!run.fileIO->setRecordsCategories(records, changed, &hashes) && run.fileIO->stale)
            return false;
        const int32_t current = list.selectedRecord();
        list.fillList(current >= 0 ? current : records.front(), true);
        return true;
    });
}

void TLibraryCommands::moveSelected(int step)
{
    const QString caption = step < 0 ? QStringLiteral("Move up") : QStringLiteral("Move down");
    if (!run.fileIO || !list.chosenStillThere(caption))
        return;
    const int row = list.view()->singleRow();
    const int other = row + step;
    if (row < 0 || row >= list.rowCount() || other < 0 || other >= list.rowCount())
        return;
    // Past the neighbour in the list, which in a filtered list may be far away in
    // the file: the others keep their order.
    const int32_t from = list.recordAt(row);
    const int32_t to = list.recordAt(other);
    const std::vector<uint64_t> hashes = list.listedHashes({from, to});
    const bool moved = run.fileIO->moveRecord(from, to, &hashes);
    if (!moved && run.fileIO->stale) {
        list.syncLibrary();
        tellUser(&window, caption,
                 QStringLiteral("Another program changed the database meanwhile: nothing was moved. "
                                "The list shows the database as it is now."));
        return;
    }
    list.fillList(moved ? to : from, true);
}

void TLibraryCommands::deleteVoices()
{
    if (!run.fileIO)
        return;
    // The records deleted are the ones the user saw named: when another program
    // changed the library meanwhile, the list is read again and the question asked
    // again about the voices chosen, wherever they stand now.
    tryOnChosen(QStringLiteral("Delete voice"), [&] {
        const std::vector<int> rows = list.view()->selectedRows();
        const std::vector<int32_t> records = list.selectedRecords();
        if (records.empty())
            return true;
        QString question;
        if (records.size() == 1) {
            question = QStringLiteral("Delete the voice \u201C%1\u201D from the database?")
                           .arg(shownName(list.view()->text(rows.front())));
        } else {
            // The names, as many as fit on the screen.
            constexpr size_t named = 10;
            QStringList names;
            for (size_t i = 0; i < std::min(named, rows.size()); ++i)
                names << QStringLiteral("\u201C%1\u201D").arg(shownName(list.view()->text(rows[i])));
            question = QStringLiteral("Delete these %1 voices from the database?\n%2")
                           .arg(records.size())
                           .arg(names.join(QStringLiteral(", ")));
            if (rows.size() > named)
                question += QStringLiteral(" and %1 more").arg(rows.size() - named);
        }
        QMessageBox box(QMessageBox::Question,
                        records.size() == 1 ? QStringLiteral("Delete voice")
                                            : QStringLiteral("Delete voices"),
                        question, QMessageBox::Yes | QMessageBox::No, &window);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return true;
        const std::vector<uint64_t> hashes = list.listedHashes(records);
        const bool deleted = run.fileIO->deleteRecords(records, &hashes);
        if (!deleted && run.fileIO->stale)
            return false;
        list.recount();
        // The record after the first one deleted takes its number: it is the one
        // selected next.
        list.fillList(deleted ? records.front() : list.selectedRecord(), true);
        return true;
    });
}

bool TLibraryCommands::tryOnChosen(const QString& caption, const std::function<bool()>& attempt)
{
    for (int tries = 0; tries < 3; ++tries)
        if (!list.chosenStillThere(caption) || attempt())
            return true;
    keptChanging(caption);
    return false;
}

void TLibraryCommands::keptChanging(const QString& caption)
{
    tellUser(&window, caption,
             QStringLiteral("Another program kept changing the database: nothing was done. "
                            "The list shows the database as it is now."));
}

void TLibraryCommands::getAllVoices()
{
    // A voice fetch still waiting for its answer (a second or two) ends on its own and
    // says how it went; this choice is ignored meanwhile, as a second Get voice is.
    if (!run.port || !run.fileIO || !run.voiceFetch || run.voiceFetch->busy())
        return;
    const QString caption = QStringLiteral("Get all voices from synth");
    if (!run.synthReachable(&window, caption, true) || (mayReplaceBank && !mayReplaceBank(caption)))
        return;
    TCategoryDlg choice(&window, caption, false);
    choice.setMask(list.filterMask());
    if (choice.exec() != QDialog::Accepted)
        return;
    const std::vector<uint8_t> bank = receiveBank(caption, window);
    if (!bank.empty())
        addReceivedBank(bank, choice.mask(), caption);
}

void TLibraryCommands::getBank(QWidget& over)
{
    if (!run.port || !run.voiceFetch || run.voiceFetch->busy())
        return;
    const QString caption = QStringLiteral("Get all voices from synth");
    if (!run.synthReachable(&over, caption, true) || (mayReplaceBank && !mayReplaceBank(caption)))
        return;
    const std::vector<uint8_t> bank = receiveBank(caption, over);
    if (bank.empty())
        return;
    const std::string notKept = keepBank ? keepBank(bank) : std::string("no bank window");
    if (!notKept.empty())
        warnUser(&over, caption,
                 QStringLiteral("The bank was not kept as the current bank: %1.")
                     .arg(QString::fromStdString(notKept)));
}

std::vector<uint8_t> TLibraryCommands::receiveBank(const QString& caption, QWidget& over)
{
    TMIDIFetch* bankFetch = run.voiceFetch->bankFetch();
    if (!bankFetch || !bankFetch->startBank()) {
        tellUser(&over, caption,
                 QStringLiteral("The request could not be sent: check the MIDI output device."));
        return {};
    }

    // The window is painted and Cancel works while the input callback gathers the
    // bank and the fetch object's timer looks at how far it came.
    QProgressDialog progress(QStringLiteral("Receiving the voices from the synthesiser..."),
                             QStringLiteral("Cancel"), 0, static_cast<int>(bankExpectedSize), &over);
    progress.setObjectName(QStringLiteral("BankProgress"));
    progress.setWindowTitle(caption);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);
    enum Outcome { running, complete, unanswered, stalled, tooLong, cancelled };
    Outcome outcome = running;
    size_t received = 0;
    std::vector<uint8_t> bank;
    connect(bankFetch, &TMIDIFetch::progress, &progress, [&](qulonglong bytes) {
        progress.setValue(static_cast<int>(std::min<size_t>(bytes, bankExpectedSize - 1)));
    });
    connect(bankFetch, &TMIDIFetch::bankReceived, &progress, [&](const std::vector<uint8_t>& message) {
        bank = message;
        outcome = complete;
    });
    connect(bankFetch, &TMIDIFetch::noAnswer, &progress, [&] { outcome = unanswered; });
    connect(bankFetch, &TMIDIFetch::stalled, &progress, [&](qulonglong bytes) {
        received = bytes;
        outcome = stalled;
    });
    connect(bankFetch, &TMIDIFetch::tooLong, &progress, [&] { outcome = tooLong; });
    connect(bankFetch, &TMIDIFetch::finished, &progress, [&] { progress.hide(); });
    connect(&progress, &QProgressDialog::canceled, &progress, [&] {
        if (outcome == running)
            outcome = cancelled;
        bankFetch->cancel();
        progress.hide();
    });
    if (outcome == running)
        progress.exec();
    if (bankFetch->busy())
        bankFetch->cancel();
    progress.hide();

    switch (outcome) {
    case running:
    case cancelled: return {};
    case unanswered:
        tellUser(&over, caption,
                 QStringLiteral("The synthesiser did not answer. Nothing was added.\n"
                                "Check the MIDI devices and the channel."));
        return {};
    case stalled:
        tellUser(&over, caption,
                 QStringLiteral("The synthesiser stopped sending after %1 bytes. Nothing was added.")
                     .arg(received));
        return {};
    case tooLong:
        tellUser(&over, caption,
                 QStringLiteral("The answer was longer than any bank of voices. Nothing was added."));
        return {};
    case complete: break;
    }
    return bank;
}

void TLibraryCommands::addReceivedBank(const std::vector<uint8_t>& bank, uint32_t mask,
                                       const QString& caption)
{
    // The whole bank, multis included, also becomes the current bank.
    const std::string notKept = keepBank ? keepBank(bank) : std::string("no bank window");
    const QString note =
        notKept.empty()
            ? QStringLiteral("The bank, with its 16 multis, is now the current bank (Edit, Bank).")
            : QStringLiteral("The bank was not kept as the current bank: %1.")
                  .arg(QString::fromStdString(notKept));
    const VoiceReadResult read = readVoices(bank.data(), bank.size());
    ImportSummary summary;
    const int32_t before = run.fileIO->countRecords();
    if (!read.voices.empty())
        summary = run.fileIO->appendDumps(read.voices, mask, false);
    summary.refused += static_cast<int>(read.refusals.size());
    for (const VoiceRefusal& refusal : read.refusals)
        summary.reasons.push_back(refusal.text());
    list.recount();
    list.showNewRecords(before);
    showSummary(summary, caption, note);
}

bool TLibraryCommands::actionsMade() const
{
    for (const QAction* action :
         {ModifyVoice, ExportListed, ExportVoice, RenameVoice, DeleteVoice, MoveUp, MoveDown, Categories})
        if (!action)
            return false;
    return true;
}

void TLibraryCommands::stabilize()
{
    // The main window makes the actions all at once, with its menus.
    if (!actionsMade())
        return;
    // Rename, move and modify act on one entry; export, delete and the categories on
    // every selected one.
    const int row = list.view()->singleRow();
    const bool one = row >= 0 && row < list.rowCount();
    const int selected = list.view()->selectedCount();
    for (QAction* action : {ExportVoice, DeleteVoice, Categories})
        action->setEnabled(selected > 0);
    ExportVoice->setText(selected > 1 ? QStringLiteral("Export selected &voices...")
                                      : QStringLiteral("Export selected &voice..."));
    DeleteVoice->setText(selected > 1 ? QStringLiteral("&Delete voices...")
                                      : QStringLiteral("&Delete voice..."));
    RenameVoice->setEnabled(one);
    ModifyVoice->setEnabled(one);
    MoveUp->setEnabled(one && row > 0);
    MoveDown->setEnabled(one && row + 1 < list.rowCount());
    ExportListed->setEnabled(list.rowCount() > 0);
}
