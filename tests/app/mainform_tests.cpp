// SPDX-License-Identifier: GPL-3.0-or-later
// The main window against a real library file in a scratch directory: the category
// filter, loading from the list, replacing and adding records, the menu.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "app/comparevoice.h"
#include "app/dialogs.h"
#include "app/librarydialogs.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "app/voicelist.h"
#include "apptest.h"
#include "document/voicehistory.h"
#include "editors/awmedit.h"
#include "editors/editcommands.h"
#include "editors/fmedit.h"
#include "editors/namebox.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"
#include "library/fileio.h"
#include "library/voiceimport.h"
#include "midi/midiport.h"
#include "settings/settings.h"
#include "tarvik_version.h"
#include "voice/tg33.h"

using namespace apptest;

namespace {

const char* const settingsText =
    "MIDI channel=0\r\nIn device=0\r\nOut device=0\r\nModel=0\r\nAuto send=0\r\n";

// Record numbers, names and masks of the test library.
const std::vector<Record> library = {
    {0x0001, "STRINGS "},       // 0: Strings only
    {0x0003, "STRBRASS"},       // 1: Strings and Brass
    {0x0000, "NOMASK  "},       // 2: no category
    {0xFFFF0000, "HIGHBITS"},   // 3: only bits 16..31
    {0x0002, "BRASS   "},       // 4: Brass only
    {0x7FFF, "ALMOST  "},       // 5: every category but Realistic
};
const std::vector<std::string> everyRow = {"STRINGS ", "STRBRASS", "NOMASK  ",
                                           "HIGHBITS", "BRASS   ", "ALMOST  "};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeText("TARVIK.INI", settingsText);
        writeFile("SOUNDS.SYL", libraryBytes(library));
        createObjects();
        createWindows();
        mainForm()->show();
    }
    void TearDown() override { releaseAll(); }

    std::vector<std::string> rows() const
    {
        std::vector<std::string> names;
        for (int r = 0; r < dbList()->count(); ++r)
            names.push_back(dbList()->text(r).toStdString());
        return names;
    }
    // The list shows these rows, and row 0 is selected after a rebuild that is not a
    // filter change.
    void expectRows(const std::vector<std::string>& names) const
    {
        EXPECT_EQ(rows(), names);
        EXPECT_EQ(mainForm()->rowCount(), int(names.size()));
        EXPECT_EQ(action("ModifyVoice")->isEnabled(), !names.empty());
        if (!names.empty()) {
            EXPECT_EQ(dbList()->currentRow(), 0);
        }
    }
    // After a filter change: the rows, and the selected row's name ("" for none, when
    // "Modify" waits for a choice).
    void expectFiltered(const std::vector<std::string>& names, const std::string& selected) const
    {
        EXPECT_EQ(rows(), names);
        EXPECT_EQ(mainForm()->rowCount(), int(names.size()));
        const int row = dbList()->selectedRow();
        EXPECT_EQ(row < 0 ? std::string() : dbList()->text(row).toStdString(), selected);
        EXPECT_EQ(action("ModifyVoice")->isEnabled(), !selected.empty());
    }
    QPoint rowCentre(int row) const { return dbList()->rowRect(row).center(); }
    // Forgets what start-up loaded, so that a load shows in the name and the count.
    void forgetVoice()
    {
        resetVoice(voice());
        sends = voiceSends;
    }
    bool loaded(const char* name) const { return voiceName() == name && voiceSends == sends + 1; }
    bool nothingLoaded() const { return voiceName() == "12345678" && voiceSends == sends; }

    ScratchDir scratch;
    unsigned long sends = 0;
    // What each modal dialog gets: the open error is acknowledged, the overwrite
    // question gets `overwriteAnswer`, a save error is acknowledged.
    std::function<bool(QWidget*)> overwriteAnswer = [](QWidget* d) { return clickButton(d, "bYes"); };
    // The file dialogs choose `chosenFile`, or are cancelled when it is empty.
    QString chosenFile;
    // Consulted first: true when it answered the dialog.
    std::function<bool(QWidget*)> librarianAnswer;
    ModalAnswerer answerer{[this](QWidget* d) {
        if (librarianAnswer && librarianAnswer(d))
            return true;
        if (mainForm() && qobject_cast<TOverwriteDlg*>(d) != nullptr)
            return overwriteAnswer(d);
        if (auto* files = qobject_cast<QFileDialog*>(d)) {
            if (chosenFile.isEmpty()) {
                files->reject();
            } else {
                // The user types the name, as a file made a moment ago may not be
                // listed yet.
                // A row still selected from the last use would win over the typed name.
                files->selectFile(chosenFile);
                files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(chosenFile);
                QMetaObject::invokeMethod(files, "accept");
            }
            return true;
        }
        return answerFirstButton(d);
    }};
};

