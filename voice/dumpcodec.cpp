// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice/dumpcodec.h"

#include <cstring>

#include "voice/sysex.h"

namespace {

constexpr int elementOffset[4] = {37, 64, 111, 138};
constexpr int levelVectorOffset = 187;
constexpr int detuneVectorOffset = 387;

// Every data byte of a System Exclusive message must stay below 0x80: a field outside
// its range (a damaged or foreign dump can decode into one) is masked, never allowed
// to put a status byte into the middle of the message.
constexpr uint8_t data7(unsigned value)
{
    return static_cast<uint8_t>(value & 0x7F);
}

// The response byte: aftertouch response as 3-bit two's complement in bits 6..4,
// velocity response 0..5 as is and -5..-1 as 6..10 in bits 3..0 (11..15, outside the
// range, come and go as they are).
uint8_t responseByte(const VoiceElement& e)
{
    int velocity = e.velocityResponse;
    if (velocity < 0)
        velocity += 11;
    return static_cast<uint8_t>((e.aftertouchResponse * 16 + (velocity & 0x0F)) & 0x7F);
}

// The decoder reads every field with the width the encoder writes it in, and flags
// as their lowest bit, so that a dump holding other bits (damaged, or from elsewhere)
// decodes into a voice that encodes and decodes again unchanged.
constexpr uint8_t flag(uint8_t b)
{
    return b & 1;
}

int joined(const uint8_t* p)
{
    return (p[0] * 128 + p[1]) & 0xFF;
}
int8_t joinedSigned(const uint8_t* p)
{
    return static_cast<int8_t>(joined(p));
}

// A vector speed: 16 travels as 0, the rest (1..15, and whatever else a voice holds
// within 7 bits) as it is.
uint8_t speedByte(uint8_t speed)
{
    return speed == 16 ? 0 : data7(speed);
}
uint8_t speedFromByte(uint8_t b)
{
    // A byte whose low 7 bits are 0 (0x80 from a damaged dump too) is 16.
    const uint8_t speed = data7(b);
    return speed ? speed : 16;
}

// Writes a dump front to back.
class DumpWriter {
public:
    explicit DumpWriter(uint8_t* buffer) : buffer(buffer) {}
    void put(uint8_t b) { buffer[writePos++] = b; }
    void putSplit(uint8_t value);
    void putOperator(const OperatorBlock& op, bool shortLayout);
    void putElement(const VoiceElement& e, bool fm);
    void skipTo(int at) { writePos = at; }

private:
    uint8_t* buffer;
    int writePos = 0;
};

void DumpWriter::putSplit(uint8_t value)
{
    put(value >> 7);
    put(value & 0x7F);
}

void DumpWriter::putOperator(const OperatorBlock& op, bool shortLayout)
{
    if (!shortLayout) {
        put(data7(op.fixedFrequency));
        put(data7(op.fmWaveform * 16u + op.fmFrequency));
    }
    put(data7(op.level));
    put(data7(op.temperament * 16u + op.detune));
    put((op.levelScaling >> 3) & 1);
    put(data7(((op.levelScaling & 7u) << 4) | (op.rateScaling & 0x0F)));
    put(data7(op.envelopeDelayOn));
    put(data7(op.rateAttack));
    put((op.peakStage >> 1) & 1);
    put(data7(((op.peakStage & 1u) << 6) | (op.rateDecay1 & 0x3F)));
    put(data7(op.rateDecay2));
    put(data7(op.rateRelease));
    put(data7(op.levelInitial));
    put(data7(op.levelAttack));
    put(data7(op.levelDecay1));
    put(data7(op.levelDecay2));
}

void DumpWriter::putElement(const VoiceElement& e, bool fm)
{
    if (fm)
        putSplit(e.waveform);
    else
        put(data7(e.waveform));
    putSplit(static_cast<uint8_t>(e.pitch));
    put(responseByte(e));
    put((e.lfoWaveform >> 2) & 1);
    put(data7(((e.lfoWaveform & 3u) << 5) | (e.lfoSpeed & 0x1F)));
    putSplit(e.lfoDelay);
    putSplit(e.lfoRate);
    // The envelope type rides in bits 6..4 of the pan byte, where the decoder reads it,
    // so a voice keeps its type through sending, saving and the library.
    const uint8_t panByte = data7(((e.envelopeType & 7u) << 4) | (e.pan & 0x0F));
    // Both layouts carry the same two switch bits beside each depth: in an AWM element
    // they are its AM and PM switches (on in a new voice), written back as they came.
    put(data7(((e.carrierAM & 1u) << 5) | ((e.modulatorAM & 1u) << 4) | (e.lfoAMDepth & 0x0Fu)));
    put(data7(((e.carrierPM & 1u) << 6) | ((e.modulatorPM & 1u) << 5) | (e.lfoPMDepth & 0x1Fu)));
    put(panByte);
    if (fm) {
        put(data7(e.feedback));
        putOperator(e.modulator, false);
        putOperator(e.carrier, false);
    } else {
        putOperator(e.carrier, true);
    }
}

}   // namespace

