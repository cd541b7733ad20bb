// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/voiceverbs.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "app/dialogs.h"
#include "app/tarvik.h"
#include "document/voicedocument.h"
#include "document/voicefetch.h"
#include "editors/editcommands.h"
#include "library/fileio.h"
#include "library/voiceimport.h"
#include "voice/dumpcodec.h"
#include "voice/tg33.h"

TVoiceVerbs::TVoiceVerbs(TTarvik& run, QWidget& window) : run(run), window(window)
{
    fileOpenDlg =
        makeSyxDialog(&window, "fileOpenDlg", QStringLiteral("Open sound file"), QFileDialog::AcceptOpen);
    // A voice comes in a .SYX file or in a MIDI file.
    fileOpenDlg->setNameFilters(
        {QStringLiteral("Voice files (*.SYX *.syx *.MID *.mid *.midi)"), QStringLiteral("All files (*)")});
    fileSaveDlg =
        makeSyxDialog(&window, "fileSaveDlg", QStringLiteral("Save voice"), QFileDialog::AcceptSave);

    noMIDIData = std::make_unique<TnoMIDIData>();
    DataReceivedForm = std::make_unique<TDataReceivedForm>();
    connect(run.voiceFetch.get(), &TVoiceFetch::received, this, [this] {
        fetchEnded();
        DataReceivedForm->exec();
    });
    connect(run.voiceFetch.get(), &TVoiceFetch::noAnswer, this, [this] {
        fetchEnded();
        noMIDIData->exec();
    });
    connect(run.commands.get(), &TEditCommands::historyChanged, this, &TVoiceVerbs::showHistory);
}

TVoiceVerbs::~TVoiceVerbs()
{
    if (fetching)
        QApplication::restoreOverrideCursor();
}

std::vector<TMenuEntry> TVoiceVerbs::menuEntries()
{
    TEditCommands& commands = *run.commands;
    const auto ctrl = [](int key) { return QList<QKeySequence>{QKeySequence(Qt::CTRL | key)}; };
    return {
        {TMenuPlace::fileVoice, "LoadVoice", QStringLiteral("&Load voice"), ctrl(Qt::Key_O),
         [this] { loadVoice(); }},
        {TMenuPlace::fileVoice, "SaveVoice", QStringLiteral("&Save voice"), ctrl(Qt::Key_S),
         [this] { saveVoice(); }},
        {TMenuPlace::fileExit, "Exit", QStringLiteral("E&xit"), ctrl(Qt::Key_X), [this] { window.close(); }},
        {TMenuPlace::editHistory, "Undo", QStringLiteral("&Undo"), ctrl(Qt::Key_Z),
         [&commands] { commands.undo(); }, keepAction(undo, [this] { showHistory(); })},
        {TMenuPlace::editHistory,
         "Redo",
         QStringLiteral("&Redo"),
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
         [&commands] { commands.redo(); },
         keepAction(redo, [this] { showHistory(); })},
        {TMenuPlace::editHistory,
         "Compare",
         QStringLiteral("C&ompare"),
         {},
         [&commands] { commands.compare(); },
         keepAction(compare,
                    [this] {
                        compare->setCheckable(true);
                        showHistory();
                    })},
        {TMenuPlace::editHistory,
         "Mutate",
         QStringLiteral("&Mutate voice..."),
         {},
         [this, &commands] { commands.mutateVoiceDialog(&window); }},
        {TMenuPlace::midiVoice,
         "GetVoiceFromSynth",
         QStringLiteral("&Get voice from synth"),
         {},
         [this] { fetchVoice(); }},
    };
}

void TVoiceVerbs::showHistory()
{
    const TVoiceHistory& history = run.document.history;
    if (undo) {
        undo->setText(run.commands->undoCaption());
        undo->setEnabled(history.canUndo() || history.comparing());
    }
    if (redo) {
        redo->setText(run.commands->redoCaption());
        redo->setEnabled(history.canRedo());
    }
    if (compare)
        compare->setChecked(history.comparing());
}

void TVoiceVerbs::loadVoice()
{
    if (!runFileDialog(fileOpenDlg, run.settings))
        return;
    const QString path = fileOpenDlg->selectedFiles().constFirst();
    if (offerManyVoices(path) || !run.fileIO || loadTG33Voice(path))
        return;
    if (const std::optional<VoiceDump> dump =
            run.fileIO->loadVoiceFile(QFile::encodeName(path).toStdString()))
        run.document.loadDump(dump->data(), "Load voice", TVoiceDocument::Send::always);
}