TEST_F(MainFormTest, CheckedCategoriesCombineWithAndAndUnmarkedRecordsShowOnlyUnfiltered)
{
    expectRows(everyRow);

    child<QCheckBox>(mainForm(), "cbStrings")->click();
    EXPECT_EQ(mainForm()->filterMask(), 0x0001u);
    expectFiltered({"STRINGS ", "STRBRASS", "ALMOST  "}, "STRINGS ");

    // The selected voice is no longer listed: nothing is selected.
    child<QCheckBox>(mainForm(), "cbBrass")->click();
    EXPECT_EQ(mainForm()->filterMask(), 0x0003u);
    expectFiltered({"STRBRASS", "ALMOST  "}, "");

    dbList()->setCurrentRow(1);
    child<QCheckBox>(mainForm(), "cbStrings")->click();
    EXPECT_EQ(mainForm()->filterMask(), 0x0002u);
    expectFiltered({"STRBRASS", "BRASS   ", "ALMOST  "}, "ALMOST  ");

    child<QCheckBox>(mainForm(), "cbSynthetic")->click();
    expectFiltered({"ALMOST  "}, "ALMOST  ");

    // Nothing carries Realistic together with the others: an empty list, nothing to
    // replace, and neither a double-click nor Enter loads anything.
    child<QCheckBox>(mainForm(), "cbRealistic")->click();
    EXPECT_EQ(mainForm()->filterMask(), 0x8082u);
    expectFiltered({}, "");
    forgetVoice();
    QTest::mouseDClick(dbList()->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    QTest::keyClick(dbList(), Qt::Key_Return);
    EXPECT_TRUE(nothingLoaded());

    // Unchecking everything lists every record again, also masks 0 and high bits only;
    // the voice chosen last, hidden meanwhile, is chosen again.
    for (QCheckBox* box :
         {child<QCheckBox>(mainForm(), "cbBrass"), child<QCheckBox>(mainForm(), "cbSynthetic"),
          child<QCheckBox>(mainForm(), "cbRealistic")})
        box->click();
    EXPECT_EQ(mainForm()->filterMask(), 0u);
    expectFiltered(everyRow, "ALMOST  ");
}

TEST_F(MainFormTest, EachBoxStandsForItsOwnBitWhateverItsPlaceOnScreen)
{
    const uint32_t expected[16] = {0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040, 0x0080,
                                   0x0100, 0x0200, 0x0400, 0x0800, 0x1000, 0x2000, 0x4000, 0x8000};
    QCheckBox* boxes[16] = {
        child<QCheckBox>(mainForm(), "cbStrings"),   child<QCheckBox>(mainForm(), "cbBrass"),
        child<QCheckBox>(mainForm(), "cbWoodwind"),  child<QCheckBox>(mainForm(), "cbPercussion"),
        child<QCheckBox>(mainForm(), "cbPlucked"),   child<QCheckBox>(mainForm(), "cbPad"),
        child<QCheckBox>(mainForm(), "cbSolo"),      child<QCheckBox>(mainForm(), "cbSynthetic"),
        child<QCheckBox>(mainForm(), "cbBass"),      child<QCheckBox>(mainForm(), "cbVocal"),
        child<QCheckBox>(mainForm(), "cbPiano"),     child<QCheckBox>(mainForm(), "cbOrgan"),
        child<QCheckBox>(mainForm(), "cbKeyboard"),  child<QCheckBox>(mainForm(), "cbMusicalFX"),
        child<QCheckBox>(mainForm(), "cbUntunedFX"), child<QCheckBox>(mainForm(), "cbRealistic")};
    for (int bit = 0; bit < 16; ++bit) {
        boxes[bit]->click();
        EXPECT_EQ(mainForm()->filterMask(), expected[bit]) << bit;
        boxes[bit]->click();
        EXPECT_EQ(mainForm()->filterMask(), 0u);
    }

    // Top to bottom on screen, caption at the left of the box.
    std::vector<std::pair<int, std::string>> placed;
    for (QCheckBox* box : boxes) {
        placed.emplace_back(box->y(), box->text().toStdString());
        EXPECT_EQ(box->layoutDirection(), Qt::RightToLeft);
        EXPECT_EQ(box->toolTip(), QStringLiteral("Select check box to filter voices"));
    }
    std::sort(placed.begin(), placed.end());
    const char* order[16] = {"Strings", "Brass", "Woodwind",   "Piano",      "Organ",      "Keyboard",
                             "Bass",    "Vocal", "Percussion", "Musical FX", "Untuned FX", "Plucked",
                             "Solo",    "Pad",   "Realistic",  "Synthetic"};
    for (int row = 0; row < 16; ++row)
        EXPECT_EQ(placed[size_t(row)].second, order[row]);
}

TEST_F(MainFormTest, OnlyDoubleClickAndEnterLoadAndTheyLoadTheRecordTheRowShows)
{
    ASSERT_TRUE(child<QPushButton>(mainForm(), "bNoAutoSend")->isChecked());
    child<QCheckBox>(mainForm(), "cbBrass")->click();
    ASSERT_EQ(rows(), (std::vector<std::string>{"STRBRASS", "BRASS   ", "ALMOST  "}));
    auto* list = dbList();
    list->setFocus();

    // Selecting by click or arrow keys, and typing a letter, load nothing.
    forgetVoice();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(1));
    EXPECT_EQ(list->currentRow(), 1);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentRow(), 2);
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_A);
    EXPECT_TRUE(nothingLoaded());

    // Row 1 shows record 4, not record 1; it is sent though auto-send is off.
    list->setCurrentRow(1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(1));
    EXPECT_TRUE(loaded("BRASS   "));
    EXPECT_EQ(voice().element[0].waveform, 4);

    // Enter loads the selected row: row 2 is record 5.
    forgetVoice();
    list->setCurrentRow(2);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(loaded("ALMOST  "));
    forgetVoice();
    QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(loaded("ALMOST  "));

    // With "Audition" ticked a click or an arrow sends the voice chosen, once each, and
    // the voice being edited stays; space sounds the test note while held.
    forgetVoice();
    child<QCheckBox>(mainForm(), "cbAudition")->click();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(0));
    EXPECT_EQ(voiceSends, sends + 1);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(voiceSends, sends + 2);
    EXPECT_EQ(voiceName(), "12345678");
    QTest::keyPress(list, Qt::Key_Space);
    EXPECT_TRUE(run->commands->noteSounds());
    QTest::keyRelease(list, Qt::Key_Space);
    EXPECT_FALSE(run->commands->noteSounds());
    EXPECT_EQ(list->currentRow(), 1);
}

// The list's keys: Delete asks before it deletes the chosen voices, Alt+Up and
// Alt+Down move the chosen one.
TEST_F(MainFormTest, DeleteAndAltArrowsInTheListActOnTheChosenVoice)
{
    int questions = 0;
    librarianAnswer = [&](QWidget* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        if (!box || !box->button(QMessageBox::No))
            return false;
        ++questions;
        box->button(QMessageBox::No)->click();
        return true;
    };
    auto* list = dbList();
    list->setFocus();
    list->setCurrentRow(1);
    QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(rows(), (std::vector<std::string>{"STRINGS ", "NOMASK  ", "STRBRASS", "HIGHBITS", "BRASS   ",
                                                "ALMOST  "}));
    EXPECT_EQ(list->selectedRows(), std::vector<int>{2});
    QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
    QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(rows(), (std::vector<std::string>{"STRBRASS", "STRINGS ", "NOMASK  ", "HIGHBITS", "BRASS   ",
                                                "ALMOST  "}));
    const std::vector<uint8_t> before = readFile("SOUNDS.SYL");
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(readFile("SOUNDS.SYL"), before);
}

