// SPDX-License-Identifier: GPL-3.0-or-later
// The editor against virtual SY-22s on a JACK server of the test's own: what start-up
// sends and through which ports, loading from the list with auto-send off, and a
// device pick that reopens both ports.
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#define APPTEST_OWN_JACK
#include "app/bankwindow.h"
#include "app/bankwritedialog.h"
#include "app/dialogs.h"
#include "app/explorewindow.h"
#include "app/librarydialogs.h"
#include "app/mainform.h"
#include "app/setdevices.h"
#include "app/startup.h"
#include "app/storevoice.h"
#include "app/voicelist.h"
#include "apptest.h"
#include "document/bankdocument.h"
#include "editors/controls.h"
#include "editors/editcommands.h"
#include "editors/fmedit.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"
#include "library/fileio.h"
#include "midi/midiport.h"
#include "settings/settings.h"
#include "tests/midi/vsy22.h"
#include "voice/dumpcodec.h"
#include <QCheckBox>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

using namespace apptest;

namespace {

std::string settingsFor(int in, int out, bool autoSend)
{
    return "MIDI channel=0\r\nModel=0\r\nIn device=" + std::to_string(in) +
           "\r\nOut device=" + std::to_string(out) + "\r\nAuto send=" + (autoSend ? "1" : "0") + "\r\n";
}

std::string dumpName(const Bytes& dump)
{
    return dump.size() >= 27 ? std::string(dump.begin() + 19, dump.begin() + 27) : std::string();
}

class SynthTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(jack.start());
        ASSERT_TRUE(a.start()) << a.log();
        ASSERT_TRUE(b.start()) << b.log();
        TMIDIPort probe;
        aIn = a.inDevice(probe);
        aOut = a.outDevice(probe);
        bIn = b.inDevice(probe);
        bOut = b.outDevice(probe);
        ASSERT_GE(aIn, 0);
        ASSERT_GE(aOut, 0);
        ASSERT_GE(bIn, 0);
        ASSERT_GE(bOut, 0);
        writeFile("SOUNDS.SYL", libraryBytes({{0x0001, "FIRST   "}, {0x0002, "SECOND  "}}));
    }
    void TearDown() override { releaseAll(); }

    // No more dumps arrive than `expected`: once what the editor queued has gone out,
    // the synthesiser runs a few more of its cycles, and has then counted all that
    // reached it. The window's events run meanwhile.
    static void expectDumps(const VirtualSY22& synth, long expected)
    {
        if (expected > 0) {
            EXPECT_TRUE(synth.waitForCount("dumps", expected)) << synth.name;
        }
        if (run->port) {
            EXPECT_TRUE(run->port->flush(3000));
        }
        const long cycles = synth.count("cycles");
        EXPECT_TRUE(waitWithEvents([&] { return synth.count("cycles") >= cycles + 3; })) << synth.name;
        EXPECT_EQ(std::max(synth.count("dumps"), 0L), expected) << synth.name;
    }
    template <class Condition> static bool waitWithEvents(Condition condition, int ms = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!condition() && clock.elapsed() < ms)
            QTest::qWait(10);
        return condition();
    }
    long openErrors() const
    {
        return long(std::count(answerer.seen.begin(), answerer.seen.end(), "MIDI Open Error"));
    }

    ScratchDir scratch;
    PrivateJack jack;
    VirtualSY22 a, b;
    int aIn = -1, aOut = -1, bIn = -1, bOut = -1;
    // What the user does in the device dialog; runs once the dialog is up, after the
    // answerer's tick, so that any open error it brings is answered in turn.
    std::function<void()> pickDevices;
    bool picked = false;
    ModalAnswerer answerer{[this](QWidget* d) {
        if (!mainForm() || d != window<TSetDevices>("SetDevices"))
            return answerFirstButton(d);
        if (pickDevices && !picked) {
            picked = true;
            QTimer::singleShot(0, pickDevices);
            return false;
        }
        return clickButton(d, "bOkay") || answerFirstButton(d);
    }};
};

TEST_F(SynthTest, SettingsAndLibraryPresentSendTheFirstRecordOnce)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, true));
    createObjects();
    createWindows();
    EXPECT_EQ(openErrors(), 0);
    expectDumps(a, 1);
    EXPECT_EQ(dumpName(a.currentVoice()), "FIRST   ");
    expectDumps(b, 0);
}

