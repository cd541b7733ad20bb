// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice/voicefields.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

using K = FieldKind;
using G = FieldGroup;

// What the editors and exploring make of a field.
struct Facts {
    const char* caption;
    FieldKind kind;
    FieldGroup group;
    FieldShown shown = FieldShown::Plain;
    int editMaximum = -1;         // the controls' top, when not the field's
    const char* rangeText = "";   // the tooltip's range, when not "(lo to hi)"
};

struct Builder {
    std::vector<VoiceField> fields;
    int element = -1;
    void add(std::string path, FieldType t, size_t offset, int lo, int hi, const Facts& facts,
             bool travels = true)
    {
        const int editMaximum = facts.editMaximum >= 0 ? facts.editMaximum : hi;
        fields.push_back({std::move(path), t, offset, lo, hi, travels, facts.caption, facts.shown, lo,
                          editMaximum, facts.kind, facts.group, element, facts.rangeText});
    }
};

#define OFF(member) offsetof(Voice, member)

void addOperator(Builder& b, const std::string& prefix, size_t base, bool used, bool fmFields, bool carrier)
{
    auto at = [&](size_t m) { return base + m; };
    const bool fm = used && fmFields;
    const FieldShown inv = FieldShown::Inverted;
    // A carrier's level is the element's; a modulator's shapes its tone.
    const FieldGroup levelGroup = carrier ? G::LevelPan : G::Tone;
    b.add(prefix + "fixedFrequency", FieldType::Flag, at(offsetof(OperatorBlock, fixedFrequency)), 0, 1,
          {"Fixed frequency", K::Choice, G::Tuning}, fm);
    b.add(prefix + "fmWaveform", FieldType::U8, at(offsetof(OperatorBlock, fmWaveform)), 0, 7,
          {"FM waveform", K::Choice, G::Tone}, fm);
    b.add(prefix + "fmFrequency", FieldType::U8, at(offsetof(OperatorBlock, fmFrequency)), 0, 15,
          {"FM frequency", K::Number, G::Tuning}, fm);
    b.add(prefix + "level", FieldType::U8, at(offsetof(OperatorBlock, level)), 0, 127,
          {"Level", K::Number, levelGroup, inv}, used);
    b.add(prefix + "temperament", FieldType::U8, at(offsetof(OperatorBlock, temperament)), 0, 3,
          {"Temperament", K::Number, G::Tuning}, used);
    b.add(prefix + "detune", FieldType::U8, at(offsetof(OperatorBlock, detune)), 0, 15,
          {"Detune", K::Number, G::Tuning}, used);
    b.add(prefix + "levelScaling", FieldType::U8, at(offsetof(OperatorBlock, levelScaling)), 0, 15,
          {"Level scaling", K::Number, G::Envelope}, used);
    b.add(prefix + "rateScaling", FieldType::U8, at(offsetof(OperatorBlock, rateScaling)), 0, 7,
          {"Rate scaling", K::Number, G::Envelope}, used);
    b.add(prefix + "envelopeDelayOn", FieldType::Flag, at(offsetof(OperatorBlock, envelopeDelayOn)), 0, 1,
          {"Envelope delay", K::Choice, G::Envelope}, used);
    b.add(prefix + "rateAttack", FieldType::U8, at(offsetof(OperatorBlock, rateAttack)), 0, 63,
          {"Attack rate", K::Number, G::Envelope}, used);
    b.add(prefix + "rateDecay1", FieldType::U8, at(offsetof(OperatorBlock, rateDecay1)), 0, 63,
          {"Decay 1 rate", K::Number, G::Envelope}, used);
    b.add(prefix + "peakStage", FieldType::U8, at(offsetof(OperatorBlock, peakStage)), 0, 3,
          {"peakStage", K::Choice, G::Envelope}, used);
    b.add(prefix + "rateDecay2", FieldType::U8, at(offsetof(OperatorBlock, rateDecay2)), 0, 63,
          {"Decay 2 rate", K::Number, G::Envelope}, used);
    b.add(prefix + "rateRelease", FieldType::U8, at(offsetof(OperatorBlock, rateRelease)), 0, 63,
          {"Release rate", K::Number, G::Envelope}, used);
    b.add(prefix + "levelInitial", FieldType::U8, at(offsetof(OperatorBlock, levelInitial)), 0, 127,
          {"Initial level", K::Number, G::Envelope, inv}, used);
    b.add(prefix + "levelAttack", FieldType::U8, at(offsetof(OperatorBlock, levelAttack)), 0, 127,
          {"Attack level", K::Number, G::Envelope, inv}, used);
    b.add(prefix + "levelDecay1", FieldType::U8, at(offsetof(OperatorBlock, levelDecay1)), 0, 127,
          {"Decay 1 level", K::Number, G::Envelope, inv}, used);
    b.add(prefix + "levelDecay2", FieldType::U8, at(offsetof(OperatorBlock, levelDecay2)), 0, 127,
          {"Decay 2 level", K::Number, G::Envelope, inv}, used);
}

