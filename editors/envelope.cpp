// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/envelope.h"

#include <QPainter>
#include <QPen>
#include <QPolygon>

#include <algorithm>

QStringList envelopeTypeNames()
{
    return {QStringLiteral("User"),    QStringLiteral("Preset"), QStringLiteral("Piano"),
            QStringLiteral("Guitar"),  QStringLiteral("Pluck"),  QStringLiteral("Brass"),
            QStringLiteral("Strings"), QStringLiteral("Organ")};
}

// Shown form: levels (initial, attack, decay 1, decay 2), level scaling,
// rates (attack, decay 1, decay 2, release), rate scaling.
const EnvelopeRow envelopeShapes[8] = {
    {},
    {},
    {87, 127, 119, 0, 1, 63, 20, 14, 32, 3},   // Piano
    {0, 127, 117, 0, 1, 63, 24, 19, 35, 1},    // Guitar
    {87, 127, 79, 0, 1, 63, 32, 28, 32, 1},    // Pluck
    {0, 127, 119, 119, 1, 44, 20, 0, 40, 1},   // Brass
    {87, 127, 127, 127, 1, 28, 0, 0, 26, 1},   // Strings
    {0, 127, 127, 127, 1, 63, 0, 0, 42, 1},    // Organ
};

void applyEnvelopeRow(OperatorBlock& block, const EnvelopeRow& row)
{
    auto stored = [](uint8_t shown) { return static_cast<uint8_t>(127 - std::min<int>(shown, 127)); };
    block.levelInitial = stored(row.initialLevel);
    block.levelAttack = stored(row.attackLevel);
    block.levelDecay1 = stored(row.decay1Level);
    block.levelDecay2 = stored(row.decay2Level);
    block.levelScaling = row.levelScaling;
    block.rateAttack = row.attackRate;
    block.rateDecay1 = row.decay1Rate;
    block.rateDecay2 = row.decay2Rate;
    block.rateRelease = row.releaseRate;
    block.rateScaling = row.rateScaling;
}

void applyEnvelopeShape(OperatorBlock& block, int type)
{
    if (type < 2 || type > 7)
        return;   // "User" and "Preset" are no shapes
    applyEnvelopeRow(block, envelopeShapes[type]);
}

int parseEnvelopeTable(const char* csv, EnvelopeRow* rows, int count)
{
    const QStringList lines = QString::fromLatin1(csv).split(QLatin1Char('\n'));
    static const int maxima[10] = {127, 127, 127, 127, 15, 63, 63, 63, 63, 7};
    int filled = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines[i].trimmed().split(QLatin1Char(','));
        if (cells.size() != 11)
            continue;
        int values[11];
        bool good = true;
        for (int c = 0; c < 11 && good; ++c) {
            values[c] = cells[c].trimmed().toInt(&good);
            if (good && (values[c] < 0 || (c > 0 && values[c] > maxima[c - 1])))
                good = false;
        }
        if (!good || values[0] >= count)
            continue;
        EnvelopeRow& row = rows[values[0]];
        row.initialLevel = static_cast<uint8_t>(values[1]);
        row.attackLevel = static_cast<uint8_t>(values[2]);
        row.decay1Level = static_cast<uint8_t>(values[3]);
        row.decay2Level = static_cast<uint8_t>(values[4]);
        row.levelScaling = static_cast<uint8_t>(values[5]);
        row.attackRate = static_cast<uint8_t>(values[6]);
        row.decay1Rate = static_cast<uint8_t>(values[7]);
        row.decay2Rate = static_cast<uint8_t>(values[8]);
        row.releaseRate = static_cast<uint8_t>(values[9]);
        row.rateScaling = static_cast<uint8_t>(values[10]);
        ++filled;
    }
    return filled;
}

EnvelopePolyline envelopePolyline(const OperatorBlock& block, const Voice& v, bool withAdjustments, int d,
                                  int b)
{
    const int x0 = block.envelopeDelayOn ? 128 - v.envelopeDelay : 1;
    int a = block.rateAttack;
    int r = block.rateRelease;
    if (withAdjustments) {
        a = std::clamp(a + v.attackAdjust, 0, 63);
        r = std::clamp(r + v.releaseAdjust, 0, 63);
    }
    const int x1 = x0 + 63 - a;
    const int x2 = x1 + 63 - block.rateDecay1;
    const int x3 = x2 + 63 - block.rateDecay2;
    const int x4 = x3 + 63 - r;
    const int y0 = block.levelInitial + d;

    EnvelopePolyline line{};
    auto add = [&line](int x, int y) {
        line.x[line.count] = x;
        line.y[line.count] = y;
        ++line.count;
    };
    add(1, y0);
    if (x0 != 1)
        add(x0, y0);
    add(x1, block.levelAttack + d);
    add(x2, block.levelDecay1 + d);
    add(x3, block.levelDecay2 + d);
    add(x4, b);
    return line;
}

TEnvelopePicture::TEnvelopePicture(int width, int height, int d, int b, QWidget* parent)
    : QLabel(parent), picture(width, height), offset(d), bottom(b)
{
    setFixedSize(width, height);
    setContentsMargins(0, 0, 0, 0);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setToolTip(QStringLiteral("Visual representation of the envelope"));
    // The labels' stylesheet must not paint over or pad the bitmap.
    setStyleSheet(QStringLiteral("QLabel { background: rgb(192, 192, 192); border: none; padding: 0; }"));
    picture.fill(QColor(192, 192, 192));
    setPixmap(picture);
}

void TEnvelopePicture::draw(const OperatorBlock* modulator, const OperatorBlock& carrier, const Voice& v)
{
    picture.fill(QColor(192, 192, 192));
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing, false);
        auto curve = [&](const OperatorBlock& block, bool adjusted, const QPen& pen) {
            const EnvelopePolyline line = envelopePolyline(block, v, adjusted, offset, bottom);
            QPolygon points;
            for (int i = 0; i < line.count; ++i)
                points << QPoint(line.x[i], line.y[i]);
            painter.setPen(pen);
            painter.drawPolyline(points);
        };
        if (modulator)
            curve(*modulator, false, QPen(QColor(255, 0, 0), 1));
        QPen carrierPen(QColor(0, 0, 128), 2);
        carrierPen.setCapStyle(Qt::SquareCap);
        carrierPen.setJoinStyle(Qt::MiterJoin);
        curve(carrier, true, carrierPen);
    }
    setPixmap(picture);
}