VoiceDump encodeVoice(const Voice& v)
{
    VoiceDump dump{};
    writeDumpHead(dump.data());
    DumpWriter w(dump.data());
    w.skipTo(static_cast<int>(sysexHeadSize));
    w.put(0x01);   // the voice tag
    w.put(0x25);
    w.put(data7(v.effectDepth * 16u + v.effectType));
    for (int i = 0; i < voiceNameLength; ++i)
        w.put(data7(static_cast<uint8_t>(v.name[i])));
    w.put(data7(v.voiceConfig));
    w.put(data7(v.bendRange));
    w.put(data7(v.aftertouchLevel * 64u + v.aftertouchPM * 32u + v.aftertouchAM * 16u +
                (v.controllerReserved & 0x0Cu) + v.modWheelPM * 2u + v.modWheelAM));
    w.putSplit(static_cast<uint8_t>(v.aftertouchPitch));
    w.put(data7(v.envelopeDelay));
    w.putSplit(static_cast<uint8_t>(v.attackAdjust));
    w.putSplit(static_cast<uint8_t>(v.releaseAdjust));
    for (int i = 0; i < 4; ++i)
        w.putElement(v.element[i], isFMElement(i));
    w.put(speedByte(v.levelVectorSpeed));
    w.put(speedByte(v.detuneVectorSpeed));
    for (const VectorTable* t : {&v.levelVector, &v.detuneVector}) {
        for (int s = 0; s < vectorSteps; ++s) {
            w.putSplit(static_cast<uint8_t>(t->repeats[s] & 0xFF));
            w.put(data7(t->cdPosition[s]));
            w.put(data7(t->abPosition[s]));
        }
    }
    w.put(0x00);
    w.put(0x00);
    w.put(0x00);
    w.put(0x00);
    w.put(0xF7);
    setInnerChecksum(dump.data());
    return dump;
}

