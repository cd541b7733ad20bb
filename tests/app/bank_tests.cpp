// SPDX-License-Identifier: GPL-3.0-or-later
// The Bank window against a real library in a scratch directory: moved slots take the
// multis along, library voices dropped in fill consecutive slots (repaired), bad bank
// files are refused with their reason, and a double-click loads a slot's voice.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>

#include "../midi/fakebackend.h"
#include "app/bankwindow.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "app/voicelist.h"
#include "apptest.h"
#include "document/bankdocument.h"
#include "document/voicehistory.h"
#include "editors/multiedit.h"
#include "library/voiceimport.h"
#include "midi/midiport.h"
#include "voice/bank.h"

using namespace apptest;

namespace {

const MultiField& partVoice(int part)
{
    const std::string path = "part[" + std::to_string(part + 1) + "].voice";
    for (const MultiField& f : multiFields())
        if (f.path == path)
            return f;
    return multiFields().front();
}

int voiceOf(const Bank& bank, int multi, int part)
{
    return partVoice(part).get(bank.multis[static_cast<size_t>(multi)], part);
}

VoiceDump named(const char* name)
{
    const std::vector<uint8_t> d = dumpNamed(name);
    VoiceDump dump{};
    std::copy(d.begin(), d.end(), dump.begin());
    return dump;
}

std::string slotText(const Bank& bank, int slot)
{
    return dumpVoiceName(bank.voices[static_cast<size_t>(slot)]).toStdString();
}

class BankWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeText("TARVIK.INI",
                  "MIDI channel=0\r\nIn device=0\r\nOut device=0\r\nModel=0\r\nAuto send=0\r\n");
        writeFile("SOUNDS.SYL",
                  libraryBytes({{1, "FIRST   "}, {1, "SECOND  "}, {1, "THIRD   "}, {1, "FOURTH  "}}));
        createObjects();
        createWindows();
        mainForm()->show();
        window = apptest::window<TBankWindow>("BankWindow");
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        child<TBankSlotView>(window, "lvSlots")->doItemsLayout();
        doc = window->document();
    }
    void TearDown() override { releaseAll(); }

    ScratchDir scratch;
    TBankWindow* window = nullptr;
    TBankDocument* doc = nullptr;
    // What the modal dialogs are answered with; the first button unless a test says.
    ModalAnswerer::Handler answer = answerFirstButton;
    ModalAnswerer answerer{[this](QWidget* d) { return answer(d); }};
};

// Answers the unsaved-bank question with the button of that name, counting the times
// it was asked; any other dialog gets its first button.
ModalAnswerer::Handler answerBankQuestion(const char* button, int& asked)
{
    return [button, &asked](QWidget* d) {
        if (d->objectName() != QStringLiteral("BankChangedQuestion"))
            return answerFirstButton(d);
        ++asked;
        return clickButton(d, button);
    };
}

TEST_F(BankWindowTest, SwappedAndMovedSlotsTakeTheMultiPartsAlongUnlessTheBoxIsOff)
{
    doc->command("set up", [](Bank& b) {
        for (int k = 0; k < 64; ++k) {
            char name[9];
            std::snprintf(name, sizeof name, "SLOT%02d  ", k);
            std::memcpy(b.voices[static_cast<size_t>(k)].data() + 19, name, 8);
        }
        // Multi 1 plays I03, I10, I05 and the preset P03; multi 2 plays I03 too.
        const int voices[4] = {64 + 2, 64 + 9, 64 + 4, 2};
        for (int p = 0; p < 4; ++p)
            partVoice(p).set(b.multis[0], p, voices[p]);
        partVoice(7).set(b.multis[1], 7, 64 + 2);
    });
    const Bank start = doc->bank();

    window->dropSlot(2, 9, false);
    EXPECT_EQ(slotText(doc->bank(), 2), "SLOT09  ");
    EXPECT_EQ(slotText(doc->bank(), 9), "SLOT02  ");
    EXPECT_EQ(voiceOf(doc->bank(), 0, 0), 64 + 9);
    EXPECT_EQ(voiceOf(doc->bank(), 0, 1), 64 + 2);
    EXPECT_EQ(voiceOf(doc->bank(), 0, 2), 64 + 4);
    EXPECT_EQ(voiceOf(doc->bank(), 0, 3), 2);
    EXPECT_EQ(voiceOf(doc->bank(), 1, 7), 64 + 9);
    EXPECT_EQ(child<TBankSlotView>(window, "lvSlots")->model()->index(9, 0).data().toString(),
              QStringLiteral("I10  SLOT02  "));
    EXPECT_EQ(doc->undoName(), QStringLiteral("Swap I03 and I10"));
    ASSERT_TRUE(doc->undo());
    EXPECT_TRUE(sameBank(doc->bank(), start));

    // A move: I03 goes to I06, I04..I06 move up by one, and every part follows.
    window->dropSlot(2, 5, true);
    EXPECT_EQ(slotText(doc->bank(), 2), "SLOT03  ");
    EXPECT_EQ(slotText(doc->bank(), 4), "SLOT05  ");
    EXPECT_EQ(slotText(doc->bank(), 5), "SLOT02  ");
    EXPECT_EQ(voiceOf(doc->bank(), 0, 0), 64 + 5);
    EXPECT_EQ(voiceOf(doc->bank(), 0, 1), 64 + 9);
    EXPECT_EQ(voiceOf(doc->bank(), 0, 2), 64 + 3);
    EXPECT_EQ(voiceOf(doc->bank(), 1, 7), 64 + 5);
    for (const MultiRecord& m : doc->bank().multis)
        EXPECT_EQ(checkMulti(m), "");
    ASSERT_TRUE(doc->undo());

    // Box off: the voices swap, the multis stay byte for byte.
    child<QCheckBox>(window, "cbFollow")->setChecked(false);
    window->dropSlot(2, 9, false);
    EXPECT_EQ(slotText(doc->bank(), 9), "SLOT02  ");
    EXPECT_EQ(doc->bank().multis, start.multis);
}

