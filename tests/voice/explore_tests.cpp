// SPDX-License-Identifier: GPL-3.0-or-later
// Blending, morphing, nudging and breeding give voices inside the editors' ranges that
// go to the synthesiser and back unchanged, keep what is locked, and treat the vectors
// as paths in time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "voice/dumpcodec.h"
#include "voice/explore.h"
#include "voice/vectorpath.h"

namespace {

Voice editable(uint32_t seed)
{
    Voice v;
    randomVoice(v, seed);
    clampToEditRanges(v);
    return v;
}

// Every field inside the editors' range, a well-formed dump, and what the synthesiser
// sends back of it encodes to the same bytes.
void expectPlayable(const Voice& v)
{
    for (const VoiceField& f : voiceFields()) {
        if (f.type == FieldType::Name)
            continue;
        const int value = fieldValue(v, f);
        ASSERT_GE(value, f.minimum) << f.path;
        ASSERT_LE(value, f.maximum) << f.path;
        const int shown = shownValue(f, value);
        ASSERT_GE(shown, f.editMinimum) << f.path;
        ASSERT_LE(shown, f.editMaximum) << f.path;
    }
    const VoiceDump dump = encodeVoice(v);
    ASSERT_STREQ(checkVoiceDump(dump.data()), "");
    ASSERT_EQ(encodeVoice(decodedVoice(dump.data())), dump);
}

void expectLocked(const Voice& v, const Voice& base, const GroupLocks& locks)
{
    for (const VoiceField& f : voiceFields()) {
        if (!locks.locked(f.group))
            continue;
        if (f.type == FieldType::Name)
            EXPECT_EQ(std::memcmp(v.name, base.name, voiceNameLength), 0);
        else
            EXPECT_EQ(fieldValue(v, f), fieldValue(base, f)) << f.path;
    }
}

// Steps 0..n-1 of a table, then an End step at rest.
void setPath(Voice& v, std::initializer_list<std::pair<int, int>> steps, int rest)
{
    int s = 0;
    for (const auto& [ticks, ab] : steps) {
        v.levelVector.repeats[s] = ticks - 1;
        v.levelVector.abPosition[s] = static_cast<uint8_t>(ab);
        v.levelVector.cdPosition[s] = 31;
        ++s;
    }
    for (; s < vectorSteps; ++s) {
        v.levelVector.repeats[s] = vectorEndMark;
        v.levelVector.abPosition[s] = static_cast<uint8_t>(rest);
        v.levelVector.cdPosition[s] = 31;
    }
}

TEST(Explore, AtTheEndsAndCornersEachParentComesBackByteForByte)
{
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        const std::vector<Voice> corners = {editable(seed), editable(seed + 100), editable(seed + 200),
                                            editable(seed + 300)};
        Voice r;
        ASSERT_EQ(blendVoices(corners[0], corners[1], 0, blendDefaultLocks(), r), "");
        EXPECT_EQ(encodeVoice(r), encodeVoice(corners[0]));
        ASSERT_EQ(blendVoices(corners[0], corners[1], 1, blendDefaultLocks(), r), "");
        EXPECT_EQ(encodeVoice(r), encodeVoice(corners[1]));
        ASSERT_EQ(nudgeVoice(corners[0], corners[1], 0, GroupLocks{}, r), "");
        EXPECT_EQ(encodeVoice(r), encodeVoice(corners[0]));
        const double at[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
        for (size_t c = 0; c < 4; ++c) {
            ASSERT_EQ(morphVoices(corners, at[c][0], at[c][1], GroupLocks{}, r), "");
            EXPECT_EQ(encodeVoice(r), encodeVoice(corners[c])) << c;
        }
    }
}

TEST(Explore, EveryOperationOnRandomParentsIsPlayableAndKeepsItsLocks)
{
    const GroupLocks locks{FieldGroup::Tuning, FieldGroup::Envelope, FieldGroup::LevelVector,
                           FieldGroup::Name};
    for (uint32_t seed = 1; seed <= 25; ++seed) {
        SCOPED_TRACE(seed);
        std::vector<Voice> raw(4);
        for (uint32_t i = 0; i < 4; ++i)
            randomVoice(raw[i], seed * 10 + i);
        Voice base = raw[0];
        clampToEditRanges(base);
        const double t = (seed % 11) / 10.0;
        for (const GroupLocks& l : {GroupLocks{}, locks}) {
            Voice r;
            ASSERT_EQ(blendVoices(raw[0], raw[1], t, l, r), "");
            expectPlayable(r);
            expectLocked(r, base, l);
            ASSERT_EQ(nudgeVoice(raw[0], raw[1], t * 2 - 1, l, r), "");
            expectPlayable(r);
            expectLocked(r, base, l);
            for (size_t n = 2; n <= 4; ++n) {
                ASSERT_EQ(morphVoices({raw.begin(), raw.begin() + static_cast<long>(n)}, t, 1 - t / 2, l, r),
                          "");
                expectPlayable(r);
                expectLocked(r, base, l);
            }
            for (size_t favourites = 0; favourites <= 3; ++favourites) {
                BreedInput in;
                in.current = raw[0];
                in.favourites.assign(raw.begin() + 1, raw.begin() + 1 + static_cast<long>(favourites));
                if (seed % 2)
                    in.previous = raw[0];
                in.strength = t;
                in.seed = seed;
                in.locks = l;
                std::vector<Voice> bred;
                ASSERT_EQ(breedVoices(in, bred), "");
                ASSERT_EQ(bred.size(), static_cast<size_t>(breedCount));
                for (const Voice& c : bred) {
                    expectPlayable(c);
                    expectLocked(c, base, l);
                }
            }
        }
    }
}

TEST(Explore, HalfwayBetweenTwoPathsRunsThroughTheirMidpointsInTime)
{
    Voice slow = editable(7), fast = editable(8);
    slow.levelVectorSpeed = fast.levelVectorSpeed = 4;
    // Four quarters of 20 steps against two halves of 8: on one time axis the mix holds
    // each quarter for 12 at the midpoint of the two paths there, then rests between
    // their ends.
    setPath(slow, {{20, 0}, {20, 20}, {20, 40}, {20, 60}}, 62);
    setPath(fast, {{8, 20}, {8, 60}}, 0);
    Voice r;
    ASSERT_EQ(blendVoices(slow, fast, 0.5, GroupLocks{}, r), "");
    EXPECT_EQ(r.levelVectorSpeed, 4);
    const int ab[] = {10, 20, 50, 60};
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(r.levelVector.repeats[s], 11) << s;
        EXPECT_EQ(r.levelVector.abPosition[s], ab[s]) << s;
        EXPECT_EQ(r.levelVector.cdPosition[s], 31) << s;
    }
    EXPECT_EQ(r.levelVector.repeats[4], vectorEndMark);
    EXPECT_EQ(r.levelVector.abPosition[4], 31);

