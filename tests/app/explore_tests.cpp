// SPDX-License-Identifier: GPL-3.0-or-later
// The Explore window on a run with a MIDI system of the test's own: opening it from the Edit menu,
// auditioning a candidate, keeping it, locks across a breed and going back a round.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "app/explorewindow.h"
#include "app/voicelist.h"
#include "apptest.h"
#include "tests/midi/fakebackend.h"
#include "voice/voicefields.h"

using namespace apptest;

namespace {

class ExploreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeText("TARVIK.INI",
                  "MIDI channel=0\r\nIn device=0\r\nOut device=0\r\nModel=0\r\nAuto send=0\r\n");
        writeFile("SOUNDS.SYL", libraryBytes({{0x0001, "STRINGS "}}));
        auto midi = std::make_unique<TFakeMIDIBackend>();
        wire = midi.get();
        createObjects(std::move(midi));
        createWindows();
        mainForm()->show();
        action("Explore")->trigger();
        explore = topLevel<TExploreWindow>();
        ASSERT_NE(explore, nullptr);
    }
    void TearDown() override { releaseAll(); }
    void click(const char* name) { QTest::mouseClick(child<QPushButton>(explore, name), Qt::LeftButton); }

    ScratchDir scratch;
    // Any dialog is acknowledged.
    ModalAnswerer answerer{[](QWidget* d) { return answerFirstButton(d); }};
    TExploreWindow* explore = nullptr;
    TFakeMIDIBackend* wire = nullptr;   // what went out to the synthesiser
};

TEST_F(ExploreTest, OpensFromTheEditMenuAndAnAuditionSendsThatCandidateOnly)
{
    EXPECT_TRUE(explore->isVisible());
    EXPECT_EQ(explore->windowTitle(), QStringLiteral("Tarvik - Explore"));
    EXPECT_EQ(explore, window<TExploreWindow>("ExploreWindow"));
    ASSERT_EQ(explore->candidates().size(), size_t(breedCount));

    const Voice before = voice();
    const unsigned long sends = voiceSends;
    click("cell3");
    EXPECT_EQ(voiceSends, sends + 1);
    ASSERT_TRUE(explore->auditioned().has_value());
    EXPECT_EQ(encodeVoice(*explore->auditioned()), encodeVoice(explore->candidates()[2]));
    ASSERT_TRUE(run->port->flush(3000));
    const VoiceDump heard = encodeVoice(explore->candidates()[2]);
    ASSERT_FALSE(wire->sent().empty());
    EXPECT_EQ(wire->sent().back(), TFakeMIDIBackend::Bytes(heard.begin(), heard.end()));
    EXPECT_EQ(encodeVoice(voice()), encodeVoice(before)) << "an audition leaves the voice being edited";
}

TEST_F(ExploreTest, KeepMakesTheAuditionedCandidateTheVoiceAsOneUndoStep)
{
    const VoiceDump before = encodeVoice(voice());
    click("cell5");
    click("bKeep");
    EXPECT_EQ(encodeVoice(voice()), encodeVoice(explore->candidates()[4]));
    ASSERT_TRUE(run->document.undo());
    EXPECT_EQ(encodeVoice(voice()), before);
}

TEST_F(ExploreTest, LockedGroupsStayAcrossABreedAndBackReturnsTheLastRound)
{
    // Everything but the elements' tone locked.
    for (int g = 0; g < fieldGroupCount; ++g) {
        const auto group = static_cast<FieldGroup>(g);
        child<QCheckBox>(explore, ("cbLock" + std::string(fieldGroupName(group))).c_str())
            ->setChecked(group != FieldGroup::Tone);
    }
    const std::vector<Voice> first = explore->candidates();
    click("bAgain");
    EXPECT_TRUE(explore->toggleFavourite(0));
    EXPECT_TRUE(explore->toggleFavourite(1));
    EXPECT_TRUE(explore->toggleFavourite(2));
    EXPECT_FALSE(explore->toggleFavourite(3)) << "a fourth favourite is refused";
    click("bNextRound");
    Voice current = voice();
    clampToEditRanges(current);
    bool anyChanged = false;
    for (const Voice& c : explore->candidates())
        for (const VoiceField& f : voiceFields()) {
            if (f.group != FieldGroup::Tone) {
                EXPECT_EQ(fieldValue(c, f), fieldValue(current, f)) << f.path;
            } else if (fieldValue(c, f) != fieldValue(current, f)) {
                anyChanged = true;
            }
        }
    EXPECT_TRUE(anyChanged) << "the unlocked group is bred";

    click("bBack");
    EXPECT_EQ(explore->favourites(), (std::vector<int>{0, 1, 2}));
    click("bBack");
    ASSERT_EQ(explore->candidates().size(), first.size());
    for (size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(encodeVoice(explore->candidates()[i]), encodeVoice(first[i])) << i;
}

}   // namespace

