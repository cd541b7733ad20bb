// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include <QIcon>
#include <QMessageBox>
#include <exception>
#include <filesystem>
#include <system_error>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "app/appevents.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/pictures.h"
#include "settings/settings.h"
#include "app/setdevices.h"
#include "editors/awmedit.h"
#include "editors/fmedit.h"
#include "editors/voicehistory.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"
#include "library/fileio.h"
#include "midi/midiport.h"
#include "voice/dumpcodec.h"
#include "voice/voice.h"

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

void createObjects()
{
    // 1. The settings, read from the working directory.
    settings = TSettings(settingsFileName);
    // 2. The open error dialog, with no owner, before any port opens.
    MIDIOpenError = new TMIDIOpenError();
    // 3.-4. The transport lists the devices, then opens the ports of the settings.
    midiPort = new TMIDIPort();
    midiPort->events = &appMIDIEvents;
    midiPort->setChannel(settings.midiChannel);
    // An open error is a modal dialog too: it never stays out of reach.
    installModalGuard();
    openSettingsDevices();
    // 5. The codec is a process-wide object already; the voice starts from its reset.
    resetVoice();
    // 6. The voice file object; no file is open yet.
    fileIO = new TFileIO();
    fileIO->events = &appFileEvents;
}

void createWindows()
{
    // 7. The application's title.
    QApplication::setApplicationName(QStringLiteral("Tarvik"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarvik.Tarvik"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addPixmap(pictures::appIcon(size));
    QApplication::setWindowIcon(icon);

    // 8. The windows, main window first: it lists the library and loads and sends the
    // first voice before any other window exists.
    MainForm = new TMainForm();
    // "Get voice" from any editor starts the main window's fetch.
    if (midiPort)
        midiPort->setVoiceFetcher([] { return MainForm && MainForm->fetchVoice(); });
    SetDevices = new TSetDevices();
    AWMEdit = new TAWMEdit();
    FMEdit = new TFMEdit();
    VoiceCommonEdit = new TVoiceCommonEdit();
    VectorEdit = new TVectorEdit();
    AboutTarvik = new TAboutTarvik();
    InvFile = new TInvFile();
    SaveErrDlg = new TSaveErrDlg();
    OverwriteDlg = new TOverwriteDlg();
    noMIDIData = new TnoMIDIData();
    DataReceivedForm = new TDataReceivedForm();

    // A modal dialog never hides behind the window it belongs to.
    installModalGuard();

    // 9. The device lists.
    SetDevices->fillDeviceLists();

    // 10. A first run asks for the ports and the channel, then loads the library's first
    // voice again so that it reaches the synthesiser through the ports now chosen.
    if (!settings.fileFound) {
        SetDevices->exec();
        if (fileIO->countRecords() > 0)
            fileIO->loadRecord(0);
    }

    // 11. Every editor shows the voice that start-up left. Undo starts from it.
    refreshEditors();
    voiceHistory.reset(voice);
}

void runEventLoop()
{
    MainForm->show();
    QApplication::exec();
}

void shutDown()
{
    if (midiPort)
        midiPort->closePorts();
    settings.save(settingsFileName);
}

int runTarvik()
{
    createObjects();
    try {
        createWindows();
        runEventLoop();
    } catch (const std::exception& e) {
        showException(e.what());
    }
    shutDown();
    return 0;
}

void releaseAll()
{
    delete DataReceivedForm; DataReceivedForm = nullptr;
    delete noMIDIData; noMIDIData = nullptr;
    delete OverwriteDlg; OverwriteDlg = nullptr;
    delete SaveErrDlg; SaveErrDlg = nullptr;
    delete InvFile; InvFile = nullptr;
    delete AboutTarvik; AboutTarvik = nullptr;
    delete VectorEdit; VectorEdit = nullptr;
    delete VoiceCommonEdit; VoiceCommonEdit = nullptr;
    delete FMEdit; FMEdit = nullptr;
    delete AWMEdit; AWMEdit = nullptr;
    delete SetDevices; SetDevices = nullptr;
    if (midiPort)
        midiPort->setVoiceFetcher(nullptr);
    delete MainForm; MainForm = nullptr;
    delete fileIO; fileIO = nullptr;
    delete midiPort; midiPort = nullptr;
    delete MIDIOpenError; MIDIOpenError = nullptr;
}