TEST_F(SynthTest, SettingsMissingSendTheFirstRecordThroughTheDefaultPortsThenTheChosenOnes)
{
    // The defaults are devices 0 and 0: the first synthesiser on this server.
    ASSERT_EQ(aIn, 0);
    ASSERT_EQ(aOut, 0);
    pickDevices = [this] {
        child<QListWidget>(window<TSetDevices>("SetDevices"), "lbOutputs")->setCurrentRow(bOut);
        child<QListWidget>(window<TSetDevices>("SetDevices"), "lbInputs")->setCurrentRow(bIn);
    };
    createObjects();
    createWindows();
    EXPECT_EQ(openErrors(), 0);
    EXPECT_EQ(run->settings.inDevice, bIn);
    EXPECT_EQ(run->settings.outDevice, bOut);
    expectDumps(a, 1);
    expectDumps(b, 1);
    EXPECT_EQ(dumpName(b.currentVoice()), "FIRST   ");
}

TEST_F(SynthTest, LoadingFromTheListSendsWithAutoSendOff)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, false));
    createObjects();
    createWindows();
    mainForm()->show();
    ASSERT_TRUE(child<QPushButton>(mainForm(), "bNoAutoSend")->isChecked());
    expectDumps(a, 1);

    auto* list = dbList();
    list->setCurrentRow(1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->rowRect(1).center());
    expectDumps(a, 2);
    EXPECT_EQ(dumpName(a.currentVoice()), "SECOND  ");
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Return);
    expectDumps(a, 3);
    EXPECT_EQ(dumpName(a.currentVoice()), "FIRST   ");
}

TEST_F(SynthTest, GettingTheSynthesisersVoiceAcknowledgesItsArrival)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, true));
    createObjects();
    createWindows();
    expectDumps(a, 1);
    resetVoice(voice());
    answerer.seen.clear();
    action("GetVoiceFromSynth")->trigger();
    // The fetch runs on in the event loop; its outcome is a dialog.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.seen.empty(); }, 10000));
    EXPECT_EQ(answerer.seen, std::vector<std::string>{"MIDI Received"});
    EXPECT_EQ(voiceName(), "FIRST   ");
}

TEST_F(SynthTest, PickingAnOutputDeviceKeepsTheInputDeviceButReopensBothPorts)
{
    // An input device that cannot open shows its error at start-up, and again when a
    // pick of an output device reopens both ports.
    writeText("TARVIK.INI", settingsFor(99, aOut, true));
    createObjects();
    createWindows();
    EXPECT_EQ(openErrors(), 1);
    expectDumps(a, 1);

    pickDevices = [this] {
        // The input list, holding no selection, takes the focus first: no pick.
        child<QListWidget>(window<TSetDevices>("SetDevices"), "lbInputs")->setFocus();
        child<QListWidget>(window<TSetDevices>("SetDevices"), "lbOutputs")->setCurrentRow(bOut);
    };
    action("SelectMidiDevices")->trigger();
    EXPECT_EQ(openErrors(), 2);
    EXPECT_EQ(run->settings.inDevice, 99);
    EXPECT_EQ(run->settings.outDevice, bOut);

    // The voice now goes to the second synthesiser only.
    run->protocol->sendVoice(voice());
    expectDumps(b, 1);
    expectDumps(a, 1);
}

TEST_F(SynthTest, AnFMWaveAboveOneTwentySevenSurvivesASendAndAFetchBack)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, true));
    createObjects();
    createWindows();
    expectDumps(a, 1);

    // The user picks wave 200 for element B; auto-send takes it to the synthesiser.
    emit child<TPickList>(window<TFMEdit>("FMEdit"), "cbWaveform")->picked(200);
    expectDumps(a, 2);
    const Bytes sent = a.currentVoice();
    ASSERT_EQ(sent.size(), 592u);
    EXPECT_EQ(sent[64], 0x01);   // 200 travels as bit 7, then bits 6..0
    EXPECT_EQ(sent[65], 200 - 128);

    resetVoice(voice());
    answerer.seen.clear();
    window<TFMEdit>("FMEdit")->bGetVoiceClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.seen.empty(); }, 10000));
    EXPECT_EQ(answerer.seen, std::vector<std::string>{"MIDI Received"});
    EXPECT_EQ(voice().element[1].waveform, 200);
    EXPECT_EQ(child<TPickList>(window<TFMEdit>("FMEdit"), "cbWaveform")->currentIndex(), 200);
}

