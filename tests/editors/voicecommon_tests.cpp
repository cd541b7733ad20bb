// SPDX-License-Identifier: GPL-3.0-or-later
// The voice common window: ranges of the number boxes and their arrows, the name box's
// keystrokes and completeness rule, and when the window sends the voice.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "editors/awmedit.h"
#include "editors/controls.h"
#include "editors/envelope.h"
#include "editors/fmedit.h"
#include "editors/namebox.h"
#include "editors/voicecommonedit.h"
#include "editortest.h"
#include "voice/voice.h"

namespace {

// Watches for the next modal message box, notes its text and presses its button.
struct ModalAnswer {
    QString text;
    int seen = 0;
};

void answerModals(ModalAnswer* answer, QObject* owner)
{
    auto* timer = new QTimer(owner);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, owner, [answer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            answer->text = box->text();
            ++answer->seen;
            box->done(QMessageBox::Ok);
        }
    });
    timer->start();
}

// Lets queued work run for a while, or until done() holds.
template <typename Done> bool waitFor(Done done, int ms = 2000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(5);
    }
    return done();
}

class VoiceCommonTest : public ::testing::Test, protected EditorBench {
protected:
    void SetUp() override
    {
        edit = std::make_unique<TVoiceCommonEdit>(commands);
        edit->refreshFromVoice();
    }
    void TearDown() override { edit.reset(); }

    unsigned long sends() const { return voiceSends; }

    void showActive()
    {
        edit->show();
        edit->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(edit.get()));
    }

    // Presses and releases an arrow button n times.
    static void clickArrow(QToolButton* button, int n)
    {
        for (int i = 0; i < n; ++i)
            QTest::mouseClick(button, Qt::LeftButton);
    }

    std::unique_ptr<TVoiceCommonEdit> edit;
};

TEST_F(VoiceCommonTest, EffectDepthRefusesEightAndTakesFive)
{
    voice.effectDepth = 3;
    edit->refreshFromVoice();
    unsigned long before = sends();

    child<TNumberBox>(edit.get(), "tfFXDepth")->selectAll();
    QTest::keyClicks(child<TNumberBox>(edit.get(), "tfFXDepth"), QStringLiteral("8"));
    EXPECT_EQ(voice.effectDepth, 3);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfFXDepth")->text(), QStringLiteral("3"));
    EXPECT_EQ(child<TUpDown>(edit.get(), "udFXDepth")->position(), 3);
    // The refused entry sends the unchanged voice once.
    EXPECT_EQ(sends(), before + 1);

    before = sends();
    child<TNumberBox>(edit.get(), "tfFXDepth")->selectAll();
    QTest::keyClicks(child<TNumberBox>(edit.get(), "tfFXDepth"), QStringLiteral("5"));
    EXPECT_EQ(voice.effectDepth, 5);
    EXPECT_EQ(child<TUpDown>(edit.get(), "udFXDepth")->position(), 5);
    EXPECT_EQ(sends(), before + 1);
}

TEST_F(VoiceCommonTest, AftertouchPitchAndBendRangeLimits)
{
    voice.aftertouchPitch = 4;
    edit->refreshFromVoice();
    for (const char* refused : {"13", "-13", "+99"}) {
        child<TNumberBox>(edit.get(), "tfAftertouchPitch")->setText(QString::fromLatin1(refused));
        EXPECT_EQ(voice.aftertouchPitch, 4) << refused;
        EXPECT_EQ(child<TNumberBox>(edit.get(), "tfAftertouchPitch")->text(), QStringLiteral("4")) << refused;
    }
    child<TNumberBox>(edit.get(), "tfAftertouchPitch")->setText(QStringLiteral("-12"));
    EXPECT_EQ(voice.aftertouchPitch, -12);
    EXPECT_EQ(child<TUpDown>(edit.get(), "udAftertouchPitch")->position(), -12);
    child<TNumberBox>(edit.get(), "tfAftertouchPitch")->setText(QStringLiteral(" 12"));
    EXPECT_EQ(voice.aftertouchPitch, 12);
    EXPECT_EQ(child<TUpDown>(edit.get(), "udAftertouchPitch")->position(), 12);

    child<TNumberBox>(edit.get(), "tfBendRange")->setText(QStringLiteral("13"));
    EXPECT_EQ(voice.bendRange, 0);
    child<TNumberBox>(edit.get(), "tfBendRange")->setText(QStringLiteral("-1"));
    EXPECT_EQ(voice.bendRange, 0);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfBendRange")->text(), QStringLiteral("0"));
    child<TNumberBox>(edit.get(), "tfBendRange")->setText(QStringLiteral("12"));
    EXPECT_EQ(voice.bendRange, 12);
}

