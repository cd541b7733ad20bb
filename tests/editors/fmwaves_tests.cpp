// SPDX-License-Identifier: GPL-3.0-or-later
// The FM wave list and the two per-wave tables, held against the embedded CSV text
// and against the rows and rules the synthesiser's documentation gives.
#include "editors/fmwaves.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "editors/presettables.h"

namespace {

std::vector<std::vector<int>> csvRows(const char* text)
{
    std::vector<std::vector<int>> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        std::vector<int> row;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, ','))
            row.push_back(std::stoi(cell));
        rows.push_back(row);
    }
    return rows;
}

std::vector<int> setupShown(const FMWaveSetup& s)
{
    return {s.feedback,
            s.carrierWave,
            s.carrierHarmonic,
            s.carrierFixed,
            s.carrierDetune,
            s.carrierTemperament,
            s.modulatorWave,
            s.modulatorHarmonic,
            s.modulatorFixed,
            s.modulatorDetune,
            s.modulatorTemperament,
            127 - s.modulatorLevel,
            127 - s.modLevelInitial,
            127 - s.modLevelAttack,
            127 - s.modLevelDecay1,
            127 - s.modLevelDecay2,
            s.modLevelScaling,
            s.modRateAttack,
            s.modRateDecay1,
            s.modRateDecay2,
            s.modRateRelease,
            s.modRateScaling};
}

std::vector<int> envelopeValues(const EnvelopeRow& r)
{
    return {r.initialLevel, r.attackLevel, r.decay1Level, r.decay2Level, r.levelScaling,
            r.attackRate,   r.decay1Rate,  r.decay2Rate,  r.releaseRate, r.rateScaling};
}

}   // namespace

TEST(FMWaveNames, AllNamesSpelledAsTheSynthesiserShowsThem)
{
    const auto& names = fmWaveNames();
    const std::pair<int, const char*> spots[] = {
        {0, "E Piano1"},  {5, "E Piano6"},   {6, "E Organ1"},   {13, "E Organ8"},  {14, "Brass 1"},
        {27, "Brass 14"}, {28, "Wood 1"},    {35, "Wood 8"},    {36, "Reed 1"},    {42, "Clavi 1"},
        {46, "Guitar 1"}, {54, "Bass 1"},    {62, "Bass 9"},    {63, "Str 1"},     {69, "Str 7"},
        {70, "Vibes 1"},  {74, "Marimba1"},  {76, "Marimba3"},  {77, "Bells 1"},   {85, "Metal 1"},
        {91, "Lead 1"},   {98, "Sus 1"},     {112, "Sus 15"},   {113, "Attack 1"}, {118, "Move 1"},
        {125, "Decay 1"}, {142, "Decay 18"}, {143, "SFX 1"},    {149, "SFX 7"},    {150, "Sin 16'"},
        {151, "Sin 8'"},  {152, "Sin 4'"},   {153, "Sin2 2/3"}, {154, "Sin 2'"},   {155, "Saw 1"},
        {156, "Saw 2"},   {157, "Square"},   {158, "LFOnoise"}, {159, "Noise 1"},  {160, "Noise 2"},
        {161, "Digi 1"},  {171, "Digi 11"},  {172, "Wave1-1"},  {173, "Wave1-2"},  {174, "Wave1-3"},
        {175, "Wave2-1"}, {250, "Wave27-1"}, {252, "Wave27-3"}, {253, "Wave28"},   {254, "Wave29"},
        {255, "Wave30"},
    };
    for (const auto& [index, name] : spots)
        EXPECT_EQ(names[static_cast<size_t>(index)], name) << "wave " << index;
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_FALSE(names[i].empty()) << "wave " << i;
        EXPECT_LE(names[i].size(), 8u) << names[i];   // the synthesiser's display width
    }
}

