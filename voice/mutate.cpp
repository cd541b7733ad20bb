// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice/mutate.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "voice/voicefields.h"

namespace {

bool endsWith(const std::string& s, const char* tail)
{
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

}   // namespace

void mutateVoice(Voice& v, const MutateOptions& options)
{
    // A small xorshift keeps a seed's voice the same on every platform.
    uint32_t state = options.seed ? options.seed : 0x9E3779B9u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const uint32_t strength = static_cast<uint32_t>(std::clamp(options.strength, 1, 100));
    auto chosen = [&] { return next() % 100 < strength; };

    for (const VoiceField& f : voiceFields()) {
        if (f.type == FieldType::Name) {
            if (!options.name || !chosen())
                continue;
            // Blank to '~' without the backslash, never all blanks.
            bool blank = true;
            for (int i = 0; i < voiceNameLength; ++i) {
                char c = static_cast<char>(0x20 + next() % 94);
                if (c == '\\')
                    c = '~';
                v.name[i] = c;
                blank = blank && c == ' ';
            }
            if (blank)
                v.name[0] = '*';
            v.name[voiceNameLength] = 0;
            continue;
        }
        if (!f.travels || endsWith(f.path, "peakStage") || f.path == "controllerReserved")
            continue;
        // A vector's steps are its repeats and its positions alike.
        if (!options.vectorSteps &&
            (f.path.rfind("levelVector.", 0) == 0 || f.path.rfind("detuneVector.", 0) == 0))
            continue;
        // Inside the editors' range too: a value beyond would show as a number they refuse.
        const int a = storedValue(f, f.editMinimum);
        const int b = storedValue(f, f.editMaximum);
        const int lo = std::max(f.minimum, std::min(a, b));
        const int hi = std::min(f.maximum, std::max(a, b));
        if (chosen())
            setFieldValue(v, f, lo + static_cast<int>(next() % static_cast<uint32_t>(hi - lo + 1)));
    }
    for (int i = 0; i < 4; ++i) {
        updatePeakStage(v.element[i].carrier);
        if (isFMElement(i))
            updatePeakStage(v.element[i].modulator);
    }
}
