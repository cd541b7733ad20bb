// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include <QIcon>
#include <QMessageBox>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

#include "app/bankwindow.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/pictures.h"
#include "app/setdevices.h"
#include "app/tarvik.h"
#include "app/voiceverbs.h"
#include "app/windowlist.h"
#include "document/autosender.h"
#include "document/voicefetch.h"
#include "editors/controls.h"
#include "editors/editcommands.h"
#include "library/fileio.h"
#include "midi/midiport.h"
#include "midi/syprotocol.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The main window's close ends the run, not the last window that happens to close.
    setQuitOnLastWindowClosed(false);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showException(e.what());
    } catch (...) {
        showException("Unknown error");
    }
    // The loop is not entered again: shutdown follows.
    QCoreApplication::exit(0);
    return false;
}

void showException(const char* what)
{
    QMessageBox::critical(nullptr, QStringLiteral("Tarvik"), QString::fromLocal8Bit(what));
}

std::string dataFolder()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/tarvik";
    const char* home = std::getenv("HOME");
    std::string base = home && home[0] == '/' ? home : "";
    if (base.empty())
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
            base = pw->pw_dir;
    return base + "/.local/share/tarvik";
}

bool enterDataFolder(std::string& folder, std::string& error)
{
    folder = dataFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot make " + folder + ": " + ec.message();
        return false;
    }
    std::filesystem::current_path(folder, ec);
    if (ec) {
        error = "cannot work in " + folder + ": " + ec.message();
        return false;
    }
    return true;
}

void createObjects(TTarvik& run, std::unique_ptr<TMIDIBackend> backend)
{
    // 1. The settings, read from the working directory.
    run.settings = TSettings(settingsFileName);
    // 2. The open error dialog, with no owner, before any port opens.
    run.openErrorDialog = std::make_unique<TMIDIOpenError>();
    // 3.-4. The transport lists the devices, then opens the ports of the settings.
    run.port = backend ? std::make_unique<TMIDIPort>(std::move(backend)) : std::make_unique<TMIDIPort>();
    run.port->events = &run.midiEvents;
    run.protocol = std::make_unique<TSYProtocol>(*run.port);
    run.protocol->setChannel(run.settings.midiChannel);
    // An open error is a modal dialog too: it never stays out of reach.
    installModalGuard();
    openSettingsDevices(run.port.get(), run.settings);
    // 5. The voice starts from its reset (the document makes it so), and one sender
    // follows it to the synthesiser.
    run.sender = std::make_unique<TAutoSender>(run.document, run.settings, run.protocol.get());
    // 6. The voice file object; no file is open yet.
    run.fileIO = std::make_unique<TFileIO>();
    run.fileIO->events = &run.fileEvents;
}

void createWindows(TTarvik& run)
{
    // 7. The application's title; drop-down lists named for screen readers.
    installListNames();
    QApplication::setApplicationName(QStringLiteral("Tarvik"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarvik.Tarvik"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addPixmap(pictures::appIcon(size));
    QApplication::setWindowIcon(icon);

    // 8. The windows, main window first: it lists the library and loads and sends the
    // first voice before any other window exists. "Get voice" from any editor starts
    // the run's fetch, as the MIDI menu does.
    run.InvFile = std::make_unique<TInvFile>();
    run.SaveErrDlg = std::make_unique<TSaveErrDlg>();
    run.voiceFetch = std::make_unique<TVoiceFetch>(run.document, run.protocol.get());
    run.commands = std::make_unique<TEditCommands>(run.document, *run.sender, run.settings,
                                                   [&run] { return run.verbs && run.verbs->fetchVoice(); });
    run.commands->maySend = [&run] {
        return run.synthReachable(QApplication::activeWindow(), QStringLiteral("Send voice"), false);
    };
    run.mainForm = std::make_unique<TMainForm>(run);
    run.verbs = std::make_unique<TVoiceVerbs>(run, *run.mainForm);
    run.verbs->importFiles = [&run](const QStringList& paths) { run.mainForm->importFiles(paths); };
    // The voice, then the bank (kept for the next run) when its window was made.
    run.mainForm->mayLeave = [&run] {
        auto* bank = static_cast<TBankWindow*>(run.windows->made("BankWindow"));
        return run.verbs->confirmLeaving() &&
               (!bank || bank->confirmLeaving(QString::fromLatin1(keptBankFileName)));
    };
    run.mainForm->setBankKeeper([&run](const std::vector<uint8_t>& bank) {
        return run.windows->window<TBankWindow>("BankWindow")->takeReceivedBank(bank);
    });
    run.mainForm->setBankGuard([&run](const QString& caption) {
        auto* bank = static_cast<TBankWindow*>(run.windows->made("BankWindow"));
        return !bank || bank->mayReplace(caption);
    });
    run.windows = std::make_unique<TWindowList>(run);
    run.commands->storeVoice = [&run] { TWindowList::runDialog(*run.windows->window("StoreVoice")); };
    run.commands->compareWith = [&run] { TWindowList::bringUp(*run.windows->window("CompareVoice")); };
    std::vector<TMenuEntry> entries = run.verbs->menuEntries();
    for (TMenuEntry& entry : run.windows->menuEntries())
        entries.push_back(std::move(entry));
    run.mainForm->buildMenus(entries);
    run.commands->openExplore = [&run] { TWindowList::bringUp(*run.windows->window("ExploreWindow")); };
    run.windows->createStartWindows();

    // A modal dialog never hides behind the window it belongs to, and reads in the
    // platform's colours over a window with colours of its own.
    installModalGuard();
    installDialogLook();

    // 9. The device lists.
    auto* devices = run.windows->window<TSetDevices>("SetDevices");
    devices->fillDeviceLists();

    // 10. A first run asks for the ports and the channel, then loads the library's first
    // voice again so that it reaches the synthesiser through the ports now chosen.
    if (!run.settings.fileFound) {
        devices->exec();
        if (run.fileIO->countRecords() > 0)
            run.mainForm->loadRecord(0, run.settings.sendAtStart);
    }

    // 11. Every editor shows the voice that start-up left. Undo starts from it.
    run.document.reshow();
    run.document.resetHistory();
}

void runEventLoop(TTarvik& run)
{
    TWindowList::placeWindow(*run.mainForm, QStringLiteral("MainForm"));
    run.mainForm->show();
    QApplication::exec();
}

void shutDown(TTarvik& run)
{
    if (run.windows)
        run.windows->keepPlaces();
    if (run.port)
        run.port->closePorts();
    run.settings.save(settingsFileName);
}

int runTarvik()
{
    TTarvik run;
    createObjects(run);
    try {
        createWindows(run);
        runEventLoop(run);
    } catch (const std::exception& e) {
        showException(e.what());
    }
    shutDown(run);
    return 0;
}
