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

    edit->tfFXDepth->selectAll();
    QTest::keyClicks(edit->tfFXDepth, QStringLiteral("8"));
    EXPECT_EQ(voice.effectDepth, 3);
    EXPECT_EQ(edit->tfFXDepth->text(), QStringLiteral("3"));
    EXPECT_EQ(edit->udFXDepth->position(), 3);
    // The refused entry sends the unchanged voice once.
    EXPECT_EQ(sends(), before + 1);

    before = sends();
    edit->tfFXDepth->selectAll();
    QTest::keyClicks(edit->tfFXDepth, QStringLiteral("5"));
    EXPECT_EQ(voice.effectDepth, 5);
    EXPECT_EQ(edit->udFXDepth->position(), 5);
    EXPECT_EQ(sends(), before + 1);
}

TEST_F(VoiceCommonTest, AftertouchPitchAndBendRangeLimits)
{
    voice.aftertouchPitch = 4;
    edit->refreshFromVoice();
    for (const char* refused : {"13", "-13", "+99"}) {
        edit->tfAftertouchPitch->setText(QString::fromLatin1(refused));
        EXPECT_EQ(voice.aftertouchPitch, 4) << refused;
        EXPECT_EQ(edit->tfAftertouchPitch->text(), QStringLiteral("4")) << refused;
    }
    edit->tfAftertouchPitch->setText(QStringLiteral("-12"));
    EXPECT_EQ(voice.aftertouchPitch, -12);
    EXPECT_EQ(edit->udAftertouchPitch->position(), -12);
    edit->tfAftertouchPitch->setText(QStringLiteral(" 12"));
    EXPECT_EQ(voice.aftertouchPitch, 12);
    EXPECT_EQ(edit->udAftertouchPitch->position(), 12);

    edit->tfBendRange->setText(QStringLiteral("13"));
    EXPECT_EQ(voice.bendRange, 0);
    edit->tfBendRange->setText(QStringLiteral("-1"));
    EXPECT_EQ(voice.bendRange, 0);
    EXPECT_EQ(edit->tfBendRange->text(), QStringLiteral("0"));
    edit->tfBendRange->setText(QStringLiteral("12"));
    EXPECT_EQ(voice.bendRange, 12);
}

TEST_F(VoiceCommonTest, BoxWithoutANumberShowsTheStoredValueAgain)
{
    voice.attackAdjust = -7;
    voice.effectDepth = 6;
    edit->refreshFromVoice();
    for (const char* empty : {"", "-", "+", "   "}) {
        edit->tfAttack->setText(QString::fromLatin1(empty));
        EXPECT_EQ(voice.attackAdjust, -7) << '"' << empty << '"';
        EXPECT_EQ(edit->tfAttack->text(), QStringLiteral("-7")) << '"' << empty << '"';
    }
    // Deleting the one digit of the depth box waits for the next one; leaving the box
    // without one puts the stored depth back.
    edit->tfFXDepth->setFocus();
    edit->tfFXDepth->end(false);
    QTest::keyClick(edit->tfFXDepth, Qt::Key_Backspace);
    EXPECT_EQ(voice.effectDepth, 6);
    EXPECT_EQ(edit->tfFXDepth->text(), QString());
    QTest::keyClick(edit->tfFXDepth, Qt::Key_Return);
    EXPECT_EQ(voice.effectDepth, 6);
    EXPECT_EQ(edit->tfFXDepth->text(), QStringLiteral("6"));
    // A negative number typed over the whole text: the sign waits for its digits.
    edit->tfAttack->selectAll();
    QTest::keyClicks(edit->tfAttack, QStringLiteral("-64"));
    EXPECT_EQ(voice.attackAdjust, -64);
    EXPECT_EQ(edit->udAttack->position(), -64);
}