TEST_F(BankWindowTest, LibraryVoicesDroppedOnASlotFillTheNextSlotsRepairedAsFarAsTheBankGoes)
{
    // An entry stored before dumps carried the inner checksum: 00 00 at 588/589.
    std::vector<uint8_t> library = readFile("SOUNDS.SYL");
    uint8_t* second = library.data() + 5 + 596 + 4;
    second[588] = second[589] = 0;
    normaliseDump(second);
    ASSERT_FALSE(innerChecksumOk(second));
    writeFile("SOUNDS.SYL", library);
    run->libraryChanged();   // the list shows the library as it is now

    TVoiceListView* list = dbList();
    list->selectAll();
    QMimeData* data = list->names()->mimeData(list->selectionModel()->selectedIndexes());
    const QPoint at = child<TBankSlotView>(window, "lvSlots")
                          ->visualRect(child<TBankSlotView>(window, "lvSlots")->model()->index(61, 0))
                          .center();
    // As a drag from the list ends: it enters the slots (which makes them the target),
    // then drops.
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(child<TBankSlotView>(window, "lvSlots")->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(child<TBankSlotView>(window, "lvSlots")->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return slotText(doc->bank(), 61) == "FIRST   "; }, 2000));
    EXPECT_EQ(slotText(doc->bank(), 62), "SECOND  ");
    EXPECT_EQ(slotText(doc->bank(), 63), "THIRD   ");
    EXPECT_EQ(slotText(doc->bank(), 60), slotText(initialBank(), 60));
    for (int s = 61; s < 64; ++s)
        EXPECT_TRUE(innerChecksumOk(doc->bank().voices[static_cast<size_t>(s)].data())) << s;
    EXPECT_NE(answerer.lastText.indexOf(QStringLiteral("1 of the voices did not fit")), -1)
        << answerer.lastText.toStdString();
    // One drop is one step.
    EXPECT_EQ(doc->undoName(), QStringLiteral("Put voices in I62..I64"));
    delete data;
}

// Another program changes the library between the listing and the drop: the voice
// the list showed goes in from where it is now, and one that is gone is named.
TEST_F(BankWindowTest, ADroppedRowPutsInTheVoiceShownOrNamesTheOneThatIsGone)
{
    TVoiceListView* list = dbList();
    list->selectAll();
    QMimeData* data = list->names()->mimeData(list->selectionModel()->selectedIndexes());
    // THIRD, FIRST, FOURTH: the records moved, SECOND deleted.
    const std::vector<uint8_t> was = readFile("SOUNDS.SYL");
    std::vector<uint8_t> now(was.begin(), was.begin() + 5);
    for (int n : {2, 0, 3})
        now.insert(now.end(), was.begin() + 5 + 596 * n, was.begin() + 5 + 596 * (n + 1));
    writeFile("SOUNDS.SYL", now);
    auto* slotView = child<TBankSlotView>(window, "lvSlots");
    const QPoint at = slotView->visualRect(slotView->model()->index(0, 0)).center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slotView->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slotView->viewport(), &drop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return slotText(doc->bank(), 0) == "FIRST   "; }, 2000));
    EXPECT_EQ(slotText(doc->bank(), 1), "THIRD   ");
    EXPECT_EQ(slotText(doc->bank(), 2), "FOURTH  ");
    EXPECT_NE(answerer.lastText.indexOf(QStringLiteral("\u201CSECOND\u201D is no longer in the database")),
              -1)
        << answerer.lastText.toStdString();
    delete data;
}

