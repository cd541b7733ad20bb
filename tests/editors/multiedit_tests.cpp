// SPDX-License-Identifier: GPL-3.0-or-later
// The Multi editor over a bank: each accepted change is one undo step named from the
// multi field table, undo gives back the bank byte for byte, refused values store
// nothing, and a part's voice shows the internal voice's name from the bank.
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cstring>

#include "document/bankdocument.h"
#include "editors/controls.h"
#include "editors/multiedit.h"
#include "editortest.h"
#include "voice/bank.h"

namespace {

int field(const Bank& bank, int multi, const std::string& path)
{
    for (const MultiField& f : multiFields())
        if (f.path == path)
            return f.get(bank.multis[static_cast<size_t>(multi)], f.part);
    ADD_FAILURE() << "no field " << path;
    return 0;
}

void showActive(QWidget* w)
{
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
}

void pick(TPickList* list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
}

TEST(MultiEdit, EachAcceptedChangeIsOneStepAndUndoGivesBackTheBytes)
{
    TBankDocument doc;
    TMultiEdit edit(&doc);
    showActive(&edit);
    edit.selectMulti(2);
    const Bank start = doc.bank();
    const int level = field(start, 2, "part[3].level");
    const int typed = level == 50 ? 51 : 50;

    // Typing is one step, counted when the box is left (here: Enter).
    TNumberBox* box = child<TNumberBox>(&edit, "tfLevel3");
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::number(typed));
    EXPECT_EQ(field(doc.bank(), 2, "part[3].level"), typed);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(doc.undoName(), QStringLiteral("Multi 3: Part 3 level"));
    EXPECT_EQ(child<QPushButton>(&edit, "bUndo")->toolTip(),
              QStringLiteral("Undo Multi 3: Part 3 level (Ctrl+Z)"));
    EXPECT_EQ(checkMulti(doc.bank().multis[2]), "");
    for (int m = 0; m < multiCount; ++m) {
        if (m != 2) {
            EXPECT_EQ(doc.bank().multis[static_cast<size_t>(m)], start.multis[static_cast<size_t>(m)]) << m;
        }
    }
    EXPECT_EQ(doc.bank().voices, start.voices);
    const Bank edited = doc.bank();

    // Ctrl+Z in the box undoes the bank's step, not the box's text.
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(sameBank(doc.bank(), start));
    EXPECT_EQ(doc.bank().multis, start.multis);
    EXPECT_EQ(box->text(), QString::number(level));
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(doc.bank().multis, edited.multis);
    EXPECT_EQ(box->text(), QString::number(typed));

    // A value outside the range is refused: the box shows the stored value again.
    TNumberBox* number = child<TNumberBox>(&edit, "tfNumber3");
    const QString shownNumber = number->text();
    const Bank beforeRefusal = doc.bank();
    number->setFocus();
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("0"));
    QTest::keyClick(number, Qt::Key_Return);
    EXPECT_EQ(number->text(), shownNumber);
    EXPECT_TRUE(sameBank(doc.bank(), beforeRefusal));
    EXPECT_EQ(doc.undoName(), QStringLiteral("Multi 3: Part 3 level"));

    // A spinner click and a pick are one step each, at once.
    const int shift = field(doc.bank(), 2, "part[3].noteShift");
    QToolButton* up = shift < 24 ? child<TUpDown>(&edit, "udNoteShift3")->upButton()
                                 : child<TUpDown>(&edit, "udNoteShift3")->downButton();
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(field(doc.bank(), 2, "part[3].noteShift"), shift < 24 ? shift + 1 : shift - 1);
    EXPECT_EQ(doc.undoName(), QStringLiteral("Multi 3: Part 3 note shift"));
    EXPECT_EQ(child<TNumberBox>(&edit, "tfNoteShift3")->text(),
              QString::number(field(doc.bank(), 2, "part[3].noteShift")));
    pick(child<TPickList>(&edit, "cbChannel3"), 16);
    EXPECT_EQ(field(doc.bank(), 2, "part[3].channel"), 17);   // off
    EXPECT_EQ(doc.undoName(), QStringLiteral("Multi 3: Part 3 channel"));
    EXPECT_TRUE(doc.undo());
    EXPECT_TRUE(doc.undo());
    EXPECT_TRUE(doc.undo());
    EXPECT_EQ(doc.bank().multis, start.multis);
    EXPECT_FALSE(doc.canUndo());
}