TEST_F(VoiceCommonTest, BoxWithoutANumberShowsTheStoredValueAgain)
{
    voice.attackAdjust = -7;
    voice.effectDepth = 6;
    edit->refreshFromVoice();
    for (const char* empty : {"", "-", "+", "   "}) {
        child<TNumberBox>(edit.get(), "tfAttack")->setText(QString::fromLatin1(empty));
        EXPECT_EQ(voice.attackAdjust, -7) << '"' << empty << '"';
        EXPECT_EQ(child<TNumberBox>(edit.get(), "tfAttack")->text(), QStringLiteral("-7"))
            << '"' << empty << '"';
    }
    // Deleting the one digit of the depth box waits for the next one; leaving the box
    // without one puts the stored depth back.
    child<TNumberBox>(edit.get(), "tfFXDepth")->setFocus();
    child<TNumberBox>(edit.get(), "tfFXDepth")->end(false);
    QTest::keyClick(child<TNumberBox>(edit.get(), "tfFXDepth"), Qt::Key_Backspace);
    EXPECT_EQ(voice.effectDepth, 6);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfFXDepth")->text(), QString());
    QTest::keyClick(child<TNumberBox>(edit.get(), "tfFXDepth"), Qt::Key_Return);
    EXPECT_EQ(voice.effectDepth, 6);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfFXDepth")->text(), QStringLiteral("6"));
    // A negative number typed over the whole text: the sign waits for its digits.
    child<TNumberBox>(edit.get(), "tfAttack")->selectAll();
    QTest::keyClicks(child<TNumberBox>(edit.get(), "tfAttack"), QStringLiteral("-64"));
    EXPECT_EQ(voice.attackAdjust, -64);
    EXPECT_EQ(child<TUpDown>(edit.get(), "udAttack")->position(), -64);
}

// The element pictures that show them: AttackAndReleaseShowInTheElementPictures.
TEST_F(VoiceCommonTest, AttackAndReleaseTakeTheirRangeAndTheArrowsFollow)
{
    voice.attackAdjust = 10;
    edit->refreshFromVoice();
    child<TNumberBox>(edit.get(), "tfAttack")->setText(QStringLiteral("64"));
    EXPECT_EQ(voice.attackAdjust, 10);
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfAttack")->text(), QStringLiteral("10"));
    for (int accepted : {63, -64}) {
        child<TNumberBox>(edit.get(), "tfAttack")->setText(QString::number(accepted));
        EXPECT_EQ(voice.attackAdjust, accepted);
        EXPECT_EQ(child<TUpDown>(edit.get(), "udAttack")->position(), accepted);
    }
    child<TNumberBox>(edit.get(), "tfRelease")->setText(QStringLiteral("20"));
    EXPECT_EQ(voice.releaseAdjust, 20);
    EXPECT_EQ(child<TUpDown>(edit.get(), "udRelease")->position(), 20);
    child<TNumberBox>(edit.get(), "tfRelease")->setText(QStringLiteral("-65"));
    EXPECT_EQ(voice.releaseAdjust, 20);
}