// Leaving (Ctrl+X or the close box) with a voice changed since it was loaded asks
// first: Cancel stays, Save saves through "Save voice" and leaves, "Exit anyway" leaves.
TEST_F(MainFormTest, LeavingWithAnEditedVoiceAsksFirst)
{
    std::string answer;
    int asked = 0;
    librarianAnswer = [&](QWidget* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        if (!box || box->objectName() != QStringLiteral("ExitQuestion"))
            return false;
        ++asked;
        for (QAbstractButton* b : box->buttons())
            if (b->text().remove(QLatin1Char('&')).toStdString() == answer) {
                b->click();
                return true;
            }
        ADD_FAILURE() << "no button " << answer;
        return false;
    };
    // The event loop runs while the user acts; true when the program ended it.
    auto leaves = [](const std::function<void()>& act) {
        QTimer::singleShot(0, [act] {
            act();
            if (mainForm()->isVisible())
                QCoreApplication::exit(1);
        });
        return QApplication::exec() == 0;
    };
    voice().name[0] = 'X';
    answer = "Cancel";
    mainForm()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainForm()));
    EXPECT_FALSE(leaves([] { QTest::keyClick(mainForm()->windowHandle(), Qt::Key_X, Qt::ControlModifier); }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(voiceName(), "XTRINGS ");

    // Save, the file dialog cancelled: the program stays; saved, it ends.
    answer = "Save";
    EXPECT_FALSE(leaves([] { mainForm()->close(); }));
    EXPECT_EQ(asked, 2);
    chosenFile = QDir::current().absoluteFilePath(QStringLiteral("kept.SYX"));
    EXPECT_TRUE(leaves([] { mainForm()->close(); }));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(readFile("kept.SYX").size(), 592u);

    mainForm()->show();
    voice().name[0] = 'Y';
    answer = "Exit anyway";
    EXPECT_TRUE(leaves([] { action("Exit")->trigger(); }));
    EXPECT_EQ(asked, 4);

    // Nothing changed since the last save: no question.
    mainForm()->show();
    run->document.saved();
    EXPECT_TRUE(leaves([] { mainForm()->close(); }));
    EXPECT_EQ(asked, 4);
}

TEST_F(MainFormTest, AnAccidentalLoadIsUndoneFromTheEditMenuOrCtrlZ)
{
    // Start-up's voice is where the history begins.
    ASSERT_EQ(voiceName(), "STRINGS ");
    EXPECT_FALSE(action("Undo")->isEnabled());
    const Voice first = voice();
    child<QPushButton>(mainForm(), "bAutoSend")->click();
    auto* list = dbList();
    list->setCurrentRow(4);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(4));
    ASSERT_EQ(voiceName(), "BRASS   ");
    EXPECT_EQ(action("Undo")->text(), QStringLiteral("&Undo Load voice"));
    EXPECT_EQ(action("Redo")->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                   QKeySequence(Qt::CTRL | Qt::Key_Y)}));

    mainForm()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainForm()));
    sends = voiceSends;
    QTest::keyClick(mainForm()->windowHandle(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(std::memcmp(&voice(), &first, sizeof(Voice)), 0);
    EXPECT_EQ(voiceSends, sends + 1);
    EXPECT_EQ(child<TNameBox>(window<TVoiceCommonEdit>("VoiceCommonEdit"), "tfVoiceName")->text(),
              QStringLiteral("STRINGS "));
    EXPECT_EQ(action("Redo")->text(), QStringLiteral("&Redo Load voice"));
    action("Redo")->trigger();
    EXPECT_EQ(voiceName(), "BRASS   ");

    // Compare goes back to the voice as loaded.
    child<QCheckBox>(window<TVoiceCommonEdit>("VoiceCommonEdit"), "cbModWheelAM")->click();
    action("Compare")->trigger();
    EXPECT_TRUE(action("Compare")->isChecked());
    EXPECT_EQ(voice().modWheelAM, 0);
    action("Compare")->trigger();
    EXPECT_EQ(voice().modWheelAM, 1);
}

TEST_F(MainFormTest, ModifyReplacesTheShownRecordAndItsMaskBecomesExactlyTheCheckedSet)
{
    const std::vector<uint8_t> before = readFile("SOUNDS.SYL");
    child<QCheckBox>(mainForm(), "cbStrings")->click();
    ASSERT_EQ(rows(), (std::vector<std::string>{"STRINGS ", "STRBRASS", "ALMOST  "}));

    // A row deselected by Ctrl+click is still the current row, but nothing is
    // selected: no question, nothing replaced, nothing loaded.
    dbList()->setFocus();
    QTest::mouseClick(dbList()->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(0));
    ASSERT_EQ(dbList()->currentRow(), 0);
    ASSERT_LT(dbList()->selectedRow(), 0);
    answerer.seen.clear();
    action("ModifyVoice")->trigger();
    EXPECT_TRUE(answerer.seen.empty());
    EXPECT_EQ(readFile("SOUNDS.SYL"), before);
    forgetVoice();
    QTest::keyClick(dbList(), Qt::Key_Return);
    EXPECT_TRUE(nothingLoaded());

    // Enter in the question answers No: nothing changes.
    overwriteAnswer = [](QWidget* d) {
        QTest::keyClick(d, Qt::Key_Return);
        return true;
    };
    dbList()->setCurrentRow(2);
    std::memcpy(voice().name, "CHANGED ", 8);
    action("ModifyVoice")->trigger();
    EXPECT_EQ(readFile("SOUNDS.SYL"), before);
    EXPECT_EQ(dbList()->currentRow(), 2);

    // Yes replaces record 5 (row 2) and its mask drops every unchecked category.
    overwriteAnswer = [](QWidget* d) { return clickButton(d, "bYes"); };
    action("ModifyVoice")->trigger();
    const std::vector<uint8_t> after = readFile("SOUNDS.SYL");
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(recordMask(after, 5), 0x0001u);
    EXPECT_EQ(recordName(after, 5), "CHANGED ");
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 5 + 596 * 5, after.begin()));
    expectRows({"STRINGS ", "STRBRASS", "CHANGED "});
    EXPECT_EQ(mainForm()->voiceCount(), 6);
}

TEST_F(MainFormTest, AddStoresTheCheckedSetAsMaskAndCountsOnlyWhatTheFileTook)
{
    std::memcpy(voice().name, "ADDED   ", 8);
    action("AddVoice")->trigger();
    std::vector<uint8_t> file = readFile("SOUNDS.SYL");
    ASSERT_EQ(file.size(), 5u + 596 * 7);
    EXPECT_EQ(recordMask(file, 6), 0u);
    EXPECT_EQ(recordName(file, 6), "ADDED   ");
    EXPECT_EQ(mainForm()->voiceCount(), 7);
    std::vector<std::string> expected = everyRow;
    expected.push_back("ADDED   ");
    expectRows(expected);

    // A mask-0 record is hidden by any checked box.
    child<QCheckBox>(mainForm(), "cbWoodwind")->click();
    expectFiltered({"ALMOST  "}, "");

    // With Woodwind and Pad checked the new record carries exactly those.
    child<QCheckBox>(mainForm(), "cbPad")->click();
    std::memcpy(voice().name, "ADDED 2 ", 8);
    action("AddVoice")->trigger();
    file = readFile("SOUNDS.SYL");
    EXPECT_EQ(recordMask(file, 7), 0x0024u);
    expectRows({"ALMOST  ", "ADDED 2 "});
    dbList()->setCurrentRow(1);
    forgetVoice();
    QTest::keyClick(dbList(), Qt::Key_Return);
    EXPECT_TRUE(loaded("ADDED 2 "));

    // A library that takes no record: the "Save error" dialog, and the count stays.
    ASSERT_TRUE(QFile::remove(QStringLiteral("SOUNDS.SYL")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("SOUNDS.SYL")));
    answerer.seen.clear();
    action("AddVoice")->trigger();
    EXPECT_EQ(answerer.seen, std::vector<std::string>{"Save error"});
    EXPECT_EQ(mainForm()->voiceCount(), 8);
}