// The element pictures that show them: AttackAndReleaseShowInTheElementPictures.
TEST_F(VoiceCommonTest, AttackAndReleaseTakeTheirRangeAndTheArrowsFollow)
{
    voice.attackAdjust = 10;
    edit->refreshFromVoice();
    edit->tfAttack->setText(QStringLiteral("64"));
    EXPECT_EQ(voice.attackAdjust, 10);
    EXPECT_EQ(edit->tfAttack->text(), QStringLiteral("10"));
    for (int accepted : {63, -64}) {
        edit->tfAttack->setText(QString::number(accepted));
        EXPECT_EQ(voice.attackAdjust, accepted);
        EXPECT_EQ(edit->udAttack->position(), accepted);
    }
    edit->tfRelease->setText(QStringLiteral("20"));
    EXPECT_EQ(voice.releaseAdjust, 20);
    EXPECT_EQ(edit->udRelease->position(), 20);
    edit->tfRelease->setText(QStringLiteral("-65"));
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

    QImage awmBefore = awm->envWindow->bitmap().toImage();
    QImage fmBefore = fm->envWindow->bitmap().toImage();
    edit->tfAttack->setText(QStringLiteral("40"));
    EXPECT_NE(awm->envWindow->bitmap().toImage(), awmBefore);
    EXPECT_NE(fm->envWindow->bitmap().toImage(), fmBefore);

    awmBefore = awm->envWindow->bitmap().toImage();
    fmBefore = fm->envWindow->bitmap().toImage();
    edit->tfRelease->setText(QStringLiteral("-40"));
    EXPECT_NE(awm->envWindow->bitmap().toImage(), awmBefore);
    EXPECT_NE(fm->envWindow->bitmap().toImage(), fmBefore);
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
        {edit->tfFXDepth, edit->udFXDepth, 0, 7, [this] { return int(voice.effectDepth); }},
        {edit->tfBendRange, edit->udBendRange, 0, 12, [this] { return int(voice.bendRange); }},
        {edit->tfAftertouchPitch, edit->udAftertouchPitch, -12, 12,
         [this] { return int(voice.aftertouchPitch); }},
        {edit->tfAttack, edit->udAttack, -64, 63, [this] { return int(voice.attackAdjust); }},
        {edit->tfRelease, edit->udRelease, -64, 63, [this] { return int(voice.releaseAdjust); }},
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
    clickArrow(edit->udAttack->upButton(), 1);
    EXPECT_EQ(voice.attackAdjust, -63);
    EXPECT_EQ(sends(), before + 1);
}

TEST_F(VoiceCommonTest, WithAutoSendOffOnlySendVoiceSends)
{
    showActive();
    settings.autoSend = false;
    const unsigned long before = sends();

    edit->tfVoiceName->setFocus();
    edit->tfVoiceName->home(false);
    QTest::keyClick(edit->tfVoiceName, Qt::Key_Q);
    edit->cbVoiceConfig->setCurrentIndex(1);
    emit edit->cbVoiceConfig->activated(1);
    edit->cbFXType->setCurrentIndex(9);
    emit edit->cbFXType->activated(9);
    edit->cbAftertouchAM->click();
    edit->tfBendRange->setText(QStringLiteral("5"));
    edit->tfAttack->setText(QStringLiteral("99"));
    clickArrow(edit->udRelease->upButton(), 2);

    EXPECT_EQ(voice.name[0], 'q');
    EXPECT_EQ(voice.voiceConfig, 1);
    EXPECT_EQ(voice.effectType, 9);
    EXPECT_EQ(voice.aftertouchAM, 1);
    EXPECT_EQ(voice.bendRange, 5);
    EXPECT_EQ(voice.releaseAdjust, 2);
    EXPECT_EQ(sends(), before);

    QTest::mouseClick(edit->bSendVoice, Qt::LeftButton);
    EXPECT_EQ(sends(), before + 1);
}

TEST_F(VoiceCommonTest, ListsAndCheckBoxesStoreAndSend)
{
    ASSERT_EQ(edit->cbFXType->count(), 16);
    EXPECT_EQ(edit->cbFXType->itemText(0), QStringLiteral("Reverb Hall"));
    EXPECT_EQ(edit->cbFXType->itemText(15), QStringLiteral("Distortion & Reverb"));

    unsigned long before = sends();
    edit->cbFXType->setCurrentIndex(13);
    emit edit->cbFXType->activated(13);
    EXPECT_EQ(voice.effectType, 13);
    EXPECT_EQ(sends(), before + 1);

    before = sends();
    edit->cbModWheelPM->click();
    EXPECT_EQ(voice.modWheelPM, 1);
    edit->cbModWheelPM->click();
    EXPECT_EQ(voice.modWheelPM, 0);
    edit->cbAftertouchLevel->click();
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

    const std::pair<TNumberBox*, TUpDown*> pairs[] = {{edit->tfFXDepth, edit->udFXDepth},
                                                      {edit->tfBendRange, edit->udBendRange},
                                                      {edit->tfAftertouchPitch, edit->udAftertouchPitch},
                                                      {edit->tfAttack, edit->udAttack},
                                                      {edit->tfRelease, edit->udRelease}};
    for (const auto& [box, ud] : pairs)
        EXPECT_EQ(box->text().toInt(), ud->position()) << box->toolTip().toStdString();
    EXPECT_EQ(edit->udAttack->position(), -64);
    EXPECT_EQ(edit->cbFXType->currentIndex(), 15);
    EXPECT_EQ(edit->cbVoiceConfig->currentText(), QStringLiteral("A-B-C-D"));
    EXPECT_TRUE(edit->cbModWheelAM->isChecked());
    EXPECT_FALSE(edit->cbModWheelPM->isChecked());
    // A name with other characters is shown as it is and stays as it is.
    EXPECT_EQ(edit->tfVoiceName->text(), QStringLiteral("Pad-1 ok"));
    EXPECT_STREQ(voice.name, "Pad-1 ok");

    // A second refresh after an arrow was moved without a release.
    edit->udAttack->setPosition(0);
    edit->refreshFromVoice();
    EXPECT_EQ(edit->udAttack->position(), -64);
    EXPECT_EQ(sends(), before);
}

