// SPDX-License-Identifier: GPL-3.0-or-later
// What the two element editors share about envelopes: the envelope types, the six
// named shapes, the per-waveform preset rows, and the envelope picture.
#pragma once

#include <cstdint>

#include <QLabel>
#include <QPixmap>
#include <QStringList>

#include "voice/voice.h"

// "User", "Preset", "Piano", "Guitar", "Pluck", "Brass", "Strings", "Organ".
QStringList envelopeTypeNames();

// One envelope in shown form (levels 0..127, 127 loudest), the column order of the
// preset tables: levels, level scaling, rates, rate scaling.
struct EnvelopeRow {
    uint8_t initialLevel, attackLevel, decay1Level, decay2Level;
    uint8_t levelScaling;
    uint8_t attackRate, decay1Rate, decay2Rate, releaseRate;
    uint8_t rateScaling;
};

// The six named shapes, indexed by envelope type 2..7 (rows 0 and 1 unused).
extern const EnvelopeRow envelopeShapes[8];

// Writes a row into a block: levels stored as 127 - shown, the rates and both
// scalings; envelopeDelayOn is left as it is.
void applyEnvelopeRow(OperatorBlock& block, const EnvelopeRow& row);
// applyEnvelopeRow with envelopeShapes[type], type 2..7.
void applyEnvelopeShape(OperatorBlock& block, int type);

// Reads a preset envelope table in the embedded CSV form: a header line, then one
// line per waveform "wave,initialLevel,attackLevel,decay1Level,decay2Level,
// levelScaling,attackRate,decay1Rate,decay2Rate,releaseRate,rateScaling", levels in
// shown form. Fills rows[wave] for every well-formed line whose wave is below count
// and whose values lie in their ranges; returns the number of rows filled.
int parseEnvelopeTable(const char* csv, EnvelopeRow* rows, int count);

// The polyline of one envelope curve (pure geometry, no drawing): from (1, y0),
// through (x0, y0) when the start is delayed, to (x1, y1) .. (x4, b).
struct EnvelopePolyline {
    int x[6];
    int y[6];
    int count;
};
EnvelopePolyline envelopePolyline(const OperatorBlock& block, const Voice& v, bool withAdjustments, int d,
                                  int b);

// The envelope picture: a persistent bitmap, repainted completely by each draw and
// left alone otherwise. Tooltip "Visual representation of the envelope".
class TEnvelopePicture : public QLabel {
    Q_OBJECT
public:
    // AWM: 295 x 139, d 6, b 133. FM: 287 x 135, d 4, b 131.
    TEnvelopePicture(int width, int height, int d, int b, QWidget* parent = nullptr);

    // Light grey background; the modulator (if given) thin red without adjustments,
    // then the carrier dark blue, 2 pixels wide, with the voice's adjustments.
    void draw(const OperatorBlock* modulator, const OperatorBlock& carrier, const Voice& v);

    const QPixmap& bitmap() const { return picture; }

private:
    QPixmap picture;
    int offset, bottom;
};