void addElement(Builder& b, int i)
{
    const std::string p = "element[" + std::to_string(i) + "].";
    const size_t o = elementOffset(i);
    const bool fm = isFMElement(i);
    auto at = [&](size_t m) { return o + m; };
    b.element = i;
    b.add(p + "waveform", FieldType::U8, at(offsetof(VoiceElement, waveform)), 0, fm ? 255 : 127,
          {"Waveform", K::Choice, G::Tone});
    b.add(p + "pitch", FieldType::S8, at(offsetof(VoiceElement, pitch)), -12, 12,
          {"Pitch", K::Number, G::Tuning, FieldShown::Plain, -1, "(-12 to + 12)"});
    b.add(p + "velocityResponse", FieldType::S8, at(offsetof(VoiceElement, velocityResponse)), -5, 5,
          {"Velocity response", K::Number, G::Tone});
    b.add(p + "aftertouchResponse", FieldType::S8, at(offsetof(VoiceElement, aftertouchResponse)), -3, 3,
          {"Aftertouch response", K::Number, G::Tone});
    b.add(p + "lfoWaveform", FieldType::U8, at(offsetof(VoiceElement, lfoWaveform)), 0, 4,
          {"LFO waveform", K::Choice, G::LFO});
    b.add(p + "lfoSpeed", FieldType::U8, at(offsetof(VoiceElement, lfoSpeed)), 0, 31,
          {"LFO speed", K::Number, G::LFO});
    // The AWM editor's delay box takes 0..127, the FM editor's every delay.
    b.add(p + "lfoDelay", FieldType::U8, at(offsetof(VoiceElement, lfoDelay)), 0, 255,
          {"LFO delay", K::Number, G::LFO, FieldShown::Plain, fm ? -1 : 127});
    // The boxes show 0..127, the synthesiser's fastest rates.
    b.add(p + "lfoRate", FieldType::U8, at(offsetof(VoiceElement, lfoRate)), 0, 255,
          {"LFO rate", K::Number, G::LFO, FieldShown::Inverted, 127});
    b.add(p + "lfoAMDepth", FieldType::U8, at(offsetof(VoiceElement, lfoAMDepth)), 0, 15,
          {"AM depth", K::Number, G::LFO});
    b.add(p + "carrierAM", FieldType::Flag, at(offsetof(VoiceElement, carrierAM)), 0, 1,
          {"Carrier AM", K::Choice, G::LFO}, fm);
    // In an AWM element the modulator bits are the element's own AM and PM switches.
    b.add(p + "modulatorAM", FieldType::Flag, at(offsetof(VoiceElement, modulatorAM)), 0, 1,
          {fm ? "Modulator AM" : "AM on", K::Choice, G::LFO});
    b.add(p + "lfoPMDepth", FieldType::U8, at(offsetof(VoiceElement, lfoPMDepth)), 0, 31,
          {"PM depth", K::Number, G::LFO});
    b.add(p + "carrierPM", FieldType::Flag, at(offsetof(VoiceElement, carrierPM)), 0, 1,
          {"Carrier PM", K::Choice, G::LFO}, fm);
    b.add(p + "modulatorPM", FieldType::Flag, at(offsetof(VoiceElement, modulatorPM)), 0, 1,
          {fm ? "Modulator PM" : "PM on", K::Choice, G::LFO});
    b.add(p + "envelopeType", FieldType::U8, at(offsetof(VoiceElement, envelopeType)), 0, 7,
          {"Envelope type", K::Choice, G::Envelope});
    b.add(p + "pan", FieldType::U8, at(offsetof(VoiceElement, pan)), 0, 4,
          {"Pan", K::Number, G::LevelPan, FieldShown::PanBar});
    b.add(p + "feedback", FieldType::U8, at(offsetof(VoiceElement, feedback)), 0, 7,
          {"Feedback", K::Number, G::Tone}, fm);
    addOperator(b, p + "modulator.", operatorOffset(i, false), fm, true, false);
    addOperator(b, p + "carrier.", operatorOffset(i, true), true, fm, true);
    b.element = -1;
}

