// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and shutdown in a scratch working directory: what is created, loaded and
// sent in the three starting situations, and that every way out writes the settings.
#include "app/voicelist.h"
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/aboutbox.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/setdevices.h"
#include "app/startup.h"
#include "apptest.h"
#include "library/fileio.h"
#include "midi/midiport.h"
#include "settings/settings.h"

using namespace apptest;

namespace {

const char* const settingsText =
    "MIDI channel=3\r\nModel=0\r\nIn device=0\r\nOut device=0\r\nAuto send=1\r\n";

class StartupTest : public ::testing::Test {
protected:
    void TearDown() override { releaseAll(); }

    // Runs start-up; the device dialog, when it comes, notes the sends made so far.
    void start()
    {
        createObjects();
        createWindows();
    }
    bool deviceDialogShown() const
    {
        return std::find(answerer.seen.begin(), answerer.seen.end(), "Select MIDI Devices") !=
               answerer.seen.end();
    }

    ScratchDir scratch;
    long sendsWhileDeviceDialogOpen = -1;
    std::function<void()> whileDeviceDialogOpen;
    ModalAnswerer answerer{[this](QWidget* d) {
        if (mainForm() && d == window<TSetDevices>("SetDevices")) {
            sendsWhileDeviceDialogOpen = long(voiceSends);
            if (whileDeviceDialogOpen)
                whileDeviceDialogOpen();
            return clickButton(d, "bOkay");
        }
        return answerFirstButton(d);
    }};
};

TEST_F(StartupTest, FirstRunMakesAnEmptyLibraryAsksForDevicesAndSendsNothing)
{
    start();
    EXPECT_TRUE(deviceDialogShown());
    EXPECT_EQ(readFile("SOUNDS.SYL"), (std::vector<uint8_t>{'T', 'O', 'R', 'V', 'A'}));
    EXPECT_EQ(dbList()->count(), 0);
    EXPECT_FALSE(action("ModifyVoice")->isEnabled());
    EXPECT_EQ(voiceSends, 0u);
    EXPECT_EQ(voiceName(), "12345678");
    EXPECT_TRUE(child<QPushButton>(mainForm(), "bAutoSend")->isChecked());
    // Only the main window shows once the loop runs.
    EXPECT_FALSE(window<TSetDevices>("SetDevices")->isVisible());
    EXPECT_FALSE(run->openErrorDialog->isVisible());

    QTimer::singleShot(0, [] { action("Exit")->trigger(); });
    runEventLoop(*run);
    shutDown();
    EXPECT_EQ(readText("TARVIK.INI"),
              "MIDI channel=0\r\nModel=0\r\nIn device=0\r\nOut device=0\r\nAuto send=1\r\n");
}

TEST_F(StartupTest, SettingsAndLibraryPresentLoadAndSendTheFirstRecordOnce)
{
    writeText("TARVIK.INI", settingsText);
    writeFile("SOUNDS.SYL", libraryBytes({{0x0004, "FIRST   "}, {0x0001, "SECOND  "}}));
    start();
    EXPECT_FALSE(deviceDialogShown());
    EXPECT_EQ(voiceSends, 1u);
    EXPECT_EQ(voiceName(), "FIRST   ");
    EXPECT_EQ(dbList()->count(), 2);
    EXPECT_EQ(run->settings.midiChannel, 3);
}

TEST_F(StartupTest, SettingsMissingSendTheFirstRecordAgainAfterTheDevicesArePicked)
{
    writeFile("SOUNDS.SYL", libraryBytes({{0x0004, "FIRST   "}, {0x0001, "SECOND  "}}));
    // While the dialog is open the user picks channel 16 and lists another voice.
    whileDeviceDialogOpen = [] {
        child<QComboBox>(window<TSetDevices>("SetDevices"), "cbMIDIChannel")->setCurrentIndex(15);
        resetVoice(voice());
    };
    start();
    EXPECT_TRUE(deviceDialogShown());
    EXPECT_EQ(sendsWhileDeviceDialogOpen, 1);
    EXPECT_EQ(voiceSends, 2u);
    EXPECT_EQ(voiceName(), "FIRST   ");
    EXPECT_EQ(run->settings.midiChannel, 15);
}

TEST_F(StartupTest, ExitAndTheCloseBoxBothEndTheRunAndWriteTheSettings)
{
    writeText("TARVIK.INI", settingsText);
    start();
    QTimer::singleShot(0, [] {
        child<QPushButton>(mainForm(), "bNoAutoSend")->click();
        action("Exit")->trigger();
    });
    runEventLoop(*run);
    shutDown();
    EXPECT_EQ(readText("TARVIK.INI"),
              "MIDI channel=3\r\nModel=0\r\nIn device=0\r\nOut device=0\r\nAuto send=0\r\n");
    releaseAll();

    start();
    EXPECT_FALSE(run->settings.autoSend);
    EXPECT_TRUE(child<QPushButton>(mainForm(), "bNoAutoSend")->isChecked());
    QTimer::singleShot(0, [] {
        child<QPushButton>(mainForm(), "bAutoSend")->click();
        mainForm()->close();
    });
    runEventLoop(*run);
    shutDown();
    EXPECT_EQ(readText("TARVIK.INI"),
              "MIDI channel=3\r\nModel=0\r\nIn device=0\r\nOut device=0\r\nAuto send=1\r\n");
}

TEST_F(StartupTest, AHandEditedSettingsFileStartsCalmly)
{
    // Out-of-range numbers: the lists show no selection and nothing breaks.
    writeText("TARVIK.INI", "MIDI channel=99\r\nModel=7\r\nIn device=42\r\nOut device=-3\r\nAuto send=x\r\n");
    writeFile("SOUNDS.SYL", libraryBytes({{0x0004, "FIRST   "}}));
    start();
    EXPECT_EQ(child<QListWidget>(window<TSetDevices>("SetDevices"), "lbInputs")->currentRow(), -1);
    EXPECT_EQ(child<QListWidget>(window<TSetDevices>("SetDevices"), "lbOutputs")->currentRow(), -1);
    EXPECT_EQ(dbList()->count(), 1);
}

}   // namespace

namespace {

// Started the desktop's way, the editor makes its data folder on first start, works
// there, and the about box says where that is.
TEST(DesktopStart, DataFolderIsMadeUsedAndNamedInTheAboutBox)
{
    ScratchDir scratch;
    const std::string outside = QDir::currentPath().toStdString();
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(scratch.path("data")));
    std::string folder, error;
    ASSERT_TRUE(enterDataFolder(folder, error)) << error;
    EXPECT_EQ(folder, scratch.path("data") + "/tarvik");
    EXPECT_EQ(QDir::currentPath().toStdString(), folder);

    ModalAnswerer answerer([](QWidget* d) { return answerFirstButton(d); });
    createObjects();
    createWindows();
    window<TAboutTarvik>("AboutTarvik")->show();
    EXPECT_TRUE(child<QLabel>(window<TAboutTarvik>("AboutTarvik"), "tfFolder")
                    ->text()
                    .contains(QString::fromStdString(folder)));
    window<TAboutTarvik>("AboutTarvik")->hide();
    shutDown();
    releaseAll();
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(folder + "/TARVIK.INI")));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(folder + "/SOUNDS.SYL")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(outside + "/TARVIK.INI")));

    // Unset, or not an absolute path: the folder under the home directory.
    qputenv("XDG_DATA_HOME", "relative");
    EXPECT_EQ(dataFolder(), QDir::homePath().toStdString() + "/.local/share/tarvik");
    if (oldXdg.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldXdg);
}

}   // namespace