// Byte offsets inside a bank message: block b (0..16) and voice v's record (0..63).
size_t blockAt(int b)
{
    return b == 0 ? 4 : 4 + 2309 + size_t(b - 1) * 2299;
}
size_t recordAt(int v)
{
    return blockAt(v / 4) + 2 + (v < 4 ? 10 : 0) + size_t(v % 4) * 574;
}
void fixBlockChecksum(std::vector<uint8_t>& m, int b)
{
    const size_t payload = b == 0 ? 2306 : b == 16 ? 1504 : 2296;
    unsigned sum = 0;
    for (size_t i = 0; i < payload; ++i)
        sum += m[blockAt(b) + 2 + i];
    m[blockAt(b) + 2 + payload] = uint8_t(-sum & 0x7F);
}

TEST_F(BankWindowTest, ABadBankFileIsRefusedWithItsReasonAndAGoodOneRoundTrips)
{
    Bank good = initialBank();
    good.voices[6] = named("SEVENTH ");
    const std::vector<uint8_t> file = encodeBankDump(good);
    writeFile("good.syx", file);

    std::vector<uint8_t> truncated(file.begin(), file.begin() + 20000);
    std::vector<uint8_t> badBlock = file;
    badBlock[blockAt(4) + 100] ^= 0x01;
    std::vector<uint8_t> badInner = file;
    badInner[recordAt(6) + 572] = badInner[recordAt(6) + 573] = 0;
    fixBlockChecksum(badInner, 1);
    ASSERT_EQ(checkBankDump(badInner.data(), badInner.size()), "voice I07: bad inner checksum");

    const Bank before = doc->bank();
    for (const std::vector<uint8_t>* bad : {&truncated, &badBlock, &badInner}) {
        writeFile("bad.syx", *bad);
        answerer.lastText.clear();
        EXPECT_FALSE(window->openBankFile(QStringLiteral("bad.syx")));
        const std::string reason = checkBankDump(bad->data(), bad->size());
        ASSERT_FALSE(reason.empty());
        EXPECT_NE(answerer.lastText.indexOf(QString::fromStdString(reason)), -1)
            << answerer.lastText.toStdString();
        EXPECT_TRUE(sameBank(doc->bank(), before));
        EXPECT_FALSE(doc->canUndo());
    }

    ASSERT_TRUE(window->openBankFile(QStringLiteral("good.syx")));
    EXPECT_EQ(slotText(doc->bank(), 6), "SEVENTH ");
    EXPECT_EQ(child<QLabel>(window, "lOrigin")->text(), QStringLiteral("Bank: good.syx"));
    ASSERT_TRUE(window->saveBankFile(QStringLiteral("saved.syx")));
    EXPECT_EQ(readFile("saved.syx"), file);
    // Opening is one step: undo brings back the bank it replaced, and where it came from.
    ASSERT_TRUE(doc->undo());
    EXPECT_TRUE(sameBank(doc->bank(), before));
    EXPECT_EQ(child<QLabel>(window, "lOrigin")->text(), QStringLiteral("Bank: New bank"));
}

TEST_F(BankWindowTest, DoubleClickingASlotLoadsItsVoiceAsALoadFromTheLibraryDoes)
{
    doc->command("put", [](Bank& b) { b.voices[4] = named("SLOTFIVE"); });
    const unsigned long sends = voiceSends;
    const QPoint at = child<TBankSlotView>(window, "lvSlots")
                          ->visualRect(child<TBankSlotView>(window, "lvSlots")->model()->index(4, 0))
                          .center();
    QTest::mouseDClick(child<TBankSlotView>(window, "lvSlots")->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(voiceName(), "SLOTFIVE");
    EXPECT_EQ(voiceSends, sends + 1);
    EXPECT_EQ(run->document.history.undoName(), "Load voice");
}

}   // namespace