TEST_F(MainFormTest, AListNeverShowsRecordsTheFileNoLongerHolds)
{
    // Another program cut the library to its first two records while we ran.
    std::vector<uint8_t> file = readFile("SOUNDS.SYL");
    file.resize(5 + 596 * 2);
    writeFile("SOUNDS.SYL", file);
    child<QCheckBox>(mainForm(), "cbStrings")->click();
    child<QCheckBox>(mainForm(), "cbStrings")->click();
    expectFiltered({"STRINGS ", "STRBRASS"}, "STRINGS ");
}

TEST_F(MainFormTest, MenuCaptionsShortcutsAndTheWindowsTheyOpen)
{
    struct Item {
        QAction* action;
        const char* caption;
        const char* shortcut;
    };
    const Item items[] = {
        {action("LoadVoice"), "&Load voice", "Ctrl+O"},
        {action("SaveVoice"), "&Save voice", "Ctrl+S"},
        {action("ModifyVoice"), "&Modify voice in database", "Ctrl+M"},
        {action("AddVoice"), "&Add voice to database", "Ctrl+D"},
        {action("Exit"), "E&xit", "Ctrl+X"},
        {action("ElementsAC"), "Elements &A && C", "Ctrl+A"},
        {action("ElementsBD"), "Elements &B && D", "Ctrl+B"},
        {action("VoiceCommon"), "Voice &common", "Ctrl+C"},
        {action("Vectors"), "&Vectors", "Ctrl+V"},
        {action("SelectMidiDevices"), "&Select MIDI devices", ""},
        {action("GetVoiceFromSynth"), "&Get voice from synth", ""},
        {action("About"), "&About", ""},
    };
    for (const Item& item : items) {
        EXPECT_EQ(item.action->text().toStdString(), item.caption);
        EXPECT_EQ(item.action->shortcut().toString().toStdString(), item.shortcut);
    }
    QStringList titles;
    for (QAction* a : mainForm()->menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&MIDI", "&About"}));

    // Ctrl+A and Ctrl+C belong to the menu even while the list has the focus.
    mainForm()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainForm()));
    dbList()->setFocus();
    QTest::keyClick(mainForm()->windowHandle(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(window<TAWMEdit>("AWMEdit")->isVisible());
    EXPECT_EQ(dbList()->selectionModel()->selectedRows().size(), 1);
    mainForm()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainForm()));
    QTest::keyClick(mainForm()->windowHandle(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(window<TVoiceCommonEdit>("VoiceCommonEdit")->isVisible());
    action("ElementsBD")->trigger();
    action("Vectors")->trigger();
    EXPECT_TRUE(window<TFMEdit>("FMEdit")->isVisible());
    EXPECT_TRUE(window<TVectorEdit>("VectorEdit")->isVisible());

    // Modal commands: the about box, the device dialog, a fetch that gets no answer.
    answerer.seen.clear();
    action("About")->trigger();
    action("SelectMidiDevices")->trigger();
    EXPECT_EQ(answerer.seen, (std::vector<std::string>{"About Tarvik", "Select MIDI Devices"}));
}

// The menus hold the library's commands and the entries of the run's verbs and window
// list in the order they always had, and each listed window opens from its action:
// the editors exist from the start, the Bank window and the Multi editor from their
// first use.
TEST_F(MainFormTest, EveryMenuInItsOrderAndEveryListedWindowOpensFromItsAction)
{
    auto names = [](QMenu* menu) {
        QStringList shown;
        for (QAction* a : menu->actions())
            shown << (a->isSeparator() && a->objectName().isEmpty() ? QStringLiteral("-") : a->objectName());
        return shown;
    };
    const QList<QAction*> bar = mainForm()->menuBar()->actions();
    ASSERT_EQ(bar.size(), 4);
    EXPECT_EQ(names(bar[0]->menu()), (QStringList{"LoadVoice",   "SaveVoice", "sepDatabase",  "ModifyVoice",
                                                  "AddVoice",    "-",         "ImportVoices", "ExportListed",
                                                  "ExportVoice", "-",         "RenameVoice",  "Categories",
                                                  "MoveUp",      "MoveDown",  "DeleteVoice",  "OpenBank",
                                                  "SaveBank",    "-",         "sepExit",      "Exit"}));
    EXPECT_EQ(names(bar[1]->menu()),
              (QStringList{"ElementsAC", "ElementsBD", "VoiceCommon", "Vectors", "ShowBank", "ShowMultis",
                           "Explore", "-", "Undo", "Redo", "Compare", "Mutate", "CompareWith"}));
    EXPECT_EQ(names(bar[2]->menu()),
              (QStringList{"SelectMidiDevices", "GetVoiceFromSynth", "StoreVoice", "GetAllVoices", "SendBank"}));
    EXPECT_EQ(bar[3]->objectName(), QStringLiteral("About"));
    EXPECT_EQ(action("Redo")->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                   QKeySequence(Qt::CTRL | Qt::Key_Y)}));
    EXPECT_TRUE(action("Compare")->isCheckable());
    const std::pair<const char*, const char*> bankCaptions[] = {
        {"OpenBank", "Open &bank..."},
        {"SaveBank", "Save ban&k as..."},
        {"ShowBank", "Ban&k"},
        {"ShowMultis", "Mul&tis"},
        {"SendBank", "Send &bank to synth..."},
        {"GetAllVoices", "Get &all voices from synth..."},
        {"Mutate", "&Mutate voice..."}};
    for (const auto& [name, caption] : bankCaptions)
        EXPECT_EQ(action(name)->text().toStdString(), caption);

    for (const TWindowEntry& entry : run->windows->entries()) {
        EXPECT_EQ(action(entry.action)->text().toStdString(), entry.caption) << entry.action;
        if (entry.made == TWindowEntry::Made::atStart) {
            EXPECT_NE(run->windows->made(entry.window), nullptr) << entry.window;
        }
    }
    EXPECT_NE(run->windows->made("AWMEdit"), nullptr);
    EXPECT_EQ(run->windows->made("BankWindow"), nullptr);
    EXPECT_EQ(run->windows->made("MultiEdit"), nullptr);
    action("ShowBank")->trigger();
    QWidget* bank = run->windows->made("BankWindow");
    ASSERT_NE(bank, nullptr);
    EXPECT_TRUE(bank->isVisible());
    // "[*]" is where a change shows ("Tarvik - Bank*").
    EXPECT_EQ(bank->windowTitle(), QStringLiteral("Tarvik - Bank[*]"));
    EXPECT_FALSE(bank->isWindowModified());
    action("ShowMultis")->trigger();
    ASSERT_NE(run->windows->made("MultiEdit"), nullptr);
    EXPECT_TRUE(run->windows->made("MultiEdit")->isVisible());
    // The Bank window's own "Multis..." opens the same editor, through the run.
    run->windows->made("MultiEdit")->hide();
    child<QPushButton>(bank, "bMultis")->click();
    EXPECT_TRUE(run->windows->made("MultiEdit")->isVisible());
    // Opening a bank shows the window and its open dialog (cancelled here).
    bank->hide();
    answerer.seen.clear();
    action("OpenBank")->trigger();
    EXPECT_TRUE(bank->isVisible());
    EXPECT_EQ(answerer.seen, (std::vector<std::string>{"Open bank"}));
}

