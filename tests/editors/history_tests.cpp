// SPDX-License-Identifier: GPL-3.0-or-later
// Undo, redo and compare across the four editors, the element commands, and
// the editors' window rules: the wheel, pasted envelope values, tooltips, places.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "editors/awmedit.h"
#include "editors/controls.h"
#include "editors/editcommands.h"
#include "editors/elementops.h"
#include "editors/fmedit.h"
#include "editors/vectoredit.h"
#include "editors/namebox.h"
#include "editors/voicecommonedit.h"
#include "editortest.h"
#include "voice/voice.h"
#include "voice/voicefields.h"

namespace {

bool sameBytes(const Voice& a, const Voice& b)
{
    return std::memcmp(&a, &b, sizeof(Voice)) == 0;
}

void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

QPoint handleCentre(QSlider* s)
{
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.orientation = s->orientation();
    opt.minimum = s->minimum();
    opt.maximum = s->maximum();
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.upsideDown = s->orientation() == Qt::Vertical ? !s->invertedAppearance() : s->invertedAppearance();
    return s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s).center();
}

// Drags a vertical slider's handle by dy pixels, one pixel per move.
void drag(QSlider* s, int dy)
{
    QPoint at = handleCentre(s);
    mouse(s, QEvent::MouseButtonPress, at, Qt::LeftButton);
    for (int i = 0; i < std::abs(dy); ++i) {
        at.ry() += dy > 0 ? 1 : -1;
        mouse(s, QEvent::MouseMove, at, Qt::LeftButton);
    }
    mouse(s, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

void wheel(QWidget* w)
{
    const QPoint at(w->width() / 2, w->height() / 2);
    QWheelEvent event(QPointF(at), QPointF(w->mapToGlobal(at)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

class HistoryTest : public ::testing::Test, public EditorBench {
protected:
    // A random voice whose peak stages agree with its levels, as the synthesiser's do.
    void realisticVoice(uint32_t seed)
    {
        randomVoice(voice, seed);
        for (VoiceElement& e : voice.element) {
            updatePeakStage(e.carrier);
            updatePeakStage(e.modulator);
        }
    }
    void SetUp() override
    {
        realisticVoice(7);
        awm = std::make_unique<TAWMEdit>(commands);
        fm = std::make_unique<TFMEdit>(commands);
        common = std::make_unique<TVoiceCommonEdit>(commands);
        vector = std::make_unique<TVectorEdit>(commands);
        document.reshow();
        document.resetHistory();
    }
    void TearDown() override
    {
        vector.reset();
        common.reset();
        fm.reset();
        awm.reset();
    }

    unsigned long sends() const { return voiceSends; }

    static void showActive(QWidget* w)
    {
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }
    static void pick(TPickList* list, int index)
    {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    static QAction* menuItem(QPushButton* button, const QString& caption)
    {
        for (QAction* a : button->menu()->actions())
            if (a->text() == caption)
                return a;
        return nullptr;
    }

public:
    std::unique_ptr<TAWMEdit> awm;
    std::unique_ptr<TFMEdit> fm;
    std::unique_ptr<TVoiceCommonEdit> common;
    std::unique_ptr<TVectorEdit> vector;
};

TEST_F(HistoryTest, UndoOfEachKindOfStepRestoresTheVoiceByteForByteAndSendsOnce)
{
    struct Kind {
        const char* what;
        std::function<void(HistoryTest&)> act;
        const char* name;
    };
    const Kind kinds[] = {
        {"typed box entry",
         [](HistoryTest& t) {
             showActive(t.awm.get());
             child<TNumberBox>(t.awm.get(), "tfPitch")->setFocus();
             child<TNumberBox>(t.awm.get(), "tfPitch")->selectAll();
             QTest::keyClicks(child<TNumberBox>(t.awm.get(), "tfPitch"), QStringLiteral("-11"));
             QTest::keyClick(child<TNumberBox>(t.awm.get(), "tfPitch"), Qt::Key_Return);
         },
         "Pitch"},
        {"spinner release",
         [](HistoryTest& t) {
             t.voice.element[1].feedback = 3;
             t.fm->refreshFromVoice();
             t.document.history.reset(t.voice);
             QTest::mouseClick(child<TUpDown>(t.fm.get(), "udFeedback")->upButton(), Qt::LeftButton);
         },
         "Feedback"},
        {"list pick with its wave setup",
         [](HistoryTest& t) { pick(child<TPickList>(t.fm.get(), "cbWaveform"), 17); }, "Waveform"},
        {"check box", [](HistoryTest& t) { child<QCheckBox>(t.common.get(), "cbModWheelPM")->click(); },
         "Mod wheel PM"},
        {"scroll bar",
         [](HistoryTest& t) {
             child<QScrollBar>(t.awm.get(), "sbPan")
                 ->setValue(child<QScrollBar>(t.awm.get(), "sbPan")->value() == 0 ? 3 : 0);
         },
         "Pan"},
        {"slider drag",
         [](HistoryTest& t) {
             t.vector->show();
             drag(child<TSlider>(t.vector.get(), "abStep1"), 20);
         },
         "Level vector"},
        {"name edit",
         [](HistoryTest& t) {
             showActive(t.common.get());
             child<TNameBox>(t.common.get(), "tfVoiceName")->setFocus();
             child<TNameBox>(t.common.get(), "tfVoiceName")->selectAll();
             QTest::keyClicks(child<TNameBox>(t.common.get(), "tfVoiceName"), QStringLiteral("Dr.Kit"));
             child<TNumberBox>(t.common.get(), "tfBendRange")->setFocus();
         },
         "Voice name"},
        {"element copy",
         [](HistoryTest& t) {
             menuItem(child<QPushButton>(t.awm.get(), "bElement"), QStringLiteral("Copy A to C"))->trigger();
         },
         "Copy A to C"},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.what);
        realisticVoice(11);
        voice.element[1].waveform = 3;
        document.reshow();
        document.history.reset(voice);
        kind.act(*this);
        const Voice before = document.history.reference();
        const Voice after = voice;
        ASSERT_FALSE(sameVoice(before, after));
        EXPECT_EQ(document.history.undoCount(), 1u);
        EXPECT_EQ(document.history.undoName(), kind.name);

        const unsigned long sent = sends();
        commands.undo();
        EXPECT_TRUE(sameBytes(voice, before));
        EXPECT_EQ(sends(), sent + 1);
        EXPECT_EQ(document.history.redoName(), kind.name);
        commands.redo();
        EXPECT_TRUE(sameBytes(voice, after));
        EXPECT_EQ(sends(), sent + 2);
    }
}

TEST_F(HistoryTest, RedoAfterUndoAndANewEditClearsRedo)
{
    const Voice start = voice;
    pick(child<TPickList>(fm.get(), "cbWaveform"), 5);
    const Voice first = voice;
    child<QCheckBox>(fm.get(), "cbCarrierAM")->click();
    EXPECT_EQ(document.history.undoCount(), 2u);
    commands.undo();
    commands.undo();
    EXPECT_TRUE(sameBytes(voice, start));
    EXPECT_FALSE(document.history.canUndo());
    commands.redo();
    EXPECT_TRUE(sameBytes(voice, first));
    EXPECT_TRUE(document.history.canRedo());
    // The editors show the voice put back: a new edit starts from it.
    EXPECT_EQ(child<TPickList>(fm.get(), "cbWaveform")->currentIndex(), 5);
    child<QCheckBox>(common.get(), "cbAftertouchAM")->click();
    EXPECT_FALSE(document.history.canRedo());
    EXPECT_EQ(document.history.undoCount(), 2u);
    EXPECT_EQ(commands.redoCaption(), QStringLiteral("&Redo"));
    EXPECT_EQ(commands.undoCaption(), QStringLiteral("&Undo Aftertouch AM"));
}

TEST_F(HistoryTest, ADragIsOneStepHoweverManyPositionsItSends)
{
    vector->show();
    const unsigned long sent = sends();
    drag(child<TSlider>(vector.get(), "abStep4"), 40);
    EXPECT_GT(sends(), sent + 3);
    EXPECT_EQ(document.history.undoCount(), 1u);
    drag(child<TSlider>(vector.get(), "abStep4"), -10);
    EXPECT_EQ(document.history.undoCount(), 2u);
}

TEST_F(HistoryTest, TypingIsOneStepUntilTheBoxIsLeftAndCtrlZInTheBoxUndoesTheVoice)
{
    showActive(fm.get());
    const int8_t pitch = voice.element[1].pitch;
    child<TNumberBox>(fm.get(), "tfPitch")->setFocus();
    child<TNumberBox>(fm.get(), "tfPitch")->selectAll();
    QTest::keyClicks(child<TNumberBox>(fm.get(), "tfPitch"), QStringLiteral("-12"));
    EXPECT_EQ(voice.element[1].pitch, -12);
    EXPECT_TRUE(document.history.pending());
    EXPECT_EQ(document.history.undoCount(), 0u);
    QTest::keyClick(child<TNumberBox>(fm.get(), "tfPitch"), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(voice.element[1].pitch, pitch);
    EXPECT_EQ(child<TNumberBox>(fm.get(), "tfPitch")->text(), QString::number(pitch));
    QTest::keyClick(child<TNumberBox>(fm.get(), "tfPitch"), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(voice.element[1].pitch, -12);
}

TEST_F(HistoryTest, WhileTypingRedoIsNotOfferedForLeavingTheBoxMakesANewStep)
{
    showActive(fm.get());
    pick(child<TPickList>(fm.get(), "cbWaveform"), 5);
    commands.undo();
    ASSERT_TRUE(document.history.canRedo());
    bool redoOffered = true;
    QObject::connect(&commands, &TEditCommands::historyChanged, fm.get(),
                     [&] { redoOffered = document.history.canRedo(); });
    TNumberBox* pitch = child<TNumberBox>(fm.get(), "tfPitch");
    pitch->setFocus();
    pitch->selectAll();
    QTest::keyClicks(pitch, QStringLiteral("-12"));
    ASSERT_TRUE(document.history.pending());
    EXPECT_FALSE(redoOffered);
    EXPECT_TRUE(document.history.canUndo());
    EXPECT_EQ(commands.redoCaption(), QStringLiteral("&Redo"));
}

TEST_F(HistoryTest, CompareSendsBothVoicesAndTheFirstEditStartsFromTheOneShown)
{
    const Voice loaded = voice;
    child<QCheckBox>(fm.get(), "cbCarrierPM")->click();
    child<QScrollBar>(awm.get(), "sbLevel")
        ->setValue(child<QScrollBar>(awm.get(), "sbLevel")->value() == 5 ? 6 : 5);
    const Voice edited = voice;

    unsigned long sent = sends();
    settings.autoSend = false;   // compare sends whatever the switch says
    child<QPushButton>(awm.get(), "bCompare")->click();
    EXPECT_TRUE(sameBytes(voice, loaded));
    EXPECT_EQ(sends(), sent + 1);
    EXPECT_TRUE(child<QPushButton>(fm.get(), "bCompare")->isChecked());
    EXPECT_EQ(child<QCheckBox>(fm.get(), "cbCarrierPM")->isChecked(), loaded.element[1].carrierPM != 0);
    child<QPushButton>(fm.get(), "bCompare")->click();
    EXPECT_TRUE(sameBytes(voice, edited));
    EXPECT_EQ(sends(), sent + 2);
    EXPECT_FALSE(child<QPushButton>(awm.get(), "bCompare")->isChecked());

    // Editing while comparing: from the loaded voice, and the edited one is one undo
    // away, under the name of the edit; redo gives the new edit back.
    commands.compare();
    child<QCheckBox>(common.get(), "cbModWheelAM")->click();
    EXPECT_FALSE(document.history.comparing());
    EXPECT_FALSE(child<QPushButton>(common.get(), "bCompare")->isChecked());
    Voice expected = loaded;
    expected.modWheelAM = loaded.modWheelAM ? 0 : 1;
    EXPECT_TRUE(sameVoice(voice, expected));
    EXPECT_EQ(document.history.undoName(), changeName(loaded, expected));
    commands.undo();
    EXPECT_TRUE(sameVoice(voice, edited));
    commands.redo();
    EXPECT_TRUE(sameVoice(voice, expected));
}

TEST_F(HistoryTest, LoadsAreStepsAndSetWhatCompareReturnsTo)
{
    pick(child<TPickList>(fm.get(), "cbWaveform"), 9);
    const Voice edited = voice;
    Voice other;
    randomVoice(other, 99);
    voice = other;
    document.history.loaded("Load voice", voice);
    EXPECT_EQ(commands.undoCaption(), QStringLiteral("&Undo Load voice"));
    commands.undo();
    EXPECT_TRUE(sameBytes(voice, edited));
    commands.redo();
    commands.compare();
    EXPECT_TRUE(sameBytes(voice, other));
}

TEST_F(HistoryTest, ElementCommandsSendOnceAndSwapTwiceGivesTheOriginal)
{
    const Voice start = voice;
    unsigned long sent = sends();
    menuItem(child<QPushButton>(fm.get(), "bElement"), QStringLiteral("Swap B and D"))->trigger();
    EXPECT_EQ(sends(), sent + 1);
    EXPECT_EQ(std::memcmp(&voice.element[1], &start.element[3], sizeof(VoiceElement)), 0);
    EXPECT_EQ(std::memcmp(&voice.element[3], &start.element[1], sizeof(VoiceElement)), 0);
    swapElements(voice, 1, 3);
    EXPECT_TRUE(sameBytes(voice, start));
    swapElements(voice, 0, 1);   // an AWM and an FM element never trade places
    EXPECT_TRUE(sameBytes(voice, start));

    // The envelope commands act on the element shown; the carrier taken from the
    // modulator becomes "User".
    pick(child<TPickList>(fm.get(), "cbElement"), 1);
    voice.element[3].envelopeType = 1;
    menuItem(child<QPushButton>(fm.get(), "bElement"), QStringLiteral("Modulator envelope to carrier"))
        ->trigger();
    const OperatorBlock& c = voice.element[3].carrier;
    const OperatorBlock& m = voice.element[3].modulator;
    EXPECT_EQ(c.levelAttack, m.levelAttack);
    EXPECT_EQ(c.rateRelease, m.rateRelease);
    EXPECT_EQ(c.levelScaling, m.levelScaling);
    EXPECT_EQ(c.level, start.element[3].carrier.level);   // the operator level stays
    EXPECT_EQ(voice.element[3].envelopeType, 0);

    sent = sends();
    menuItem(child<QPushButton>(awm.get(), "bElement"), QStringLiteral("Initialise C"))->trigger();
    Voice reset;
    resetVoice(reset);
    EXPECT_EQ(std::memcmp(&voice.element[2], &reset.element[2], sizeof(VoiceElement)), 0);
    EXPECT_EQ(sends(), sent + 1);
    EXPECT_EQ(document.history.undoName(), "Initialise C");
}

// A voice as it came in, peak stages that disagree with the levels included: no
// refresh, element switch or swap and undo changes a byte of it.
TEST_F(HistoryTest, RefreshesLeaveTheVoiceAsLoadedAndUndoOfASwapGivesItsBytesBack)
{
    for (VoiceElement& e : voice.element) {
        e.carrier.peakStage = static_cast<uint8_t>((e.carrier.peakStage + 1) & 3);
        e.modulator.peakStage = static_cast<uint8_t>((e.modulator.peakStage + 2) & 3);
    }
    const Voice loaded = voice;
    document.history.reset(voice);
    document.reshow();
    pick(child<TPickList>(awm.get(), "cbElement"), 1);
    pick(child<TPickList>(fm.get(), "cbElement"), 1);
    pick(child<TPickList>(fm.get(), "cbOperator"), 1);
    document.reshow();
    EXPECT_TRUE(sameBytes(voice, loaded));
    EXPECT_FALSE(document.history.canUndo());

    menuItem(child<QPushButton>(awm.get(), "bElement"), QStringLiteral("Swap A and C"))->trigger();
    menuItem(child<QPushButton>(fm.get(), "bElement"), QStringLiteral("Swap B and D"))->trigger();
    commands.undo();
    commands.undo();
    EXPECT_TRUE(sameBytes(voice, loaded));
}

TEST_F(HistoryTest, AWheelOverAControlWithoutTheFocusChangesNothing)
{
    showActive(fm.get());
    child<QPushButton>(fm.get(), "bSendVoice")->setFocus();
    const Voice start = voice;
    const unsigned long sent = sends();
    for (QWidget* w : std::initializer_list<QWidget*>{
             child<TPickList>(fm.get(), "cbWaveform"), child<TSlider>(fm.get(), "tbLFOWaveform"),
             child<QScrollBar>(fm.get(), "sbPan"), child<QScrollBar>(awm.get(), "sbLevel"),
             child<TPickList>(awm.get(), "cbEnvType"), child<TSlider>(vector.get(), "abStep1")})
        wheel(w);
    EXPECT_TRUE(sameBytes(voice, start));
    EXPECT_EQ(sends(), sent);
    EXPECT_EQ(child<TPickList>(fm.get(), "cbWaveform")->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(child<QScrollBar>(fm.get(), "sbLevel")->focusPolicy(), Qt::StrongFocus);

    // With the focus the wheel still steps the control.
    child<QScrollBar>(fm.get(), "sbPan")->setFocus();
    ASSERT_TRUE(child<QScrollBar>(fm.get(), "sbPan")->hasFocus());
    wheel(child<QScrollBar>(fm.get(), "sbPan"));
    EXPECT_NE(voice.element[1].pan, start.element[1].pan);
    EXPECT_EQ(sends(), sent + 1);
}

TEST_F(HistoryTest, PastingIntoAnAWMLevelOrRateMakesTheEnvelopeUser)
{
    voice.element[0].envelopeType = 1;
    voice.element[0].carrier.rateAttack = 10;
    awm->refreshFromVoice();
    child<TNumberBox>(awm.get(), "tfRateAttack")->setText(QStringLiteral("33"));   // as a paste writes it
    EXPECT_EQ(voice.element[0].carrier.rateAttack, 33);
    EXPECT_EQ(voice.element[0].envelopeType, 0);
    EXPECT_EQ(child<TPickList>(awm.get(), "cbEnvType")->currentIndex(), 0);
    // A refresh shows the values without making anything "User".
    voice.element[0].envelopeType = 1;
    voice.element[0].carrier.levelAttack = 20;
    awm->refreshFromVoice();
    EXPECT_EQ(voice.element[0].envelopeType, 1);
}

// The tooltips name the range from the field table, as the window texts give it.
TEST_F(HistoryTest, TooltipsNameTheRangesOfTheFieldTable)
{
    const std::pair<QWidget*, const char*> tips[] = {
        {child<TNumberBox>(awm.get(), "tfPitch"),
         "Shifts the pitch of the element in semi-tones (-12 to + 12)"},
        {child<TUpDown>(fm.get(), "udPitch"), "Shifts the pitch of the element in semi-tones (-12 to + 12)"},
        {child<TNumberBox>(awm.get(), "tfLFODelay"), "Sets the time before the LFO comes in (0 to 127)"},
        {child<TNumberBox>(fm.get(), "tfLFODelay"), "Sets the time before the LFO comes in (0 to 255)"},
        {child<TNumberBox>(fm.get(), "tfLFORate"), "Sets the rate at which the LFO fades in (0 to 127)"},
        {child<TUpDown>(awm.get(), "udRateRelease"),
         "Sets the rate at which the volume falls from decay 2 level to silence (0 to 63)"},
        {child<TNumberBox>(fm.get(), "tfOperatorLevel"),
         "Sets the level of the selected operator (carrier level affects volume, "
         "modulator level affects timbre)"},
        {child<TNumberBox>(common.get(), "tfAftertouchPitch"),
         "Sets the maximum aftertouch pitch bend in semitones (-12 to 12)"},
        {child<TUpDown>(common.get(), "udRelease"),
         "Sets the amount by which to alter each element's release rate (-64 to 63)"},
    };
    for (const auto& [control, tip] : tips)
        EXPECT_EQ(control->toolTip(), QString::fromUtf8(tip));
    EXPECT_TRUE(child<TNumberBox>(fm.get(), "tfEnvelopeDelay")->toolTip().isEmpty());
}

TEST_F(HistoryTest, CloseAndTheCloseBoxOnlyHideAndTheEditorReopensWhereItWasLeft)
{
    for (TEditorWindow* editor :
         std::initializer_list<TEditorWindow*>{awm.get(), fm.get(), common.get(), vector.get()}) {
        editor->show();
        QTest::mouseClick(child<QPushButton>(editor, "bClose"), Qt::LeftButton);
        ASSERT_TRUE(editor->isHidden());
        editor->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor));
        editor->move(123, 87);
        QTest::qWait(20);
        const QPoint left = editor->pos();
        editor->close();
        ASSERT_TRUE(editor->isHidden());
        editor->move(0, 0);   // as a window manager may place a window shown anew
        editor->show();
        EXPECT_EQ(editor->pos(), left);
        editor->hide();
    }
}

}   // namespace