namespace {

void getOperator(const uint8_t* p, OperatorBlock& op, bool shortLayout)
{
    if (!shortLayout) {
        op.fixedFrequency = flag(p[0]);
        op.fmWaveform = (p[1] >> 4) & 7;
        op.fmFrequency = p[1] & 0x0F;
        p += 2;
    }
    op.level = data7(p[0]);
    op.temperament = (p[1] >> 4) & 7;
    op.detune = p[1] & 0x0F;
    op.levelScaling = static_cast<uint8_t>((p[2] & 1) * 8 + ((p[3] >> 4) & 7));
    op.rateScaling = p[3] & 0x0F;
    op.envelopeDelayOn = flag(p[4]);
    op.rateAttack = data7(p[5]);
    op.peakStage = static_cast<uint8_t>((p[6] & 1) * 2 + ((p[7] >> 6) & 1));
    op.rateDecay1 = p[7] & 0x3F;
    op.rateDecay2 = data7(p[8]);
    op.rateRelease = data7(p[9]);
    op.levelInitial = data7(p[10]);
    op.levelAttack = data7(p[11]);
    op.levelDecay1 = data7(p[12]);
    op.levelDecay2 = data7(p[13]);
}

void getResponse(uint8_t b, VoiceElement& e)
{
    int velocity = b & 0x0F;
    if (velocity > 5 && velocity < 11)
        velocity -= 11;
    int aftertouch = (b >> 4) & 7;
    if (aftertouch > 3)
        aftertouch -= 8;
    e.velocityResponse = static_cast<int8_t>(velocity);
    e.aftertouchResponse = static_cast<int8_t>(aftertouch);
}

// The LFO, routing and pan bytes sit in the same order in both layouts.
void getLfoAndPan(const uint8_t* p, VoiceElement& e)
{
    e.lfoWaveform = static_cast<uint8_t>((p[0] & 1) * 4 + ((p[1] >> 5) & 3));
    e.lfoSpeed = p[1] & 0x1F;
    e.lfoDelay = static_cast<uint8_t>(joined(p + 2));
    e.lfoRate = static_cast<uint8_t>(joined(p + 4));
    e.carrierAM = (p[6] >> 5) & 1;
    e.modulatorAM = (p[6] >> 4) & 1;
    e.lfoAMDepth = p[6] & 0x0F;
    e.carrierPM = (p[7] >> 6) & 1;
    e.modulatorPM = (p[7] >> 5) & 1;
    e.lfoPMDepth = p[7] & 0x1F;
    e.envelopeType = (p[8] >> 4) & 7;
    e.pan = p[8] & 0x0F;
}

void getVector(const uint8_t* p, VectorTable& t)
{
    for (int s = 0; s < vectorSteps; ++s, p += 4) {
        t.repeats[s] = joined(p);
        t.cdPosition[s] = data7(p[2]);
        t.abPosition[s] = data7(p[3]);
    }
    // A vector whose steps all share one position does not move: mark it ended at once.
    for (int s = 1; s < vectorSteps; ++s)
        if (t.cdPosition[s] != t.cdPosition[0] || t.abPosition[s] != t.abPosition[0])
            return;
    t.repeats[0] = 255;
}

}   // namespace

void decodeVoice(const uint8_t* d, Voice& v)
{
    v.effectDepth = (d[18] >> 4) & 7;
    v.effectType = d[18] & 0x0F;
    for (int i = 0; i < voiceNameLength; ++i)
        v.name[i] = static_cast<char>(data7(d[dumpNameOffset + i]));
    v.name[voiceNameLength] = 0;
    v.voiceConfig = d[27] & 1;
    v.bendRange = data7(d[28]);
    const uint8_t c = d[29];
    v.aftertouchLevel = (c >> 6) & 1;
    v.aftertouchPM = (c >> 5) & 1;
    v.aftertouchAM = (c >> 4) & 1;
    v.controllerReserved = c & 0x0C;
    v.modWheelPM = (c >> 1) & 1;
    v.modWheelAM = c & 1;
    v.aftertouchPitch = joinedSigned(d + 30);
    v.envelopeDelay = data7(d[32]);
    v.attackAdjust = joinedSigned(d + 33);
    v.releaseAdjust = joinedSigned(d + 35);

    for (int i = 0; i < 4; ++i) {
        const uint8_t* p = d + elementOffset[i];
        VoiceElement& e = v.element[i];
        if (isFMElement(i)) {
            e.waveform = static_cast<uint8_t>(joined(p));
            e.pitch = joinedSigned(p + 2);
            getResponse(p[4], e);
            getLfoAndPan(p + 5, e);
            e.feedback = data7(p[14]);
            getOperator(p + 15, e.modulator, false);
            getOperator(p + 31, e.carrier, false);
        } else {
            e.waveform = data7(p[0]);
            e.pitch = joinedSigned(p + 1);
            getResponse(p[3], e);
            getLfoAndPan(p + 4, e);
            getOperator(p + 13, e.carrier, true);
        }
    }

    v.levelVectorSpeed = speedFromByte(d[185]);
    v.detuneVectorSpeed = speedFromByte(d[186]);
    getVector(d + levelVectorOffset, v.levelVector);
    getVector(d + detuneVectorOffset, v.detuneVector);
}