TEST_F(MainFormTest, VoiceFilesAreSavedAndLoadedThroughTheirDialogs)
{
    EXPECT_EQ(child<QFileDialog>(mainForm(), "fileOpenDlg")->windowTitle(),
              QStringLiteral("Open sound file"));
    EXPECT_EQ(child<QFileDialog>(mainForm(), "fileSaveDlg")->windowTitle(), QStringLiteral("Save voice"));
    EXPECT_EQ(child<QFileDialog>(mainForm(), "fileSaveDlg")->defaultSuffix(), QStringLiteral("SYX"));
    EXPECT_EQ(child<QFileDialog>(mainForm(), "fileSaveDlg")->nameFilters(),
              QStringList{QStringLiteral("System Exclusive files (*.SYX *.syx)")});
    std::memcpy(voice().name, "ON DISK ", 8);

    // The voice's name is proposed; saved under a name without extension, the dialog
    // adds ".SYX". Every file dialog then starts in the folder it was saved in.
    QDir().mkdir(QStringLiteral("voices"));
    const QString folder = QDir::current().absoluteFilePath(QStringLiteral("voices"));
    chosenFile = folder + QStringLiteral("/mine");
    QString proposed, openedIn;
    librarianAnswer = [&](QWidget* d) {
        if (d == child<QFileDialog>(mainForm(), "fileSaveDlg") && proposed.isEmpty())
            proposed = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        if (d == child<QFileDialog>(mainForm(), "fileOpenDlg") ||
            d == child<QFileDialog>(mainForm(), "fileExportDlg"))
            openedIn = static_cast<QFileDialog*>(d)->directory().absolutePath();
        return false;
    };
    answerer.seen.clear();
    action("SaveVoice")->trigger();
    EXPECT_EQ(answerer.seen, std::vector<std::string>{"Save voice"});
    EXPECT_EQ(proposed, QStringLiteral("ON DISK.SYX"));
    EXPECT_EQ(run->settings.lastFolder, folder.toStdString());
    const std::vector<uint8_t> saved = readFile("voices/mine.SYX");
    ASSERT_EQ(saved.size(), 592u);
    EXPECT_EQ(std::string(saved.begin() + 19, saved.begin() + 27), "ON DISK ");

    // Cancelled: nothing loaded, nothing sent.
    chosenFile.clear();
    forgetVoice();
    action("LoadVoice")->trigger();
    EXPECT_TRUE(nothingLoaded());

    // Loaded: the voice comes back and goes to the synthesiser though auto-send is off.
    chosenFile = folder + QStringLiteral("/mine.SYX");
    action("LoadVoice")->trigger();
    EXPECT_TRUE(loaded("ON DISK "));
    EXPECT_EQ(openedIn, folder);

    // A file without a voice dump: "Invalid file", the voice stays.
    writeText("broken.SYX", "not a dump");
    chosenFile = QDir::current().absoluteFilePath(QStringLiteral("broken.SYX"));
    answerer.seen.clear();
    forgetVoice();
    action("LoadVoice")->trigger();
    EXPECT_EQ(answerer.seen, (std::vector<std::string>{"Open sound file", "Invalid file"}));
    EXPECT_TRUE(nothingLoaded());

    // Asking for a voice with no MIDI device open says so and offers the device
    // dialog; turned down, nothing is asked of the synthesiser and the voice stays.
    answerer.seen.clear();
    librarianAnswer = [](QWidget* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        if (!box || box->objectName() != QStringLiteral("NoDeviceQuestion"))
            return false;
        box->button(QMessageBox::Cancel)->click();
        return true;
    };
    action("GetVoiceFromSynth")->trigger();
    EXPECT_EQ(answerer.seen, std::vector<std::string>{"Get voice"});
    EXPECT_TRUE(answerer.lastText.contains(QStringLiteral("no MIDI device is open")))
        << answerer.lastText.toStdString();
    EXPECT_TRUE(nothingLoaded());
    librarianAnswer = nullptr;

    // A bank is no single voice: loading it offers to import it or to load its first.
    std::vector<VoiceDump> voices;
    for (int i = 0; i < bankVoices; ++i) {
        const std::vector<uint8_t> dump = dumpNamed(("BANK" + std::to_string(10 + i)).c_str(), uint8_t(i));
        VoiceDump v;
        std::copy(dump.begin(), dump.end(), v.begin());
        voices.push_back(v);
    }
    const std::vector<uint8_t> bank = buildBankDump(voices);
    writeFile("bank.syx", bank);
    std::string choose = "Load the first";
    QString question;
    std::vector<std::string> told;
    librarianAnswer = [&](QWidget* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        if (auto* choice = qobject_cast<TCategoryDlg*>(d))
            return clickButton(choice, "bOK");
        if (!box)
            return false;
        if (box->objectName() == QStringLiteral("ManyVoicesQuestion")) {
            question = box->text();
            for (QAbstractButton* b : box->buttons())
                if (b->text().remove(QLatin1Char('&')).toStdString() == choose)
                    b->click();
        } else {
            told.push_back(box->text().toStdString());
            box->button(QMessageBox::Ok)->click();
        }
        return true;
    };
    chosenFile = QDir::current().absoluteFilePath(QStringLiteral("bank.syx"));
    forgetVoice();
    action("LoadVoice")->trigger();
    EXPECT_TRUE(question.contains(QStringLiteral("64 voices"))) << question.toStdString();
    EXPECT_TRUE(loaded("BANK10  "));
    choose = "Import";
    action("LoadVoice")->trigger();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("Voices added: 64"), std::string::npos) << told[0];
    EXPECT_EQ(dbList()->selectedCount(), 64);

    // A MIDI file of one voice is that voice: loaded at once, nothing asked.
    const std::vector<uint8_t> one = dumpNamed("MIDIONE ");
    const size_t length = one.size() - 1;   // after the F0, as a two-byte variable length
    const size_t track = 4 + length + 4;
    std::string midi = std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0", 20);
    midi += char(track >> 8);
    midi += char(track & 0xFF);
    midi += std::string("\0\xF0", 2);
    midi += char(0x80 | (length >> 7));
    midi += char(length & 0x7F);
    midi.append(one.begin() + 1, one.end());
    midi += std::string("\0\xFF\x2F\0", 4);
    writeText("one.mid", midi);
    question.clear();
    forgetVoice();
    chosenFile = QDir::current().absoluteFilePath(QStringLiteral("one.mid"));
    action("LoadVoice")->trigger();
    EXPECT_TRUE(question.isEmpty()) << question.toStdString();
    EXPECT_TRUE(loaded("MIDIONE "));
    EXPECT_TRUE(child<QFileDialog>(mainForm(), "fileOpenDlg")
                    ->nameFilters()
                    .constFirst()
                    .contains(QStringLiteral("*.mid")));

    // An export says how many voices it wrote.
    told.clear();
    chosenFile = folder + QStringLiteral("/all.syx");
    action("ExportListed")->trigger();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("70 voices written"), std::string::npos) << told[0];
    EXPECT_EQ(readFile("voices/all.syx").size(), 70u * 592);
}