TEST_F(SynthTest, ALoadedVoiceFileIsSentWithAutoSendOff)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, false));
    createObjects();
    createWindows();
    expectDumps(a, 1);
    writeFile("ONE.SYX", dumpNamed("FROMFILE"));
    const std::optional<VoiceDump> dump = run->fileIO->loadVoiceFile("ONE.SYX");
    ASSERT_TRUE(dump);
    run->document.loadDump(dump->data(), "Load voice", TVoiceDocument::Send::always);
    expectDumps(a, 2);
    EXPECT_EQ(dumpName(a.currentVoice()), "FROMFILE");
}

TEST_F(SynthTest, AVectorSliderDraggedSendsTheVoicesItPassesInOrderEndingWithTheLast)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, true));
    createObjects();
    createWindows();
    expectDumps(a, 1);
    window<TVectorEdit>("VectorEdit")->show();
    TSlider* slider = child<TSlider>(window<TVectorEdit>("VectorEdit"), "abStep1");
    const int from = slider->value();
    // What a mouse drag does to the slider: held down, passing position after position.
    // Each position asks for a send; a voice still waiting is replaced by the newer one.
    std::vector<Bytes> held;
    slider->setSliderDown(true);
    for (int step = 1; step <= 4; ++step) {
        slider->setSliderPosition(from + (from < 31 ? step : -step));
        const VoiceDump d = encodeVoice(voice());
        held.emplace_back(d.begin(), d.end());
    }
    slider->setSliderDown(false);
    EXPECT_EQ(voiceSends, 5u);
    ASSERT_TRUE(run->port->flush(3000));
    ASSERT_TRUE(eventually([&] { return a.currentVoice() == held.back(); }));
    const long cycles = a.count("cycles");
    ASSERT_TRUE(waitWithEvents([&] { return a.count("cycles") >= cycles + 3; }));   // its counts follow

    // Every dump after the first is one of the voices the editor held, in edit order.
    const long dumps = a.count("dumps");
    ASSERT_GE(dumps, 2);
    size_t next = 0;
    for (int n = 2; n <= dumps; ++n) {
        const auto at = std::find(held.begin() + long(next), held.end(), a.received(n));
        ASSERT_NE(at, held.end()) << "dump " << n;
        next = size_t(at - held.begin()) + 1;
    }
    EXPECT_EQ(next, held.size()) << "the last position passed arrives last";
    EXPECT_EQ(held.back()[187 + 3], 62 - slider->value());
}

TEST_F(SynthTest, TheMorphPadsLastPointIsTheVoiceTheSynthesiserHolds)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, true));
    createObjects();
    createWindows();
    expectDumps(a, 1);
    action("Explore")->trigger();
    auto* explore = window<TExploreWindow>("ExploreWindow");
    explore->setCornerFromCurrent(0);
    for (int c = 1; c < 4; ++c) {
        explore->audition(c * 4);
        explore->setCornerFromAudition(c);
    }
    QWidget* pad = child<QWidget>(explore, "padMorph");
    const VoiceDump edited = encodeVoice(voice());
    // A drag across the pad, its moves faster than the wire: the newest point wins.
    QTest::mousePress(pad, Qt::LeftButton, {}, QPoint(5, 150));
    for (int step = 1; step <= 30; ++step) {
        const QPoint at(5 + 5 * step, 150 - 4 * step);
        QMouseEvent move(QEvent::MouseMove, at, pad->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(pad, &move);
    }
    QTest::mouseRelease(pad, Qt::LeftButton, {}, QPoint(155, 30));
    Voice last{};
    const std::vector<Voice> corners = {*explore->corner(0), *explore->corner(1), *explore->corner(2),
                                        *explore->corner(3)};
    ASSERT_EQ(morphVoices(corners, 155.0 / 159, 1.0 - 30.0 / 159, GroupLocks{}, last), "");
    const VoiceDump d = encodeVoice(last);
    ASSERT_TRUE(waitWithEvents([&] { return a.currentVoice() == Bytes(d.begin(), d.end()); }));
    EXPECT_EQ(encodeVoice(voice()), edited) << "the pad leaves the voice being edited";
}

