// SPDX-License-Identifier: GPL-3.0-or-later
// The AWM element editor: what each control stores, when the voice is sent, and
// what the window shows.
#include "editors/awmedit.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cstring>

#include "editors/awmwaves.h"
#include "editors/controls.h"
#include "editors/envelope.h"
#include "editors/fmedit.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"
#include "editortest.h"
#include "voice/dumpcodec.h"

namespace {

const QColor blue(0, 0, 128);
const QColor grey(192, 192, 192);

class AWMEditTest : public ::testing::Test, protected EditorBench {
protected:
    void SetUp() override
    {
        edit = new TAWMEdit(commands);
        edit->show();
    }
    void TearDown() override { delete edit; }

    unsigned long sends() const { return voiceSends; }
    VoiceElement& a() { return voice.element[0]; }
    OperatorBlock& carrier() { return voice.element[0].carrier; }

    // Replaces the box's whole text keystroke by keystroke, as a user types over it.
    static void typeOver(TNumberBox* box, const QString& text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    // Replaces the box's whole text in one go, as a paste does.
    static void pasteOver(TNumberBox* box, const QString& text)
    {
        box->selectAll();
        box->insert(text);
    }
    static void click(TUpDown* ud, bool up)
    {
        QTest::mouseClick(up ? ud->upButton() : ud->downButton(), Qt::LeftButton);
    }
    QImage picture() const { return child<TEnvelopePicture>(edit, "envWindow")->bitmap().toImage(); }

    TAWMEdit* edit = nullptr;
};

}   // namespace

TEST_F(AWMEditTest, ModelSwitchRenamesTheWavesAndLeavesTheVoiceAlone)
{
    a().waveform = 8;
    edit->refreshFromVoice();
    EXPECT_EQ(child<TPickList>(edit, "cbWaveform")->currentText(), QStringLiteral("Reed"));
    const Voice before = voice;
    QTest::keyClick(child<TPickList>(edit, "cbModel"), Qt::Key_Down);   // the user picks "SY-35"
    EXPECT_EQ(settings.model, 1);
    EXPECT_EQ(child<TPickList>(edit, "cbWaveform")->currentIndex(), 8);
    EXPECT_EQ(child<TPickList>(edit, "cbWaveform")->currentText(), QStringLiteral("Bandneon"));
    EXPECT_EQ(child<TPickList>(edit, "cbWaveform")->itemText(126), QStringLiteral("SEQ 8"));
    QTest::keyClick(child<TPickList>(edit, "cbModel"), Qt::Key_Up);
    EXPECT_EQ(settings.model, 0);
    EXPECT_EQ(child<TPickList>(edit, "cbWaveform")->currentText(), QStringLiteral("Reed"));
    EXPECT_EQ(sends(), 0u);
    EXPECT_EQ(std::memcmp(&before, &voice, sizeof voice), 0);
}

TEST_F(AWMEditTest, PresetTypeLoadsTheNewWaveformsEnvelopeWithOneSend)
{
    a().envelopeType = 1;
    a().waveform = 5;
    edit->refreshFromVoice();
    ASSERT_EQ(child<TPickList>(edit, "cbEnvType")->currentText(), QStringLiteral("Preset"));
    QTest::keyClick(child<TPickList>(edit, "cbWaveform"), Qt::Key_Home);   // the user picks 0 "Piano"
    EXPECT_EQ(sends(), 1u);
    EXPECT_EQ(a().waveform, 0);
    EXPECT_EQ(a().envelopeType, 1);
    EXPECT_EQ(carrier().levelInitial, 127 - 87);
    EXPECT_EQ(carrier().levelAttack, 0);
    EXPECT_EQ(carrier().levelDecay1, 0);
    EXPECT_EQ(carrier().levelDecay2, 127);
    EXPECT_EQ(carrier().rateAttack, 63);
    EXPECT_EQ(carrier().rateDecay1, 0);
    EXPECT_EQ(carrier().rateDecay2, 13);
    EXPECT_EQ(carrier().rateRelease, 30);
    EXPECT_EQ(carrier().rateScaling, 2);
    EXPECT_EQ(carrier().levelScaling, 0);
    EXPECT_EQ(carrier().peakStage, 1);
    const TNumberBox* boxes[] = {
        child<TNumberBox>(edit, "tfLevelInitial"), child<TNumberBox>(edit, "tfLevelAttack"),
        child<TNumberBox>(edit, "tfLevelDecay1"),  child<TNumberBox>(edit, "tfLevelDecay2"),
        child<TNumberBox>(edit, "tfRateAttack"),   child<TNumberBox>(edit, "tfRateDecay1"),
        child<TNumberBox>(edit, "tfRateDecay2"),   child<TNumberBox>(edit, "tfRateRelease")};
    const TUpDown* spinners[] = {
        child<TUpDown>(edit, "udLevelInitial"), child<TUpDown>(edit, "udLevelAttack"),
        child<TUpDown>(edit, "udLevelDecay1"),  child<TUpDown>(edit, "udLevelDecay2"),
        child<TUpDown>(edit, "udRateAttack"),   child<TUpDown>(edit, "udRateDecay1"),
        child<TUpDown>(edit, "udRateDecay2"),   child<TUpDown>(edit, "udRateRelease")};
    const int shown[] = {87, 127, 127, 0, 63, 0, 13, 30};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(boxes[i]->text(), QString::number(shown[i])) << i;
        EXPECT_EQ(spinners[i]->position(), shown[i]) << i;
    }
    EXPECT_EQ(child<TSlider>(edit, "tbRateScaling")->value(), 2);
    // The picture follows: the attack reaches the top (row 6) in column 1 and decay 2
    // reaches silence at column 1 + 63 + 50 = 114.
    const QImage img = picture();
    EXPECT_EQ(img.pixelColor(1, 6), blue);
    EXPECT_EQ(img.pixelColor(114, 133), blue);
    EXPECT_EQ(img.pixelColor(200, 60), grey);
}