void addVector(Builder& b, bool level)
{
    const std::string name = level ? "levelVector" : "detuneVector";
    const Facts number{level ? "Level vector" : "Detune vector", K::Number,
                       level ? G::LevelVector : G::DetuneVector};
    // A step's repeat count ends in the "Repeat" and "End" marks: no number to blend.
    Facts repeats = number;
    repeats.kind = K::Choice;
    const size_t base = vectorOffset(level);
    for (int s = 0; s < vectorSteps; ++s)
        b.add(name + ".repeats[" + std::to_string(s) + "]", FieldType::S32,
              base + offsetof(VectorTable, repeats) + static_cast<size_t>(s) * sizeof(int32_t), 0, 255,
              repeats);
    for (int s = 0; s < vectorSteps; ++s)
        b.add(name + ".cdPosition[" + std::to_string(s) + "]", FieldType::U8,
              base + offsetof(VectorTable, cdPosition) + static_cast<size_t>(s), 0, 62, number);
    for (int s = 0; s < vectorSteps; ++s)
        b.add(name + ".abPosition[" + std::to_string(s) + "]", FieldType::U8,
              base + offsetof(VectorTable, abPosition) + static_cast<size_t>(s), 0, 62, number);
}

void addCommon(Builder& b)
{
    const FieldType u8 = FieldType::U8, s8 = FieldType::S8, flag = FieldType::Flag;
    b.add("effectDepth", u8, OFF(effectDepth), 0, 7, {"Effect depth", K::Number, G::Effect});
    b.add("effectType", u8, OFF(effectType), 0, 15, {"Effect type", K::Choice, G::Effect});
    b.add("name", FieldType::Name, OFF(name), 0, 0, {"Voice name", K::Choice, G::Name});
    b.add("voiceConfig", u8, OFF(voiceConfig), 0, 1, {"Configuration", K::Choice, G::Common});
    b.add("bendRange", u8, OFF(bendRange), 0, 12, {"Pitch bend range", K::Number, G::Common});
    b.add("aftertouchAM", flag, OFF(aftertouchAM), 0, 1, {"Aftertouch AM", K::Choice, G::Common});
    b.add("aftertouchPM", flag, OFF(aftertouchPM), 0, 1, {"Aftertouch PM", K::Choice, G::Common});
    b.add("aftertouchLevel", flag, OFF(aftertouchLevel), 0, 1, {"Aftertouch level", K::Choice, G::Common});
    b.add("modWheelAM", flag, OFF(modWheelAM), 0, 1, {"Mod wheel AM", K::Choice, G::Common});
    b.add("modWheelPM", flag, OFF(modWheelPM), 0, 1, {"Mod wheel PM", K::Choice, G::Common});
    b.add("controllerReserved", u8, OFF(controllerReserved), 0, 12, {"Controllers", K::Choice, G::Common});
    b.add("aftertouchPitch", s8, OFF(aftertouchPitch), -12, 12, {"Aftertouch pitch", K::Number, G::Common});
    b.add("envelopeDelay", u8, OFF(envelopeDelay), 0, 127, {"Delay time", K::Number, G::Common});
    b.add("attackAdjust", s8, OFF(attackAdjust), -64, 63, {"Attack adjust", K::Number, G::Common});
    b.add("releaseAdjust", s8, OFF(releaseAdjust), -64, 63, {"Release adjust", K::Number, G::Common});
}