TEST(FMWaveTables, EveryRowComesFromTheEmbeddedData)
{
    const auto setups = csvRows(fm_wave_setups_csv);
    const auto envelopes = csvRows(fm_preset_envelopes_csv);
    ASSERT_EQ(setups.size(), 256u);
    ASSERT_EQ(envelopes.size(), 256u);
    for (int w = 0; w < 256; ++w) {
        const auto& s = setups[static_cast<size_t>(w)];
        const auto& e = envelopes[static_cast<size_t>(w)];
        ASSERT_EQ(s.size(), 23u);
        ASSERT_EQ(e.size(), 11u);
        ASSERT_EQ(s[0], w);
        ASSERT_EQ(e[0], w);
        EXPECT_EQ(setupShown(fmWaveSetups[static_cast<size_t>(w)]), std::vector<int>(s.begin() + 1, s.end()))
            << "setup " << w;
        EXPECT_EQ(envelopeValues(fmWaveEnvelopes[static_cast<size_t>(w)]),
                  std::vector<int>(e.begin() + 1, e.end()))
            << "envelope " << w;
        // Every value lies within what its field takes.
        static const int setupMax[22] = {7,   7,   15,  1,   15,  3,  7,  15, 1,  15, 3,
                                         127, 127, 127, 127, 127, 15, 63, 63, 63, 63, 7};
        static const int envelopeMax[10] = {127, 127, 127, 127, 15, 63, 63, 63, 63, 7};
        for (size_t i = 0; i < 22; ++i) {
            EXPECT_GE(s[i + 1], 0) << "setup " << w << " column " << i;
            EXPECT_LE(s[i + 1], setupMax[i]) << "setup " << w << " column " << i;
        }
        for (size_t i = 0; i < 10; ++i) {
            EXPECT_GE(e[i + 1], 0) << "envelope " << w << " column " << i;
            EXPECT_LE(e[i + 1], envelopeMax[i]) << "envelope " << w << " column " << i;
        }
    }
}

TEST(FMWaveTables, DocumentedRowsAndRules)
{
    // Shown form: feedback; carrier wave, harmonic, fixed, detune, temperament; modulator
    // wave, harmonic, fixed, detune, temperament, level; modulator levels; level
    // scaling; rates; rate scaling.
    const std::pair<int, std::vector<int>> setups[] = {
        {0, {0, 0, 1, 0, 0, 0, 0, 9, 0, 3, 0, 119, 78, 78, 39, 0, 1, 63, 33, 16, 0, 0}},
        {14, {7, 4, 1, 0, 0, 0, 0, 1, 0, 0, 0, 119, 113, 74, 108, 108, 1, 41, 36, 0, 0, 3}},
        {150, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 119, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {255, {0, 6, 2, 0, 3, 0, 4, 9, 1, 0, 0, 119, 125, 125, 125, 125, 0, 10, 10, 10, 0, 0}},
    };
    for (const auto& [w, row] : setups)
        EXPECT_EQ(setupShown(fmWaveSetups[static_cast<size_t>(w)]), row) << "setup " << w;

    const std::pair<int, std::vector<int>> envelopes[] = {
        {0, {70, 127, 99, 0, 0, 59, 16, 14, 34, 1}},
        {14, {0, 127, 127, 127, 0, 33, 20, 6, 38, 2}},
        {150, {0, 119, 119, 119, 0, 63, 0, 0, 40, 0}},
        {255, {0, 125, 125, 125, 0, 63, 0, 0, 40, 0}},
    };
    for (const auto& [w, row] : envelopes)
        EXPECT_EQ(envelopeValues(fmWaveEnvelopes[static_cast<size_t>(w)]), row) << "envelope " << w;

    for (int w = 0; w < 256; ++w) {
        EXPECT_EQ(fmWaveSetups[static_cast<size_t>(w)].modulatorLevel, 8) << w;   // shown 119
        EXPECT_EQ(fmWaveSetups[static_cast<size_t>(w)].carrierTemperament, 0) << w;
    }
}