TEST_F(AWMEditTest, UserTypeKeepsTheEnvelopeOnAWaveformChange)
{
    carrier().rateAttack = 17;
    edit->refreshFromVoice();
    const OperatorBlock before = carrier();
    QTest::keyClick(child<TPickList>(edit, "cbWaveform"), Qt::Key_Down);
    EXPECT_EQ(a().waveform, 1);
    EXPECT_EQ(std::memcmp(&before, &carrier(), sizeof before), 0);
    EXPECT_EQ(sends(), 1u);
}

TEST_F(AWMEditTest, PickingAnEnvelopeTypeAppliesItOnceAndSendsOnce)
{
    a().waveform = 48;   // "Bells"
    edit->refreshFromVoice();
    child<TPickList>(edit, "cbEnvType")->select(0);
    QTest::keyClick(child<TPickList>(edit, "cbEnvType"), Qt::Key_Down);   // "Preset"
    EXPECT_EQ(a().envelopeType, 1);
    EXPECT_EQ(carrier().levelDecay1, 127 - 119);
    EXPECT_EQ(carrier().rateDecay1, 30);
    EXPECT_EQ(sends(), 1u);
    child<TPickList>(edit, "cbEnvType")->select(5);
    QTest::keyClick(child<TPickList>(edit, "cbEnvType"), Qt::Key_Down);   // "Strings"
    EXPECT_EQ(a().envelopeType, 6);
    EXPECT_EQ(child<TNumberBox>(edit, "tfLevelInitial")->text(), QStringLiteral("87"));
    EXPECT_EQ(child<TNumberBox>(edit, "tfLevelDecay2")->text(), QStringLiteral("127"));
    EXPECT_EQ(child<TSlider>(edit, "tbLevelScaling")->value(), 1);
    EXPECT_EQ(carrier().peakStage, 1);
    EXPECT_EQ(sends(), 2u);
}

