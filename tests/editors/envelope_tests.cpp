// SPDX-License-Identifier: GPL-3.0-or-later
// Envelope shapes, preset rows, wave names and the envelope picture's pixels.
#include "editors/awmwaves.h"
#include "editors/envelope.h"
#include "editors/presettables.h"

#include <QCryptographicHash>
#include <QImage>
#include <gtest/gtest.h>

namespace {

const QColor grey(192, 192, 192);
const QColor blue(0, 0, 128);
const QColor red(255, 0, 0);

OperatorBlock block(int initial, int attack, int decay1, int decay2,   // shown levels
                    int ra, int r1, int r2, int rr)
{
    OperatorBlock b{};
    b.levelInitial = uint8_t(127 - initial);
    b.levelAttack = uint8_t(127 - attack);
    b.levelDecay1 = uint8_t(127 - decay1);
    b.levelDecay2 = uint8_t(127 - decay2);
    b.rateAttack = uint8_t(ra);
    b.rateDecay1 = uint8_t(r1);
    b.rateDecay2 = uint8_t(r2);
    b.rateRelease = uint8_t(rr);
    return b;
}

Voice plainVoice()
{
    Voice v{};
    resetVoice(v);
    return v;
}

QImage drawn(TEnvelopePicture& picture, const OperatorBlock* modulator, const OperatorBlock& carrier,
             const Voice& v)
{
    picture.draw(modulator, carrier, v);
    return picture.bitmap().toImage();
}

// Columns in [from, to] of a row that are not background.
int inkedColumns(const QImage& img, int y, int from, int to)
{
    int n = 0;
    for (int x = from; x <= to; ++x)
        n += img.pixelColor(x, y) != grey;
    return n;
}

}   // namespace

TEST(EnvelopeShapes, ApplyWritesStoredLevelsRatesAndScalingsButNotTheDelayFlag)
{
    OperatorBlock b{};
    b.envelopeDelayOn = 1;
    b.level = 33;
    applyEnvelopeShape(b, 6);   // "Strings"
    EXPECT_EQ(b.levelInitial, 127 - 87);
    EXPECT_EQ(b.levelAttack, 0);
    EXPECT_EQ(b.levelDecay1, 0);
    EXPECT_EQ(b.levelDecay2, 0);
    EXPECT_EQ(b.rateAttack, 28);
    EXPECT_EQ(b.rateRelease, 26);
    EXPECT_EQ(b.levelScaling, 1);
    EXPECT_EQ(b.rateScaling, 1);
    EXPECT_EQ(b.envelopeDelayOn, 1);
    EXPECT_EQ(b.level, 33);
    updatePeakStage(b);
    EXPECT_EQ(b.peakStage, 1);

    applyEnvelopeShape(b, 2);   // "Piano": decay 2 to silence
    EXPECT_EQ(b.levelDecay2, 127);
    EXPECT_EQ(b.rateScaling, 3);

    const OperatorBlock before = b;
    applyEnvelopeShape(b, 0);   // "User" and "Preset" are no shapes
    applyEnvelopeShape(b, 1);
    applyEnvelopeShape(b, 8);
    EXPECT_EQ(std::memcmp(&before, &b, sizeof b), 0);
}

TEST(EnvelopeShapes, AllSixNamedShapesAsDocumented)
{
    // Shown form, in the documented column order: initial level, attack rate, attack
    // level, decay 1 rate, decay 1 level, decay 2 rate, decay 2 level, release rate,
    // level scaling, rate scaling.
    const int documented[6][10] = {
        {87, 63, 127, 20, 119, 14, 0, 32, 1, 3},   // Piano
        {0, 63, 127, 24, 117, 19, 0, 35, 1, 1},    // Guitar
        {87, 63, 127, 32, 79, 28, 0, 32, 1, 1},    // Pluck
        {0, 44, 127, 20, 119, 0, 119, 40, 1, 1},   // Brass
        {87, 28, 127, 0, 127, 0, 127, 26, 1, 1},   // Strings
        {0, 63, 127, 0, 127, 0, 127, 42, 1, 1},    // Organ
    };
    for (int type = 2; type <= 7; ++type) {
        SCOPED_TRACE(envelopeTypeNames().at(type).toStdString());
        const int* d = documented[type - 2];
        OperatorBlock b{};
        applyEnvelopeShape(b, type);
        EXPECT_EQ(b.levelInitial, 127 - d[0]);
        EXPECT_EQ(b.rateAttack, d[1]);
        EXPECT_EQ(b.levelAttack, 127 - d[2]);
        EXPECT_EQ(b.rateDecay1, d[3]);
        EXPECT_EQ(b.levelDecay1, 127 - d[4]);
        EXPECT_EQ(b.rateDecay2, d[5]);
        EXPECT_EQ(b.levelDecay2, 127 - d[6]);
        EXPECT_EQ(b.rateRelease, d[7]);
        EXPECT_EQ(b.levelScaling, d[8]);
        EXPECT_EQ(b.rateScaling, d[9]);
    }
}

