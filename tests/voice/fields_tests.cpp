// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

namespace {

// For every field the dump carries: the dump offsets that change when the field moves
// between the ends of its range (checksum aside). Run with TARVIK_WRITE_LAYOUT=1 to
// rewrite the checked-in copy after a deliberate format change.
std::string layoutMap()
{
    std::ostringstream out;
    for (const VoiceField& f : voiceFields()) {
        if (!f.travels)
            continue;
        Voice low, high;
        resetVoice(low);
        resetVoice(high);
        if (f.type == FieldType::Name) {
            std::memcpy(high.name, "\x7F\x7F\x7F\x7F\x7F\x7F\x7F\x7F", 8);
        } else {
            setFieldValue(low, f, f.minimum);
            setFieldValue(high, f, f.maximum);
        }
        const VoiceDump lowDump = encodeVoice(low);
        const std::vector<uint8_t> a(lowDump.begin(), lowDump.end());
        const VoiceDump b = encodeVoice(high);
        out << f.path << ':';
        for (int i = 0; i < dumpSize; ++i)
            if (i != dumpChecksumOffset && i != dumpInnerChecksumOffset && i != dumpInnerChecksumOffset + 1 &&
                a[i] != b[i])
                out << ' ' << i;
        out << '\n';
    }
    return out.str();
}

}   // namespace

