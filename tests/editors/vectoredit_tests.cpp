// SPDX-License-Identifier: GPL-3.0-or-later
// The vector window: how slider positions and list entries map onto the stored
// vectors, which steps are shown, switching vector and step, and when it sends.
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

#include "editors/controls.h"
#include "editors/vectoredit.h"
#include "editors/vectorpathview.h"
#include "editortest.h"
#include "voice/voice.h"

namespace {

// The user picks an entry: the list shows it and reports the pick.
void pick(TPickList* list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void pick(TPickList* list, const QString& text)
{
    const int index = list->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    pick(list, index);
}

// Where the slider's handle is drawn.
QRect handleRect(QSlider* s)
{
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.subControls = QStyle::SC_None;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = s->orientation();
    opt.maximum = s->maximum();
    opt.minimum = s->minimum();
    opt.tickPosition = s->tickPosition();
    opt.tickInterval = s->tickInterval();
    opt.upsideDown = s->orientation() == Qt::Horizontal ? s->invertedAppearance() : !s->invertedAppearance();
    opt.direction = Qt::LeftToRight;
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.singleStep = s->singleStep();
    opt.pageStep = s->pageStep();
    return s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s);
}

void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Drags the slider's handle vertically to pixel row y, one pixel per move.
void dragTo(QSlider* s, int y)
{
    QPoint at = handleRect(s).center();
    mouse(s, QEvent::MouseButtonPress, at, Qt::LeftButton);
    const int stepY = y > at.y() ? 1 : -1;
    while (at.y() != y) {
        at.ry() += stepY;
        mouse(s, QEvent::MouseMove, at, Qt::LeftButton);
    }
    mouse(s, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

class VectorTest : public ::testing::Test, protected EditorBench {
protected:
    void SetUp() override
    {
        voice.levelVectorSpeed = 3;
        voice.detuneVectorSpeed = 9;
        for (int i = 0; i < vectorSteps; ++i) {
            voice.levelVector.abPosition[i] = static_cast<uint8_t>(i);
            voice.levelVector.cdPosition[i] = static_cast<uint8_t>(62 - i);
            voice.levelVector.repeats[i] = i;
            voice.detuneVector.abPosition[i] = static_cast<uint8_t>(i + 10);
            voice.detuneVector.cdPosition[i] = 31;
            voice.detuneVector.repeats[i] = 100 + i;
        }
        edit = std::make_unique<TVectorEdit>(commands);
    }
    void TearDown() override { edit.reset(); }

    unsigned long sends() const { return voiceSends; }
    TSlider* ab(int step) const { return child<TSlider>(edit.get(), QStringLiteral("abStep%1").arg(step)); }
    TSlider* cd(int step) const { return child<TSlider>(edit.get(), QStringLiteral("cdStep%1").arg(step)); }
    // Steps 1..50 whose sliders are hidden.
    std::vector<int> hiddenSteps() const
    {
        std::vector<int> hidden;
        for (int step = 1; step <= vectorSteps; ++step) {
            EXPECT_EQ(ab(step)->isHidden(), cd(step)->isHidden()) << step;
            if (ab(step)->isHidden())
                hidden.push_back(step);
        }
        return hidden;
    }
    static std::vector<int> range(int first, int last)
    {
        std::vector<int> r;
        for (int i = first; i <= last; ++i)
            r.push_back(i);
        return r;
    }

    std::unique_ptr<TVectorEdit> edit;
};

TEST_F(VectorTest, SlidersAndListsAreTheOnesTheUserExpects)
{
    ASSERT_EQ(edit->findChildren<TSlider*>().size(), 100);
    for (int i = 0; i < 100; ++i) {
        TSlider* s =
            edit->findChild<TSlider*>(QStringLiteral("%1Step%2").arg(i < 50 ? "ab" : "cd").arg(i % 50 + 1));
        ASSERT_NE(s, nullptr) << i;
        EXPECT_EQ(s->orientation(), Qt::Vertical);
        EXPECT_EQ(s->tickPosition(), QSlider::NoTicks);
        EXPECT_EQ(s->pageStep(), 16);
        EXPECT_EQ(s->minimum(), 0);
        EXPECT_EQ(s->maximum(), 62);
        EXPECT_EQ(s->toolTip(), i < 50 ? QStringLiteral("Sets the AB vector for this position")
                                       : QStringLiteral("Sets the CD vector for this position"));
    }
    // Left to right in step order.
    edit->show();
    EXPECT_LT(ab(1)->x(), ab(2)->x());
    EXPECT_LT(ab(49)->x(), ab(50)->x());
    EXPECT_LT(ab(1)->y(), cd(1)->y());

    ASSERT_EQ(child<TPickList>(edit.get(), "cbABPosition")->count(), 63);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->itemText(0),
              QStringLiteral("-31 (0% A, 100% B)"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->itemText(1), QStringLiteral("-30"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->itemText(30), QStringLiteral("-1"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->itemText(31), QStringLiteral("0 (50% A, 50% B)"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->itemText(32), QStringLiteral("1"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->itemText(62),
              QStringLiteral("31 (100% A, 0% B)"));
    ASSERT_EQ(child<TPickList>(edit.get(), "cbCDPosition")->count(), 63);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbCDPosition")->itemText(0),
              QStringLiteral("-31 (0% C, 100% D)"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbCDPosition")->itemText(31), QStringLiteral("0 (50% C, 50% D)"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbCDPosition")->itemText(62),
              QStringLiteral("31 (100% C, 0% D)"));
    ASSERT_EQ(child<TPickList>(edit.get(), "cbRepeats")->count(), 256);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbRepeats")->itemText(0), QStringLiteral("1"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbRepeats")->itemText(253), QStringLiteral("254"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbRepeats")->itemText(254), QStringLiteral("Repeat"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbRepeats")->itemText(255), QStringLiteral("End"));
    ASSERT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->count(), 16);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->itemText(0), QStringLiteral("10 ms"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->itemText(15), QStringLiteral("160 ms"));
    ASSERT_EQ(child<TPickList>(edit.get(), "cbStepNumber")->count(), 50);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbStepNumber")->itemText(49), QStringLiteral("50"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSelect")->itemText(0), QStringLiteral("Level"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSelect")->itemText(1), QStringLiteral("Detune"));
    for (TPickList* list :
         {child<TPickList>(edit.get(), "cbStepNumber"), child<TPickList>(edit.get(), "cbABPosition"),
          child<TPickList>(edit.get(), "cbCDPosition"), child<TPickList>(edit.get(), "cbRepeats"),
          child<TPickList>(edit.get(), "cbVectorSpeed"), child<TPickList>(edit.get(), "cbVectorSelect")})
        EXPECT_FALSE(list->isEditable());
}

TEST_F(VectorTest, ConstructionShowsTheLevelVectorAtStepOne)
{
    EXPECT_TRUE(edit->editLevel);
    EXPECT_EQ(edit->currentStep, 0);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbStepNumber")->currentText(), QStringLiteral("1"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSelect")->currentText(), QStringLiteral("Level"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->currentText(), QStringLiteral("30 ms"));
    // Step 10 stores AB 9 and CD 53.
    EXPECT_EQ(ab(10)->value(), 62 - 9);
    EXPECT_EQ(cd(10)->value(), 62 - 53);
    // Built, the window takes edits: one pick sends once.
    const unsigned long before = sends();
    pick(child<TPickList>(edit.get(), "cbRepeats"), 3);
    EXPECT_EQ(sends() - before, 1u);
}

TEST_F(VectorTest, ABSliderEndsAndMiddleStoreAndShowTheBalance)
{
    edit->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(edit.get()));
    TSlider* s = ab(4);

    dragTo(s, 0);
    EXPECT_EQ(s->value(), 0);
    EXPECT_EQ(voice.levelVector.abPosition[3], 62);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->currentText(),
              QStringLiteral("31 (100% A, 0% B)"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbStepNumber")->currentText(), QStringLiteral("4"));

    dragTo(s, s->height() - 1);
    EXPECT_EQ(s->value(), 62);
    EXPECT_EQ(voice.levelVector.abPosition[3], 0);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->currentText(),
              QStringLiteral("-31 (0% A, 100% B)"));

    s->setValue(31);   // as the keyboard or the wheel would
    EXPECT_EQ(voice.levelVector.abPosition[3], 31);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->currentText(),
              QStringLiteral("0 (50% A, 50% B)"));
}