    // The same sweep slow and fast: a medium sweep through the same positions. The
    // slow one runs at half the speed, so its steps last twice as long in time.
    setPath(fast, {{8, 0}, {8, 20}, {8, 40}, {8, 60}}, 62);
    slow.levelVectorSpeed = 8;
    fast.levelVectorSpeed = 4;
    ASSERT_EQ(blendVoices(slow, fast, 0.5, GroupLocks{}, r), "");
    EXPECT_EQ(r.levelVectorSpeed, 6);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(r.levelVector.repeats[s], (20 * 8 + 8 * 4) / 2 / 6 - 1) << s;
        EXPECT_EQ(r.levelVector.abPosition[s], 20 * s) << s;
    }

    // Paths that hold one position mix to one position, as the codec reads it.
    setPath(slow, {}, 10);
    setPath(fast, {{30, 50}, {30, 50}}, 50);
    ASSERT_EQ(nudgeVoice(slow, fast, 0.5, GroupLocks{}, r), "");
    for (int s = 0; s < vectorSteps; ++s) {
        EXPECT_EQ(r.levelVector.abPosition[s], 30);
        EXPECT_EQ(r.levelVector.repeats[s], vectorEndMark);
    }

    // A path of many steps written back fits 50 steps with its mark.
    VectorPath many;
    many.end = PathEnd::Repeat;
    for (int i = 0; i < 120; ++i)
        many.steps.push_back({300.0, static_cast<double>(i % 63), static_cast<double>((i * 7) % 63)});
    writeVectorPath(many, 1, r.levelVector);
    EXPECT_EQ(r.levelVector.repeats[49], vectorRepeatMark);
    EXPECT_EQ(readVectorPath(r.levelVector, 1).steps.size(), 49u);
}

