// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/awmwaves.h"

#include "editors/presettables.h"

namespace {

struct WaveNames {
    QStringList sy22;
    QStringList sy35;
};

// The names as the synthesisers list them, one wave a row: the SY-22's name, then the
// SY-35's where it names the wave otherwise (fifteen places). 119..126 are the eight
// sequence waves "SEQ 1".."SEQ 8". A row out of order or past the table is left out.
WaveNames readWaveNames(const char* csv)
{
    WaveNames names;
    const QStringList lines = QString::fromLatin1(csv).split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i) {   // after the header
        const QStringList cells = lines[i].trimmed().split(QLatin1Char(','));
        if (cells.size() != 3 || cells[0] != QString::number(names.sy22.size()) ||
            names.sy22.size() == awmWaveCount)
            continue;
        names.sy22.append(cells[1]);
        names.sy35.append(cells[2].isEmpty() ? cells[1] : cells[2]);
    }
    return names;
}

}   // namespace

const QStringList& awmWaveNames(int model)
{
    static const WaveNames names = readWaveNames(awm_wave_names_csv);
    return model == 0 ? names.sy22 : names.sy35;
}

const EnvelopeRow* awmWaveEnvelopes()
{
    static const auto table = [] {
        struct Table {
            EnvelopeRow rows[awmWaveCount];
        } t{};
        parseEnvelopeTable(awm_preset_envelopes_csv, t.rows, awmWaveCount);
        return t;
    }();
    return table.rows;
}