TEST_F(SynthTest, TheTestNoteNeverSplitsADumpAndStopsAfterTwoSeconds)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, true));
    createObjects();
    createWindows();
    expectDumps(a, 1);
    for (int round = 0; round < 5; ++round) {
        child<QCheckBox>(window<TFMEdit>("FMEdit"), "cbCarrierAM")->click();
        run->commands->playNote(true);
        child<QCheckBox>(window<TVoiceCommonEdit>("VoiceCommonEdit"), "cbModWheelAM")->click();
        run->commands->playNote(false);
    }
    expectDumps(a, 11);
    EXPECT_TRUE(a.waitForCount("notes", 10));
    EXPECT_EQ(a.count("other"), 0);
    for (int n = 1; n <= 11; ++n) {
        const Bytes dump = a.received(n);
        ASSERT_EQ(dump.size(), 592u) << n;
        EXPECT_STREQ(checkVoiceDump(dump.data()), "") << n;
    }

    // Held on, the note ends by itself.
    run->commands->playNote(true);
    EXPECT_TRUE(waitWithEvents([&] { return a.count("notes") >= 12; }, testNoteMaxMs + 5000));
}

TEST_F(SynthTest, ALibraryBuiltWithTheCommandLineListsAsTheCommandLineShowsIt)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, true));
    writeFile("SOUNDS.SYL", {});
    std::filesystem::remove("SOUNDS.SYL");
    const char* names[] = {"Strings1", "Brass  2", "Pad     "};
    const int masks[] = {0x0001, 0x0003, 0x0021};
    for (int i = 0; i < 3; ++i) {
        writeFile("IN.SYX", dumpNamed(names[i]));
        const std::string add = std::string(TARVIK_VOICE) + " library add IN.SYX --mask " +
                                std::to_string(masks[i]) + " >/dev/null";
        ASSERT_EQ(std::system(add.c_str()), 0);
    }
    const std::string list = std::string(TARVIK_VOICE) + " library list > LIST.TXT";
    ASSERT_EQ(std::system(list.c_str()), 0);
    createObjects();
    createWindows();

    std::string shown;
    run->fileIO->openLibrary();
    for (int row = 0; row < dbList()->count(); ++row) {
        char mask[9];
        std::snprintf(mask, sizeof mask, "%08X", run->fileIO->readCategories(row));
        shown += std::to_string(row) + "\t" + mask + "\t" + dbList()->text(row).toStdString() + "\n";
    }
    run->fileIO->closeFile();
    EXPECT_EQ(shown, readText("LIST.TXT"));

    // Ticking "Brass" lists the one voice that carries it, as the masks say.
    child<QCheckBox>(mainForm(), "cbBrass")->click();
    ASSERT_EQ(dbList()->count(), 1);
    EXPECT_EQ(dbList()->text(0).toStdString(), "Brass  2");
}

TEST_F(SynthTest, ClickingTheSelectedDeviceAgainRetriesIt)
{
    // The input device cannot open: every opening of the ports says so once.
    writeText("TARVIK.INI", settingsFor(99, aOut, true));
    createObjects();
    createWindows();
    EXPECT_EQ(openErrors(), 1);

    pickDevices = [this] {
        QListWidget* outputs = child<QListWidget>(window<TSetDevices>("SetDevices"), "lbOutputs");
        const QPoint selected = outputs->visualItemRect(outputs->item(aOut)).center();
        QTest::mouseClick(outputs->viewport(), Qt::LeftButton, {}, selected);   // again: a retry
        const QPoint other = outputs->visualItemRect(outputs->item(bOut)).center();
        QTest::mouseClick(outputs->viewport(), Qt::LeftButton, {}, other);   // a new pick: once
    };
    action("SelectMidiDevices")->trigger();
    EXPECT_EQ(openErrors(), 3);
    EXPECT_EQ(run->settings.outDevice, bOut);
}