TEST_F(MainFormTest, AutoSendButtonsAreOneGroupAndSetTheSwitch)
{
    EXPECT_FALSE(run->settings.autoSend);
    EXPECT_TRUE(child<QPushButton>(mainForm(), "bNoAutoSend")->isChecked());
    const unsigned long before = voiceSends;
    child<QPushButton>(mainForm(), "bAutoSend")->click();
    EXPECT_TRUE(run->settings.autoSend);
    EXPECT_FALSE(child<QPushButton>(mainForm(), "bNoAutoSend")->isChecked());
    child<QPushButton>(mainForm(), "bNoAutoSend")->click();
    EXPECT_FALSE(run->settings.autoSend);
    EXPECT_FALSE(child<QPushButton>(mainForm(), "bAutoSend")->isChecked());
    EXPECT_EQ(voiceSends, before);
}

TEST_F(MainFormTest, WindowLook)
{
    EXPECT_EQ(mainForm()->windowTitle(), QStringLiteral("Tarvik"));
    EXPECT_EQ(mainForm()->centralWidget()->size(), QSize(317, 409));
    EXPECT_EQ(mainForm()->minimumSize(), mainForm()->maximumSize());
    EXPECT_FALSE(mainForm()->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(mainForm()->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(dbList()->size(), QSize(111, 329));
    EXPECT_TRUE(dbList()->font().bold());
    EXPECT_EQ(dbList()->toolTip(), QStringLiteral("Double click a voice name to load it"));
    EXPECT_EQ(child<QLabel>(mainForm(), "lVersion")->text(), QStringLiteral("Version " TARVIK_VERSION));
    EXPECT_EQ(child<QLabel>(mainForm(), "lSendOnChange")->text(), QStringLiteral("Send voice on change: "));
    EXPECT_EQ(child<QGroupBox>(mainForm(), "gbDatabase")->title(), QStringLiteral(" Database "));
    EXPECT_EQ(child<QLabel>(mainForm(), "imNameStrip")->pixmap().size(), QSize(89, 275));
}

TEST_F(MainFormTest, SearchAndCategoriesCombineAndModifyReplacesTheChosenRecordOnly)
{
    // The user chooses ALMOST (record 5) and ticks Strings: it is still listed, and
    // stays selected, so Ctrl+M replaces it and nothing else.
    dbList()->setCurrentRow(5);
    child<QCheckBox>(mainForm(), "cbStrings")->click();
    expectFiltered({"STRINGS ", "STRBRASS", "ALMOST  "}, "ALMOST  ");
    EXPECT_EQ(child<QLabel>(mainForm(), "lListed")->text(), QStringLiteral("3 of 6"));

    // The search narrows the ticked list further: both must match, case ignored.
    child<QLineEdit>(mainForm(), "edSearch")->setText(QStringLiteral("str"));
    expectFiltered({"STRINGS ", "STRBRASS"}, "");
    EXPECT_EQ(child<QLabel>(mainForm(), "lListed")->text(), QStringLiteral("2 of 6"));
    answerer.seen.clear();
    action("ModifyVoice")->trigger();   // disabled: no question, nothing written
    EXPECT_TRUE(answerer.seen.empty());
    // Lifted, the search gives the chosen voice back.
    child<QLineEdit>(mainForm(), "edSearch")->clear();
    expectFiltered({"STRINGS ", "STRBRASS", "ALMOST  "}, "ALMOST  ");

    dbList()->setCurrentRow(2);
    EXPECT_TRUE(action("ModifyVoice")->isEnabled());
    const std::vector<uint8_t> before = readFile("SOUNDS.SYL");
    std::memcpy(voice().name, "CHANGED ", 8);
    QString named;
    overwriteAnswer = [&named](QWidget* d) {
        named = child<QLabel>(topLevel<TOverwriteDlg>(), "lVoiceName")->text();
        return clickButton(d, "bYes");
    };
    action("ModifyVoice")->trigger();
    EXPECT_EQ(named, QStringLiteral("\u201CALMOST  \u201D"));
    const std::vector<uint8_t> after = readFile("SOUNDS.SYL");
    EXPECT_EQ(recordName(after, 5), "CHANGED ");
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 5 + 596 * 5, after.begin()));
}