TEST_F(VoiceCommonTest, AttackAndReleaseShowInTheElementPictures)
{
    for (int e : {0, 1}) {
        OperatorBlock& c = voice.element[e].carrier;
        c.rateAttack = 20;
        c.rateRelease = 20;
        c.levelInitial = 127;
        c.levelAttack = 0;
        c.levelDecay1 = 20;
        c.levelDecay2 = 40;
    }
    auto awm = std::make_unique<TAWMEdit>(commands);
    auto fm = std::make_unique<TFMEdit>(commands);
    awm->refreshFromVoice();
    fm->refreshFromVoice();
    edit->refreshFromVoice();

    QImage awmBefore = child<TEnvelopePicture>(awm.get(), "envWindow")->bitmap().toImage();
    QImage fmBefore = child<TEnvelopePicture>(fm.get(), "envWindow")->bitmap().toImage();
    child<TNumberBox>(edit.get(), "tfAttack")->setText(QStringLiteral("40"));
    EXPECT_NE(child<TEnvelopePicture>(awm.get(), "envWindow")->bitmap().toImage(), awmBefore);
    EXPECT_NE(child<TEnvelopePicture>(fm.get(), "envWindow")->bitmap().toImage(), fmBefore);

    awmBefore = child<TEnvelopePicture>(awm.get(), "envWindow")->bitmap().toImage();
    fmBefore = child<TEnvelopePicture>(fm.get(), "envWindow")->bitmap().toImage();
    child<TNumberBox>(edit.get(), "tfRelease")->setText(QStringLiteral("-40"));
    EXPECT_NE(child<TEnvelopePicture>(awm.get(), "envWindow")->bitmap().toImage(), awmBefore);
    EXPECT_NE(child<TEnvelopePicture>(fm.get(), "envWindow")->bitmap().toImage(), fmBefore);
}

TEST_F(VoiceCommonTest, EachArrowStopsAtItsRangesEnds)
{
    struct Case {
        TNumberBox* box;
        TUpDown* ud;
        int lo, hi;
        std::function<int()> field;
    };
    const Case cases[] = {
        {child<TNumberBox>(edit.get(), "tfFXDepth"), child<TUpDown>(edit.get(), "udFXDepth"), 0, 7,
         [this] { return int(voice.effectDepth); }},
        {child<TNumberBox>(edit.get(), "tfBendRange"), child<TUpDown>(edit.get(), "udBendRange"), 0, 12,
         [this] { return int(voice.bendRange); }},
        {child<TNumberBox>(edit.get(), "tfAftertouchPitch"), child<TUpDown>(edit.get(), "udAftertouchPitch"),
         -12, 12, [this] { return int(voice.aftertouchPitch); }},
        {child<TNumberBox>(edit.get(), "tfAttack"), child<TUpDown>(edit.get(), "udAttack"), -64, 63,
         [this] { return int(voice.attackAdjust); }},
        {child<TNumberBox>(edit.get(), "tfRelease"), child<TUpDown>(edit.get(), "udRelease"), -64, 63,
         [this] { return int(voice.releaseAdjust); }},
    };
    showActive();
    for (const Case& c : cases) {
        const QString name = c.box->toolTip();
        c.box->setText(QString::number(c.hi - 1));
        clickArrow(c.ud->upButton(), 3);
        EXPECT_EQ(c.field(), c.hi) << name.toStdString();
        EXPECT_EQ(c.box->text(), QString::number(c.hi)) << name.toStdString();
        EXPECT_EQ(c.ud->position(), c.hi) << name.toStdString();

        c.box->setText(QString::number(c.lo + 1));
        clickArrow(c.ud->downButton(), 3);
        EXPECT_EQ(c.field(), c.lo) << name.toStdString();
        EXPECT_EQ(c.box->text(), QString::number(c.lo)) << name.toStdString();
        EXPECT_EQ(c.ud->position(), c.lo) << name.toStdString();
    }
    // One arrow click is one stored value and one send.
    const unsigned long before = sends();
    clickArrow(child<TUpDown>(edit.get(), "udAttack")->upButton(), 1);
    EXPECT_EQ(voice.attackAdjust, -63);
    EXPECT_EQ(sends(), before + 1);
}