// The settings name the devices: they are found by name though the numbers point
// elsewhere, a device that went away is named and nothing else opens in its place,
// neither at start-up nor on Refresh, and the program's own ports are never offered.
TEST_F(SynthTest, DevicesAreOpenedByNameAndAMissingOneIsNamedNotReplaced)
{
    const std::string bInName = b.name + ":out", bOutName = b.name + ":in";
    writeText("TARVIK.INI", settingsFor(aIn, aOut, true) + "In device name=" + bInName +
                                "\r\nOut device name=" + bOutName + "\r\n");
    createObjects();
    createWindows();
    EXPECT_EQ(openErrors(), 0);
    EXPECT_EQ(run->settings.inDevice, bIn);
    EXPECT_EQ(run->settings.outDevice, bOut);
    expectDumps(b, 1);
    expectDumps(a, 0);
    for (int n = 0; n < run->port->outCount; ++n)
        EXPECT_NE(run->port->outDeviceName(n).rfind("Tarvik", 0), 0u) << run->port->outDeviceName(n);
    for (int n = 0; n < run->port->inCount; ++n)
        EXPECT_NE(run->port->inDeviceName(n).rfind("Tarvik", 0), 0u) << run->port->inDeviceName(n);

    // The synthesiser goes away; Refresh names it once and opens nothing else, and
    // a pick of the other side does not bring its error back.
    b.stop();
    std::string told;
    pickDevices = [&] {
        child<QPushButton>(window<TSetDevices>("SetDevices"), "bRefresh")->click();
        told = child<QLabel>(run->openErrorDialog.get(), "tfError")->text().toStdString();
        EXPECT_EQ(child<QListWidget>(window<TSetDevices>("SetDevices"), "lbOutputs")->currentRow(), -1);
        EXPECT_EQ(child<QListWidget>(window<TSetDevices>("SetDevices"), "lbInputs")->currentRow(), -1);
        TMIDIPort probe;
        child<QListWidget>(window<TSetDevices>("SetDevices"), "lbInputs")->setCurrentRow(a.inDevice(probe));
    };
    answerer.seen.clear();
    action("SelectMidiDevices")->trigger();
    EXPECT_EQ(openErrors(), 1);
    EXPECT_NE(told.find(bInName), std::string::npos) << told;
    EXPECT_NE(told.find(bOutName), std::string::npos) << told;
    EXPECT_EQ(told.find("number"), std::string::npos) << told;
    EXPECT_EQ(run->settings.outDevice, -1);
    EXPECT_FALSE(run->protocol->sendVoice(voice()));
    expectDumps(a, 0);
    shutDown();
    EXPECT_NE(readText("TARVIK.INI").find("Out device name=" + bOutName + "\r\n"), std::string::npos);
    releaseAll();

    // Started again without it: the one message names it, and nothing is opened.
    answerer.seen.clear();
    createObjects();
    EXPECT_EQ(openErrors(), 1);
    EXPECT_NE(child<QLabel>(run->openErrorDialog.get(), "tfError")->text().toStdString().find(bOutName),
              std::string::npos);
    EXPECT_EQ(run->settings.outDevice, -1);
    EXPECT_FALSE(run->protocol->sendVoice(voice()));
}

// The whole bank from a virtual SY-22 over JACK, through the main window's command.
class BankTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(jack.start()); }
    void TearDown() override { releaseAll(); }

    void startEditor(VirtualSY22& synth)
    {
        ASSERT_TRUE(synth.start()) << synth.log();
        TMIDIPort probe;
        writeText("TARVIK.INI", settingsFor(synth.inDevice(probe), synth.outDevice(probe), false));
        createObjects();
        createWindows();
        mainForm()->show();
    }

    ScratchDir scratch;
    PrivateJack jack;
    std::vector<std::string> messages;   // the texts of the message boxes, in order
    bool progressShown = false;
    ModalAnswerer answerer{[this](QWidget* d) {
        if (auto* choice = qobject_cast<TCategoryDlg*>(d)) {
            child<QCheckBox>(choice, "cbCategory3")->setChecked(true);   // Percussion
            return clickButton(d, "bOK");
        }
        if (qobject_cast<QProgressDialog*>(d)) {
            progressShown = true;
            return false;   // the transfer closes it
        }
        if (auto* box = qobject_cast<QMessageBox*>(d)) {
            messages.push_back(box->text().toStdString());
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->button(QMessageBox::Ok))->click();
            return true;
        }
        return answerFirstButton(d);
    }};
};