TEST_F(MainFormTest, ImportSummarisesAndDeleteAsksByNameAndKeepsTheOthers)
{
    // Two new voices, one the library holds already, and a file without any.
    std::vector<uint8_t> file = dumpNamed("NEW ONE ", 40);
    const std::vector<uint8_t> second = dumpNamed("NEW TWO ", 41);
    file.insert(file.end(), second.begin(), second.end());
    const std::vector<uint8_t> known = dumpNamed("BRASS   ", 4);
    file.insert(file.end(), known.begin(), known.end());
    writeFile("many.syx", file);
    writeText("junk.syx", "no voice in here");
    std::vector<std::string> messages;
    std::vector<QString> questions;
    librarianAnswer = [&](QWidget* d) {
        if (auto* choice = qobject_cast<TCategoryDlg*>(d)) {
            child<QCheckBox>(choice, "cbCategory6")->setChecked(true);   // Solo
            return clickButton(d, "bOK");
        }
        if (auto* box = qobject_cast<QMessageBox*>(d)) {
            if (box->button(QMessageBox::Yes)) {
                questions.push_back(box->text());
                box->button(QMessageBox::Yes)->click();
            } else {
                messages.push_back(box->text().toStdString());
                // Nothing comes up over the summary while the user reads it.
                QTest::qWait(900);
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (qobject_cast<QProgressDialog*>(w) && w->isVisible())
                        ADD_FAILURE() << "a progress dialog covers the summary";
                box->button(QMessageBox::Ok)->click();
            }
            return true;
        }
        return false;
    };
    mainForm()->importFiles({QStringLiteral("many.syx"), QStringLiteral("junk.syx")});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Voices added: 2"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("Duplicates skipped: 1"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("Refused: 1"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("junk.syx"), std::string::npos) << messages[0];
    // The new voices are listed and chosen.
    std::vector<std::string> expected = everyRow;
    expected.push_back("NEW ONE ");
    expected.push_back("NEW TWO ");
    EXPECT_EQ(rows(), expected);
    EXPECT_EQ(dbList()->selectedRows(), (std::vector<int>{6, 7}));
    const std::vector<uint8_t> before = readFile("SOUNDS.SYL");
    ASSERT_EQ(before.size(), 5u + 596 * 8);
    EXPECT_EQ(recordMask(before, 7), 0x0040u);

    // Delete STRBRASS (record 1) through the context menu's action: asked by name,
    // every other record byte for byte as it was, the next voice selected.
    dbList()->setCurrentRow(1);
    action("DeleteVoice")->trigger();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("STRBRASS"))) << questions[0].toStdString();
    std::vector<uint8_t> wanted(before.begin(), before.begin() + 5 + 596);
    wanted.insert(wanted.end(), before.begin() + 5 + 596 * 2, before.end());
    EXPECT_EQ(readFile("SOUNDS.SYL"), wanted);
    EXPECT_EQ(mainForm()->voiceCount(), 7);
    EXPECT_EQ(dbList()->text(dbList()->selectedRow()), QStringLiteral("NOMASK  "));
}

TEST_F(MainFormTest, ALibraryChangedByAnotherProgramIsActedOnAsTheUserSawIt)
{
    std::vector<QString> questions, messages;
    librarianAnswer = [&](QWidget* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        if (!box)
            return false;
        if (box->button(QMessageBox::Yes)) {
            questions.push_back(box->text());
            box->button(QMessageBox::Yes)->click();
        } else {
            messages.push_back(box->text());
            box->button(QMessageBox::Ok)->click();
        }
        return true;
    };
    auto names = [] {
        const std::vector<uint8_t> file = readFile("SOUNDS.SYL");
        std::vector<std::string> held;
        for (int n = 0; 5 + 596 * size_t(n + 1) <= file.size(); ++n)
            held.push_back(recordName(file, n));
        return held;
    };
    TFileIO other("SOUNDS.SYL");

    // HIGHBITS is chosen; another program deletes record 0 meanwhile.
    dbList()->setCurrentRow(3);
    ASSERT_TRUE(other.deleteRecords({0}));
    action("DeleteVoice")->trigger();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("HIGHBITS"))) << questions[0].toStdString();
    EXPECT_EQ(names(), (std::vector<std::string>{"STRBRASS", "NOMASK  ", "BRASS   ", "ALMOST  "}));
    EXPECT_EQ(rows(), names());

    // BRASS is chosen; another program deletes STRBRASS: BRASS is what is replaced.
    dbList()->setCurrentRow(2);
    ASSERT_TRUE(other.deleteRecords({0}));
    std::memcpy(voice().name, "MODIFIED", 8);
    action("ModifyVoice")->trigger();
    EXPECT_EQ(child<QLabel>(topLevel<TOverwriteDlg>(), "lVoiceName")->text(),
              QStringLiteral("\u201CBRASS   \u201D"));
    EXPECT_EQ(names(), (std::vector<std::string>{"NOMASK  ", "MODIFIED", "ALMOST  "}));

    // A voice another program adds is listed once the editor is in front again.
    std::memcpy(voice().name, "ELSEWHRE", 8);
    ASSERT_TRUE(other.appendRecord(0, encodeVoice(voice())));
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(rows(), (std::vector<std::string>{"NOMASK  ", "MODIFIED", "ALMOST  ", "ELSEWHRE"}));
    EXPECT_EQ(mainForm()->voiceCount(), 4);

    // The chosen voice is deleted elsewhere before the command: the user is told,
    // nothing is asked and nothing written.
    dbList()->setCurrentRow(0);
    ASSERT_TRUE(other.deleteRecords({0}));
    const std::vector<uint8_t> before = readFile("SOUNDS.SYL");
    action("DeleteVoice")->trigger();
    EXPECT_EQ(questions.size(), 1u);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("NOMASK")) &&
                messages[0].contains(QStringLiteral("no longer")))
        << messages[0].toStdString();
    EXPECT_EQ(readFile("SOUNDS.SYL"), before);
}

TEST_F(MainFormTest, DamagedRecordsAreMarkedAndNeverLoadedAndAFileThatIsNoLibraryListsNothing)
{
    std::vector<uint8_t> file = readFile("SOUNDS.SYL");
    file[5 + 596 + 4 + 100] ^= 0x01;   // STRBRASS fails its checksum
    writeFile("SOUNDS.SYL", file);
    std::vector<QString> messages;
    librarianAnswer = [&](QWidget* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        if (!box || !box->button(QMessageBox::Ok))
            return false;
        messages.push_back(box->text());
        box->button(QMessageBox::Ok)->click();
        return true;
    };
    mainForm()->syncLibrary();
    EXPECT_EQ(rows(), everyRow);
    EXPECT_TRUE(dbList()->names()->damaged(1));
    EXPECT_FALSE(dbList()->names()->damaged(0));
    EXPECT_TRUE(dbList()
                    ->names()
                    ->data(dbList()->names()->index(1, 0), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("Damaged")));
    forgetVoice();
    dbList()->setFocus();
    dbList()->setCurrentRow(1);
    QTest::keyClick(dbList(), Qt::Key_Return);
    EXPECT_TRUE(nothingLoaded());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("damaged"))) << messages[0].toStdString();

    // A voice file where the library should be: nothing listed, the reason shown,
    // and an add refused with it.
    writeFile("SOUNDS.SYL", dumpNamed("A VOICE "));
    const std::vector<uint8_t> syx = readFile("SOUNDS.SYL");
    mainForm()->syncLibrary();
    EXPECT_TRUE(rows().empty());
    EXPECT_TRUE(
        child<QLabel>(mainForm(), "lListed")->toolTip().contains(QStringLiteral("not a library file")))
        << child<QLabel>(mainForm(), "lListed")->toolTip().toStdString();
    answerer.seen.clear();
    action("AddVoice")->trigger();
    EXPECT_EQ(answerer.seen, std::vector<std::string>{"Save error"});
    EXPECT_TRUE(child<QLabel>(run->SaveErrDlg.get(), "lError")
                    ->text()
                    .startsWith(QStringLiteral("Error saving file: not a library file")))
        << child<QLabel>(run->SaveErrDlg.get(), "lError")->text().toStdString();
    EXPECT_EQ(readFile("SOUNDS.SYL"), syx);
}

}   // namespace