TEST(AWMPresetTable, EveryRowIsThereWithTheDocumentedRows)
{
    EnvelopeRow rows[awmWaveCount]{};
    EXPECT_EQ(parseEnvelopeTable(awm_preset_envelopes_csv, rows, awmWaveCount), awmWaveCount);
    const EnvelopeRow* t = awmWaveEnvelopes();
    EXPECT_EQ(std::memcmp(rows, t, sizeof rows), 0);
    struct Documented {
        int wave;
        EnvelopeRow row;
    };
    const Documented documented[] = {
        {0, {87, 127, 127, 0, 0, 63, 0, 13, 30, 2}},   {5, {0, 123, 123, 123, 0, 63, 0, 0, 33, 0}},
        {38, {0, 125, 122, 122, 0, 32, 16, 0, 26, 0}}, {48, {0, 127, 119, 0, 0, 63, 30, 22, 22, 0}},
        {127, {0, 123, 123, 123, 0, 63, 0, 0, 33, 0}},
    };
    for (const Documented& d : documented)
        EXPECT_EQ(std::memcmp(&t[d.wave], &d.row, sizeof d.row), 0) << "wave " << d.wave;
    for (int w = 0; w < awmWaveCount; ++w)
        EXPECT_EQ(t[w].levelScaling, 0) << "wave " << w;
}

TEST(AWMPresetTable, ParserSkipsBrokenLines)
{
    EnvelopeRow rows[4]{};
    const char csv[] = "wave,a,b,c,d,e,f,g,h,i,j\n"
                       "0,1,2,3,4,5,6,7,8,9,7\n"
                       "1,1,2,3\n"                   // too short
                       "2,128,2,3,4,5,6,7,8,9,7\n"   // level out of range
                       "3,1,2,3,4,5,6,7,8,64,7\n"    // rate out of range
                       "9,1,2,3,4,5,6,7,8,9,7\n"     // past the table
                       "x,1,2,3,4,5,6,7,8,9,7\n";
    EXPECT_EQ(parseEnvelopeTable(csv, rows, 4), 1);
    EXPECT_EQ(rows[0].releaseRate, 9);
    EXPECT_EQ(rows[2].initialLevel, 0);
}

TEST(AWMWaveNames, BothModelsWithTheSequenceWavesAndFifteenDifferences)
{
    const QStringList& sy22 = awmWaveNames(0);
    const QStringList& sy35 = awmWaveNames(1);
    ASSERT_EQ(sy22.size(), 128);
    ASSERT_EQ(sy35.size(), 128);
    EXPECT_EQ(&awmWaveNames(7), &sy35);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(sy22[119 + i], QStringLiteral("SEQ %1").arg(i + 1));
        EXPECT_EQ(sy35[119 + i], QStringLiteral("SEQ %1").arg(i + 1));
    }
    EXPECT_EQ(sy22[0], "Piano");
    EXPECT_EQ(sy22[8], "Reed");
    EXPECT_EQ(sy22[45], "Ooo!");
    EXPECT_EQ(sy22[117], "Sin 8'");
    EXPECT_EQ(sy22[118], "Sin8'+4'");
    EXPECT_EQ(sy22[127], "Drum Set");
    const QMap<int, QString> sy35Only = {
        {8, "Bandneon"},  {14, "Bras Ens"}, {45, "Choir pa"}, {50, "Tom"},      {54, "ThumbStr"},
        {55, "Syn Pad"},  {57, "SynLead1"}, {58, "SynLead2"}, {60, "Sweep"},    {61, "HumanAtk"},
        {64, "Pops Hit"}, {65, "NoisPad1"}, {66, "NoisPad2"}, {67, "NoisPad3"}, {71, "BottlOpn"},
    };
    for (int i = 0; i < 128; ++i) {
        if (sy35Only.contains(i))
            EXPECT_EQ(sy35[i], sy35Only[i]) << i;
        else
            EXPECT_EQ(sy35[i], sy22[i]) << i;
        EXPECT_FALSE(sy22[i].isEmpty());
    }
}

// Every name of both models as the synthesisers show them (a slip in one letter of one
// name changes the digest): the waveform menus list them so.
TEST(AWMWaveNames, EveryNameAsTheSynthesisersShowIt)
{
    const auto digest = [](int model) {
        return QCryptographicHash::hash(awmWaveNames(model).join(QLatin1Char('\n')).toLatin1(),
                                        QCryptographicHash::Sha1)
            .toHex();
    };
    EXPECT_EQ(digest(0), "abedcd4b58f718bed77720591550717c9aaada74");
    EXPECT_EQ(digest(1), "bcd404fd682a60fcfe01295180017fb1e9c2b8ea");
}

