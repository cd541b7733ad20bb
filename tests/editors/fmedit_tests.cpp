// SPDX-License-Identifier: GPL-3.0-or-later
// The FM element editor, driven through its controls the way a user drives them.
#include "editors/fmedit.h"

#include <QCheckBox>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

#include "editors/awmedit.h"
#include "editors/controls.h"
#include "editors/envelope.h"
#include "editortest.h"
#include "voice/voice.h"

namespace {

class FMEditTest : public ::testing::Test, protected EditorBench {
protected:
    void SetUp() override
    {
        edit = std::make_unique<TFMEdit>(commands);
        edit->show();
    }
    void TearDown() override { edit.reset(); }

    unsigned long sends() const { return voiceSends; }
    VoiceElement& b() { return voice.element[1]; }

    static void pick(TPickList* list, int index)
    {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    // Replaces the whole text at once, as a paste does.
    static void paste(TNumberBox* box, const QString& text) { box->setText(text); }
    static void type(TNumberBox* box, const QString& text)
    {
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    static void clickUp(TUpDown* spinner) { QTest::mouseClick(spinner->upButton(), Qt::LeftButton); }
    static void clickDown(TUpDown* spinner) { QTest::mouseClick(spinner->downButton(), Qt::LeftButton); }

    // The carrier of element B with a recognisable envelope, level 40, type "User".
    void givenCarrierEnvelope()
    {
        OperatorBlock& c = b().carrier;
        c.levelInitial = 10;
        c.levelAttack = 20;
        c.levelDecay1 = 30;
        c.levelDecay2 = 40;
        c.rateAttack = 50;
        c.rateDecay1 = 51;
        c.rateDecay2 = 52;
        c.rateRelease = 53;
        c.levelScaling = 5;
        c.rateScaling = 6;
        c.level = 40;
        edit->refreshFromVoice();
    }

    QSet<QRgb> colours() const
    {
        const QImage image = child<TEnvelopePicture>(edit.get(), "envWindow")->bitmap().toImage();
        QSet<QRgb> found;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                found.insert(image.pixel(x, y) & 0xFFFFFF);
        return found;
    }
    QImage picture() const { return child<TEnvelopePicture>(edit.get(), "envWindow")->bitmap().toImage(); }

    std::unique_ptr<TFMEdit> edit;
};

const QRgb red = 0xFF0000, darkBlue = 0x000080;

}   // namespace

TEST_F(FMEditTest, WindowLooksAsDescribed)
{
    EXPECT_EQ(edit->windowTitle(), QStringLiteral("Tarvik . . . FM Edit"));
    EXPECT_EQ(edit->size(), QSize(689, 469));
    EXPECT_EQ(edit->minimumSize(), edit->maximumSize());
    EXPECT_FALSE(edit->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(edit->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(child<TEnvelopePicture>(edit.get(), "envWindow")->size(), QSize(287, 135));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbWaveform")->count(), 256);
    EXPECT_EQ(child<TUpDown>(edit.get(), "udLFODelay")->maximum(), 127);
    bool feedbackCaption = false;
    for (QLabel* label : edit->findChildren<QLabel*>())
        if (label->text() == QStringLiteral("Feedback: "))
            feedbackCaption =
                label->toolTip() ==
                QStringLiteral("Sets the amount of feedback on the modulator, higher numbers giving "
                               "more harmonics (0 to 7)");
    EXPECT_TRUE(feedbackCaption);
    // Built, the window takes edits: one edit sends once.
    const unsigned long before = sends();
    paste(child<TNumberBox>(edit.get(), "tfLFOSpeed"), QStringLiteral("9"));
    EXPECT_EQ(sends() - before, 1u);
}

TEST_F(FMEditTest, ChoosingAWaveLoadsItsSetupAndKeepsTheCarrierEnvelope)
{
    givenCarrierEnvelope();
    const OperatorBlock carrierBefore = b().carrier;
    const unsigned long before = sends();

    pick(child<TPickList>(edit.get(), "cbWaveform"), 14);   // "Brass 1"

    EXPECT_EQ(b().waveform, 14);
    EXPECT_EQ(b().feedback, 7);
    EXPECT_EQ(b().carrier.fmWaveform, 4);
    EXPECT_EQ(b().carrier.fmFrequency, 1);
    EXPECT_EQ(b().modulator.level, 127 - 119);
    EXPECT_EQ(b().modulator.levelInitial, 127 - 113);
    EXPECT_EQ(b().modulator.levelAttack, 127 - 74);
    EXPECT_EQ(b().modulator.levelDecay1, 127 - 108);
    EXPECT_EQ(b().modulator.levelDecay2, 127 - 108);
    EXPECT_EQ(b().modulator.rateAttack, 41);
    EXPECT_EQ(b().modulator.rateDecay1, 36);
    EXPECT_EQ(b().modulator.peakStage, 0);   // initial 113 is the loudest
    EXPECT_EQ(0, memcmp(&b().carrier.levelScaling, &carrierBefore.levelScaling,
                        sizeof(OperatorBlock) - offsetof(OperatorBlock, levelScaling)));
    EXPECT_EQ(b().carrier.level, 40);
    EXPECT_EQ(b().envelopeType, 0);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfFeedback")->text(), QStringLiteral("7"));
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfFMWaveform")->text(), QStringLiteral("4"));
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfLevelInitial")->text(),
              QStringLiteral("117"));   // carrier still shown
    EXPECT_EQ(sends() - before, 1u);

    // In the modulator view the new modulator envelope shows.
    pick(child<TPickList>(edit.get(), "cbOperator"), 1);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfLevelInitial")->text(), QStringLiteral("113"));
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfRateAttack")->text(), QStringLiteral("41"));
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfOperatorLevel")->text(), QStringLiteral("119"));
}

TEST_F(FMEditTest, ChoosingAWaveWithPresetTypeAppliesItsCarrierEnvelope)
{
    givenCarrierEnvelope();
    pick(child<TPickList>(edit.get(), "cbEnvType"), 1);   // "Preset" for wave 0
    EXPECT_EQ(b().carrier.levelInitial, 127 - 70);
    EXPECT_EQ(b().carrier.rateAttack, 59);
    const unsigned long before = sends();

    pick(child<TPickList>(edit.get(), "cbWaveform"), 14);

    const OperatorBlock& c = b().carrier;
    EXPECT_EQ(c.levelInitial, 127);
    EXPECT_EQ(c.levelAttack, 0);
    EXPECT_EQ(c.levelDecay1, 0);
    EXPECT_EQ(c.levelDecay2, 0);
    EXPECT_EQ(c.rateAttack, 33);
    EXPECT_EQ(c.rateDecay1, 20);
    EXPECT_EQ(c.rateDecay2, 6);
    EXPECT_EQ(c.rateRelease, 38);
    EXPECT_EQ(c.levelScaling, 0);
    EXPECT_EQ(c.rateScaling, 2);
    EXPECT_EQ(c.peakStage, 1);
    EXPECT_EQ(c.level, 40);
    EXPECT_EQ(b().envelopeType, 1);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbEnvType")->currentText(), QStringLiteral("Preset"));
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfRateRelease")->text(), QStringLiteral("38"));
    EXPECT_EQ(sends() - before, 1u);
}

// The envelope type names the carrier's envelope: no edit of the modulator's turns it
// "User". (A spinner released at its limit: AWMEditTest.SpinnerAtItsLimit...)
TEST_F(FMEditTest, ModulatorViewEditsKeepTheType)
{
    b().envelopeType = 2;
    edit->refreshFromVoice();
    pick(child<TPickList>(edit.get(), "cbOperator"), 1);
    EXPECT_FALSE(child<TPickList>(edit.get(), "cbEnvType")->isEnabled());
    EXPECT_EQ(child<TPickList>(edit.get(), "cbEnvType")->currentText(), QStringLiteral("Piano"));

    type(child<TNumberBox>(edit.get(), "tfLevelAttack"), QStringLiteral("100"));
    EXPECT_EQ(b().modulator.levelAttack, 27);
    EXPECT_EQ(b().carrier.levelAttack, 0);
    child<TSlider>(edit.get(), "tbLevelScaling")->setValue(9);   // as the user's drag reports it
    child<TSlider>(edit.get(), "tbRateScaling")->setValue(4);
    EXPECT_EQ(b().modulator.levelScaling, 9);
    EXPECT_EQ(b().modulator.rateScaling, 4);
    EXPECT_EQ(b().envelopeType, 2);

    clickDown(child<TUpDown>(edit.get(), "udLevelInitial"));
    EXPECT_EQ(b().modulator.levelInitial, 1);
    EXPECT_EQ(b().envelopeType, 2);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbEnvType")->currentText(), QStringLiteral("Piano"));

    pick(child<TPickList>(edit.get(), "cbOperator"), 0);
    EXPECT_TRUE(child<TPickList>(edit.get(), "cbEnvType")->isEnabled());
}

TEST_F(FMEditTest, CarrierViewEnvelopeEditsSetUser)
{
    for (auto edit1 : {0, 1, 2}) {
        b().envelopeType = 5;
        edit->refreshFromVoice();
        if (edit1 == 0)
            type(child<TNumberBox>(edit.get(), "tfRateAttack"), QStringLiteral("12"));
        else if (edit1 == 1)
            child<TSlider>(edit.get(), "tbRateScaling")->setValue(3);
        else
            clickDown(child<TUpDown>(edit.get(), "udLevelDecay2"));
        EXPECT_EQ(b().envelopeType, 0) << edit1;
        EXPECT_EQ(child<TPickList>(edit.get(), "cbEnvType")->currentText(), QStringLiteral("User")) << edit1;
    }
    EXPECT_EQ(b().carrier.rateAttack, 12);
    EXPECT_EQ(b().carrier.rateScaling, 3);
    EXPECT_EQ(b().carrier.levelDecay2, 1);
}

TEST_F(FMEditTest, OperatorLevelAndElementLevelBar)
{
    unsigned long before = sends();
    paste(child<TNumberBox>(edit.get(), "tfOperatorLevel"), QStringLiteral("100"));
    EXPECT_EQ(b().carrier.level, 27);
    EXPECT_EQ(child<QScrollBar>(edit.get(), "sbLevel")->value(), 27);
    EXPECT_EQ(child<TUpDown>(edit.get(), "udOperatorLevel")->position(), 100);
    EXPECT_EQ(sends() - before, 1u);   // one send, not a second one for the bar

    before = sends();
    child<QScrollBar>(edit.get(), "sbLevel")->setValue(0);
    EXPECT_EQ(b().carrier.level, 0);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfOperatorLevel")->text(), QStringLiteral("127"));
    EXPECT_EQ(child<TUpDown>(edit.get(), "udOperatorLevel")->position(), 127);
    EXPECT_EQ(sends() - before, 1u);

    before = sends();
    clickDown(child<TUpDown>(edit.get(), "udOperatorLevel"));
    EXPECT_EQ(b().carrier.level, 1);
    EXPECT_EQ(child<QScrollBar>(edit.get(), "sbLevel")->value(), 1);
    EXPECT_EQ(sends() - before, 1u);

    // The modulator view: the box is the modulator's, the bar still the carrier's.
    b().modulator.level = 8;
    pick(child<TPickList>(edit.get(), "cbOperator"), 1);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfOperatorLevel")->text(), QStringLiteral("119"));
    EXPECT_EQ(child<QScrollBar>(edit.get(), "sbLevel")->value(), 1);
    child<QScrollBar>(edit.get(), "sbLevel")->setValue(50);
    EXPECT_EQ(b().carrier.level, 50);
    EXPECT_EQ(b().modulator.level, 8);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfOperatorLevel")->text(), QStringLiteral("119"));
    paste(child<TNumberBox>(edit.get(), "tfOperatorLevel"), QStringLiteral("90"));
    EXPECT_EQ(b().modulator.level, 37);
    EXPECT_EQ(b().carrier.level, 50);
    EXPECT_EQ(child<QScrollBar>(edit.get(), "sbLevel")->value(), 50);
}

TEST_F(FMEditTest, BoxesRefuseWhatLiesOutsideTheirRange)
{
    paste(child<TNumberBox>(edit.get(), "tfLFODelay"), QStringLiteral("200"));
    EXPECT_EQ(b().lfoDelay, 200);
    EXPECT_EQ(child<TUpDown>(edit.get(), "udLFODelay")->position(), 127);
    paste(child<TNumberBox>(edit.get(), "tfLFODelay"), QStringLiteral("256"));
    EXPECT_EQ(b().lfoDelay, 200);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfLFODelay")->text(), QStringLiteral("200"));

    paste(child<TNumberBox>(edit.get(), "tfPitch"), QStringLiteral("-5"));
    EXPECT_EQ(b().pitch, -5);
    paste(child<TNumberBox>(edit.get(), "tfPitch"), QStringLiteral("13"));
    EXPECT_EQ(b().pitch, -5);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfPitch")->text(), QStringLiteral("-5"));
    EXPECT_EQ(child<TUpDown>(edit.get(), "udPitch")->position(), -5);

    paste(child<TNumberBox>(edit.get(), "tfLFORate"), QStringLiteral("100"));
    EXPECT_EQ(b().lfoRate, 27);
    type(child<TNumberBox>(edit.get(), "tfRateAttack"), QStringLiteral("70"));
    EXPECT_EQ(b().carrier.rateAttack, 7);   // "7" was taken on the way, "70" refused
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfRateAttack")->text(), QStringLiteral("7"));

    // No number at all written into a box is refused like an out-of-range entry: the
    // stored value stays and shows again at once.
    paste(child<TNumberBox>(edit.get(), "tfDetune"), QStringLiteral("9"));
    paste(child<TNumberBox>(edit.get(), "tfDetune"), QString());
    EXPECT_EQ(b().carrier.detune, 9);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfDetune")->text(), QStringLiteral("9"));
    paste(child<TNumberBox>(edit.get(), "tfPitch"), QStringLiteral("-"));
    EXPECT_EQ(b().pitch, -5);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfPitch")->text(), QStringLiteral("-5"));
    // While the user types, a lone sign waits for its number; left without one (Enter),
    // the box shows the stored value again.
    child<TNumberBox>(edit.get(), "tfPitch")->selectAll();
    QTest::keyClick(child<TNumberBox>(edit.get(), "tfPitch"), Qt::Key_Minus);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfPitch")->text(), QStringLiteral("-"));
    EXPECT_EQ(b().pitch, -5);
    QTest::keyClick(child<TNumberBox>(edit.get(), "tfPitch"), Qt::Key_Return);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfPitch")->text(), QStringLiteral("-5"));
    EXPECT_EQ(b().pitch, -5);
    paste(child<TNumberBox>(edit.get(), "tfFeedback"), QStringLiteral("8"));
    EXPECT_EQ(b().feedback, 0);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfFeedback")->text(), QStringLiteral("0"));
}

TEST_F(FMEditTest, NegativeAndRetypedNumbersCanBeTyped)
{
    // The lone sign on the way to "-7" must not be answered by the stored value.
    unsigned long before = sends();
    type(child<TNumberBox>(edit.get(), "tfPitch"), QStringLiteral("-7"));
    EXPECT_EQ(b().pitch, -7);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfPitch")->text(), QStringLiteral("-7"));
    EXPECT_EQ(child<TUpDown>(edit.get(), "udPitch")->position(), -7);
    EXPECT_EQ(sends() - before, 1u);

    // Emptying a box with Backspace and typing afresh gives the typed number.
    type(child<TNumberBox>(edit.get(), "tfDetune"), QStringLiteral("12"));
    QTest::keyClick(child<TNumberBox>(edit.get(), "tfDetune"), Qt::Key_Backspace);
    QTest::keyClick(child<TNumberBox>(edit.get(), "tfDetune"), Qt::Key_Backspace);
    QTest::keyClicks(child<TNumberBox>(edit.get(), "tfDetune"), QStringLiteral("5"));
    EXPECT_EQ(b().carrier.detune, 5);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfDetune")->text(), QStringLiteral("5"));
}

TEST_F(FMEditTest, NamedShapeStaysShownAcrossAnElementSwitch)
{
    const unsigned long before = sends();
    pick(child<TPickList>(edit.get(), "cbEnvType"), 2);   // "Piano"
    const OperatorBlock& c = b().carrier;
    EXPECT_EQ(c.levelInitial, 127 - 87);
    EXPECT_EQ(c.levelAttack, 0);
    EXPECT_EQ(c.levelDecay1, 127 - 119);
    EXPECT_EQ(c.levelDecay2, 127);
    EXPECT_EQ(c.rateAttack, 63);
    EXPECT_EQ(c.rateRelease, 32);
    EXPECT_EQ(c.rateScaling, 3);
    EXPECT_EQ(c.peakStage, 1);
    EXPECT_EQ(b().envelopeType, 2);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbEnvType")->currentText(), QStringLiteral("Piano"));
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfLevelInitial")->text(), QStringLiteral("87"));
    EXPECT_EQ(sends() - before, 1u);

    pick(child<TPickList>(edit.get(), "cbElement"), 1);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbEnvType")->currentText(), QStringLiteral("User"));
    pick(child<TPickList>(edit.get(), "cbElement"), 0);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbEnvType")->currentText(), QStringLiteral("Piano"));
    EXPECT_EQ(b().envelopeType, 2);
    EXPECT_EQ(sends() - before, 1u);   // switching elements sends nothing
}

TEST_F(FMEditTest, SwitchingAndReceivingNeverChangeTheEnvelopeType)
{
    voice.element[1].envelopeType = 3;
    voice.element[3].envelopeType = 7;
    edit->refreshFromVoice();
    const unsigned long before = sends();
    pick(child<TPickList>(edit.get(), "cbOperator"), 1);
    pick(child<TPickList>(edit.get(), "cbElement"), 1);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbEnvType")->currentText(), QStringLiteral("Organ"));
    pick(child<TPickList>(edit.get(), "cbOperator"), 0);
    pick(child<TPickList>(edit.get(), "cbElement"), 0);

    // A voice arrives with other envelopes: every level box rewrites itself.
    for (int i : {1, 3}) {
        voice.element[i].carrier.levelInitial = 90;
        voice.element[i].modulator.rateAttack = 17;
    }
    edit->refreshFromVoice();
    pick(child<TPickList>(edit.get(), "cbOperator"), 1);
    edit->refreshFromVoice();
    EXPECT_EQ(voice.element[1].envelopeType, 3);
    EXPECT_EQ(voice.element[3].envelopeType, 7);
    EXPECT_EQ(sends(), before);
}

TEST_F(FMEditTest, CheckBoxesStoreExactlyOneOrZero)
{
    child<QCheckBox>(edit.get(), "cbFixedFrequency")->click();
    EXPECT_EQ(b().carrier.fixedFrequency, 1);
    child<QCheckBox>(edit.get(), "cbFixedFrequency")->click();
    EXPECT_EQ(b().carrier.fixedFrequency, 0);
    pick(child<TPickList>(edit.get(), "cbOperator"), 1);
    child<QCheckBox>(edit.get(), "cbFixedFrequency")->click();
    EXPECT_EQ(b().modulator.fixedFrequency, 1);
    EXPECT_EQ(b().carrier.fixedFrequency, 0);

    QCheckBox* const boxes[] = {
        child<QCheckBox>(edit.get(), "cbCarrierAM"), child<QCheckBox>(edit.get(), "cbModulatorAM"),
        child<QCheckBox>(edit.get(), "cbCarrierPM"), child<QCheckBox>(edit.get(), "cbModulatorPM")};
    uint8_t* const fields[] = {&b().carrierAM, &b().modulatorAM, &b().carrierPM, &b().modulatorPM};
    for (int i = 0; i < 4; ++i) {
        boxes[i]->click();
        EXPECT_EQ(*fields[i], 1) << i;
    }
    boxes[2]->click();
    EXPECT_EQ(b().carrierPM, 0);

    child<QCheckBox>(edit.get(), "cbEnvelopeDelay")->click();
    EXPECT_EQ(b().modulator.envelopeDelayOn, 1);
    EXPECT_TRUE(child<TNumberBox>(edit.get(), "tfEnvelopeDelay")->isEnabled());
    child<QCheckBox>(edit.get(), "cbEnvelopeDelay")->click();
    EXPECT_EQ(b().modulator.envelopeDelayOn, 0);
    EXPECT_FALSE(child<TNumberBox>(edit.get(), "tfEnvelopeDelay")->isEnabled());
    EXPECT_FALSE(child<TUpDown>(edit.get(), "udEnvelopeDelay")->isEnabled());
}

TEST_F(FMEditTest, ValuesOutsideTheWindowsRangesAreShownAndKept)
{
    b().carrier.fixedFrequency = 2;
    b().carrierAM = 3;
    b().modulatorPM = 1;
    b().carrier.envelopeDelayOn = 2;
    b().pan = 9;
    b().feedback = 12;
    b().lfoRate = 200;
    b().pitch = -128;
    edit->refreshFromVoice();

    EXPECT_FALSE(child<QCheckBox>(edit.get(), "cbFixedFrequency")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(edit.get(), "cbCarrierAM")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(edit.get(), "cbModulatorPM")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(edit.get(), "cbEnvelopeDelay")->isChecked());
    EXPECT_TRUE(child<TNumberBox>(edit.get(), "tfEnvelopeDelay")->isEnabled());
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfFeedback")->text(), QStringLiteral("12"));
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfLFORate")->text(), QStringLiteral("-73"));
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfPitch")->text(), QStringLiteral("-128"));
    EXPECT_EQ(child<TUpDown>(edit.get(), "udPitch")->position(), -12);
    // Nothing was stored back while the window rewrote itself.
    EXPECT_EQ(b().carrier.fixedFrequency, 2);
    EXPECT_EQ(b().carrierAM, 3);
    EXPECT_EQ(b().carrier.envelopeDelayOn, 2);
    EXPECT_EQ(b().pan, 9);
    EXPECT_EQ(b().feedback, 12);
    EXPECT_EQ(b().lfoRate, 200);
    EXPECT_EQ(b().pitch, -128);
}

TEST_F(FMEditTest, PictureShowsBothOperatorsAndOnlyTheCarrierTakesTheAdjustments)
{
    b().carrier.levelAttack = 0;
    b().carrier.rateAttack = 30;
    b().carrier.rateDecay1 = 63;
    b().carrier.rateDecay2 = 63;
    b().carrier.rateRelease = 20;
    b().modulator.levelInitial = 60;
    b().modulator.levelAttack = 60;
    b().modulator.levelDecay1 = 60;
    b().modulator.levelDecay2 = 60;
    b().modulator.rateAttack = 10;
    b().modulator.rateRelease = 10;
    edit->refreshFromVoice();
    for (int view : {0, 1}) {
        pick(child<TPickList>(edit.get(), "cbOperator"), view);
        const QSet<QRgb> found = colours();
        EXPECT_TRUE(found.contains(red)) << view;
        EXPECT_TRUE(found.contains(darkBlue)) << view;
        EXPECT_TRUE(found.contains(0xC0C0C0)) << view;
        // The modulator's flat stretch at shown level 67 lies on row 60 + 4.
        EXPECT_EQ(picture().pixel(100, 64) & 0xFFFFFF, red) << view;
    }

    const QImage before = picture();
    voice.attackAdjust = 20;
    voice.releaseAdjust = -20;
    edit->drawEnvelope();
    const QImage after = picture();
    bool carrierMoved = false;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            const QRgb was = before.pixel(x, y) & 0xFFFFFF, now = after.pixel(x, y) & 0xFFFFFF;
            if ((was == darkBlue) != (now == darkBlue))
                carrierMoved = true;
            // The red curve stays put: it is only covered or uncovered by the carrier.
            if (was == red && now != red) {
                EXPECT_EQ(now, darkBlue) << x << "," << y;
            }
            if (now == red && was != red) {
                EXPECT_EQ(was, darkBlue) << x << "," << y;
            }
        }
    EXPECT_TRUE(carrierMoved);
}

TEST_F(FMEditTest, SendingFollowsTheSwitchAndTheButton)
{
    unsigned long before = sends();
    edit->refreshFromVoice();
    pick(child<TPickList>(edit.get(), "cbElement"), 1);
    pick(child<TPickList>(edit.get(), "cbOperator"), 1);
    EXPECT_EQ(sends(), before);

    settings.autoSend = false;
    pick(child<TPickList>(edit.get(), "cbWaveform"), 30);
    paste(child<TNumberBox>(edit.get(), "tfDetune"), QStringLiteral("4"));
    child<QScrollBar>(edit.get(), "sbPan")->setValue(0);
    pick(child<TPickList>(edit.get(), "cbOperator"), 0);
    pick(child<TPickList>(edit.get(), "cbEnvType"), 4);
    EXPECT_EQ(sends(), before);
    EXPECT_EQ(voice.element[3].modulator.detune, 4);
    EXPECT_EQ(voice.element[3].pan, 4);
    EXPECT_EQ(voice.element[3].waveform, 30);
    EXPECT_EQ(voice.element[3].envelopeType, 4);

    QTest::mouseClick(child<QPushButton>(edit.get(), "bSendVoice"), Qt::LeftButton);
    EXPECT_EQ(sends() - before, 1u);

    settings.autoSend = true;
    before = sends();
    child<QScrollBar>(edit.get(), "sbPan")->setValue(4);
    EXPECT_EQ(voice.element[3].pan, 0);
    EXPECT_EQ(sends() - before, 1u);
}

TEST_F(FMEditTest, DelayTimeIsSharedWithTheAWMEditor)
{
    TAWMEdit awm(commands);
    b().carrier.envelopeDelayOn = 1;
    b().carrier.levelInitial = 127;   // silent start
    b().carrier.rateAttack = 63;      // then a step to the top
    edit->refreshFromVoice();

    const unsigned long before = sends();
    paste(child<TNumberBox>(edit.get(), "tfEnvelopeDelay"), QStringLiteral("40"));
    EXPECT_EQ(voice.envelopeDelay, 40);
    EXPECT_EQ(child<TNumberBox>(&awm, "tfEnvelopeDelay")->text(), QStringLiteral("40"));
    EXPECT_EQ(sends() - before, 1u);

    // The delayed carrier steps up at column 128 - 40.
    EXPECT_EQ(picture().pixel(60, 4 + 127) & 0xFFFFFF, darkBlue);
    EXPECT_EQ(picture().pixel(87, 60) & 0xFFFFFF, darkBlue);
    EXPECT_NE(picture().pixel(100, 4 + 127) & 0xFFFFFF, darkBlue);

    voice.envelopeDelay = 70;
    edit->refreshDelayTime();
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfEnvelopeDelay")->text(), QStringLiteral("70"));
    EXPECT_EQ(child<TUpDown>(edit.get(), "udEnvelopeDelay")->position(), 70);
    EXPECT_EQ(sends() - before, 1u);
    // Both windows take edits again, each sending once.
    paste(child<TNumberBox>(&awm, "tfEnvelopeDelay"), QStringLiteral("71"));
    EXPECT_EQ(sends() - before, 2u);
    paste(child<TNumberBox>(edit.get(), "tfEnvelopeDelay"), QStringLiteral("72"));
    EXPECT_EQ(voice.envelopeDelay, 72);
    EXPECT_EQ(sends() - before, 3u);
}

TEST_F(FMEditTest, CloseAndTheCloseBoxOnlyHide)
{
    pick(child<TPickList>(edit.get(), "cbElement"), 1);
    QTest::mouseClick(child<QPushButton>(edit.get(), "bClose"), Qt::LeftButton);
    EXPECT_TRUE(edit->isHidden());
    edit->show();
    edit->close();
    EXPECT_TRUE(edit->isHidden());
    edit->show();
    EXPECT_FALSE(edit->editElementB);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbElement")->currentText(), QStringLiteral("Element D"));
}
