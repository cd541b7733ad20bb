// SPDX-License-Identifier: GPL-3.0-or-later
// The AWM waveforms: their names on each synthesiser model and the preset envelope
// that the "Preset" envelope type gives each of them.
#pragma once

#include <QStringList>

#include "editors/envelope.h"

constexpr int awmWaveCount = 128;

// The 128 wave names of a model, indexed by VoiceElement.waveform; model 0 is the
// SY-22, any other value the SY-35.
const QStringList& awmWaveNames(int model);

// The preset envelope of every AWM waveform (the same for both models), levels in
// shown form; read once from the embedded table.
const EnvelopeRow* awmWaveEnvelopes();
