// SPDX-License-Identifier: GPL-3.0-or-later
// Encodes and decodes a million voices and prints voices per second for each.
#include <chrono>
#include <cstdio>

#include "voice/dumpcodec.h"

int main()
{
    constexpr int count = 1000000;
    Voice v;
    resetVoice(v);
    v.levelVectorSpeed = v.detuneVectorSpeed = 3;
    v.levelVector.abPosition[1] = 40;
    v.detuneVector.cdPosition[2] = 20;
    unsigned sink = 0;

    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        v.element[0].waveform = static_cast<uint8_t>(i & 0x7F);
        sink += encodeVoice(v)[590];
    }
    auto t1 = std::chrono::steady_clock::now();
    const VoiceDump dump = encodeVoice(v);
    Voice out;
    for (int i = 0; i < count; ++i) {
        decodeVoice(dump.data(), out);
        sink += out.element[0].waveform;
    }
    auto t2 = std::chrono::steady_clock::now();

    const double enc = std::chrono::duration<double>(t1 - t0).count();
    const double dec = std::chrono::duration<double>(t2 - t1).count();
    std::printf("encode: %.0f voices/s\n", count / enc);
    std::printf("decode: %.0f voices/s\n", count / dec);
    std::printf("(checksum of the run: %u)\n", sink);
    return 0;
}