TEST_F(AWMEditTest, KeyInALevelOrRateBoxTurnsTheTypeToUserBeforeTheValueIsChecked)
{
    a().envelopeType = 2;
    carrier().rateAttack = 40;
    edit->refreshFromVoice();
    int typeWhenTextChanged = -1;
    QObject::connect(child<TNumberBox>(edit, "tfRateAttack"), &TNumberBox::changed, edit, [&] {
        if (typeWhenTextChanged < 0)
            typeWhenTextChanged = a().envelopeType;
    });
    typeOver(child<TNumberBox>(edit, "tfRateAttack"), QStringLiteral("70"));
    EXPECT_EQ(typeWhenTextChanged, 0);
    EXPECT_EQ(child<TPickList>(edit, "cbEnvType")->currentIndex(), 0);
    // "7" was taken; "70" is refused and the box shows the stored rate again.
    EXPECT_EQ(carrier().rateAttack, 7);
    EXPECT_EQ(child<TNumberBox>(edit, "tfRateAttack")->text(), QStringLiteral("7"));
    EXPECT_EQ(child<TUpDown>(edit, "udRateAttack")->position(), 7);
}

TEST_F(AWMEditTest, TypingInOtherBoxesLeavesTheTypeAlone)
{
    a().envelopeType = 3;
    carrier().envelopeDelayOn = 1;
    edit->refreshFromVoice();
    typeOver(child<TNumberBox>(edit, "tfEnvelopeDelay"), QStringLiteral("5"));
    typeOver(child<TNumberBox>(edit, "tfDetune"), QStringLiteral("9"));
    EXPECT_EQ(voice.envelopeDelay, 5);
    EXPECT_EQ(carrier().detune, 9);
    EXPECT_EQ(a().envelopeType, 3);
}

TEST_F(AWMEditTest, PitchTakesASignedValueAndRefusesOutOfRangeOrNoNumber)
{
    pasteOver(child<TNumberBox>(edit, "tfPitch"), QStringLiteral("-5"));
    EXPECT_EQ(a().pitch, -5);
    EXPECT_EQ(child<TUpDown>(edit, "udPitch")->position(), -5);
    EXPECT_EQ(sends(), 1u);
    pasteOver(child<TNumberBox>(edit, "tfPitch"), QStringLiteral("13"));
    EXPECT_EQ(a().pitch, -5);
    EXPECT_EQ(child<TNumberBox>(edit, "tfPitch")->text(), QStringLiteral("-5"));
    pasteOver(child<TNumberBox>(edit, "tfPitch"), QStringLiteral("-"));   // a lone sign
    EXPECT_EQ(a().pitch, -5);
    EXPECT_EQ(child<TNumberBox>(edit, "tfPitch")->text(), QStringLiteral("-5"));
    child<TNumberBox>(edit, "tfPitch")->selectAll();
    QTest::keyClick(child<TNumberBox>(edit, "tfPitch"), Qt::Key_Backspace);   // emptied while typing: waits
    EXPECT_EQ(a().pitch, -5);
    EXPECT_EQ(child<TNumberBox>(edit, "tfPitch")->text(), QString());
    QTest::keyClick(child<TNumberBox>(edit, "tfPitch"), Qt::Key_Return);   // left with no number
    EXPECT_EQ(a().pitch, -5);
    EXPECT_EQ(child<TNumberBox>(edit, "tfPitch")->text(), QStringLiteral("-5"));
    typeOver(child<TNumberBox>(edit, "tfPitch"), QStringLiteral("-7"));   // the sign on its way to a number
    EXPECT_EQ(a().pitch, -7);
    EXPECT_EQ(child<TNumberBox>(edit, "tfPitch")->text(), QStringLiteral("-7"));
    EXPECT_EQ(child<TUpDown>(edit, "udPitch")->position(), -7);
    pasteOver(child<TNumberBox>(edit, "tfPitch"), QStringLiteral("+12"));
    EXPECT_EQ(a().pitch, 12);
    EXPECT_EQ(child<TUpDown>(edit, "udPitch")->position(), 12);
}

