// SPDX-License-Identifier: GPL-3.0-or-later
// The editor controls' reporting rules, which the binder's refresh guard and its
// one report per edit depend on.
#include "editors/controls.h"

#include <QColor>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

TEST(NumberBox, ReportsEveryRealTextChangeAndNoRepeatedWrite)
{
    TNumberBox box(3);
    QSignalSpy spy(&box, &TNumberBox::changed);
    setNumberText(&box, 42);
    EXPECT_EQ(spy.count(), 1);
    setNumberText(&box, 42);   // same text again: nothing
    box.setText(QStringLiteral("42"));
    EXPECT_EQ(spy.count(), 1);
    setNumberText(&box, 7);
    EXPECT_EQ(spy.count(), 2);
    QTest::keyClick(&box, Qt::Key_Backspace);
    QTest::keyClicks(&box, QStringLiteral("12"));
    EXPECT_EQ(box.text(), QStringLiteral("12"));
    EXPECT_EQ(spy.count(), 5);
}

TEST(NumberBox, RefusesCharactersOutsideTheMaskAndTheWidth)
{
    TNumberBox digits(2);
    QTest::keyClicks(&digits, QStringLiteral("a-1x2 3"));
    EXPECT_EQ(digits.text(), QStringLiteral("12"));

    TNumberBox pitch(3, TNumberBox::SignedDigits);
    QTest::keyClicks(&pitch, QStringLiteral("-123"));
    EXPECT_EQ(pitch.text(), QStringLiteral("-12"));   // the sign takes one of the three
    pitch.clear();
    QTest::keyClicks(&pitch, QStringLiteral("1-2"));   // a sign only in front
    EXPECT_EQ(pitch.text(), QStringLiteral("12"));
}

TEST(NumberBox, ProgramWriteIsNeverCutToTheWidth)
{
    // A received voice may hold a number longer than the box: it must show whole,
    // or the cut text would be taken as a value and stored.
    TNumberBox pitch(3, TNumberBox::SignedDigits);
    setNumberText(&pitch, -128);
    EXPECT_EQ(pitch.text(), QStringLiteral("-128"));
    int n = 0;
    ASSERT_TRUE(pitch.number(n));
    EXPECT_EQ(n, -128);
}

TEST(NumberBox, NumberReadsTheLeadingIntegerOrNothing)
{
    TNumberBox box(6, TNumberBox::SignedDigitsBlanks);
    struct Case {
        const char* text;
        bool found;
        int value;
    };
    const Case cases[] = {
        {"", false, 0},     {"-", false, 0},    {"+", false, 0},          {"  ", false, 0},
        {" - 5", false, 0}, {"0", true, 0},     {"-5", true, -5},         {"+12", true, 12},
        {"  7", true, 7},   {"12 3", true, 12}, {"999999", true, 999999},
    };
    for (const Case& c : cases) {
        box.setText(QString::fromLatin1(c.text));
        int n = 12345;
        EXPECT_EQ(box.number(n), c.found) << c.text;
        if (c.found) {
            EXPECT_EQ(n, c.value) << c.text;
        }
    }
}

TEST(NumberBox, KeyIsReportedBeforeTheTextChanges)
{
    TNumberBox box(2);
    setNumberText(&box, 5);
    QString textAtKey;
    QChar key;
    QObject::connect(&box, &TNumberBox::keyPressed, [&](QChar k) {
        key = k;
        textAtKey = box.text();
    });
    box.setCursorPosition(1);
    QTest::keyClick(&box, Qt::Key_3);
    EXPECT_EQ(key, QLatin1Char('3'));
    EXPECT_EQ(textAtKey, QStringLiteral("5"));
    EXPECT_EQ(box.text(), QStringLiteral("53"));
}

TEST(UpDown, ProgramPositionIsClampedAndSilent)
{
    TUpDown ud(0, 63);
    QSignalSpy spy(&ud, &TUpDown::released);
    ud.setPosition(70);
    EXPECT_EQ(ud.position(), 63);
    ud.setPosition(-4);
    EXPECT_EQ(ud.position(), 0);
    EXPECT_EQ(spy.count(), 0);
}

TEST(UpDown, ClickStepsOnceAndReportsOnRelease)
{
    TUpDown ud(0, 15);
    ud.setPosition(5);
    ud.show();
    QSignalSpy spy(&ud, &TUpDown::released);
    QTest::mousePress(ud.upButton(), Qt::LeftButton);
    EXPECT_EQ(ud.position(), 6);
    EXPECT_EQ(spy.count(), 0);   // nothing while held
    QTest::mouseRelease(ud.upButton(), Qt::LeftButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 6);

    QTest::mouseClick(ud.downButton(), Qt::LeftButton);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 5);
}

TEST(UpDown, HoldingRepeatsAndReportsOnlyTheFinalPosition)
{
    TUpDown ud(0, 127);
    ud.setPosition(10);
    ud.show();
    QSignalSpy spy(&ud, &TUpDown::released);
    QTest::mousePress(ud.upButton(), Qt::LeftButton);
    // Past the repeat delay, several repeats, however slowly they come.
    QElapsedTimer clock;
    clock.start();
    while (ud.position() < 13 && clock.elapsed() < 10000)
        QTest::qWait(10);
    EXPECT_EQ(spy.count(), 0);
    const int held = ud.position();
    EXPECT_GE(held, 13);
    QTest::mouseRelease(ud.upButton(), Qt::LeftButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), held);
    // No step after the release: the repeat has stopped, and nothing waits to step.
    EXPECT_FALSE(ud.upButton()->isDown());
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(ud.position(), held);
    EXPECT_EQ(spy.count(), 1);
}

