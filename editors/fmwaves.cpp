// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/fmwaves.h"

#include <sstream>
#include <vector>

#include "editors/presettables.h"

namespace {

// The names come in runs of numbered names ("Brass 1" .. "Brass 14") and single names.
std::array<std::string, fmWaveCount> buildNames()
{
    struct Run {
        const char* stem;
        int count;
    };
    static const Run numbered[] = {
        {"E Piano", 6}, {"E Organ", 8}, {"Brass ", 14}, {"Wood ", 8}, {"Reed ", 6},
        {"Clavi ", 4},  {"Guitar ", 8}, {"Bass ", 9},   {"Str ", 7},  {"Vibes ", 4},
        {"Marimba", 3}, {"Bells ", 8},  {"Metal ", 6},  {"Lead ", 7}, {"Sus ", 15},
        {"Attack ", 5}, {"Move ", 7},   {"Decay ", 18}, {"SFX ", 7},
    };
    static const char* const singles[] = {"Sin 16'", "Sin 8'", "Sin 4'",   "Sin2 2/3", "Sin 2'", "Saw 1",
                                          "Saw 2",   "Square", "LFOnoise", "Noise 1",  "Noise 2"};

    std::array<std::string, fmWaveCount> names;
    int i = 0;
    for (const Run& run : numbered)
        for (int n = 1; n <= run.count; ++n)
            names[i++] = run.stem + std::to_string(n);
    for (const char* name : singles)
        names[i++] = name;
    for (int n = 1; n <= 11; ++n)
        names[i++] = "Digi " + std::to_string(n);
    for (int n = 1; n <= 27; ++n)
        for (int k = 1; k <= 3; ++k)
            names[i++] = "Wave" + std::to_string(n) + "-" + std::to_string(k);
    for (int n = 28; n <= 30; ++n)
        names[i++] = "Wave" + std::to_string(n);
    return names;
}

// The rows of an embedded table after its header: the first column is the wave
// number, then `columns` values. A row that is short, out of order or not numeric
// is left as zeros; the tests hold every row of the data against its ranges.
std::array<std::vector<int>, fmWaveCount> readTable(const char* text, int columns)
{
    std::array<std::vector<int>, fmWaveCount> rows;
    for (auto& row : rows)
        row.assign(static_cast<size_t>(columns), 0);
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);   // header
    while (std::getline(in, line)) {
        std::vector<int> values;
        std::istringstream cells(line);
        std::string cell;
        bool numeric = true;
        while (std::getline(cells, cell, ',')) {
            try {
                size_t used = 0;
                values.push_back(std::stoi(cell, &used));
                numeric = numeric && (used == cell.size() || cell.substr(used) == "\r");
            } catch (...) {
                numeric = false;
            }
        }
        if (!numeric || static_cast<int>(values.size()) != columns + 1)
            continue;
        const int wave = values[0];
        if (wave < 0 || wave >= fmWaveCount)
            continue;
        rows[static_cast<size_t>(wave)].assign(values.begin() + 1, values.end());
    }
    return rows;
}

uint8_t byte(int value)
{
    return static_cast<uint8_t>(value);
}
uint8_t storedLevel(int shown)
{
    return static_cast<uint8_t>(127 - (shown < 0 ? 0 : shown > 127 ? 127 : shown));
}

const std::array<FMWaveSetup, fmWaveCount>& setupTable()
{
    static const std::array<FMWaveSetup, fmWaveCount> table = [] {
        std::array<FMWaveSetup, fmWaveCount> t{};
        const auto rows = readTable(fm_wave_setups_csv, 22);
        for (int w = 0; w < fmWaveCount; ++w) {
            const std::vector<int>& r = rows[static_cast<size_t>(w)];
            FMWaveSetup& s = t[static_cast<size_t>(w)];
            s.feedback = byte(r[0]);
            s.carrierWave = byte(r[1]);
            s.carrierHarmonic = byte(r[2]);
            s.carrierFixed = byte(r[3]);
            s.carrierDetune = byte(r[4]);
            s.carrierTemperament = byte(r[5]);
            s.modulatorWave = byte(r[6]);
            s.modulatorHarmonic = byte(r[7]);
            s.modulatorFixed = byte(r[8]);
            s.modulatorDetune = byte(r[9]);
            s.modulatorTemperament = byte(r[10]);
            s.modulatorLevel = storedLevel(r[11]);
            s.modLevelInitial = storedLevel(r[12]);
            s.modLevelAttack = storedLevel(r[13]);
            s.modLevelDecay1 = storedLevel(r[14]);
            s.modLevelDecay2 = storedLevel(r[15]);
            s.modLevelScaling = byte(r[16]);
            s.modRateAttack = byte(r[17]);
            s.modRateDecay1 = byte(r[18]);
            s.modRateDecay2 = byte(r[19]);
            s.modRateRelease = byte(r[20]);
            s.modRateScaling = byte(r[21]);
        }
        return t;
    }();
    return table;
}

const std::array<EnvelopeRow, fmWaveCount>& envelopeTable()
{
    static const std::array<EnvelopeRow, fmWaveCount> table = [] {
        std::array<EnvelopeRow, fmWaveCount> t{};
        const auto rows = readTable(fm_preset_envelopes_csv, 10);
        for (int w = 0; w < fmWaveCount; ++w) {
            const std::vector<int>& r = rows[static_cast<size_t>(w)];
            t[static_cast<size_t>(w)] =
                EnvelopeRow{byte(r[0]), byte(r[1]), byte(r[2]), byte(r[3]), byte(r[4]),
                            byte(r[5]), byte(r[6]), byte(r[7]), byte(r[8]), byte(r[9])};
        }
        return t;
    }();
    return table;
}

}   // namespace

const std::array<std::string, fmWaveCount>& fmWaveNames()
{
    static const std::array<std::string, fmWaveCount> names = buildNames();
    return names;
}

const std::array<FMWaveSetup, fmWaveCount>& fmWaveSetups = setupTable();
const std::array<EnvelopeRow, fmWaveCount>& fmWaveEnvelopes = envelopeTable();

void applyFMWaveSetup(VoiceElement& element, const FMWaveSetup& setup)
{
    element.feedback = setup.feedback;
    OperatorBlock& c = element.carrier;
    c.fmWaveform = setup.carrierWave;
    c.fmFrequency = setup.carrierHarmonic;
    c.fixedFrequency = setup.carrierFixed;
    c.detune = setup.carrierDetune;
    c.temperament = setup.carrierTemperament;
    OperatorBlock& m = element.modulator;
    m.fmWaveform = setup.modulatorWave;
    m.fmFrequency = setup.modulatorHarmonic;
    m.fixedFrequency = setup.modulatorFixed;
    m.detune = setup.modulatorDetune;
    m.temperament = setup.modulatorTemperament;
    m.level = setup.modulatorLevel;
    m.levelInitial = setup.modLevelInitial;
    m.levelAttack = setup.modLevelAttack;
    m.levelDecay1 = setup.modLevelDecay1;
    m.levelDecay2 = setup.modLevelDecay2;
    m.levelScaling = setup.modLevelScaling;
    m.rateAttack = setup.modRateAttack;
    m.rateDecay1 = setup.modRateDecay1;
    m.rateDecay2 = setup.modRateDecay2;
    m.rateRelease = setup.modRateRelease;
    m.rateScaling = setup.modRateScaling;
}