TEST_F(AWMEditTest, SpinnerAtItsLimitChangesNothingButALevelOrRateSpinnerThatMovesSetsUser)
{
    a().envelopeType = 4;
    carrier().rateAttack = 63;
    carrier().detune = 15;
    edit->refreshFromVoice();
    click(child<TUpDown>(edit, "udRateAttack"), true);
    EXPECT_EQ(sends(), 0u);
    EXPECT_EQ(carrier().rateAttack, 63);
    EXPECT_EQ(a().envelopeType, 4);   // nothing was stored
    click(child<TUpDown>(edit, "udDetune"), true);
    EXPECT_EQ(sends(), 0u);
    EXPECT_EQ(a().envelopeType, 4);

    click(child<TUpDown>(edit, "udDetune"), false);
    EXPECT_EQ(carrier().detune, 14);
    EXPECT_EQ(child<TNumberBox>(edit, "tfDetune")->text(), QStringLiteral("14"));
    EXPECT_EQ(sends(), 1u);
    click(child<TUpDown>(edit, "udLevelInitial"), false);   // shown 127 -> 126, stored 1
    EXPECT_EQ(carrier().levelInitial, 1);
    EXPECT_EQ(child<TNumberBox>(edit, "tfLevelInitial")->text(), QStringLiteral("126"));
    EXPECT_EQ(a().envelopeType, 0);
    EXPECT_EQ(sends(), 2u);
}

TEST_F(AWMEditTest, LFORateIsStoredInverted)
{
    typeOver(child<TNumberBox>(edit, "tfLFORate"), QStringLiteral("100"));
    EXPECT_EQ(a().lfoRate, 27);
    pasteOver(child<TNumberBox>(edit, "tfLFORate"), QStringLiteral("99"));
    EXPECT_EQ(a().lfoRate, 28);
    click(child<TUpDown>(edit, "udLFORate"), true);
    EXPECT_EQ(a().lfoRate, 27);
    EXPECT_EQ(child<TNumberBox>(edit, "tfLFORate")->text(), QStringLiteral("100"));
}

TEST_F(AWMEditTest, ScrollBarEndsStorePanAndLevel)
{
    carrier().level = 50;
    edit->refreshFromVoice();
    child<QScrollBar>(edit, "sbPan")->triggerAction(QAbstractSlider::SliderToMinimum);   // far left
    EXPECT_EQ(a().pan, 4);
    child<QScrollBar>(edit, "sbPan")->triggerAction(QAbstractSlider::SliderToMaximum);   // far right
    EXPECT_EQ(a().pan, 0);
    child<QScrollBar>(edit, "sbLevel")->triggerAction(QAbstractSlider::SliderToMinimum);   // top
    EXPECT_EQ(carrier().level, 0);
    child<QScrollBar>(edit, "sbLevel")->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(carrier().level, 127);
    EXPECT_EQ(sends(), 4u);
}

TEST_F(AWMEditTest, LevelAndPanValuesShowFromTheStartAndAfterEveryRefresh)
{
    QLabel* level = child<QLabel>(edit, "lLevelValue");
    QLabel* pan = child<QLabel>(edit, "lPanValue");
    const auto shown = [&] {
        EXPECT_EQ(pan->text(), QStringLiteral("Pan %1").arg(child<QScrollBar>(edit, "sbPan")->value()));
        return level->text();
    };
    EXPECT_FALSE(shown().isEmpty());   // before any bar has moved
    carrier().level = 0;
    a().pan = 2;
    edit->refreshFromVoice();
    const QString loudest = shown();
    carrier().level = 127;   // the bar's value may stay: the text still follows the voice
    edit->refreshFromVoice();
    EXPECT_NE(shown(), loudest);
}

TEST_F(AWMEditTest, UncheckingDelayDisablesTheDelayTimeAndStartsTheCurveInColumnOne)
{
    carrier().envelopeDelayOn = 1;
    voice.envelopeDelay = 0;
    carrier().levelInitial = 127 - 60;
    carrier().rateAttack = carrier().rateDecay1 = carrier().rateDecay2 = carrier().rateRelease = 63;
    edit->refreshFromVoice();
    const int y0 = 127 - 60 + 6;
    EXPECT_TRUE(child<TNumberBox>(edit, "tfEnvelopeDelay")->isEnabled());
    EXPECT_EQ(picture().pixelColor(64, y0), blue);   // flat start up to column 128
    EXPECT_EQ(picture().pixelColor(128, 100), blue);
    child<QCheckBox>(edit, "cbEnvelopeDelay")->click();
    EXPECT_EQ(carrier().envelopeDelayOn, 0);
    EXPECT_FALSE(child<TNumberBox>(edit, "tfEnvelopeDelay")->isEnabled());
    EXPECT_FALSE(child<TUpDown>(edit, "udEnvelopeDelay")->isEnabled());
    EXPECT_EQ(voice.envelopeDelay, 0);
    EXPECT_EQ(picture().pixelColor(64, y0), grey);
    EXPECT_EQ(picture().pixelColor(128, 100), grey);
    EXPECT_EQ(picture().pixelColor(1, 100), blue);
    EXPECT_EQ(sends(), 1u);
}