TEST_F(BankTest, SixtyFourVoicesArriveInPiecesAtTheWireRateAndComeInByteForByte)
{
    // 64 different voices as a file of single dumps; the synthesiser sends them as a bank.
    std::vector<std::vector<uint8_t>> voices;
    std::vector<uint8_t> file;
    for (int k = 0; k < 64; ++k) {
        char name[9];
        std::snprintf(name, sizeof name, "BANK%04d", k);
        voices.push_back(dumpNamed(name, uint8_t(k)));
        file.insert(file.end(), voices.back().begin(), voices.back().end());
    }
    writeFile("voices.syx", file);
    VirtualSY22 synth({"--bank", QDir::current().absoluteFilePath("voices.syx").toStdString()});
    startEditor(synth);
    ASSERT_EQ(mainForm()->voiceCount(), 0);

    action("GetAllVoices")->trigger();
    EXPECT_TRUE(progressShown);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Voices added: 64"), std::string::npos) << messages[0];
    const std::vector<uint8_t> library = readFile("SOUNDS.SYL");
    ASSERT_EQ(library.size(), 5u + 596 * 64);
    for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(recordMask(library, k), 0x0008u);
        EXPECT_TRUE(
            std::equal(voices[size_t(k)].begin(), voices[size_t(k)].end(), library.begin() + 5 + 596 * k + 4))
            << k;
    }
    EXPECT_EQ(dbList()->count(), 64);
    // The whole bank is the current bank too.
    const Bank& current = window<TBankWindow>("BankWindow")->document()->bank();
    for (int k = 0; k < 64; ++k)
        EXPECT_TRUE(
            std::equal(voices[size_t(k)].begin(), voices[size_t(k)].end(), current.voices[size_t(k)].begin()))
            << k;
    EXPECT_EQ(window<TBankWindow>("BankWindow")->document()->origin(),
              QStringLiteral("From the synthesiser"));

    // Fetched again: every voice is there already, nothing is added.
    messages.clear();
    action("GetAllVoices")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Duplicates skipped: 64"), std::string::npos) << messages[0];
    EXPECT_EQ(readFile("SOUNDS.SYL"), library);
}

TEST_F(BankTest, NoAnswerIsToldAndAddsNothing)
{
    writeFile("SOUNDS.SYL", libraryBytes({{0x0001, "FIRST   "}}));
    VirtualSY22 synth({"--silent"});
    startEditor(synth);
    const std::vector<uint8_t> before = readFile("SOUNDS.SYL");
    TBankDocument* bank = window<TBankWindow>("BankWindow")->document();
    bank->replace(initialBank(), "Open bank", QStringLiteral("old.syx"));
    const Bank old = bank->bank();
    action("GetAllVoices")->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("did not answer"), std::string::npos) << messages[0];
    EXPECT_EQ(synth.count("bank-requests"), 1);
    EXPECT_EQ(readFile("SOUNDS.SYL"), before);
    EXPECT_EQ(mainForm()->voiceCount(), 1);
    // The current bank stays.
    EXPECT_TRUE(sameBank(bank->bank(), old));
    EXPECT_EQ(bank->origin(), QStringLiteral("old.syx"));
}

