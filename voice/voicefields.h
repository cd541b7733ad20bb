// SPDX-License-Identifier: GPL-3.0-or-later
// One table of every field of the voice record, in record order, with its path
// ("element[1].carrier.levelAttack"), its type and its range, and what the editors
// make of it: the range their controls take, the form they show it in, the name of a
// change to it, and what exploring may do with it (its kind and group). It drives
// `tarvik-voice show` and `encode`, range checks, the editors' controls, mutate, undo
// captions and the random voices of the tests.
//
// The editors name a field by its member (&VoiceElement::pitch in element 2), so a
// misspelt field does not build; the files and the command line name it by its path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
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

// What exploring may do between two values of a field: blend a number, only take
// one or the other of a choice (a waveform, a type, a flag, a configuration).
enum class FieldKind { Number, Choice };

// The part of the voice a field belongs to. Tuning holds the fields that retune an
// element (pitch, detune, temperament, fixed frequency, harmonic); an element's fields
// carry their element as well.
enum class FieldGroup {
    Common,   // bend range, aftertouch, mod wheel, configuration, delay time, adjustments
    Effect,
    Name,
    Tuning,
    Tone,       // an element's waveform, responses, FM waveform and feedback
    LFO,        // an element's LFO and its assignments
    Envelope,   // an element's envelope type, rates, levels, scaling and delay flag
    LevelPan,   // an element's level (its carrier's) and pan
    LevelVector,
    DetuneVector,
};

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
    FieldKind kind = FieldKind::Number;
    FieldGroup group = FieldGroup::Common;
    int element = -1;   // 0..3 for an element's field
    // The range as the editors' tooltips give it, when not "(editMinimum to editMaximum)".
    std::string rangeText;
};

const std::vector<VoiceField>& voiceFields();
// The row of a path, or null.
const VoiceField* findVoiceField(const std::string& path);
// The row of the field whose first byte lies at offset inside Voice, or null.
const VoiceField* findVoiceFieldAt(size_t offset);

// The row of a path in a table of rows with a `path`, or null; one index per table,
// built at its first look-up (the table lives as long as the program).
template <class Row> const Row* findByPath(const std::vector<Row>& rows, const std::string& path)
{
    static const std::map<std::string, const Row*> byPath = [&rows] {
        std::map<std::string, const Row*> m;
        for (const Row& r : rows)
            m[r.path] = &r;
        return m;
    }();
    const auto it = byPath.find(path);
    return it == byPath.end() ? nullptr : it->second;
}

// Where a member lies inside its record.
template <class Record, class T> size_t memberOffset(T Record::*member)
{
    static const Record probe{};
    return static_cast<size_t>(reinterpret_cast<const char*>(&(probe.*member)) -
                               reinterpret_cast<const char*>(&probe));
}

// Where element e (0..3), its carrier or modulator, and the level or detune vector lie
// inside Voice.
size_t elementOffset(int e);
size_t operatorOffset(int e, bool carrier);
size_t vectorOffset(bool level);

// The row of a field named by its member: of the voice, of element e, of element e's
// carrier or modulator, or of step s of the level or detune vector.
template <class T> const VoiceField& voiceField(T Voice::*member)
{
    return *findVoiceFieldAt(memberOffset(member));
}
template <class T> const VoiceField& elementField(int e, T VoiceElement::*member)
{
    return *findVoiceFieldAt(elementOffset(e) + memberOffset(member));
}
template <class T> const VoiceField& operatorField(int e, bool carrier, T OperatorBlock::*member)
{
    return *findVoiceFieldAt(operatorOffset(e, carrier) + memberOffset(member));
}
template <class T, size_t N> const VoiceField& vectorField(bool level, int s, T (VectorTable::*member)[N])
{
    return *findVoiceFieldAt(vectorOffset(level) + memberOffset(member) + static_cast<size_t>(s) * sizeof(T));
}
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
