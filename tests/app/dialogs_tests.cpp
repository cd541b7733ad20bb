// SPDX-License-Identifier: GPL-3.0-or-later
// The message dialogs, the about box and the device dialog: texts, buttons and their
// result codes, and that a message dialog only closes by its own button.
#include <QAbstractEventDispatcher>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include "app/aboutbox.h"
#include "app/appevents.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/setdevices.h"
#include "app/startup.h"
#include "apptest.h"
#include "editors/awmedit.h"
#include "midi/midiport.h"
#include "settings/settings.h"
#include "tarvik_version.h"

using namespace apptest;

namespace {

// The red message lines of a dialog, top to bottom (tfError is not one of them).
QStringList messageLines(QWidget* dialog)
{
    std::vector<QLabel*> labels;
    for (QLabel* l : dialog->findChildren<QLabel*>())
        if (l->objectName() != QStringLiteral("tfError") && l->pixmap().isNull())
            labels.push_back(l);
    std::sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) { return a->y() < b->y(); });
    QStringList lines;
    for (QLabel* l : labels)
        lines << l->text();
    return lines;
}

// Runs the dialog modally; `act` runs once it is up and must close it.
int runModal(QDialog& dialog, const std::function<void()>& act)
{
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(dialog.isVisible());
        act();
    });
    return dialog.exec();
}

struct Expected {
    QString caption;
    QStringList lines;
    QSize size;
    std::vector<std::pair<QString, int>> buttons;   // caption, result
    bool centred;
};

void checkMessageDialog(TMessageDialog& dialog, const Expected& e)
{
    SCOPED_TRACE(e.caption.toStdString());
    EXPECT_EQ(dialog.windowTitle(), e.caption);
    EXPECT_EQ(messageLines(&dialog), e.lines);
    EXPECT_EQ(dialog.size(), e.size);
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    // No title-bar buttons at all.
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinMaxButtonsHint);

    for (const auto& [caption, result] : e.buttons) {
        QPushButton* button = nullptr;
        for (QPushButton* b : dialog.findChildren<QPushButton*>())
            if (b->text() == caption)
                button = b;
        ASSERT_NE(button, nullptr) << caption.toStdString();
        EXPECT_FALSE(button->icon().isNull());
        // Escape and a close request leave it open; its button closes it.
        const int got = runModal(dialog, [&] {
            QTest::keyClick(&dialog, Qt::Key_Escape);
            dialog.close();
            EXPECT_TRUE(dialog.isVisible());
            if (e.centred) {
                const QPoint middle = dialog.screen()->availableGeometry().center();
                EXPECT_LE((dialog.geometry().center() - middle).manhattanLength(), 4);
            }
            button->click();
        });
        EXPECT_EQ(got, result) << caption.toStdString();
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST(MessageDialogs, CaptionsLinesButtonsResultsAndOnlyAButtonCloses)
{
    TInvFile invFile;
    checkMessageDialog(invFile,
                       {"Invalid file",
                        {"Selected file does not contain a valid", "SY-22 or SY-35 System Exclusive dump"},
                        {388, 85},
                        {{"Okay", 1}},
                        true});
    TSaveErrDlg saveErr;
    checkMessageDialog(saveErr, {"Save error", {"Error saving file"}, {427, 75}, {{"Okay", 1}}, false});
    EXPECT_EQ(child<QPushButton>(&saveErr, "saveErrDlg")->text(), QStringLiteral("Okay"));
    TOverwriteDlg overwrite;
    checkMessageDialog(overwrite,
                       {"Overwrite voice",
                        {"Are you sure you wish to overwrite the selected", "voice in the database?", ""},
                        {427, 113},
                        {{"&No", 2}, {"&Yes", 1}},
                        false});
    TnoMIDIData noData;
    checkMessageDialog(noData, {"No data", {"No data received"}, {295, 65}, {{"Bummer!", 1}}, true});
    TDataReceivedForm received;
    checkMessageDialog(received, {"MIDI Received", {"MIDI dump received"}, {348, 65}, {{"Okay", 1}}, true});
    TMIDIOpenError openError;
    checkMessageDialog(openError,
                       {"MIDI Open Error", {"Error opening MIDI port"}, {427, 117}, {{"Nuts!", 1}}, true});
}

TEST(MessageDialogs, EnterInTheOverwriteQuestionAnswersNoWhereverTheFocusIs)
{
    TOverwriteDlg dialog;
    EXPECT_EQ(runModal(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Return); }), 2);
    EXPECT_EQ(runModal(dialog,
                       [&] {
                           child<QPushButton>(&dialog, "bYes")->setFocus();
                           QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                       }),
              2);
    EXPECT_EQ(runModal(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Y, Qt::AltModifier); }), 1);
}