TEST_F(VoiceCommonTest, StoredValueOutsideItsRangeIsShownUnchanged)
{
    voice.bendRange = 200;
    voice.attackAdjust = 100;
    const unsigned long before = sends();
    edit->refreshFromVoice();
    EXPECT_EQ(edit->tfBendRange->text(), QStringLiteral("200"));
    EXPECT_EQ(edit->tfAttack->text(), QStringLiteral("100"));
    EXPECT_EQ(voice.bendRange, 200);
    EXPECT_EQ(voice.attackAdjust, 100);
    EXPECT_EQ(sends(), before);
    // A valid entry replaces it as usual.
    edit->tfBendRange->setText(QStringLiteral("2"));
    EXPECT_EQ(voice.bendRange, 2);
}

TEST_F(VoiceCommonTest, EveryKeystrokeInTheNameReachesTheVoice)
{
    showActive();
    TNameBox* box = edit->tfVoiceName;
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
    edit->tfVoiceName->setText(QStringLiteral("ABCDEFGH"));
    box->setCursorPosition(7);
    QTest::keyClicks(box, QStringLiteral("Z9"));
    EXPECT_STREQ(voice.name, "ABCDEFGZ");
}

TEST_F(VoiceCommonTest, IncompleteNameKeepsTheFocusUntilEscape)
{
    ModalAnswer answer;
    answerModals(&answer, edit.get());
    showActive();
    TNameBox* box = edit->tfVoiceName;
    box->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(waitFor([&] { return box->hasFocus(); }));
    // Only a name of nothing but blanks is refused.
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    ASSERT_STREQ(voice.name, "        ");

    edit->tfBendRange->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return answer.seen > 0; }));
    EXPECT_EQ(answer.text, QStringLiteral("Invalid input value.  Use escape key to abandon changes"));
    EXPECT_TRUE(waitFor([&] { return box->hasFocus(); }));

    // Escape puts back the name the box had on entry; then the box can be left.
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(box->text(), QStringLiteral("12345678"));
    EXPECT_STREQ(voice.name, "12345678");
    const int seen = answer.seen;
    edit->tfBendRange->setFocus(Qt::TabFocusReason);
    waitFor([] { return false; }, 100);
    EXPECT_EQ(answer.seen, seen);
    EXPECT_TRUE(edit->tfBendRange->hasFocus());

    // A complete new name leaves quietly.
    box->setFocus(Qt::TabFocusReason);
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("Strings1"));
    edit->tfBendRange->setFocus(Qt::TabFocusReason);
    waitFor([] { return false; }, 100);
    EXPECT_EQ(answer.seen, seen);
    EXPECT_STREQ(voice.name, "Strings1");

    // So does a shorter one with the synthesiser's punctuation, filled with blanks.
    box->setFocus(Qt::TabFocusReason);
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("Dr.Kit"));
    edit->tfBendRange->setFocus(Qt::TabFocusReason);
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
    edit->tfVoiceName->setFocus(Qt::TabFocusReason);
    edit->tfBendRange->setFocus(Qt::TabFocusReason);
    waitFor([] { return false; }, 100);
    EXPECT_EQ(answer.seen, 0);
    EXPECT_TRUE(edit->tfBendRange->hasFocus());
    EXPECT_STREQ(voice.name, "E.Piano ");
}

}   // namespace