TEST_F(MainFormTest, DeletingTwoSelectedVoicesKeepsEveryOtherRecord)
{
    std::vector<QString> questions;
    librarianAnswer = [&](QWidget* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        if (!box || !box->button(QMessageBox::Yes))
            return false;
        questions.push_back(box->text());
        box->button(QMessageBox::Yes)->click();
        return true;
    };
    const std::vector<uint8_t> before = readFile("SOUNDS.SYL");
    dbList()->setFocus();
    QTest::mouseClick(dbList()->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(1));
    QTest::mouseClick(dbList()->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(4));
    ASSERT_EQ(dbList()->selectedCount(), 2);
    // Commands on one entry wait while two are chosen.
    EXPECT_FALSE(action("ModifyVoice")->isEnabled());
    EXPECT_FALSE(action("RenameVoice")->isEnabled());
    EXPECT_FALSE(action("MoveUp")->isEnabled());
    EXPECT_TRUE(action("DeleteVoice")->isEnabled());

    action("DeleteVoice")->trigger();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("STRBRASS")) &&
                questions[0].contains(QStringLiteral("\u201CBRASS\u201D")))
        << questions[0].toStdString();
    std::vector<uint8_t> wanted(before.begin(), before.begin() + 5 + 596);
    wanted.insert(wanted.end(), before.begin() + 5 + 596 * 2, before.begin() + 5 + 596 * 4);
    wanted.insert(wanted.end(), before.begin() + 5 + 596 * 5, before.end());
    EXPECT_EQ(readFile("SOUNDS.SYL"), wanted);
    EXPECT_EQ(rows(), (std::vector<std::string>{"STRINGS ", "NOMASK  ", "HIGHBITS", "ALMOST  "}));
}

TEST_F(MainFormTest, CategoriesOfSeveralVoicesChangeOnlyWhatTheUserChanged)
{
    std::vector<Qt::CheckState> brassShown;
    librarianAnswer = [&](QWidget* d) {
        auto* dialog = qobject_cast<TCategoryDlg*>(d);
        if (!dialog)
            return false;
        brassShown.push_back(child<QCheckBox>(dialog, "cbCategory1")->checkState());
        child<QCheckBox>(dialog, "cbCategory10")->setChecked(true);   // Piano for both
        return clickButton(dialog, "bOK");
    };
    dbList()->setFocus();
    QTest::mouseClick(dbList()->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(0));
    QTest::mouseClick(dbList()->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(1));
    action("Categories")->trigger();
    ASSERT_EQ(brassShown, std::vector<Qt::CheckState>{Qt::PartiallyChecked});
    // Strings was shared and stays; Brass stays as each had it; Piano is added.
    ASSERT_TRUE(run->fileIO->openLibrary());
    EXPECT_EQ(run->fileIO->readCategories(0), 0x0401u);
    EXPECT_EQ(run->fileIO->readCategories(1), 0x0403u);
    EXPECT_EQ(run->fileIO->readCategories(4), 0x0002u);
    run->fileIO->closeFile();
}

TEST_F(MainFormTest, CompareWithListsTheOneDifferingFieldAndTakingItIsOneUndoStep)
{
    action("CompareWith")->trigger();
    auto* compare = window<TCompareVoice>("CompareVoice");
    ASSERT_TRUE(compare->isVisible());
    const Voice mine = voice();
    Voice other = mine;
    const VoiceField& attack = *findVoiceField("element[2].carrier.rateAttack");
    setFieldValue(other, attack, fieldValue(mine, attack) == 45 ? 31 : 45);
    compare->setOther(other, QStringLiteral("a test voice"));
    ASSERT_EQ(compare->twDiff->rowCount(), 1);
    EXPECT_EQ(compare->twDiff->item(0, 0)->text(), QStringLiteral("Attack rate"));
    EXPECT_EQ(compare->twDiff->item(0, 2)->text(), QString::number(fieldValue(other, attack)));

    compare->takeRow(0);
    EXPECT_EQ(fieldValue(voice(), attack), fieldValue(other, attack));
    EXPECT_EQ(compare->twDiff->rowCount(), 0);   // the table follows the voice
    action("Undo")->trigger();
    EXPECT_EQ(std::memcmp(&voice(), &mine, sizeof(Voice)), 0);
    EXPECT_EQ(compare->twDiff->rowCount(), 1);
}

TEST_F(MainFormTest, TG33VoiceLoadsConvertedAndTheListExportsAsATG33Bank)
{
    const std::vector<uint8_t> sy = dumpNamed("TG VOICE");
    TG33Record record = tg33RecordFromDump(sy.data());
    record[2] = 64;   // an effect balance off the SY's table
    record[6] = 127;
    writeFile("tg33.syx", tg33SingleDump(record));
    std::vector<std::string> told;
    librarianAnswer = [&](QWidget* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        if (!box)
            return false;
        told.push_back(box->text().toStdString());
        box->button(QMessageBox::Ok)->click();
        return true;
    };
    chosenFile = QDir::current().absoluteFilePath(QStringLiteral("tg33.syx"));
    forgetVoice();
    action("LoadVoice")->trigger();
    EXPECT_TRUE(loaded("TG VOICE"));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("the TG33's effect balance 64 became depth 6"), std::string::npos) << told[0];
    EXPECT_EQ(run->commands->undoCaption(), QStringLiteral("&Undo Load voice"));

    told.clear();
    auto* dialog = child<QFileDialog>(mainForm(), "fileExportDlg");
    dialog->selectNameFilter(QStringLiteral("TG33 bank (*.SYX *.syx)"));
    chosenFile = QDir::current().absoluteFilePath(QStringLiteral("bank.syx"));
    action("ExportListed")->trigger();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("as a TG33 bank"), std::string::npos) << told[0];
    const std::vector<uint8_t> bank = readFile("bank.syx");
    ASSERT_EQ(bank.size(), tg33BankSize);
    const std::vector<TG33BankBlock> blocks = readTG33BankBlocks(bank.data(), bank.size() - 1);
    EXPECT_EQ(blocks[0].fault, "");
}