TEST(MessageDialogs, EachOpenErrorShowsItsOwnTextInTurn)
{
    run = std::make_unique<TTarvik>();
    run->openErrorDialog = std::make_unique<TMIDIOpenError>();
    QStringList shown;
    ModalAnswerer answerer([&](QWidget* d) {
        shown << child<QLabel>(run->openErrorDialog.get(), "tfError")->text();
        return clickButton(d, "bNuts");
    });
    run->midiEvents.openError("input device 7 is not there");
    run->midiEvents.openError("output device 9 is not there");
    EXPECT_EQ(shown, (QStringList{"input device 7 is not there", "output device 9 is not there"}));
    EXPECT_EQ(answerer.seen, (std::vector<std::string>{"MIDI Open Error", "MIDI Open Error"}));
    run.reset();
}

TEST(AboutBox, HasACloseBoxItsTextsAndOkAnswersOne)
{
    TAboutTarvik about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Tarvik"));
    EXPECT_EQ(about.size(), QSize(427, 453));
    EXPECT_TRUE(about.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(about.windowFlags() & Qt::WindowSystemMenuHint);
    const QStringList lines = messageLines(&about);
    EXPECT_TRUE(lines.contains(QStringLiteral("Voice editor for the Yamaha")));
    EXPECT_TRUE(lines.contains(QStringLiteral("SY-22 and SY-35 Vector Synthesisers.")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Version " TARVIK_VERSION)));
    EXPECT_TRUE(child<QPushButton>(&about, "bOK")->isDefault());
    EXPECT_EQ(runModal(about, [&] { QTest::keyClick(&about, Qt::Key_Return); }), 1);
    // The close box closes it too.
    EXPECT_EQ(runModal(about, [&] { about.close(); }), 0);
}

TEST(DeviceDialog, ChannelSixteenIsStoredAs15AndReachesTheSettingsFile)
{
    ScratchDir scratch;
    writeText("TARVIK.INI", "MIDI channel=2\r\nModel=1\r\nIn device=0\r\nOut device=0\r\nAuto send=1\r\n");
    ModalAnswerer answerer([](QWidget* d) {
        if (!mainForm() || d != window<TSetDevices>("SetDevices"))
            return answerFirstButton(d);
        QComboBox* channels = child<QComboBox>(window<TSetDevices>("SetDevices"), "cbMIDIChannel");
        QStringList entries;
        for (int i = 0; i < channels->count(); ++i)
            entries << channels->itemText(i);
        EXPECT_EQ(entries, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13",
                                        "14", "15", "16"}));
        EXPECT_EQ(channels->currentText(), QStringLiteral("3"));
        // The user opens the list and picks its last entry.
        channels->setFocus();
        QTest::keyClick(channels, Qt::Key_End);
        EXPECT_EQ(run->settings.midiChannel, 15);
        // The close box ends the dialog just as "&Okay" does.
        window<TSetDevices>("SetDevices")->close();
        return true;
    });
    createObjects();
    createWindows();
    EXPECT_EQ(window<TSetDevices>("SetDevices")->windowTitle(), QStringLiteral("Select MIDI Devices"));
    answerer.seen.clear();
    action("SelectMidiDevices")->trigger();
    EXPECT_EQ(answerer.seen, std::vector<std::string>{"Select MIDI Devices"});
    EXPECT_FALSE(window<TSetDevices>("SetDevices")->isVisible());
    EXPECT_EQ(run->settings.midiChannel, 15);
    shutDown();
    EXPECT_EQ(readText("TARVIK.INI"),
              "MIDI channel=15\r\nModel=1\r\nIn device=0\r\nOut device=0\r\nAuto send=1\r\n");
    releaseAll();
}

// Dialogs belong to the window they were opened from: the window manager minimises and
// restores them together, they offer no minimise button of their own, and turning to
// the main window brings a pending one back.
TEST(Dialogs, ModalDialogsStayWithTheirMainWindow)
{
    ScratchDir scratch;
    writeText("TARVIK.INI", "MIDI channel=99\r\nModel=0\r\nIn device=0\r\nOut device=0\r\nAuto send=1\r\n");
    std::vector<std::string> checked;
    ModalAnswerer answerer([&](QWidget* d) {
        if (d == run->openErrorDialog.get())
            return answerFirstButton(d);
        checked.push_back(d->windowTitle().toStdString());
        EXPECT_FALSE(d->windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_TRUE(d->windowHandle() && d->windowHandle()->transientParent() == mainForm()->windowHandle());
        if (mainForm() && d == window<TSetDevices>("SetDevices")) {
            // Channel 99 goes out on channel 4 (its low 4 bits): the box says so.
            EXPECT_EQ(child<QComboBox>(window<TSetDevices>("SetDevices"), "cbMIDIChannel")->currentText(),
                      QStringLiteral("4"));
            // (No port opens here: its error dialog would wait inside this one.)
            TMIDIPortEvents* events = run->port->events;
            run->port->events = nullptr;
            child<QPushButton>(window<TSetDevices>("SetDevices"), "bRefresh")->click();
            run->port->events = events;
            EXPECT_EQ(child<QComboBox>(window<TSetDevices>("SetDevices"), "cbMIDIChannel")->currentText(),
                      QStringLiteral("4"));
            // Minimised anyway (a window manager may offer it): the main window's
            // activation brings it back.
            d->setWindowState(Qt::WindowMinimized);
            QEvent activate(QEvent::WindowActivate);
            QApplication::sendEvent(mainForm(), &activate);
            QApplication::processEvents();
            EXPECT_FALSE(d->isMinimized());
            d->close();
            return true;
        }
        return answerFirstButton(d);
    });
    createObjects();
    createWindows();
    mainForm()->show();
    mainForm()->activateWindow();
    action("SelectMidiDevices")->trigger();
    run->InvFile->exec();
    action("About")->trigger();
    EXPECT_EQ(checked, (std::vector<std::string>{"Select MIDI Devices", "Invalid file", "About Tarvik"}));
    shutDown();
    // The channel the file held is written back as it was: no pick changed it.
    EXPECT_EQ(readText("TARVIK.INI").substr(0, 17), "MIDI channel=99\r\n");
    releaseAll();
}

// Minimised (the window manager takes its owner along), a modal dialog comes back in
// front as soon as any window of the program is clicked or given the focus: the
// window system's own events say so, as the blocked windows hear nothing else.
TEST(Dialogs, AMinimisedDialogComesBackOnAnyClickOrFocus)
{
    ScratchDir scratch;
    writeText("TARVIK.INI", "MIDI channel=0\r\nModel=0\r\nIn device=-1\r\nOut device=-1\r\nAuto send=1\r\n");
    std::vector<bool> restored;
    ModalAnswerer answerer([&](QWidget* d) {
        if (!mainForm() || qobject_cast<TDataReceivedForm*>(d) == nullptr)
            return answerFirstButton(d);
        for (const uint8_t type : {uint8_t(4), uint8_t(9 | 0x80)}) {   // a click; a focus given
            d->setWindowState(Qt::WindowMinimized);
            mainForm()->setWindowState(Qt::WindowMinimized);
            uint8_t event[32] = {type};
            qintptr result = 0;
            QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", event, &result);
            QApplication::processEvents();
            restored.push_back(!d->isMinimized() && !mainForm()->isMinimized());
        }
        return answerFirstButton(d);
    });
    createObjects();
    createWindows();
    mainForm()->show();
    window<TAWMEdit>("AWMEdit")->show();
    topLevel<TDataReceivedForm>()->exec();
    EXPECT_EQ(restored, (std::vector<bool>{true, true}));
    shutDown();
    releaseAll();
}

// "Save voice" and the export alike: a folder that does not exist is refused inside
// the dialog, by name, before anything is written.
TEST(Dialogs, SaveDialogRefusesAFolderThatDoesNotExist)
{
    for (const bool exporting : {false, true}) {
        ScratchDir scratch;
        writeText("TARVIK.INI", "MIDI channel=0\r\n");
        int messages = 0;
        ModalAnswerer answerer([&](QWidget* d) {
            if (mainForm() && (d == child<QFileDialog>(mainForm(), "fileSaveDlg") ||
                               d == child<QFileDialog>(mainForm(), "fileExportDlg")))
                return false;
            if (d->windowTitle() == QStringLiteral("Save voice") ||
                d->windowTitle() == QStringLiteral("Export voices")) {
                ++messages;
                auto* box = qobject_cast<QMessageBox*>(d);
                EXPECT_TRUE(box && box->text().contains(QStringLiteral("no-such-folder")));
            }
            return answerFirstButton(d);
        });
        createObjects();
        createWindows();
        mainForm()->show();
        QFileDialog* dialog = exporting ? child<QFileDialog>(mainForm(), "fileExportDlg")
                                        : child<QFileDialog>(mainForm(), "fileSaveDlg");
        dialog->setDirectory(QDir::currentPath());
        dialog->open();
        dialog->selectFile(QStringLiteral("no-such-folder/new.SYX"));
        static_cast<QDialog*>(dialog)->accept();
        EXPECT_EQ(messages, 1);
        EXPECT_TRUE(dialog->isVisible());
        dialog->selectFile(QStringLiteral("new.SYX"));
        static_cast<QDialog*>(dialog)->accept();
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        shutDown();
        releaseAll();
    }
}

}   // namespace
