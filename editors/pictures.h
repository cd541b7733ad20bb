// SPDX-License-Identifier: GPL-3.0-or-later
// The small pictures beside the editors' sliders, drawn by our own code: lime lines
// on a transparent background, so they sit on the editors' black panels.
#pragma once

#include <QPixmap>

// Sizes of the pictures, for placing them beside their sliders.
constexpr int responsePictureWidth = 20, responsePictureHeight = 12;
constexpr int lfoPictureWidth = 24, lfoPictureHeight = 12;
constexpr int scalingPictureWidth = 16, scalingPictureHeight = 8;

// Under the velocity response slider: 0 a falling step (left end), 1 a flat line
// (middle), 2 a rising step (right end).
QPixmap velocityResponsePicture(int index);
// Under the aftertouch response slider: 0 a falling slope, 1 a flat line, 2 a
// rising slope.
QPixmap aftertouchResponsePicture(int index);
// Beside the LFO waveform slider's positions 0..4: falling sawtooth, triangle,
// square, random, rising sawtooth.
QPixmap lfoWavePicture(int index);
// Beside the level scaling slider's positions 0..15: the level falls with the key,
// the more steeply the higher the setting (0 flat).
QPixmap levelScalingPicture(int n);
// Beside the rate scaling slider's positions 0..7: the rates rise with the key, the
// more steeply the higher the setting (0 flat).
QPixmap rateScalingPicture(int n);