TEST_F(ExploreTest, ThePadSendsTheMorphAtItsPointAndAnArchivePlaceKeepsACandidate)
{
    QWidget* pad = child<QWidget>(explore, "padMorph");
    click("cell2");
    click("bCornerFromAudition2");
    click("cell7");
    click("bCornerFromAudition1");
    const std::vector<Voice> corners = {explore->candidates()[6], explore->candidates()[1]};

    unsigned long sends = voiceSends;
    QTest::mousePress(pad, Qt::LeftButton, {}, QPoint(80, 40));
    QTest::mouseRelease(pad, Qt::LeftButton, {}, QPoint(80, 40));
    EXPECT_EQ(voiceSends, sends + 1);
    Voice expected{};
    ASSERT_EQ(morphVoices(corners, 80.0 / 159, 1.0 - 40.0 / 159, GroupLocks{}, expected), "");
    ASSERT_TRUE(explore->auditioned().has_value());
    EXPECT_EQ(encodeVoice(*explore->auditioned()), encodeVoice(expected));
    click("bKeep");
    EXPECT_EQ(encodeVoice(voice()), encodeVoice(expected)) << "Keep takes the pad's voice";

    // A dropped candidate stays in its place across rounds and auditions from there.
    explore->archive(0, 4);
    const Voice archived = explore->candidates()[4];
    click("bNextRound");
    sends = voiceSends;
    click("archive1");
    EXPECT_EQ(voiceSends, sends + 1);
    EXPECT_EQ(encodeVoice(*explore->auditioned()), encodeVoice(archived));
}

TEST_F(ExploreTest, AVoiceAnotherWindowAddsToTheLibraryIsListedAtOnce)
{
    // What "Add to library" does once its name and categories are chosen.
    const int listed = mainForm()->rowCount();
    ASSERT_TRUE(run->fileIO->appendRecord(0, encodeVoice(explore->candidates()[1])));
    run->libraryChanged();
    EXPECT_EQ(mainForm()->rowCount(), listed + 1);
    EXPECT_EQ(mainForm()->voiceCount(), 2);
}

TEST_F(ExploreTest, CellKeysAuditionCornersTakeDroppedVoicesAndEveryEditorOpensTheWindow)
{
    explore->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(explore));
    QTest::keyClick(explore->windowHandle(), Qt::Key_0);
    ASSERT_TRUE(explore->auditioned().has_value());
    EXPECT_EQ(encodeVoice(*explore->auditioned()), encodeVoice(explore->candidates()[9]));
    QTest::keyClick(explore->windowHandle(), Qt::Key_F);
    EXPECT_EQ(encodeVoice(*explore->auditioned()), encodeVoice(explore->candidates()[15]));

    // As a drag ends: it enters the corner, which makes it the target, then drops.
    const auto dropOn = [](QWidget* target, QMimeData* data) {
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return enter.isAccepted() && drop.isAccepted();
    };
    // The library's row, as the list drags it; a record that is not there leaves the corner.
    QLabel* corner = child<QLabel>(explore, "lbCorner2");
    TVoiceListView* list = dbList();
    std::unique_ptr<QMimeData> row(list->names()->mimeData({list->names()->index(0, 0)}));
    EXPECT_TRUE(dropOn(corner, row.get()));
    ASSERT_TRUE(explore->corner(1).has_value());
    EXPECT_EQ(std::string(explore->corner(1)->name, voiceNameLength), "STRINGS ");
    EXPECT_TRUE(corner->text().contains(QStringLiteral("STRINGS")));
    EXPECT_FALSE(explore->setCornerFromRecord(1, 7));
    EXPECT_EQ(std::string(explore->corner(1)->name, voiceNameLength), "STRINGS ");

    QMimeData candidate;
    candidate.setData(QStringLiteral("application/x-tarvik-candidate"), "4");
    EXPECT_TRUE(dropOn(child<QLabel>(explore, "lbCorner3"), &candidate));
    ASSERT_TRUE(explore->corner(2).has_value());
    EXPECT_EQ(encodeVoice(*explore->corner(2)), encodeVoice(explore->candidates()[4]));

    for (const char* editor : {"AWMEdit", "FMEdit", "VoiceCommonEdit", "VectorEdit"}) {
        explore->hide();
        QAction* open = child<QAction>(window<QWidget>(editor), "Explore");
        EXPECT_EQ(open->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E)) << editor;
        open->trigger();
        EXPECT_TRUE(explore->isVisible()) << editor;
    }
}

TEST_F(ExploreTest, NudgeHearsTheVoiceMovedTowardTheAuditionByTheStrengthAndKeepTakesIt)
{
    click("cell8");
    const Voice target = explore->candidates()[7];
    child<QSlider>(explore, "tbStrength")->setValue(100);
    click("bNudgeToward");
    Voice expected{};
    ASSERT_EQ(nudgeVoice(voice(), target, 1.0, explore->locks(), expected), "");
    EXPECT_EQ(encodeVoice(*explore->auditioned()), encodeVoice(expected));
    EXPECT_NE(encodeVoice(voice()), encodeVoice(expected)) << "heard, not yet kept";
    click("bKeep");
    EXPECT_EQ(encodeVoice(voice()), encodeVoice(expected));
}