TEST_F(VectorTest, DraggingASliderSendsOncePerPositionPassed)
{
    edit->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(edit.get()));
    TSlider* s = cd(7);
    QSignalSpy moves(s, &TSlider::userMoved);
    const unsigned long before = sends();
    dragTo(s, s->height() - 1);

    ASSERT_GT(moves.count(), 20);
    EXPECT_EQ(sends() - before, static_cast<unsigned long>(moves.count()));
    for (int i = 1; i < moves.count(); ++i)
        EXPECT_GT(moves[i][0].toInt(), moves[i - 1][0].toInt());
    EXPECT_EQ(voice.levelVector.cdPosition[6], 0);

    // Nothing is sent with auto-send off.
    settings.autoSend = false;
    const unsigned long quiet = sends();
    dragTo(s, 0);
    EXPECT_EQ(sends(), quiet);
    EXPECT_EQ(voice.levelVector.cdPosition[6], 62);
}

TEST_F(VectorTest, MovingCDSlider12MakesStep12Current)
{
    voice.levelVector.repeats[11] = 254;
    edit->refreshFromVoice();
    cd(12)->setValue(20);
    EXPECT_EQ(edit->currentStep, 11);
    EXPECT_EQ(voice.levelVector.cdPosition[11], 42);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbStepNumber")->currentText(), QStringLiteral("12"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->currentIndex(), 11);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbCDPosition")->currentIndex(), 42);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbRepeats")->currentText(), QStringLiteral("Repeat"));
}