TEST(FieldTable, DumpLayoutIsFrozen)
{
    const std::string path = std::string(TARVIK_TEST_DATA) + "/dump-layout.txt";
    const std::string now = layoutMap();
    if (std::getenv("TARVIK_WRITE_LAYOUT")) {
        std::ofstream(path, std::ios::binary) << now;
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::stringstream frozen;
    frozen << in.rdbuf();
    EXPECT_EQ(now, frozen.str()) << "a field moved in the dump: stored files would break";
}

TEST(FieldTable, EveryFieldOnceInRecordOrder)
{
    const auto& fields = voiceFields();
    EXPECT_EQ(fields.front().path, "effectDepth");
    EXPECT_EQ(fields[2].path, "name");
    EXPECT_EQ(fields[10].path, "controllerReserved");
    EXPECT_EQ(fields.back().path, "detuneVector.abPosition[49]");
    size_t lastOffset = 0;
    for (size_t i = 1; i < fields.size(); ++i) {
        EXPECT_GT(fields[i].offset, lastOffset) << fields[i].path;
        lastOffset = fields[i].offset;
    }
}

TEST(FieldTable, EditorColumns)
{
    struct Case {
        const char* path;
        const char* caption;
        int editMinimum, editMaximum;
        int stored, shown;
    } cases[] = {
        {"element[0].lfoRate", "LFO rate", 0, 127, 27, 100},
        {"element[0].lfoDelay", "LFO delay", 0, 127, 200, 200},
        {"element[1].lfoDelay", "LFO delay", 0, 255, 200, 200},
        {"element[3].modulator.level", "Level", 0, 127, 0, 127},
        {"element[2].carrier.levelDecay2", "Decay 2 level", 0, 127, 127, 0},
        {"element[2].pan", "Pan", 0, 4, 1, 3},
        {"element[1].pitch", "Pitch", -12, 12, -5, -5},
        {"detuneVector.repeats[7]", "Detune vector", 0, 255, 3, 3},
    };
    for (const Case& c : cases) {
        const VoiceField* f = findVoiceField(c.path);
        ASSERT_NE(f, nullptr) << c.path;
        EXPECT_EQ(f->caption, c.caption) << c.path;
        EXPECT_EQ(f->editMinimum, c.editMinimum) << c.path;
        EXPECT_EQ(f->editMaximum, c.editMaximum) << c.path;
        EXPECT_EQ(shownValue(*f, c.stored), c.shown) << c.path;
        EXPECT_EQ(storedValue(*f, c.shown), c.stored) << c.path;
    }
    EXPECT_EQ(findVoiceField("element[4].pitch"), nullptr);
    EXPECT_EQ(findVoiceField("element[3].pitch")->rangeText, "(-12 to + 12)");
    EXPECT_EQ(findVoiceField("aftertouchPitch")->rangeText, "");
}

TEST(FieldTable, MembersFindTheirRows)
{
    EXPECT_EQ(voiceField(&Voice::bendRange).path, "bendRange");
    EXPECT_EQ(elementField(2, &VoiceElement::pitch).path, "element[2].pitch");
    EXPECT_EQ(operatorField(1, false, &OperatorBlock::levelAttack).path, "element[1].modulator.levelAttack");
    EXPECT_EQ(operatorField(3, true, &OperatorBlock::level).path, "element[3].carrier.level");
    EXPECT_EQ(vectorField(false, 7, &VectorTable::repeats).path, "detuneVector.repeats[7]");
    EXPECT_EQ(vectorField(true, 49, &VectorTable::abPosition).path, "levelVector.abPosition[49]");
    for (const VoiceField& f : voiceFields())
        EXPECT_EQ(findVoiceFieldAt(f.offset), &f) << f.path;
    EXPECT_EQ(findVoiceFieldAt(sizeof(Voice)), nullptr);
    // The multi table by name: every row of every part.
    EXPECT_EQ(multiField(MultiFieldId::EffectType).path, "effectType");
    EXPECT_EQ(multiField(MultiFieldId::EffectDepth).path, "effectDepth");
    EXPECT_EQ(multiField(MultiFieldId::Channel, 0).path, "part[1].channel");
    EXPECT_EQ(multiField(MultiFieldId::NoteHigh, 7).path, "part[8].noteHigh");
    EXPECT_EQ(multiField(MultiFieldId::Level, 2).path, "part[3].level");
}

TEST(FieldTable, KindsAndGroups)
{
    struct Case {
        const char* path;
        FieldKind kind;
        FieldGroup group;
        int element;
    } cases[] = {
        {"effectType", FieldKind::Choice, FieldGroup::Effect, -1},
        {"effectDepth", FieldKind::Number, FieldGroup::Effect, -1},
        {"bendRange", FieldKind::Number, FieldGroup::Common, -1},
        {"modWheelAM", FieldKind::Choice, FieldGroup::Common, -1},
        {"voiceConfig", FieldKind::Choice, FieldGroup::Common, -1},
        {"name", FieldKind::Choice, FieldGroup::Name, -1},
        {"element[0].waveform", FieldKind::Choice, FieldGroup::Tone, 0},
        {"element[1].pitch", FieldKind::Number, FieldGroup::Tuning, 1},
        {"element[3].carrier.fixedFrequency", FieldKind::Choice, FieldGroup::Tuning, 3},
        {"element[3].modulator.fmFrequency", FieldKind::Number, FieldGroup::Tuning, 3},
        {"element[2].carrier.detune", FieldKind::Number, FieldGroup::Tuning, 2},
        {"element[2].lfoWaveform", FieldKind::Choice, FieldGroup::LFO, 2},
        {"element[2].lfoSpeed", FieldKind::Number, FieldGroup::LFO, 2},
        {"element[1].envelopeType", FieldKind::Choice, FieldGroup::Envelope, 1},
        {"element[1].carrier.rateAttack", FieldKind::Number, FieldGroup::Envelope, 1},
        {"element[0].carrier.level", FieldKind::Number, FieldGroup::LevelPan, 0},
        {"element[1].modulator.level", FieldKind::Number, FieldGroup::Tone, 1},
        {"element[0].pan", FieldKind::Number, FieldGroup::LevelPan, 0},
        {"levelVector.repeats[3]", FieldKind::Choice, FieldGroup::LevelVector, -1},
        {"detuneVector.abPosition[3]", FieldKind::Number, FieldGroup::DetuneVector, -1},
        {"detuneVectorSpeed", FieldKind::Number, FieldGroup::DetuneVector, -1},
    };
    for (const Case& c : cases) {
        const VoiceField* f = findVoiceField(c.path);
        ASSERT_NE(f, nullptr) << c.path;
        EXPECT_EQ(f->kind, c.kind) << c.path;
        EXPECT_EQ(f->group, c.group) << c.path;
        EXPECT_EQ(f->element, c.element) << c.path;
    }
    // Every flag is a choice.
    for (const VoiceField& f : voiceFields()) {
        if (f.type == FieldType::Flag) {
            EXPECT_EQ(f.kind, FieldKind::Choice) << f.path;
        }
    }
}

TEST(FieldLines, FormatThenParseGivesTheSameVoice)
{
    for (uint32_t seed = 1; seed <= 50; ++seed) {
        Voice v;
        randomVoice(v, seed);
        v.name[3] = '\\';
        v.name[5] = static_cast<char>(0xA0);
        v.name[6] = 0;
        Voice back;
        resetVoice(back);
        std::string error;
        ASSERT_TRUE(parseVoiceLines(formatVoice(v), back, error)) << error;
        ASSERT_EQ(formatVoice(v), formatVoice(back)) << "seed " << seed;
    }
}

TEST(FieldLines, NameEscapesAndSignedValues)
{
    Voice v;
    resetVoice(v);
    std::memcpy(v.name,
                "E\\P\x01"
                "ano\x7F",
                8);
    v.element[2].pitch = -12;
    v.levelVector.repeats[0] = 255;
    const std::string text = formatVoice(v);
    EXPECT_NE(text.find("name=E\\x5CP\\x01ano\\x7F\n"), std::string::npos);
    EXPECT_NE(text.find("element[2].pitch=-12\n"), std::string::npos);
    EXPECT_NE(text.find("levelVector.repeats[0]=255\n"), std::string::npos);
}

TEST(FieldLines, BadLinesAreRefusedWithTheirNumberAndChangeNothing)
{
    struct Case {
        const char* text;
        const char* mention;
    } cases[] = {
        {"effectDepth=3\nnoSuchField=1\n", "line 2"},
        {"effectDepth=x\n", "line 1"},
        {"effectDepth=\n", "line 1"},
        {"\n\nelement[0].pitch=128\n", "line 3"},
        {"element[0].pitch=-129\n", "line 1"},
        {"element[1].waveform=256\n", "line 1"},
        {"aftertouchAM=2\n", "line 1"},
        {"name=SHORT\n", "line 1"},
        {"name=TOO LONG!\n", "line 1"},
        {"name=ABC\\x4\n", "line 1"},
        {"levelVector.repeats[50]=1\n", "line 1"},
        {"just words\n", "line 1"},
    };
    for (const Case& c : cases) {
        Voice v;
        resetVoice(v);
        const Voice before = v;
        std::string error;
        EXPECT_FALSE(parseVoiceLines(c.text, v, error)) << c.text;
        EXPECT_NE(error.find(c.mention), std::string::npos) << error;
        EXPECT_EQ(formatVoice(v), formatVoice(before)) << c.text;
    }
}

TEST(FieldLines, OutOfRangeButInTypeIsAccepted)
{
    Voice v;
    resetVoice(v);
    std::string error;
    ASSERT_TRUE(parseVoiceLines("effectDepth=255\r\nelement[0].pitch=-128\n", v, error)) << error;
    EXPECT_EQ(v.effectDepth, 255);
    EXPECT_EQ(v.element[0].pitch, -128);
}