TEST_F(BankTest, SendingTheBankStopsBetweenBlocksOnCancelAndSaysTheBlocksSentAreWritten)
{
    VirtualSY22 synth;
    startEditor(synth);
    TBankWindow* window = apptest::window<TBankWindow>("BankWindow");
    window->show();
    const Bytes message = testBankMessage(5, 0);
    ASSERT_EQ(window->takeReceivedBank(message), "");

    window->sendBank();
    ASSERT_EQ(messages.size(), 1u);   // the confirmation
    EXPECT_NE(messages[0].find("All 64 voices (I01 to I64) and all 16 multis"), std::string::npos)
        << messages[0];
    EXPECT_NE(messages[0].find("memory protect must be off"), std::string::npos) << messages[0];
    ASSERT_TRUE(window->sending());
    // The window is painted and answers while the blocks go out.
    ASSERT_TRUE(QTest::qWaitFor([] { return run->protocol->bankSendProgress().blocksSent >= 2; }, 30000));
    EXPECT_TRUE(progressShown);
    auto* progress = window->findChild<QProgressDialog*>(QStringLiteral("BankSendProgress"));
    ASSERT_NE(progress, nullptr);
    EXPECT_GE(progress->value(), 1);
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->sending(); }, 10000));
    const TSYProtocol::BankSendProgress p = run->protocol->bankSendProgress();
    EXPECT_TRUE(p.cancelled);
    ASSERT_LT(p.blocksSent, 17);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[1].find("cancelled after " + std::to_string(p.blocksSent) + " of 17 blocks"),
              std::string::npos)
        << messages[1];
    EXPECT_NE(messages[1].find("blocks already sent are written"), std::string::npos) << messages[1];
    char written[16];
    std::snprintf(written, sizeof written, "I01 to I%02d", 4 * p.blocksSent);
    if (p.blocksSent > 0 && p.blocksSent < 16) {
        EXPECT_NE(messages[1].find(written), std::string::npos) << messages[1];
    }
    EXPECT_TRUE(synth.waitForCount("bank-blocks", p.blocksSent));
    QTest::qWait(300);
    EXPECT_EQ(synth.count("bank-blocks"), p.blocksSent);
    EXPECT_TRUE(child<QPushButton>(window, "bSend")->isEnabled());
}

// A synthesiser program restarted under the same name: while it is away the main
// window names its port and a send says it is not there; once it is back the ports
// are connected again by themselves and a send reaches it.
TEST_F(SynthTest, ARestartedSynthesiserIsFoundAgain)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, false));
    createObjects();
    createWindows();
    mainForm()->show();
    expectDumps(a, 1);
    const std::string port = run->settings.outDeviceName;

    a.stop();
    ASSERT_TRUE(waitWithEvents([] { return !mainForm()->deviceLine().isEmpty(); }));
    EXPECT_TRUE(mainForm()->deviceLine().contains(QString::fromStdString(port))) << port;
    EXPECT_TRUE(mainForm()->deviceLine().contains(QStringLiteral("is not there")));
    answerer.seen.clear();
    answerer.lastText.clear();
    window<TVoiceCommonEdit>("VoiceCommonEdit")->bSendVoiceClick();
    EXPECT_EQ(answerer.seen, std::vector<std::string>{"Send voice"});
    EXPECT_TRUE(answerer.lastText.contains(QStringLiteral("is not there")))
        << answerer.lastText.toStdString();

    ASSERT_TRUE(a.restart({})) << a.log();
    ASSERT_TRUE(
        waitWithEvents([] { return !mainForm()->deviceLine().contains(QStringLiteral("not there")); }));
    std::memcpy(voice().name, "BACK    ", 8);
    window<TVoiceCommonEdit>("VoiceCommonEdit")->bSendVoiceClick();
    EXPECT_TRUE(waitWithEvents([this] { return dumpName(a.currentVoice()) == "BACK    "; }));
    // And what it sends comes in again: the voice is fetched.
    resetVoice(voice());
    answerer.seen.clear();
    action("GetVoiceFromSynth")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.seen.empty(); }, 10000));
    EXPECT_EQ(answerer.seen, std::vector<std::string>{"MIDI Received"});
    EXPECT_EQ(voiceName(), "BACK    ");
}

}   // namespace

namespace {

TEST_F(BankTest, StoreVoiceInSynthAsksBeforeReplacingTheSlotAndReportsWhatTheSynthesiserKept)
{
    VirtualSY22 synth;
    startEditor(synth);
    auto* store = apptest::window<TStoreVoice>("StoreVoice");
    std::memcpy(run->document.voice.name, "MyPad   ", 8);
    ASSERT_TRUE(store->store(16));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !store->writer()->busy(); }, 90000));
    EXPECT_TRUE(progressShown);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("I17 holds '"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("Replace it with 'MyPad'?"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[1], "I17 now holds 'MyPad'; the other 63 voices and the 16 multis are unchanged");
    EXPECT_EQ(synth.count("banks"), 1);
}

}   // namespace
