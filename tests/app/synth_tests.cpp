// The editor against virtual SY-22s on a JACK server of the test's own: what start-up
// sends and through which ports, loading from the list with auto-send off, and a
// device pick that reopens both ports.
#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#define APPTEST_OWN_JACK
#include "apptest.h"
#include "tests/midi/vsy22.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/settings.h"
#include "app/setdevices.h"
#include "app/startup.h"
#include "midi/midiport.h"

using namespace apptest;

namespace {

std::string settingsFor(int in, int out, bool autoSend)
{
    return "MIDI channel=0\r\nModel=0\r\nIn device=" + std::to_string(in) + "\r\nOut device="
           + std::to_string(out) + "\r\nAuto send=" + (autoSend ? "1" : "0") + "\r\n";
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

    // No more dumps arrive than `expected` within a short while.
    static void expectDumps(const VirtualSY22& synth, long expected)
    {
        if (expected > 0) {
            EXPECT_TRUE(synth.waitForCount("dumps", expected)) << synth.name;
        }
        QTest::qWait(300);
        EXPECT_EQ(std::max(synth.count("dumps"), 0L), expected) << synth.name;
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
        if (d != SetDevices)
            return answerFirstButton(d);
        if (pickDevices && !picked) {
            picked = true;
            QTimer::singleShot(0, pickDevices);
            return false;
        }
        return clickButton(d, "BitBtn1");
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
        SetDevices->lbOutputs->setCurrentRow(bOut);
        SetDevices->lbInputs->setCurrentRow(bIn);
    };
    createObjects();
    createWindows();
    EXPECT_EQ(openErrors(), 0);
    EXPECT_EQ(settings.inDevice, bIn);
    EXPECT_EQ(settings.outDevice, bOut);
    expectDumps(a, 1);
    expectDumps(b, 1);
    EXPECT_EQ(dumpName(b.currentVoice()), "FIRST   ");
}

TEST_F(SynthTest, LoadingFromTheListSendsWithAutoSendOff)
{
    writeText("TARVIK.INI", settingsFor(aIn, aOut, false));
    createObjects();
    createWindows();
    MainForm->show();
    ASSERT_TRUE(MainForm->bNoAutoSend->isChecked());
    expectDumps(a, 1);

    auto* list = MainForm->dbListBox;
    list->setCurrentRow(1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       list->visualItemRect(list->item(1)).center());
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
    resetVoice();
    answerer.seen.clear();
    MainForm->Getsoundfromsynth1->trigger();
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
        SetDevices->lbInputs->setFocus();
        SetDevices->lbOutputs->setCurrentRow(bOut);
    };
    MainForm->SelectMIDIdevices1->trigger();
    EXPECT_EQ(openErrors(), 2);
    EXPECT_EQ(settings.inDevice, 99);
    EXPECT_EQ(settings.outDevice, bOut);

    // The voice now goes to the second synthesiser only.
    midiPort->sendVoice();
    expectDumps(b, 1);
    expectDumps(a, 1);
}

} // namespace