TEST_F(VoiceCommonTest, WithAutoSendOffOnlySendVoiceSends)
{
    showActive();
    settings.autoSend = false;
    const unsigned long before = sends();

    child<TNameBox>(edit.get(), "tfVoiceName")->setFocus();
    child<TNameBox>(edit.get(), "tfVoiceName")->home(false);
    QTest::keyClick(child<TNameBox>(edit.get(), "tfVoiceName"), Qt::Key_Q);
    child<TPickList>(edit.get(), "cbVoiceConfig")->setCurrentIndex(1);
    emit child<TPickList>(edit.get(), "cbVoiceConfig")->activated(1);
    child<TPickList>(edit.get(), "cbFXType")->setCurrentIndex(9);
    emit child<TPickList>(edit.get(), "cbFXType")->activated(9);
    child<QCheckBox>(edit.get(), "cbAftertouchAM")->click();
    child<TNumberBox>(edit.get(), "tfBendRange")->setText(QStringLiteral("5"));
    child<TNumberBox>(edit.get(), "tfAttack")->setText(QStringLiteral("99"));
    clickArrow(child<TUpDown>(edit.get(), "udRelease")->upButton(), 2);

    EXPECT_EQ(voice.name[0], 'q');
    EXPECT_EQ(voice.voiceConfig, 1);
    EXPECT_EQ(voice.effectType, 9);
    EXPECT_EQ(voice.aftertouchAM, 1);
    EXPECT_EQ(voice.bendRange, 5);
    EXPECT_EQ(voice.releaseAdjust, 2);
    EXPECT_EQ(sends(), before);

    QTest::mouseClick(child<QPushButton>(edit.get(), "bSendVoice"), Qt::LeftButton);
    EXPECT_EQ(sends(), before + 1);
}

TEST_F(VoiceCommonTest, ListsAndCheckBoxesStoreAndSend)
{
    ASSERT_EQ(child<TPickList>(edit.get(), "cbFXType")->count(), 16);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbFXType")->itemText(0), QStringLiteral("Reverb Hall"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbFXType")->itemText(15), QStringLiteral("Distortion & Reverb"));

    unsigned long before = sends();
    child<TPickList>(edit.get(), "cbFXType")->setCurrentIndex(13);
    emit child<TPickList>(edit.get(), "cbFXType")->activated(13);
    EXPECT_EQ(voice.effectType, 13);
    EXPECT_EQ(sends(), before + 1);

    before = sends();
    child<QCheckBox>(edit.get(), "cbModWheelPM")->click();
    EXPECT_EQ(voice.modWheelPM, 1);
    child<QCheckBox>(edit.get(), "cbModWheelPM")->click();
    EXPECT_EQ(voice.modWheelPM, 0);
    child<QCheckBox>(edit.get(), "cbAftertouchLevel")->click();
    EXPECT_EQ(voice.aftertouchLevel, 1);
    EXPECT_EQ(voice.modWheelAM, 0);
    EXPECT_EQ(sends(), before + 3);
}

