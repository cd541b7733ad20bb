// SPDX-License-Identifier: GPL-3.0-or-later
// Every window of the run as a screen reader meets it: each control that takes the
// focus says what it is by its own accessible name, not empty, not only the caption
// of the group it sits in, and not the same as another control of its window.
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QTest>

#include <map>

#include "apptest.h"

using namespace apptest;

namespace {

QString readerName(QWidget* w)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    return face ? face->text(QAccessible::Name).trimmed() : QString();
}

// A control of its own: it takes the focus, and is no inner part of another control.
bool ownControl(QWidget* w, QWidget* window)
{
    if (w->focusPolicy() == Qt::NoFocus || w->window() != window || w->focusProxy())
        return false;
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p))
            return false;
    return true;
}

QString faultOf(QWidget* w, const QString& name, const std::map<QString, int>& count)
{
    if (name.isEmpty())
        return QStringLiteral("no name");
    if (auto* list = qobject_cast<QComboBox*>(w); list && name == list->currentText())
        return QStringLiteral("only the item it shows");
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto* group = qobject_cast<QGroupBox*>(p);
            group && QString(group->title()).remove(QLatin1Char('&')).trimmed() == name)
            return QStringLiteral("only its group's caption");
    if (count.at(name) > 1)
        return QStringLiteral("a name another control has too");
    return QString();
}

// The faults of one window, one line each: "window: control (class) \"name\": fault".
QStringList walk(QWidget* window)
{
    std::vector<std::pair<QWidget*, QString>> controls;
    std::map<QString, int> count;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!ownControl(w, window))
            continue;
        const QString name = readerName(w);
        controls.emplace_back(w, name);
        ++count[name];
    }
    QStringList faults;
    for (const auto& [w, name] : controls)
        if (const QString fault = faultOf(w, name, count); !fault.isEmpty())
            faults << QStringLiteral("%1: %2 (%3) \"%4\": %5")
                          .arg(window->objectName(), w->objectName(),
                               QString::fromLatin1(w->metaObject()->className()), name, fault);
    return faults;
}

class AccessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeText("TARVIK.INI",
                  "MIDI channel=0\r\nIn device=0\r\nOut device=0\r\nModel=0\r\nAuto send=0\r\n");
        writeFile("SOUNDS.SYL", libraryBytes({{0x0001, "STRINGS "}}));
        createObjects();
        createWindows();
    }
    void TearDown() override { releaseAll(); }

    ScratchDir scratch;
    ModalAnswerer answerer{[](QWidget* d) { return answerFirstButton(d); }};
};

TEST_F(AccessTest, EveryFocusableControlOfEveryWindowHasANameOfItsOwn)
{
    QStringList faults = walk(mainForm());
    std::vector<std::string> walked;
    for (const TWindowEntry& entry : run->windows->entries()) {
        if (std::find(walked.begin(), walked.end(), entry.window) != walked.end())
            continue;
        walked.emplace_back(entry.window);
        QWidget* w = run->windows->window(entry.window);
        ASSERT_NE(w, nullptr) << entry.window;
        if (w->objectName().isEmpty())
            w->setObjectName(QString::fromLatin1(entry.window));
        faults << walk(w);
    }
    EXPECT_GE(walked.size(), 9u);
    EXPECT_TRUE(faults.isEmpty()) << faults.size() << " faults:\n"
                                  << faults.join(QLatin1Char('\n')).toStdString();
}

// The window's controls in their focus order, one turn of the chain, each with its
// place in the window.
std::vector<std::pair<QWidget*, QRect>> focusWalk(QWidget* window)
{
    std::vector<std::pair<QWidget*, QRect>> order;
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
        if (ownControl(w, window) && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(window))
            order.emplace_back(w, QRect(w->mapTo(window, QPoint(0, 0)), w->size()));
    return order;
}

// Steps of the focus chain that go back against reading order: to a control on a row
// above that starts no further right, or to one on the same row further left.
QStringList backSteps(QWidget* window)
{
    const auto order = focusWalk(window);
    QStringList faults;
    for (std::size_t i = 1; i < order.size(); ++i) {
        const auto& [from, a] = order[i - 1];
        const auto& [to, b] = order[i];
        const bool above = b.bottom() < a.top() && b.left() <= a.left();
        const bool sameRow = b.top() <= a.bottom() && a.top() <= b.bottom();
        if (above || (sameRow && b.right() < a.left()))
            faults << QStringLiteral("%1: %2 then %3")
                          .arg(window->objectName(), from->objectName(), to->objectName());
    }
    return faults;
}

TEST_F(AccessTest, TabOrderOfTheBankMultiAndExploreWindowsFollowsTheScreen)
{
    QStringList faults;
    for (const char* key : {"BankWindow", "MultiEdit", "ExploreWindow"}) {
        QWidget* w = run->windows->window(key);
        ASSERT_NE(w, nullptr) << key;
        w->setObjectName(QString::fromLatin1(key));
        w->show();
        EXPECT_GT(focusWalk(w).size(), 5u) << key;
        faults << backSteps(w);
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

}   // namespace