std::vector<VoiceField> buildFields()
{
    Builder b;
    addCommon(b);
    for (int i = 0; i < 4; ++i)
        addElement(b, i);
    b.add("levelVectorSpeed", FieldType::U8, OFF(levelVectorSpeed), 1, 16,
          {"Level vector speed", K::Number, G::LevelVector});
    b.add("detuneVectorSpeed", FieldType::U8, OFF(detuneVectorSpeed), 1, 16,
          {"Detune vector speed", K::Number, G::DetuneVector});
    addVector(b, true);
    addVector(b, false);
    return std::move(b.fields);
}

#undef OFF

// 15 common fields, 4 elements of 17 + 2 x 18, two speeds, two vectors of 150.
constexpr size_t fieldCount = 15 + 4 * (17 + 2 * 18) + 2 + 2 * 150;
// A field added to the record without a row here fails to compile.
static_assert(sizeof(OperatorBlock) == 18);
static_assert(sizeof(VoiceElement) == 17 + 2 * 18);
static_assert(sizeof(VectorTable) == 50 * 4 + 50 + 50);
static_assert(offsetof(Voice, levelVectorSpeed) == 15 + 8 + 4 * sizeof(VoiceElement));

}   // namespace

const std::vector<VoiceField>& voiceFields()
{
    static const std::vector<VoiceField> fields = [] {
        auto f = buildFields();
        if (f.size() != fieldCount)
            std::abort();
        return f;
    }();
    return fields;
}

const VoiceField* findVoiceField(const std::string& path)
{
    return findByPath(voiceFields(), path);
}

const VoiceField* findVoiceFieldAt(size_t offset)
{
    static const std::vector<const VoiceField*> byOffset = [] {
        std::vector<const VoiceField*> v(sizeof(Voice), nullptr);
        for (const VoiceField& f : voiceFields())
            v[f.offset] = &f;
        return v;
    }();
    return offset < byOffset.size() ? byOffset[offset] : nullptr;
}

size_t elementOffset(int e)
{
    return offsetof(Voice, element) + static_cast<size_t>(e) * sizeof(VoiceElement);
}

size_t operatorOffset(int e, bool carrier)
{
    return elementOffset(e) + (carrier ? offsetof(VoiceElement, carrier) : offsetof(VoiceElement, modulator));
}

size_t vectorOffset(bool level)
{
    return level ? offsetof(Voice, levelVector) : offsetof(Voice, detuneVector);
}

int shownValue(const VoiceField& f, int stored)
{
    switch (f.shown) {
    case FieldShown::Inverted: return 127 - stored;
    case FieldShown::PanBar: return 4 - stored;
    case FieldShown::Plain: break;
    }
    return stored;
}

int storedValue(const VoiceField& f, int shown)
{
    // Each form is its own inverse.
    return shownValue(f, shown);
}

int fieldValue(const Voice& v, const VoiceField& f)
{
    const auto* base = reinterpret_cast<const unsigned char*>(&v) + f.offset;
    switch (f.type) {
    case FieldType::U8:
    case FieldType::Flag: return *base;
    case FieldType::S8: return static_cast<int8_t>(*base);
    case FieldType::S32: {
        int32_t x;
        std::memcpy(&x, base, sizeof x);
        return x;
    }
    case FieldType::Name: return 0;
    }
    return 0;
}

void setFieldValue(Voice& v, const VoiceField& f, int value)
{
    auto* base = reinterpret_cast<unsigned char*>(&v) + f.offset;
    switch (f.type) {
    case FieldType::U8:
    case FieldType::Flag:
    case FieldType::S8: *base = static_cast<unsigned char>(value); break;
    case FieldType::S32: {
        const int32_t x = value;
        std::memcpy(base, &x, sizeof x);
        break;
    }
    case FieldType::Name: break;
    }
}