TEST_F(VectorTest, EndAndRepeatMarkersHideTheStepsAfterThem)
{
    EXPECT_TRUE(hiddenSteps().empty());

    pick(child<TPickList>(edit.get(), "cbStepNumber"), QStringLiteral("5"));
    pick(child<TPickList>(edit.get(), "cbRepeats"), QStringLiteral("End"));
    EXPECT_EQ(voice.levelVector.repeats[4], 255);
    EXPECT_EQ(hiddenSteps(), range(6, 50));

    pick(child<TPickList>(edit.get(), "cbRepeats"), QStringLiteral("Repeat"));
    EXPECT_EQ(voice.levelVector.repeats[4], 254);
    EXPECT_EQ(hiddenSteps(), range(5, 50));

    pick(child<TPickList>(edit.get(), "cbRepeats"), QStringLiteral("3"));
    EXPECT_TRUE(hiddenSteps().empty());

    pick(child<TPickList>(edit.get(), "cbStepNumber"), QStringLiteral("20"));
    pick(child<TPickList>(edit.get(), "cbRepeats"), QStringLiteral("End"));
    EXPECT_EQ(hiddenSteps(), range(21, 50));
    pick(child<TPickList>(edit.get(), "cbStepNumber"), QStringLiteral("10"));
    pick(child<TPickList>(edit.get(), "cbRepeats"), QStringLiteral("Repeat"));
    EXPECT_EQ(hiddenSteps(), range(10, 50));

    // Markers of the other vector do not count.
    pick(child<TPickList>(edit.get(), "cbVectorSelect"), QStringLiteral("Detune"));
    EXPECT_TRUE(hiddenSteps().empty());
    pick(child<TPickList>(edit.get(), "cbVectorSelect"), QStringLiteral("Level"));
    EXPECT_EQ(hiddenSteps(), range(10, 50));
}