TEST_F(AWMEditTest, DelayTimeFollowsIntoTheFMEditorWithoutASecondSend)
{
    carrier().envelopeDelayOn = 1;
    edit->refreshFromVoice();
    TFMEdit fm(commands);
    const unsigned long before = sends();
    pasteOver(child<TNumberBox>(edit, "tfEnvelopeDelay"), QStringLiteral("50"));
    EXPECT_EQ(voice.envelopeDelay, 50);
    EXPECT_EQ(child<TNumberBox>(&fm, "tfEnvelopeDelay")->text(), QStringLiteral("50"));
    EXPECT_EQ(sends() - before, 1u);
    // The other way round: the FM editor's change shows here at once, unsent.
    voice.envelopeDelay = 77;
    edit->refreshDelayTime();
    EXPECT_EQ(child<TNumberBox>(edit, "tfEnvelopeDelay")->text(), QStringLiteral("77"));
    EXPECT_EQ(sends() - before, 1u);
    // The window takes edits again: one edit sends once.
    pasteOver(child<TNumberBox>(edit, "tfEnvelopeDelay"), QStringLiteral("78"));
    EXPECT_EQ(voice.envelopeDelay, 78);
    EXPECT_EQ(sends() - before, 2u);
}

TEST_F(AWMEditTest, WithAutoSendOffOnlySendVoiceSends)
{
    settings.autoSend = false;
    carrier().envelopeDelayOn = 1;
    edit->refreshFromVoice();
    typeOver(child<TNumberBox>(edit, "tfDetune"), QStringLiteral("7"));
    typeOver(child<TNumberBox>(edit, "tfRateDecay1"), QStringLiteral("12"));
    click(child<TUpDown>(edit, "udLFOSpeed"), true);
    click(child<TUpDown>(edit, "udLevelAttack"), false);
    QTest::keyClick(child<TSlider>(edit, "tbVelResp"), Qt::Key_Right);
    QTest::keyClick(child<TSlider>(edit, "tbLevelScaling"), Qt::Key_Down);
    child<QScrollBar>(edit, "sbPan")->triggerAction(QAbstractSlider::SliderToMinimum);
    child<QScrollBar>(edit, "sbLevel")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    child<QCheckBox>(edit, "cbEnvelopeDelay")->click();
    QTest::keyClick(child<TPickList>(edit, "cbEnvType"), Qt::Key_End);
    QTest::keyClick(child<TPickList>(edit, "cbWaveform"), Qt::Key_Down);
    QTest::keyClick(child<TPickList>(edit, "cbElement"), Qt::Key_Down);
    QTest::keyClick(child<TPickList>(edit, "cbModel"), Qt::Key_Down);
    EXPECT_EQ(carrier().detune, 7);
    EXPECT_EQ(a().velocityResponse, 1);
    EXPECT_EQ(sends(), 0u);
    QTest::mouseClick(child<QPushButton>(edit, "bSendVoice"), Qt::LeftButton);
    EXPECT_EQ(sends(), 1u);
}

TEST_F(AWMEditTest, SwitchingElementsSendsNothingAndEditsTheOtherElement)
{
    voice.element[2].waveform = 38;
    voice.element[2].pitch = 3;
    edit->refreshFromVoice();
    QTest::keyClick(child<TPickList>(edit, "cbElement"), Qt::Key_Down);
    EXPECT_FALSE(edit->editElementA);
    EXPECT_EQ(child<TPickList>(edit, "cbWaveform")->currentText(), QStringLiteral("Strings"));
    EXPECT_EQ(child<TNumberBox>(edit, "tfPitch")->text(), QStringLiteral("3"));
    EXPECT_EQ(sends(), 0u);
    typeOver(child<TNumberBox>(edit, "tfDetune"), QStringLiteral("9"));
    EXPECT_EQ(voice.element[2].carrier.detune, 9);
    EXPECT_EQ(voice.element[0].carrier.detune, 0);
    QTest::keyClick(child<TPickList>(edit, "cbElement"), Qt::Key_Up);
    EXPECT_TRUE(edit->editElementA);
    EXPECT_EQ(child<TNumberBox>(edit, "tfDetune")->text(), QStringLiteral("0"));
    EXPECT_EQ(sends(), 1u);
}