bool TVoiceVerbs::loadTG33Voice(const QString& path)
{
    // A TG33 single dump is 605 bytes: a file far larger holds none worth converting
    // alone (a bank or many voices were offered for import already). Only a regular
    // file is read: a pipe would wait for a writer.
    constexpr qint64 largest = 1024 * 1024;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || file.size() > largest)
        return false;
    const QByteArray bytes = file.readAll();
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const long at = findTG33Single(data, static_cast<size_t>(bytes.size()));
    if (at < 0)
        return false;
    ConversionReport report;
    const VoiceModel model = run.settings.model == 1 ? VoiceModel::sy35 : VoiceModel::sy22;
    const VoiceDump dump = dumpFromTG33Record(tg33RecordOfSingle(data + at).data(), model, &report);
    // As any load from a file: one undo step, and the voice goes to the synthesiser.
    run.document.loadDump(dump.data(), "Load voice", TVoiceDocument::Send::always);
    if (!report.empty()) {
        QStringList lines;
        lines << QStringLiteral("\u201C%1\u201D was converted from a TG33 voice. The conversion could not "
                                "carry everything:")
                     .arg(shownName(QString::fromLatin1(run.document.voice.name, voiceNameLength)));
        for (const std::string& line : report)
            lines << QStringLiteral("  ") + QString::fromStdString(line);
        tellUser(&window, QStringLiteral("Load voice"), lines.join(QLatin1Char('\n')));
    }
    return true;
}

bool TVoiceVerbs::offerManyVoices(const QString& path)
{
    if (!run.fileIO)
        return false;
    const VoiceReadResult read = readVoiceFile(QFile::encodeName(path).toStdString());
    // A MIDI file, or more than one voice (a bank): not a single voice file.
    QFile file(path);
    const bool midi = file.open(QIODevice::ReadOnly) && file.read(4) == "MThd";
    file.close();
    if (read.voices.empty() || (read.voices.size() == 1 && !midi))
        return false;
    if (read.voices.size() == 1) {
        // A MIDI file of one voice is that voice, loaded as a .SYX file is.
        run.document.loadDump(read.voices.front().data(), "Load voice", TVoiceDocument::Send::always);
        return true;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Load voice"),
                    QStringLiteral("\u201C%1\u201D holds %2 voices, not a single one.\n"
                                   "Import them into the database, or load the first of them?")
                        .arg(QFileInfo(path).fileName())
                        .arg(read.voices.size()),
                    QMessageBox::NoButton, &window);
    box.setObjectName(QStringLiteral("ManyVoicesQuestion"));
    QPushButton* importButton = box.addButton(QStringLiteral("&Import"), QMessageBox::AcceptRole);
    QPushButton* firstButton = box.addButton(QStringLiteral("Load the &first"), QMessageBox::ActionRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(importButton);
    box.exec();
    if (box.clickedButton() == importButton) {
        if (importFiles)
            importFiles({path});
    } else if (box.clickedButton() == firstButton) {
        // As a load from a file: one undo step, and the voice goes to the synthesiser.
        run.document.loadDump(read.voices.front().data(), "Load voice", TVoiceDocument::Send::always);
    }
    return true;
}

void TVoiceVerbs::saveVoice()
{
    const Voice& voice = run.document.voice;
    // The voice's name is the name proposed, without what a file name cannot hold.
    QString proposed = shownName(QString::fromLatin1(voice.name, voiceNameLength)).trimmed();
    proposed.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (!runFileDialog(fileSaveDlg, run.settings,
                       proposed.isEmpty() ? QString() : proposed + QStringLiteral(".SYX")))
        return;
    if (run.fileIO && run.fileIO->saveVoiceFile(fileSaveDlg->selectedFiles().constFirst().toStdString(),
                                                encodeVoice(voice)))
        run.document.saved();
}

bool TVoiceVerbs::fetchVoice()
{
    if (!fetching && !run.synthReachable(&window, QStringLiteral("Get voice"), true))
        return false;
    // A second ask while the voice is being fetched: the fetch under way answers.
    if (!run.voiceFetch || !run.voiceFetch->start())
        return false;
    if (!fetching)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    fetching = true;
    return true;
}

void TVoiceVerbs::fetchEnded()
{
    if (fetching)
        QApplication::restoreOverrideCursor();
    fetching = false;
}

bool TVoiceVerbs::confirmLeaving()
{
    TVoiceDocument& document = run.document;
    document.finishEdit();
    if (!document.history.changedSinceLoaded(document.voice))
        return true;
    const TUnsavedAnswer answer =
        askUnsaved(&window, "ExitQuestion", QStringLiteral("Exit"),
                   QStringLiteral("The voice \u201C%1\u201D has changed since it was last loaded, "
                                  "fetched or saved.")
                       .arg(shownName(QString::fromLatin1(document.voice.name, voiceNameLength))),
                   QStringLiteral("Exit &anyway"));
    if (answer != TUnsavedAnswer::save)
        return answer == TUnsavedAnswer::leave;
    // Saved as "Save voice" saves; a cancelled or failed save stays in the program.
    saveVoice();
    return !document.history.changedSinceLoaded(document.voice);
}