namespace {

// The high byte of every split pair of the voice record, as dump offsets.
struct SplitMap {
    bool at[dumpSize] = {};
    SplitMap()
    {
        for (int i : {16, 27, 30, 33, 35})
            at[i] = true;
        for (int base : {elementOffset[0], elementOffset[2]})
            for (int k : {1, 4, 6, 8, 15, 17, 19})
                at[base + k] = true;
        for (int base : {elementOffset[1], elementOffset[3]}) {
            for (int k : {0, 2, 5, 7, 9})
                at[base + k] = true;
            for (int op : {base + 15, base + 31})
                for (int k : {0, 4, 6, 8})
                    at[op + k] = true;
        }
        for (int j = 0; j < vectorSteps; ++j) {
            at[levelVectorOffset + 4 * j] = true;
            at[detuneVectorOffset + 4 * j] = true;
        }
        at[dumpInnerChecksumOffset] = true;
    }
};

// Built at first use, so that callers during static initialisation find it ready.
const SplitMap& splitMap()
{
    static const SplitMap map;
    return map;
}

}   // namespace

bool isVoiceSplitOffset(int i)
{
    return i >= 0 && i < dumpSize && splitMap().at[i];
}

uint8_t innerChecksum(const uint8_t* d)
{
    const SplitMap& split = splitMap();
    unsigned sum = 0;
    for (int i = 16; i < dumpInnerChecksumOffset;) {
        if (split.at[i]) {
            sum += d[i] * 128u + d[i + 1];
            i += 2;
        } else {
            sum += d[i++];
        }
    }
    return static_cast<uint8_t>((0 - sum) & 0xFF);
}

bool innerChecksumOk(const uint8_t* d)
{
    return joined(d + dumpInnerChecksumOffset) == innerChecksum(d);
}

void setInnerChecksum(uint8_t* d)
{
    const uint8_t value = innerChecksum(d);
    d[dumpInnerChecksumOffset] = value >> 7;
    d[dumpInnerChecksumOffset + 1] = value & 0x7F;
    d[dumpChecksumOffset] = sysexChecksum(d + 6, dumpChecksumOffset - 6);
}

bool hasVoiceTag(const uint8_t* d)
{
    return d[16] == 0x01 && d[17] == 0x25;
}

const char* checkVoiceDump(const uint8_t* d)
{
    if (d[0] != sysexStart)
        return "does not start with F0";
    if (d[dumpSize - 1] != sysexEnd)
        return "does not end with F7";
    if (d[1] != sysexManufacturer)
        return "manufacturer byte is not 43";
    if ((d[2] & 0xF0) != 0x00)
        return "device byte is not 0n";
    if (d[3] != sysexFormat)
        return "format byte is not 7E";
    if (d[4] != 0x04 || d[5] != 0x48)
        return "byte count is not 04 48 (584)";
    if (std::memcmp(d + 6, dumpHeaderText, 10) != 0)
        return "header text is not \"PK  2203AE\"";
    if (!hasVoiceTag(d))
        return wrongVoiceTag;
    for (int i = 1; i < dumpSize - 1; ++i)
        if (d[i] & 0x80)
            return "a status byte stands inside the data";
    if (!sysexChecksumHolds(d + 6, dumpChecksumOffset - 5))
        return "checksum does not match";
    return "";
}

long findVoiceDump(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i + dumpSize <= size; ++i)
        if (data[i] == sysexStart && data[i + dumpSize - 1] == sysexEnd)
            return static_cast<long>(i);
    return -1;
}

long findWellFormedVoiceDump(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i + dumpSize <= size; ++i)
        if (data[i] == sysexStart && data[i + dumpSize - 1] == sysexEnd && !*checkVoiceDump(data + i))
            return static_cast<long>(i);
    return -1;
}

void storedFirstRepeats(const uint8_t* dump, int32_t& level, int32_t& detune)
{
    level = joined(dump + levelVectorOffset);
    detune = joined(dump + detuneVectorOffset);
}

Voice decodedVoice(const uint8_t* dump)
{
    Voice v;
    resetVoice(v);
    decodeVoice(dump, v);
    return v;
}