TEST_F(VectorTest, AHiddenStepIsEditedThroughTheLists)
{
    voice.levelVector.repeats[2] = 255;
    edit->refreshFromVoice();
    pick(child<TPickList>(edit.get(), "cbStepNumber"), QStringLiteral("30"));
    EXPECT_TRUE(ab(30)->isHidden());
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->currentIndex(), 29);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbCDPosition")->currentIndex(), 33);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbRepeats")->currentIndex(), 29);

    pick(child<TPickList>(edit.get(), "cbABPosition"), 40);
    pick(child<TPickList>(edit.get(), "cbCDPosition"), QStringLiteral("31 (100% C, 0% D)"));
    EXPECT_EQ(voice.levelVector.abPosition[29], 40);
    EXPECT_EQ(voice.levelVector.cdPosition[29], 62);
    EXPECT_EQ(ab(30)->value(), 22);
    EXPECT_EQ(cd(30)->value(), 0);
    EXPECT_TRUE(ab(30)->isHidden());
    // Other steps are untouched.
    EXPECT_EQ(voice.levelVector.abPosition[28], 28);
    EXPECT_EQ(voice.detuneVector.abPosition[29], 39);
}

TEST_F(VectorTest, SwitchingVectorsKeepsTheStepAndShowsEachVectorsOwnValues)
{
    pick(child<TPickList>(edit.get(), "cbStepNumber"), QStringLiteral("7"));
    pick(child<TPickList>(edit.get(), "cbVectorSelect"), QStringLiteral("Detune"));
    EXPECT_FALSE(edit->editLevel);
    EXPECT_EQ(edit->currentVector, &voice.detuneVector);
    EXPECT_EQ(edit->currentStep, 6);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbStepNumber")->currentText(), QStringLiteral("7"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->currentIndex(), 16);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbRepeats")->currentText(), QStringLiteral("107"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->currentText(), QStringLiteral("90 ms"));
    EXPECT_EQ(ab(1)->value(), 52);
    EXPECT_EQ(cd(50)->value(), 31);

    // Edits now land in the detune vector.
    pick(child<TPickList>(edit.get(), "cbVectorSpeed"), QStringLiteral("160 ms"));
    EXPECT_EQ(voice.detuneVectorSpeed, 16);
    EXPECT_EQ(voice.levelVectorSpeed, 3);
    ab(7)->setValue(0);
    EXPECT_EQ(voice.detuneVector.abPosition[6], 62);
    EXPECT_EQ(voice.levelVector.abPosition[6], 6);

    pick(child<TPickList>(edit.get(), "cbVectorSelect"), QStringLiteral("Level"));
    EXPECT_TRUE(edit->editLevel);
    EXPECT_EQ(edit->currentStep, 6);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->currentIndex(), 6);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->currentText(), QStringLiteral("30 ms"));
    EXPECT_EQ(ab(7)->value(), 56);
}

TEST_F(VectorTest, SpeedListShowsTenMillisecondsPerUnit)
{
    pick(child<TPickList>(edit.get(), "cbVectorSpeed"), QStringLiteral("160 ms"));
    EXPECT_EQ(voice.levelVectorSpeed, 16);
    voice.levelVectorSpeed = 1;
    edit->refreshFromVoice();
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->currentText(), QStringLiteral("10 ms"));
    // A stored 0 has no entry: the list shows none.
    voice.levelVectorSpeed = 0;
    edit->refreshFromVoice();
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->currentIndex(), -1);
    EXPECT_EQ(voice.levelVectorSpeed, 0);
}

TEST_F(VectorTest, RefreshKeepsVectorAndStepAndNeverSends)
{
    pick(child<TPickList>(edit.get(), "cbVectorSelect"), QStringLiteral("Detune"));
    pick(child<TPickList>(edit.get(), "cbStepNumber"), QStringLiteral("33"));
    edit->hide();
    resetVoice(voice);
    voice.detuneVector.abPosition[32] = 5;
    voice.detuneVector.repeats[32] = 255;
    voice.detuneVectorSpeed = 2;
    const unsigned long before = sends();
    edit->refreshFromVoice();
    EXPECT_EQ(sends(), before);
    EXPECT_FALSE(edit->editLevel);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSelect")->currentText(), QStringLiteral("Detune"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbStepNumber")->currentText(), QStringLiteral("33"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->currentIndex(), 5);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbRepeats")->currentText(), QStringLiteral("End"));
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->currentText(), QStringLiteral("20 ms"));
    EXPECT_EQ(hiddenSteps(), range(34, 50));
}