TEST(MultiEdit, APartNamesItsVoiceByBankAndNumberWithTheInternalVoicesName)
{
    TBankDocument doc;
    doc.command("name", [](Bank& b) { std::memcpy(b.voices[6].data() + 19, "SEVENTH ", 8); });
    TMultiEdit edit(&doc);
    edit.show();
    pick(child<TPickList>(&edit, "cbBank1"), 1);
    child<TNumberBox>(&edit, "tfNumber1")->setFocus();
    child<TNumberBox>(&edit, "tfNumber1")->selectAll();
    QTest::keyClicks(child<TNumberBox>(&edit, "tfNumber1"), QStringLiteral("7"));
    QTest::keyClick(child<TNumberBox>(&edit, "tfNumber1"), Qt::Key_Return);
    EXPECT_EQ(field(doc.bank(), 0, "part[1].voice"), 64 + 6);
    EXPECT_EQ(child<QLabel>(&edit, "lVoiceName1")->text(), QStringLiteral("SEVENTH "));
    pick(child<TPickList>(&edit, "cbBank1"), 2);
    EXPECT_EQ(field(doc.bank(), 0, "part[1].voice"), 128 + 6);
    EXPECT_EQ(child<QLabel>(&edit, "lVoiceName1")->text(), QStringLiteral("card"));
    // An SY-22 preset by its name; the SY-35's are not known by name.
    pick(child<TPickList>(&edit, "cbBank1"), 0);
    EXPECT_EQ(child<QLabel>(&edit, "lVoiceName1")->text(), QStringLiteral("RainNite"));
    edit.isSY35 = [] { return true; };
    edit.refresh();
    EXPECT_EQ(child<QLabel>(&edit, "lVoiceName1")->text(), QString());
    // The note limits are shown by name, as the synthesiser shows them.
    EXPECT_EQ(noteName(0), QStringLiteral("C-2"));
    EXPECT_EQ(noteName(61), QStringLiteral("C#3"));
    EXPECT_EQ(noteName(127), QStringLiteral("G8"));
    pick(child<TPickList>(&edit, "cbNoteHigh1"), 60);
    EXPECT_EQ(field(doc.bank(), 0, "part[1].noteHigh"), 60);
    EXPECT_EQ(child<TPickList>(&edit, "cbNoteHigh1")->currentText(), QStringLiteral("C3"));
}

}   // namespace

// Typing a note's name in a note list picks at every key, but the name is one step:
// "C#3" typed in one go undoes in one, and the next name typed is a step of its own.
TEST(MultiEdit, ANoteNameTypedIsOneUndoStep)
{
    TBankDocument doc;
    TMultiEdit edit(&doc);
    showActive(&edit);
    const Bank start = doc.bank();
    auto* low = child<TPickList>(&edit, "cbNoteLow2");
    low->setFocus();
    auto typeName = [low](const char* name) {
        QTest::keyClicks(low, QString::fromLatin1(name));
        // The keyboard search interval passes: the name is over.
        QTest::qWait(QApplication::keyboardInputInterval() + 100);
    };
    typeName("C#3");
    EXPECT_EQ(field(doc.bank(), 0, "part[2].noteLow"), 61);
    typeName("D4");
    EXPECT_EQ(field(doc.bank(), 0, "part[2].noteLow"), 74);
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(field(doc.bank(), 0, "part[2].noteLow"), 61);
    ASSERT_TRUE(doc.undo());
    EXPECT_TRUE(sameBank(doc.bank(), start));
    EXPECT_FALSE(doc.canUndo());
}

// Escape closes the window from any of its controls, unless the control takes it:
// the name box's Escape puts back the name it had.
TEST(MultiEdit, EscapeClosesTheWindowUnlessTheNameBoxTakesIt)
{
    TBankDocument doc;
    TMultiEdit edit(&doc);
    showActive(&edit);
    auto* level = child<TNumberBox>(&edit, "tfLevel1");
    level->setFocus();
    QTest::keyClick(level, Qt::Key_Escape);
    EXPECT_FALSE(edit.isVisible());
}