void fieldTypeLimits(FieldType type, long& lowest, long& highest)
{
    switch (type) {
    case FieldType::U8:
        lowest = 0;
        highest = 255;
        return;
    case FieldType::S8:
        lowest = -128;
        highest = 127;
        return;
    case FieldType::Flag:
        lowest = 0;
        highest = 1;
        return;
    case FieldType::S32:
        lowest = INT32_MIN;
        highest = INT32_MAX;
        return;
    case FieldType::Name: lowest = highest = 0; return;
    }
}

std::string formatVoice(const Voice& v)
{
    std::string out;
    out.reserve(24 * 1024);
    for (const VoiceField& f : voiceFields()) {
        out += f.path;
        out += '=';
        if (f.type == FieldType::Name) {
            out += nameText(v.name, voiceNameLength);
        } else {
            out += std::to_string(fieldValue(v, f));
        }
        out += '\n';
    }
    return out;
}

std::string nameText(const char* name, size_t length)
{
    std::string out;
    char hex[8];
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c > 0x7E || c == '\\') {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool nameFromText(const std::string& text, char* name, size_t length)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (out.size() == length)
            return false;
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            if (i + 3 >= text.size() || text[i + 1] != 'x' ||
                !std::isxdigit(static_cast<unsigned char>(text[i + 2])) ||
                !std::isxdigit(static_cast<unsigned char>(text[i + 3])))
                return false;
            c = static_cast<unsigned char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else if (c < 0x20 || c > 0x7E) {
            return false;
        }
        out += static_cast<char>(c);
    }
    if (out.size() != length)
        return false;
    std::memcpy(name, out.data(), length);
    return true;
}

namespace {

bool parseName(const std::string& text, char (&name)[voiceNameLength + 1])
{
    if (!nameFromText(text, name, voiceNameLength))
        return false;
    name[voiceNameLength] = 0;
    return true;
}

}   // namespace

bool parseInteger(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size() || text.size() - i > 11)
        return false;
    long n = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        n = n * 10 + (text[i] - '0');
    }
    value = negative ? -n : n;
    return true;
}

bool parseVoiceLines(const std::string& text, Voice& v, std::string& error)
{
    Voice result = v;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            error = "line " + std::to_string(number) + ": expected path=value";
            return false;
        }
        const std::string path = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        const VoiceField* found = findVoiceField(path);
        if (!found) {
            error = "line " + std::to_string(number) + ": unknown field '" + path + "'";
            return false;
        }
        const VoiceField& f = *found;
        if (f.type == FieldType::Name) {
            if (!parseName(value, result.name)) {
                error = "line " + std::to_string(number) + ": a name is 8 characters (\\xHH for others)";
                return false;
            }
            continue;
        }
        long n = 0;
        if (!parseInteger(value, n)) {
            error = "line " + std::to_string(number) + ": '" + value + "' is not a number";
            return false;
        }
        long lo = 0, hi = 0;
        fieldTypeLimits(f.type, lo, hi);
        if (n < lo || n > hi) {
            error = "line " + std::to_string(number) + ": " + std::to_string(n) + " does not fit " + path +
                    " (" + std::to_string(lo) + ".." + std::to_string(hi) + ")";
            return false;
        }
        setFieldValue(result, f, static_cast<int>(n));
    }
    v = result;
    return true;
}

void randomVoice(Voice& v, uint32_t seed)
{
    // A small xorshift keeps the sequence identical on every platform.
    uint32_t state = seed ? seed : 0x9E3779B9u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    resetVoice(v);
    for (const VoiceField& f : voiceFields()) {
        if (f.type == FieldType::Name) {
            for (int i = 0; i < voiceNameLength; ++i)
                v.name[i] = static_cast<char>(0x20 + next() % 95);
            v.name[voiceNameLength] = 0;
            continue;
        }
        const int span = f.maximum - f.minimum + 1;
        setFieldValue(v, f, f.minimum + static_cast<int>(next() % static_cast<uint32_t>(span)));
    }
    // The controller byte's spare bits come only as bit 2 and bit 3.
    v.controllerReserved &= 0x0C;
}