TEST_F(VoiceCommonTest, RefreshNeverSendsAndArrowsFollowTheirBoxes)
{
    voice.effectDepth = 7;
    voice.bendRange = 12;
    voice.aftertouchPitch = -5;
    voice.attackAdjust = -64;
    voice.releaseAdjust = 33;
    voice.voiceConfig = 1;
    voice.effectType = 15;
    voice.modWheelAM = 1;
    std::memcpy(voice.name, "Pad-1 ok", 9);
    const unsigned long before = sends();
    edit->refreshFromVoice();
    EXPECT_EQ(sends(), before);

    const std::pair<TNumberBox*, TUpDown*> pairs[] = {
        {child<TNumberBox>(edit.get(), "tfFXDepth"), child<TUpDown>(edit.get(), "udFXDepth")},
        {child<TNumberBox>(edit.get(), "tfBendRange"), child<TUpDown>(edit.get(), "udBendRange")},
        {child<TNumberBox>(edit.get(), "tfAftertouchPitch"), child<TUpDown>(edit.get(), "udAftertouchPitch")},
        {child<TNumberBox>(edit.get(), "tfAttack"), child<TUpDown>(edit.get(), "udAttack")},
        {child<TNumberBox>(edit.get(), "tfRelease"), child<TUpDown>(edit.get(), "udRelease")}};
    for (const auto& [box, ud] : pairs)
        EXPECT_EQ(box->text().toInt(), ud->position()) << box->toolTip().toStdString();
    EXPECT_EQ(child<TUpDown>(edit.get(), "udAttack")->position(), -64);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbFXType")->currentIndex(), 15);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVoiceConfig")->currentText(), QStringLiteral("A-B-C-D"));
    EXPECT_TRUE(child<QCheckBox>(edit.get(), "cbModWheelAM")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(edit.get(), "cbModWheelPM")->isChecked());
    // A name with other characters is shown as it is and stays as it is.
    EXPECT_EQ(child<TNameBox>(edit.get(), "tfVoiceName")->text(), QStringLiteral("Pad-1 ok"));
    EXPECT_STREQ(voice.name, "Pad-1 ok");

    // A second refresh after an arrow was moved without a release.
    child<TUpDown>(edit.get(), "udAttack")->setPosition(0);
    edit->refreshFromVoice();
    EXPECT_EQ(child<TUpDown>(edit.get(), "udAttack")->position(), -64);
    EXPECT_EQ(sends(), before);
}

TEST_F(VoiceCommonTest, StoredValueOutsideItsRangeIsShownUnchanged)
{
    voice.bendRange = 200;
    voice.attackAdjust = 100;
    const unsigned long before = sends();
    edit->refreshFromVoice();
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfBendRange")->text(), QStringLiteral("200"));
    EXPECT_EQ(child<TNumberBox>(edit.get(), "tfAttack")->text(), QStringLiteral("100"));
    EXPECT_EQ(voice.bendRange, 200);
    EXPECT_EQ(voice.attackAdjust, 100);
    EXPECT_EQ(sends(), before);
    // A valid entry replaces it as usual.
    child<TNumberBox>(edit.get(), "tfBendRange")->setText(QStringLiteral("2"));
    EXPECT_EQ(voice.bendRange, 2);
}

TEST_F(VoiceCommonTest, EveryKeystrokeInTheNameReachesTheVoice)
{
    showActive();
    TNameBox* box = child<TNameBox>(edit.get(), "tfVoiceName");
    box->setFocus();
    box->home(false);
    unsigned long before = sends();

    QTest::keyClick(box, 'X');
    EXPECT_STREQ(voice.name, "X2345678");
    QTest::keyClick(box, 'y');
    EXPECT_STREQ(voice.name, "Xy345678");
    EXPECT_EQ(sends(), before + 2);

    // Blanks and punctuation get in, as in the synthesiser's own names; a backslash
    // does not.
    before = sends();
    QTest::keyClicks(box, QStringLiteral(" -."));
    EXPECT_STREQ(voice.name, "Xy -.678");
    EXPECT_EQ(sends(), before + 3);
    before = sends();
    QTest::keyClicks(box, QStringLiteral("\\\\"));
    EXPECT_STREQ(voice.name, "Xy -.678");
    EXPECT_EQ(sends(), before);

    // Positions not filled read as blanks.
    box->end(false);
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_STREQ(voice.name, "Xy -.67 ");
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_STREQ(voice.name, "        ");
    QTest::keyClicks(box, QStringLiteral("Ab3"));
    EXPECT_STREQ(voice.name, "Ab3     ");
    // Nor with a modifier held, which a plain line edit would insert as it is.
    QTest::keyClick(box, '\\', Qt::AltModifier);
    QTest::keyClick(box, Qt::Key_Backslash, Qt::MetaModifier);
    QTest::keyClick(box, Qt::Key_Backslash, Qt::KeypadModifier | Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backslash, Qt::KeypadModifier | Qt::AltModifier);
    EXPECT_STREQ(voice.name, "Ab3     ");
    EXPECT_EQ(box->text(), QStringLiteral("Ab3"));

    // A full box is typed over, not pushed along.
    child<TNameBox>(edit.get(), "tfVoiceName")->setText(QStringLiteral("ABCDEFGH"));
    box->setCursorPosition(7);
    QTest::keyClicks(box, QStringLiteral("Z9"));
    EXPECT_STREQ(voice.name, "ABCDEFGZ");
}

