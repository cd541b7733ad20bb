// SPDX-License-Identifier: GPL-3.0-or-later
// Finding new sounds from voices the musician has: blend two, morph between two to
// four on a square, nudge one toward or away from another, breed sixteen candidates
// from up to three favourites. Numbers mix in the form the editors show them, choices
// (waveforms, types, flags, configuration, the name) come whole from the nearest
// voice, and the two vectors mix as paths in time (vectorpath.h). Locked groups keep
// the first voice's values. Every result lies inside the editors' ranges and encodes
// to a well-formed dump; the same seed breeds the same candidates.
//
// Each operation first brings its voices into the editors' ranges (clampToEditRanges),
// which leaves a voice the editors could have made unchanged. It returns an empty
// text, or the reason it refused (and leaves its result alone); it never throws.
#pragma once

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "voice/voice.h"
#include "voice/voicefields.h"

constexpr int fieldGroupCount = 10;

// The groups a musician holds still while exploring.
class GroupLocks {
public:
    GroupLocks() = default;
    GroupLocks(std::initializer_list<FieldGroup> groups);
    bool locked(FieldGroup g) const { return bits.test(static_cast<size_t>(g)); }
    void lock(FieldGroup g) { bits.set(static_cast<size_t>(g)); }
    void unlock(FieldGroup g) { bits.reset(static_cast<size_t>(g)); }
    bool none() const { return bits.none(); }
    bool operator==(const GroupLocks& other) const { return bits == other.bits; }

private:
    std::bitset<fieldGroupCount> bits;
};

// Breeding and nudging keep the tuning at first; blending and morphing lock nothing,
// so that a blend at 0 or 1 is exactly a parent.
GroupLocks breedDefaultLocks();
GroupLocks blendDefaultLocks();

// The group names of the command line: common effect name tuning tone lfo envelope
// levelpan levelvector detunevector.
const char* fieldGroupName(FieldGroup g);
// The group as a window names it: "Common", "Level & pan", "Detune vector".
const char* fieldGroupCaption(FieldGroup g);
// "common effect ... detunevector", for messages.
std::string fieldGroupNames();
// The group of a name, or the reason (naming the accepted ones).
std::string parseFieldGroup(const std::string& name, FieldGroup& group);

// Every field into the editors' range (in shown form; a field without one into its
// own), the controller byte to its two spare bits, and a vector whose steps all share
// one position marked ended at step 1, as the synthesiser keeps it (the codec reads
// such a table so). A voice that came from a dump and lies in range stays as it is.
void clampToEditRanges(Voice& v);

// a and b mixed: t = 0 gives a, t = 1 gives b, choices from the nearer (a at 0.5).
std::string blendVoices(const Voice& a, const Voice& b, double t, const GroupLocks& locks, Voice& result);

// 2..4 corners on the unit square: corner 0 at (0,0), 1 at (1,0), 2 at (0,1), 3 at
// (1,1). Numbers are the bilinear mean, choices from the corner with the largest
// weight (the earlier on a tie). With two corners only x counts (y must still lie in
// 0..1); with three, the missing corner (1,1) stands for the mean of corners 1 and 2.
// Locked groups keep corner 0's values.
std::string morphVoices(const std::vector<Voice>& corners, double x, double y, const GroupLocks& locks,
                        Voice& result);

// a moved amount (0..1) of the way toward target, or (down to -1) as far away from it;
// numbers are clamped into range, choices turn to the target's past one half.
std::string nudgeVoice(const Voice& a, const Voice& target, double amount, const GroupLocks& locks,
                       Voice& result);

constexpr int breedCount = 16;

// What one round of breeding starts from.
struct BreedInput {
    Voice current{};                 // the voice being edited; locked groups keep its values
    std::vector<Voice> favourites;   // 0..3, the first the most liked
    std::optional<Voice> previous;   // the last round's pick, to step away from
    double strength = 0.3;           // 0..1: how many fields a mutation moves and how far
    uint32_t seed = 1;
    GroupLocks locks = breedDefaultLocks();
};

// Sixteen candidates. With no favourite, sixteen variations of the current voice. With
// favourites: first, when a previous pick is given and differs, three steps beyond the
// first favourite away from it (a quarter, a half and a whole of their difference);
// with one favourite the rest are its variations; with two or three, the rest are
// recombinations: element parts taken whole from favourites (the better ranked the
// likelier), and blends between them. Every candidate then takes 1..5 mutations, their
// number and size scaled by strength (strength 0 changes nothing). A candidate is named
// after the voice it came from most: its first six characters and the candidate's
// number 01..16 ("Brass 07"), unless the name is locked.
std::string breedVoices(const BreedInput& input, std::vector<Voice>& candidates);