TEST_F(AWMEditTest, RefreshNeverSendsAndKeepsValuesOutsideTheRanges)
{
    VoiceElement& e = a();
    e.waveform = 200;
    e.pitch = -128;
    e.lfoDelay = 200;
    e.lfoRate = 255;
    e.pan = 7;
    e.envelopeType = 9;
    e.lfoWaveform = 6;
    e.carrier.level = 200;
    e.carrier.levelScaling = 20;
    e.carrier.rateAttack = 99;
    e.carrier.envelopeDelayOn = 5;   // the box turns on from off: still not stored as 1
    voice.envelopeDelay = 127;
    ASSERT_FALSE(child<QCheckBox>(edit, "cbEnvelopeDelay")->isChecked());
    const Voice before = voice;
    edit->refreshFromVoice();
    edit->refreshDelayTime();
    EXPECT_EQ(sends(), 0u);
    EXPECT_EQ(std::memcmp(&before, &voice, sizeof voice), 0);
    EXPECT_EQ(child<TNumberBox>(edit, "tfPitch")->text(), QStringLiteral("-128"));
    EXPECT_EQ(child<TUpDown>(edit, "udPitch")->position(), -12);
    EXPECT_EQ(child<TNumberBox>(edit, "tfLFODelay")->text(), QStringLiteral("200"));
    EXPECT_EQ(child<TUpDown>(edit, "udLFODelay")->position(), 127);
    EXPECT_EQ(child<TNumberBox>(edit, "tfLFORate")->text(), QStringLiteral("-128"));
    EXPECT_EQ(child<TPickList>(edit, "cbWaveform")->currentIndex(), -1);
    EXPECT_TRUE(child<QCheckBox>(edit, "cbEnvelopeDelay")->isChecked());
    EXPECT_TRUE(child<TNumberBox>(edit, "tfEnvelopeDelay")->isEnabled());

    // "Preset" with a waveform past the table leaves the envelope as it is; the pick
    // sends once.
    const unsigned long sent = sends();
    child<TPickList>(edit, "cbEnvType")->select(0);
    QTest::keyClick(child<TPickList>(edit, "cbEnvType"), Qt::Key_Down);
    EXPECT_EQ(e.envelopeType, 1);
    EXPECT_EQ(e.carrier.rateAttack, 99);
    EXPECT_EQ(sends() - sent, 1u);
}