TEST_F(VoiceCommonTest, IncompleteNameKeepsTheFocusUntilEscape)
{
    ModalAnswer answer;
    answerModals(&answer, edit.get());
    showActive();
    TNameBox* box = child<TNameBox>(edit.get(), "tfVoiceName");
    box->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(waitFor([&] { return box->hasFocus(); }));
    // Only a name of nothing but blanks is refused.
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    ASSERT_STREQ(voice.name, "        ");

    child<TNumberBox>(edit.get(), "tfBendRange")->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return answer.seen > 0; }));
    EXPECT_EQ(answer.text, QStringLiteral("Invalid input value.  Use escape key to abandon changes"));
    EXPECT_TRUE(waitFor([&] { return box->hasFocus(); }));

    // Escape puts back the name the box had on entry; then the box can be left.
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(box->text(), QStringLiteral("12345678"));
    EXPECT_STREQ(voice.name, "12345678");
    const int seen = answer.seen;
    child<TNumberBox>(edit.get(), "tfBendRange")->setFocus(Qt::TabFocusReason);
    waitFor([] { return false; }, 100);
    EXPECT_EQ(answer.seen, seen);
    EXPECT_TRUE(child<TNumberBox>(edit.get(), "tfBendRange")->hasFocus());

    // A complete new name leaves quietly.
    box->setFocus(Qt::TabFocusReason);
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("Strings1"));
    child<TNumberBox>(edit.get(), "tfBendRange")->setFocus(Qt::TabFocusReason);
    waitFor([] { return false; }, 100);
    EXPECT_EQ(answer.seen, seen);
    EXPECT_STREQ(voice.name, "Strings1");

    // So does a shorter one with the synthesiser's punctuation, filled with blanks.
    box->setFocus(Qt::TabFocusReason);
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("Dr.Kit"));
    child<TNumberBox>(edit.get(), "tfBendRange")->setFocus(Qt::TabFocusReason);
    waitFor([] { return false; }, 100);
    EXPECT_EQ(answer.seen, seen);
    EXPECT_EQ(box->text(), QStringLiteral("Dr.Kit  "));
    EXPECT_STREQ(voice.name, "Dr.Kit  ");
}

TEST_F(VoiceCommonTest, NameFromAVoiceIsNotCheckedUnlessChanged)
{
    ModalAnswer answer;
    answerModals(&answer, edit.get());
    std::memcpy(voice.name, "E.Piano ", 9);
    edit->refreshFromVoice();
    showActive();
    child<TNameBox>(edit.get(), "tfVoiceName")->setFocus(Qt::TabFocusReason);
    child<TNumberBox>(edit.get(), "tfBendRange")->setFocus(Qt::TabFocusReason);
    waitFor([] { return false; }, 100);
    EXPECT_EQ(answer.seen, 0);
    EXPECT_TRUE(child<TNumberBox>(edit.get(), "tfBendRange")->hasFocus());
    EXPECT_STREQ(voice.name, "E.Piano ");
}

}   // namespace
