// SPDX-License-Identifier: GPL-3.0-or-later
// One table of every field of the voice record, in record order, with its path
// ("element[1].carrier.levelAttack"), its type and its range, and what the editors
// make of it: the range their controls take, the form they show it in and the name
// of a change to it. It drives `tarvik-voice show` and `encode`, range checks, the
// editors' controls, mutate, undo captions and the random voices of the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "voice/voice.h"

enum class FieldType { U8, S8, Flag, S32, Name };

// Which element kinds use a field: a dump carries only the fields its element uses.
enum class FieldUse { Always, AWMOnly, FMOnly, Never };

// How the editors show a stored value x: as it is (a signed byte with its sign),
// as 127 - x (levels and the LFO rate: higher is louder or faster), or as 4 - x (the
// pan bar, left at 0).
enum class FieldShown { Plain, Inverted, PanBar };

struct VoiceField {
    std::string path;
    FieldType type;
    size_t offset;   // byte offset inside Voice
    int minimum;     // the field's range (what the synthesiser accepts)
    int maximum;
    // False for fields that a dump does not carry for this element kind, and for
    // peakStage-like fields the codec derives; a round trip need not keep them.
    bool travels;
    std::string caption;   // the name of a change to the field ("Pitch", "LFO rate")
    FieldShown shown = FieldShown::Plain;
    // The range the editors' controls take, in shown form. Mutate keeps inside it too,
    // so that a mutated voice never shows a number the editors refuse.
    int editMinimum = 0;
    int editMaximum = 0;
};

const std::vector<VoiceField>& voiceFields();
// The row of a path, or null.
const VoiceField* findVoiceField(const std::string& path);
// A stored value in the editors' shown form, and back.
int shownValue(const VoiceField& f, int stored);
int storedValue(const VoiceField& f, int shown);

// Reads and writes one field of a voice (integer fields only).
int fieldValue(const Voice& v, const VoiceField& f);
void setFieldValue(Voice& v, const VoiceField& f, int value);

// The lowest and highest value a field's type can hold.
void fieldTypeLimits(FieldType type, long& lowest, long& highest);

// `path=value` lines for every field, in record order. The name is its 8 characters as
// stored, bytes outside 0x20..0x7E and the backslash written as \xHH.
std::string formatVoice(const Voice& v);

// A stored name of length characters as text (bytes outside 0x20..0x7E and the
// backslash as \xHH), and back: false unless the text gives exactly length characters.
std::string nameText(const char* name, size_t length);
bool nameFromText(const std::string& text, char* name, size_t length);

// Applies `path=value` lines to a voice. On the first bad line returns false and
// sets error to a message naming the line number.
// A decimal integer with an optional sign, nothing else around it; false when the text
// is no such number or has more than 11 digits.
bool parseInteger(const std::string& text, long& value);

bool parseVoiceLines(const std::string& text, Voice& v, std::string& error);

// A voice with every field inside its range (name: printable characters), drawn from
// the seed. Tests use it for randomised round trips.
void randomVoice(Voice& v, uint32_t seed);