// An edited bank is never replaced or left unasked: "New bank", "Get all voices" and
// Exit ask; Cancel keeps the edits, Discard at exit keeps the bank as last saved for
// the next run, which opens the Bank window on it unmarked.
TEST_F(BankWindowTest, AnEditedBankIsAskedAboutAndKeptBetweenRuns)
{
    // A synthesiser's ports that open, so that "Get all voices" goes as far as asking.
    releaseAll();
    createObjects(std::make_unique<TFakeMIDIBackend>());
    createWindows();
    window = apptest::window<TBankWindow>("BankWindow");
    doc = window->document();
    EXPECT_FALSE(window->isWindowModified());
    doc->command("saved part", [](Bank& b) { std::memcpy(b.voices[0].data() + 19, "KEPT    ", 8); });
    EXPECT_TRUE(window->isWindowModified());
    doc->markKept();
    EXPECT_FALSE(window->isWindowModified());
    doc->command("unsaved part", [](Bank& b) { std::memcpy(b.voices[1].data() + 19, "LOST    ", 8); });
    EXPECT_TRUE(window->isWindowModified());

    int asked = 0;
    answer = answerBankQuestion("bCancel", asked);
    window->newBank();
    action("GetAllVoices")->trigger();
    EXPECT_FALSE(mainForm()->mayLeave());
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(slotText(doc->bank(), 1), "LOST    ");

    answer = answerBankQuestion("bLeave", asked);
    EXPECT_TRUE(mainForm()->mayLeave());
    EXPECT_EQ(asked, 4);
    releaseAll();

    createObjects();
    createWindows();
    window = apptest::window<TBankWindow>("BankWindow");
    doc = window->document();
    EXPECT_EQ(slotText(doc->bank(), 0), "KEPT    ");
    EXPECT_EQ(slotText(doc->bank(), 1), slotText(initialBank(), 1));
    EXPECT_FALSE(window->isWindowModified());
    EXPECT_FALSE(doc->canUndo());

    // A kept file that is no bank: a new bank, saying why.
    releaseAll();
    writeText(keptBankFileName, "garbage");
    createObjects();
    createWindows();
    window = apptest::window<TBankWindow>("BankWindow");
    EXPECT_TRUE(sameBank(window->document()->bank(), initialBank()));
    EXPECT_TRUE(window->document()->origin().startsWith(QStringLiteral("New bank (BANK.SYX was not opened")));
}

// Without a mouse: the arrows move between view (Right to the next column), Ctrl+C
// and Ctrl+V copy a slot, Ctrl+X and Ctrl+V move one, Insert puts the chosen library
// voices here and Delete the initial voice; each is one undo step.
TEST_F(BankWindowTest, TheSlotsWorkByKeyboard)
{
    auto* view = child<TBankSlotView>(window, "lvSlots");
    doc->command("set up", [](Bank& b) {
        std::memcpy(b.voices[0].data() + 19, "ONE     ", 8);
        std::memcpy(b.voices[1].data() + 19, "TWO     ", 8);
    });
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    view->setFocus();
    view->setCurrentIndex(view->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(window->selectedSlot(), 1);
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(window->selectedSlot(), 16);

    // I01 copied into I17; I02 cut and pasted at I04 (I03, I04 move up).
    view->setCurrentIndex(view->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(slotText(doc->bank(), 16), "ONE     ");
    EXPECT_EQ(doc->undoName(), QStringLiteral("Paste into I17"));
    view->setCurrentIndex(view->model()->index(1, 0));
    QTest::keyClick(view, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(slotText(doc->bank(), 1), "TWO     ");
    view->setCurrentIndex(view->model()->index(3, 0));
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(slotText(doc->bank(), 3), "TWO     ");
    EXPECT_EQ(doc->undoName(), QStringLiteral("Move I02 to I04"));

    // The library's chosen voices go in from the selected slot on.
    dbList()->selectAll();
    view->setCurrentIndex(view->model()->index(40, 0));
    QTest::keyClick(view, Qt::Key_Insert);
    EXPECT_EQ(slotText(doc->bank(), 40), "FIRST   ");
    EXPECT_EQ(slotText(doc->bank(), 43), "FOURTH  ");

    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_TRUE(doc->bank().voices[40] == initialBank().voices[40]);
    EXPECT_EQ(doc->undoName(), QStringLiteral("Initial voice in I41"));
    ASSERT_TRUE(doc->undo());
    EXPECT_EQ(slotText(doc->bank(), 40), "FIRST   ");
}