TEST(Explore, BreedingIsTheSameForTheSameSeedAndNamesItsCandidates)
{
    BreedInput in;
    in.current = editable(3);
    std::memcpy(in.current.name, "Brass   ", voiceNameLength);
    in.favourites = {editable(4), editable(5)};
    std::memcpy(in.favourites[0].name, "Horns   ", voiceNameLength);
    in.previous = editable(6);
    in.strength = 0.5;
    in.seed = 42;
    std::vector<Voice> first, again, other;
    ASSERT_EQ(breedVoices(in, first), "");
    ASSERT_EQ(breedVoices(in, again), "");
    in.seed = 43;
    ASSERT_EQ(breedVoices(in, other), "");
    int differ = 0;
    for (int k = 0; k < breedCount; ++k) {
        EXPECT_EQ(encodeVoice(first[k]), encodeVoice(again[k])) << k;
        differ += encodeVoice(first[k]) != encodeVoice(other[k]);
        const std::string name = std::string("Horns ") + static_cast<char>('0' + (k + 1) / 10) +
                                 static_cast<char>('0' + (k + 1) % 10);
        EXPECT_EQ(std::string(first[k].name, voiceNameLength), name);
        // The tuning stays the current voice's.
        for (int e = 0; e < 4; ++e)
            EXPECT_EQ(first[k].element[e].pitch, in.current.element[e].pitch);
    }
    EXPECT_GT(differ, 10);

    // No favourite and no strength: sixteen copies of the current voice but for the name.
    in.favourites.clear();
    in.strength = 0;
    ASSERT_EQ(breedVoices(in, first), "");
    for (const Voice& c : first) {
        EXPECT_EQ(std::string(c.name, 5), "Brass");
        Voice named = c;
        std::memcpy(named.name, in.current.name, voiceNameLength);
        EXPECT_EQ(encodeVoice(named), encodeVoice(in.current));
    }
}

TEST(Explore, BadInputIsRefusedWithTheAcceptedRange)
{
    const Voice a = editable(1), b = editable(2);
    Voice r = editable(3);
    const VoiceDump untouched = encodeVoice(r);
    EXPECT_NE(blendVoices(a, b, 1.5, GroupLocks{}, r).find("0..1"), std::string::npos);
    EXPECT_NE(blendVoices(a, b, std::nan(""), GroupLocks{}, r), "");
    EXPECT_NE(nudgeVoice(a, b, -1.5, GroupLocks{}, r).find("-1..1"), std::string::npos);
    EXPECT_NE(morphVoices({a}, 0, 0, GroupLocks{}, r).find("2 to 4"), std::string::npos);
    EXPECT_NE(morphVoices({a, b, a, b, a}, 0, 0, GroupLocks{}, r).find("2 to 4"), std::string::npos);
    EXPECT_NE(morphVoices({a, b}, 0, -0.1, GroupLocks{}, r), "");
    EXPECT_EQ(encodeVoice(r), untouched);
    BreedInput in;
    in.favourites = {a, b, a, b};
    std::vector<Voice> bred;
    EXPECT_NE(breedVoices(in, bred).find("0 to 3"), std::string::npos);
    in.favourites.clear();
    in.strength = 2;
    EXPECT_NE(breedVoices(in, bred).find("0..1"), std::string::npos);
    EXPECT_TRUE(bred.empty());

    FieldGroup g = FieldGroup::Common;
    EXPECT_EQ(parseFieldGroup("levelpan", g), "");
    EXPECT_EQ(g, FieldGroup::LevelPan);
    EXPECT_NE(parseFieldGroup("pitch", g)
                  .find("common effect name tuning tone lfo envelope levelpan "
                        "levelvector detunevector"),
              std::string::npos);
}

}   // namespace