TEST_F(VectorTest, ValuesOutsideTheListsAreShownWithoutBeingChanged)
{
    voice.levelVector.abPosition[0] = 100;
    voice.levelVector.repeats[0] = 300;
    voice.levelVectorSpeed = 17;
    edit->refreshFromVoice();
    EXPECT_EQ(child<TPickList>(edit.get(), "cbABPosition")->currentIndex(), -1);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbRepeats")->currentIndex(), -1);
    EXPECT_EQ(child<TPickList>(edit.get(), "cbVectorSpeed")->currentIndex(), -1);
    EXPECT_EQ(ab(1)->value(), 0);
    EXPECT_TRUE(hiddenSteps().empty());
    EXPECT_EQ(voice.levelVector.abPosition[0], 100);
    EXPECT_EQ(voice.levelVector.repeats[0], 300);
    EXPECT_EQ(voice.levelVectorSpeed, 17);
}

TEST_F(VectorTest, EveryListPickSendsOnlyWithAutoSend)
{
    unsigned long before = sends();
    pick(child<TPickList>(edit.get(), "cbStepNumber"), 3);
    pick(child<TPickList>(edit.get(), "cbVectorSelect"), 1);
    pick(child<TPickList>(edit.get(), "cbABPosition"), 2);
    pick(child<TPickList>(edit.get(), "cbCDPosition"), 2);
    pick(child<TPickList>(edit.get(), "cbRepeats"), 2);
    pick(child<TPickList>(edit.get(), "cbVectorSpeed"), 2);
    EXPECT_EQ(sends(), before + 6);

    settings.autoSend = false;
    before = sends();
    pick(child<TPickList>(edit.get(), "cbStepNumber"), 4);
    pick(child<TPickList>(edit.get(), "cbVectorSelect"), 0);
    pick(child<TPickList>(edit.get(), "cbABPosition"), 1);
    pick(child<TPickList>(edit.get(), "cbRepeats"), 255);
    pick(child<TPickList>(edit.get(), "cbVectorSpeed"), 5);
    ab(2)->setValue(10);
    EXPECT_EQ(sends(), before);
    EXPECT_EQ(voice.levelVectorSpeed, 6);
    QTest::mouseClick(child<QPushButton>(edit.get(), "bSendVoice"), Qt::LeftButton);
    EXPECT_EQ(sends(), before + 1);
}

// Beside the steps, the shown vector's path: from step 1 on, as the sliders move it
// and for the vector switched to.
TEST_F(VectorTest, ThePathIsDrawnFromTheStepsOfTheShownVector)
{
    edit->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(edit.get()));
    auto* path = child<TVectorPathView>(edit.get(), "vectorPath");
    const QPolygonF before = path->points();
    ASSERT_GE(before.size(), 2);
    // Step 1 all A: the path starts at the plane's left edge.
    ab(1)->setValue(0);
    EXPECT_EQ(voice.levelVector.abPosition[0], 62);
    const QPolygonF moved = path->points();
    EXPECT_LT(moved.first().x(), before.first().x());
    EXPECT_EQ(moved.first().y(), before.first().y());
    // The detune vector holds C/D in the middle: its path runs level across.
    pick(child<TPickList>(edit.get(), "cbVectorSelect"), 1);
    const QPolygonF detune = path->points();
    ASSERT_GE(detune.size(), 2);
    for (const QPointF& p : detune)
        EXPECT_DOUBLE_EQ(p.y(), detune.first().y());
}

}   // namespace