TEST(UpDown, AtItsLimitStillReportsOnceWithoutMoving)
{
    TUpDown ud(-12, 12);
    ud.setPosition(12);
    ud.show();
    QSignalSpy spy(&ud, &TUpDown::released);
    QTest::mousePress(ud.upButton(), Qt::LeftButton);
    QTest::qWait(700);
    QTest::mouseRelease(ud.upButton(), Qt::LeftButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 12);
    QTest::mouseClick(ud.downButton(), Qt::LeftButton);
    ud.setPosition(-12);
    QTest::mouseClick(ud.downButton(), Qt::LeftButton);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(2).at(0).toInt(), -12);
}

TEST(UpDown, DisabledSpinnerReportsNothing)
{
    TUpDown ud(0, 127);
    ud.show();
    ud.setEnabled(false);
    QSignalSpy spy(&ud, &TUpDown::released);
    QTest::mouseClick(ud.upButton(), Qt::LeftButton);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(ud.position(), 0);
}

TEST(Slider, ReportsTheUsersMovesOnly)
{
    TSlider slider(Qt::Horizontal, -5, 5);
    QSignalSpy spy(&slider, &TSlider::userMoved);
    slider.setPosition(3);
    slider.setPosition(-5);
    EXPECT_EQ(spy.count(), 0);
    QTest::keyClick(&slider, Qt::Key_Right);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), -4);
}

TEST(Slider, VerticalHasItsMinimumAtTheTop)
{
    TSlider slider(Qt::Vertical, 0, 15);
    slider.resize(20, 160);
    slider.setPosition(8);
    slider.show();
    QSignalSpy spy(&slider, &TSlider::userMoved);
    // Clicking near the top end pages towards the minimum, the key "Down" moves
    // down the screen towards the maximum.
    QTest::keyClick(&slider, Qt::Key_Down);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 9);
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(10, 3));
    ASSERT_GE(spy.count(), 2);
    EXPECT_LT(slider.value(), 9);
}

TEST(PickList, ReportsTheUsersPicksOnly)
{
    TPickList list({QStringLiteral("SY-22"), QStringLiteral("SY-35")});
    QSignalSpy spy(&list, &TPickList::picked);
    list.select(1);
    list.select(0);
    EXPECT_EQ(spy.count(), 0);
    list.select(7);   // outside the list: nothing selected
    EXPECT_EQ(list.currentIndex(), -1);
    list.select(0);
    QTest::keyClick(&list, Qt::Key_Down);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_FALSE(list.isEditable());
}

TEST(NumberBox, TypingIsToldApartAndLeavingWithoutANumberReportsOnceMore)
{
    TNumberBox box(3, TNumberBox::SignedDigits);
    int reports = 0;
    bool typingSeen = false;
    QObject::connect(&box, &TNumberBox::changed, [&] {
        ++reports;
        typingSeen = box.userTyping();
    });
    box.setText(QStringLiteral("12"));
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(typingSeen) << "the program wrote it";

    box.selectAll();
    QTest::keyClick(&box, Qt::Key_Minus);
    EXPECT_EQ(reports, 2);
    EXPECT_TRUE(typingSeen);
    EXPECT_EQ(box.text(), QStringLiteral("-"));

    QTest::keyClick(&box, Qt::Key_Return);   // left with a lone sign: one more report
    EXPECT_EQ(reports, 3);
    EXPECT_FALSE(typingSeen);

    box.setText(QStringLiteral("5"));
    const int before = reports;
    QTest::keyClick(&box, Qt::Key_Return);   // a number: nothing more to say
    EXPECT_EQ(reports, before);
    EXPECT_FALSE(box.userTyping());
}

namespace {

double luminance(const QColor& c)
{
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}   // namespace

// Every text colour of the editors' style sheet against its rule's background, or
// the windows' black where the rule sets none, reads at 4.5 : 1 or better.
TEST(EditorStyleSheet, EveryTextColourReadsAgainstItsBackground)
{
    static const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^}]*)\\}"));
    static const QRegularExpression text(QStringLiteral("(?:^|[;\\s])(selection-)?color:\\s*([^;]+)"));
    static const QRegularExpression ground(QStringLiteral("(selection-)?background-color:\\s*([^;]+)"));
    int pairs = 0;
    for (const auto& r : editorStyleSheet().trimmed().split(QLatin1Char('}'), Qt::SkipEmptyParts)) {
        const auto m = rule.match(r + QLatin1Char('}'));
        ASSERT_TRUE(m.hasMatch()) << r.toStdString();
        std::map<QString, QColor> background;
        for (auto g = ground.globalMatch(m.captured(2)); g.hasNext();) {
            const auto one = g.next();
            background[one.captured(1)] = QColor(one.captured(2).trimmed());
        }
        for (auto t = text.globalMatch(m.captured(2)); t.hasNext();) {
            const auto one = t.next();
            const QColor fore(one.captured(2).trimmed());
            const QColor back =
                background.count(one.captured(1)) ? background[one.captured(1)] : QColor(Qt::black);
            ASSERT_TRUE(fore.isValid() && back.isValid()) << r.toStdString();
            EXPECT_GE(contrast(fore, back), 4.5)
                << m.captured(1).trimmed().toStdString() << ": " << fore.name().toStdString() << " on "
                << back.name().toStdString();
            ++pairs;
        }
    }
    EXPECT_GE(pairs, 10);
}