TEST_F(AWMEditTest, WindowCaptionsSizeAndClosing)
{
    EXPECT_EQ(edit->windowTitle(), QStringLiteral("Tarvik . . . AWM Edit"));
    EXPECT_EQ(edit->minimumSize(), QSize(688, 432));
    EXPECT_EQ(edit->maximumSize(), QSize(688, 432));
    EXPECT_FALSE(edit->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(edit->windowFlags() & Qt::WindowMinimizeButtonHint);
    QStringList groups;
    for (QGroupBox* g : edit->findChildren<QGroupBox*>())
        groups << g->title();
    for (const char* title : {" Tone ", " Low Frequency Oscillator ", " Envelope ", " Levels ", " Rates ",
                              " Level && Pan ", " Options "})
        EXPECT_TRUE(groups.contains(QString::fromLatin1(title))) << title;
    EXPECT_EQ(child<TEnvelopePicture>(edit, "envWindow")->size(), QSize(295, 139));
    EXPECT_EQ(child<TEnvelopePicture>(edit, "envWindow")->toolTip(),
              QStringLiteral("Visual representation of the envelope"));
    EXPECT_EQ(child<TPickList>(edit, "cbWaveform")->count(), 128);

    const QImage shot = edit->grab().toImage();
    EXPECT_EQ(shot.size(), QSize(688, 432));
    if (!qEnvironmentVariableIsEmpty("TARVIK_SCREENSHOT"))
        shot.save(qEnvironmentVariable("TARVIK_SCREENSHOT"));

    edit->close();
    EXPECT_TRUE(edit->isHidden());
    edit->show();
    QTest::mouseClick(child<QPushButton>(edit, "bClose"), Qt::LeftButton);
    EXPECT_TRUE(edit->isHidden());
    EXPECT_TRUE(edit->editElementA);
}

// The other windows and the tests find the editors' controls by name: every control
// of every voice editor has one, and no two in a window share it.
TEST_F(AWMEditTest, EveryControlOfTheVoiceEditorsHasItsOwnName)
{
    TFMEdit fm(commands);
    TVoiceCommonEdit common(commands);
    TVectorEdit vector(commands);
    for (QWidget* window : std::initializer_list<QWidget*>{edit, &fm, &common, &vector}) {
        QSet<QString> names;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            const bool control = qobject_cast<TNumberBox*>(w) || qobject_cast<TUpDown*>(w) ||
                                 qobject_cast<QAbstractSlider*>(w) || qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QCheckBox*>(w) || qobject_cast<QPushButton*>(w) ||
                                 qobject_cast<QLineEdit*>(w);
            // A list's own pop-up and its scroll bars belong to the list.
            bool inList = false;
            for (QWidget* up = w->parentWidget(); up && up != window; up = up->parentWidget())
                inList = inList || qobject_cast<QComboBox*>(up);
            if (!control || inList)
                continue;
            EXPECT_FALSE(w->objectName().isEmpty())
                << window->windowTitle().toStdString() << " " << w->metaObject()->className();
            EXPECT_FALSE(names.contains(w->objectName())) << w->objectName().toStdString();
            names.insert(w->objectName());
        }
    }
}

// The element's AM and PM switches beside the depths: on in a new voice, shown from a
// loaded one without a send, and a click stores the bit the dump carries.
TEST_F(AWMEditTest, AMAndPMSwitchesShowAndStoreTheElementsBits)
{
    auto* am = child<QCheckBox>(edit, "cbModulatorAM");
    auto* pm = child<QCheckBox>(edit, "cbModulatorPM");
    EXPECT_EQ(am->text(), QStringLiteral("AM on"));
    EXPECT_EQ(pm->text(), QStringLiteral("PM on"));
    EXPECT_TRUE(am->isChecked());
    EXPECT_TRUE(pm->isChecked());
    a().modulatorPM = 0;
    edit->refreshFromVoice();
    EXPECT_FALSE(pm->isChecked());
    EXPECT_EQ(sends(), 0u);
    am->click();
    EXPECT_EQ(a().modulatorAM, 0);
    EXPECT_EQ(sends(), 1u);
    a().lfoAMDepth = 3;
    a().lfoPMDepth = 5;
    const VoiceDump dump = encodeVoice(voice);
    EXPECT_EQ(dump[47], 0x03);
    EXPECT_EQ(dump[48], 0x05);
    EXPECT_EQ(dump[121], 0x10) << "element C keeps its switches on";
    EXPECT_EQ(dump[122], 0x20);
}

TEST_F(AWMEditTest, LongCaptionsHaveRoomForTheirText)
{
    TFMEdit fm(commands);
    TVoiceCommonEdit common(commands);
    fm.show();
    common.show();
    QLabel* aftertouch = nullptr;
    for (QLabel* l : edit->findChildren<QLabel*>())
        if (l->text() == QStringLiteral("Aftertouch response: "))
            aftertouch = l;
    ASSERT_NE(aftertouch, nullptr);
    EXPECT_GE(aftertouch->width(), aftertouch->sizeHint().width());
    EXPECT_TRUE(aftertouch->parentWidget()->contentsRect().contains(aftertouch->geometry()));
    QPushButton* element = child<QPushButton>(&fm, "bElement");
    EXPECT_GE(element->width(), element->sizeHint().width());
    for (QGroupBox* g : common.findChildren<QGroupBox*>()) {
        QFont bold = g->font();
        bold.setBold(true);
        EXPECT_GT(g->width(), QFontMetrics(bold).horizontalAdvance(g->title()) + 8)
            << g->title().toStdString();
    }
}