TEST(EnvelopeGeometry, ColumnsRowsAndClampedAdjustments)
{
    Voice v = plainVoice();
    OperatorBlock b = block(87, 127, 127, 0, 60, 10, 20, 3);
    v.attackAdjust = 10;
    v.releaseAdjust = -10;
    EnvelopePolyline adjusted = envelopePolyline(b, v, true, 6, 133);
    ASSERT_EQ(adjusted.count, 5);
    EXPECT_EQ(adjusted.x[0], 1);
    EXPECT_EQ(adjusted.y[0], 40 + 6);
    EXPECT_EQ(adjusted.x[1], 1);   // a = 63 after clamping
    EXPECT_EQ(adjusted.y[1], 6);
    EXPECT_EQ(adjusted.x[2], 1 + 53);
    EXPECT_EQ(adjusted.x[3], 1 + 53 + 43);
    EXPECT_EQ(adjusted.x[4], 1 + 53 + 43 + 63);   // r = 0 after clamping
    EXPECT_EQ(adjusted.y[4], 133);
    EnvelopePolyline plain = envelopePolyline(b, v, false, 4, 131);
    EXPECT_EQ(plain.x[1], 1 + 3);
    EXPECT_EQ(plain.x[4], 1 + 3 + 53 + 43 + 60);
    EXPECT_EQ(plain.y[1], 4);

    b.envelopeDelayOn = 1;
    v.envelopeDelay = 127;   // starts in column 1, as without delay
    EXPECT_EQ(envelopePolyline(b, v, true, 6, 133).count, 5);
    v.envelopeDelay = 100;
    EnvelopePolyline delayed = envelopePolyline(b, v, true, 6, 133);
    ASSERT_EQ(delayed.count, 6);
    EXPECT_EQ(delayed.x[1], 28);
    EXPECT_EQ(delayed.y[1], delayed.y[0]);
}

TEST(EnvelopePicture, AllRatesFastIsAVerticalLineInColumnOne)
{
    TEnvelopePicture picture(295, 139, 6, 133);
    EXPECT_EQ(picture.toolTip(), QStringLiteral("Visual representation of the envelope"));
    EXPECT_EQ(picture.size(), QSize(295, 139));
    const Voice v = plainVoice();
    const QImage img = drawn(picture, nullptr, block(0, 127, 127, 0, 63, 63, 63, 63), v);
    ASSERT_EQ(img.size(), QSize(295, 139));
    for (int y = 8; y < 132; ++y) {
        EXPECT_EQ(img.pixelColor(1, y), blue) << y;
        EXPECT_EQ(inkedColumns(img, y, 3, 294), 0) << y;
    }
    EXPECT_EQ(img.pixelColor(200, 70), grey);
    EXPECT_EQ(inkedColumns(img, 137, 0, 294), 0);   // nothing below the bottom line
}

TEST(EnvelopePicture, DelayZeroStartsFlatUpToColumn128)
{
    TEnvelopePicture picture(295, 139, 6, 133);
    Voice v = plainVoice();
    v.envelopeDelay = 0;
    OperatorBlock b = block(60, 127, 127, 127, 63, 63, 63, 63);
    b.envelopeDelayOn = 1;
    const QImage img = drawn(picture, nullptr, b, v);
    const int y0 = 127 - 60 + 6;
    for (int x = 1; x <= 128; ++x)
        EXPECT_EQ(img.pixelColor(x, y0), blue) << x;
    EXPECT_EQ(img.pixelColor(128, 100), blue);   // then straight up and down at 128
    EXPECT_EQ(inkedColumns(img, 100, 0, 126), 0);
    EXPECT_EQ(inkedColumns(img, y0, 131, 294), 0);
}

TEST(EnvelopePicture, CurvePastTheRightEdgeIsClipped)
{
    TEnvelopePicture picture(295, 139, 6, 133);
    Voice v = plainVoice();
    v.envelopeDelay = 0;
    OperatorBlock b = block(0, 127, 64, 0, 0, 0, 0, 0);
    b.envelopeDelayOn = 1;
    const EnvelopePolyline line = envelopePolyline(b, v, true, 6, 133);
    EXPECT_EQ(line.x[line.count - 1], 380);
    const QImage img = drawn(picture, nullptr, b, v);
    // The attack reaches the top at column 191; decay 1 heads down towards
    // (254, 69); decay 2 leaves the picture on its way to (317, 133).
    EXPECT_EQ(img.pixelColor(191, 6), blue);
    EXPECT_GT(inkedColumns(img, 69, 250, 258), 0);
    int lastColumnInk = 0;
    for (int y = 0; y < 139; ++y)
        lastColumnInk += img.pixelColor(294, y) == blue;
    EXPECT_GT(lastColumnInk, 0);
}

TEST(EnvelopePicture, ModulatorThinRedUnderTheCarrierAndFullRepaint)
{
    TEnvelopePicture picture(287, 135, 4, 131);
    Voice v = plainVoice();
    v.attackAdjust = -63;   // the carrier's attack slows; the modulator's does not
    const OperatorBlock mod = block(0, 127, 127, 0, 63, 63, 63, 63);
    const OperatorBlock car = block(0, 127, 127, 0, 63, 63, 63, 63);
    QImage img = drawn(picture, &mod, car, v);
    EXPECT_EQ(img.pixelColor(1, 70), red);    // modulator: vertical in column 1
    EXPECT_EQ(img.pixelColor(64, 4), blue);   // carrier reaches the top at 64
    EXPECT_EQ(img.pixelColor(64, 100), blue);
    // Drawing again without the modulator leaves no trace of it.
    img = drawn(picture, nullptr, car, v);
    EXPECT_EQ(img.pixelColor(1, 70), grey);
}
