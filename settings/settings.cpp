// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "files/filewrite.h"

namespace {

constexpr size_t holdingArea = 100;

// Up to five characters of the value, stopping at the first control or 8-bit
// character; leading blanks, an optional sign, then digits. False when no digit
// stands there: the key then keeps its value.
bool valueAt(const char* p, const char* end, int32_t& out)
{
    char value[6] = {};
    size_t n = 0;
    while (n < 5 && p + n < end) {
        const auto c = static_cast<unsigned char>(p[n]);
        if (c < 32 || c >= 128)
            break;
        value[n] = static_cast<char>(c);
        ++n;
    }
    size_t i = 0;
    while (i < n && value[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (value[i] == '-' || value[i] == '+')) {
        negative = value[i] == '-';
        ++i;
    }
    int32_t number = 0;
    size_t digits = 0;
    while (i < n && value[i] >= '0' && value[i] <= '9') {
        number = number * 10 + (value[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0)
        return false;
    out = negative ? -number : number;
    return true;
}

// The lines after the five: each key, then its text to the line end.
struct TextKey {
    const char* key;
    std::string TSettings::*field;
};
const TextKey textKeys[] = {
    {"In device name=", &TSettings::inDeviceName},
    {"Out device name=", &TSettings::outDeviceName},
    {"Last folder=", &TSettings::lastFolder},
};

// The line that follows them: whether start-up sends the first voice.
constexpr const char* sendAtStartKey = "Send at start=";

// The text of a value up to the line end (the first byte below 32), at most limit bytes.
std::string textAt(const char* p, const char* end, size_t limit)
{
    const char* q = p;
    while (q < end && static_cast<size_t>(q - p) < limit && static_cast<unsigned char>(*q) >= 32)
        ++q;
    return std::string(p, q);
}

// What a text value may hold: no byte below 32 (it would end the line), not too long.
std::string storable(const std::string& value, size_t limit)
{
    std::string kept;
    for (const char c : value)
        if (static_cast<unsigned char>(c) >= 32 && kept.size() < limit)
            kept += c;
    return kept;
}

}   // namespace

TSettings::TSettings(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return;
    fileFound = true;
    // The five keys count in the first 100 bytes; the name lines come after them.
    std::string held(textLimit, '\0');
    const size_t length = std::fread(held.data(), 1, held.size(), f);
    std::fclose(f);
    parse(held.data(), length);
}

void TSettings::parse(const char* text, size_t length)
{
    if (length > textLimit)
        length = textLimit;
    const char* all = text + length;
    const char* end = text + std::min(length, holdingArea);
    enum Which { Channel, Model, In, Out, Auto };
    static const struct {
        const char* text;
        Which which;
    } keys[] = {
        {"MIDI channel=", Channel}, {"Model=", Model},    {"In device=", In},
        {"Out device=", Out},       {"Auto send=", Auto},
    };
    const char* p = text;
    while (p < all) {
        // A name or folder line: its text is no key of the five, whatever it holds.
        bool isText = false;
        for (const TextKey& k : textKeys) {
            const size_t kl = std::strlen(k.key);
            if (static_cast<size_t>(all - p) < kl || std::memcmp(p, k.key, kl) != 0)
                continue;
            p += kl;
            std::string value = textAt(p, all, valueLimit);
            p += value.size();
            this->*k.field = std::move(value);
            isText = true;
            break;
        }
        if (isText)
            continue;
        if (static_cast<size_t>(all - p) >= std::strlen(sendAtStartKey) &&
            std::memcmp(p, sendAtStartKey, std::strlen(sendAtStartKey)) == 0) {
            p += std::strlen(sendAtStartKey);
            int32_t v = 1;
            if (valueAt(p, all, v))
                sendAtStart = v != 0;
            continue;
        }
        if (p >= end) {
            ++p;
            continue;
        }
        bool matched = false;
        for (const auto& k : keys) {
            const size_t kl = std::strlen(k.text);
            if (static_cast<size_t>(end - p) < kl || std::memcmp(p, k.text, kl) != 0)
                continue;
            matched = true;
            p += kl;
            int32_t v = 0;
            const bool found = valueAt(p, end, v);
            if (found) {
                switch (k.which) {
                case Channel: midiChannel = v; break;
                case Model: model = v & 1; break;
                case In: inDevice = v; break;
                case Out: outDevice = v; break;
                case Auto: autoSend = v != 0; break;
                }
            }
            // Skip the value as the file's own writer lays it out (one digit, or two
            // for a number of 10 and more), then the line end.
            const bool wide = (k.which == Channel || k.which == In || k.which == Out) && v >= 10;
            const size_t skip = (wide ? 2 : 1) + 1;
            // Never step past the held text, even where a value stands at its very end.
            p += std::min(skip, static_cast<size_t>(end - p));
            break;
        }
        if (!matched)
            ++p;
    }
}

std::string TSettings::text() const
{
    // Every line ends CR LF, the file's on-disk form on every platform.
    char text[200];
    const int length = std::snprintf(
        text, sizeof text, "MIDI channel=%d\r\nModel=%d\r\nIn device=%d\r\nOut device=%d\r\nAuto send=%d\r\n",
        static_cast<int>(midiChannel), static_cast<int>(model), static_cast<int>(inDevice),
        static_cast<int>(outDevice), autoSend ? 1 : 0);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof text)
        return {};
    std::string lines(text, static_cast<size_t>(length));
    for (const TextKey& k : textKeys) {
        const std::string value = storable(this->*k.field, valueLimit);
        if (!value.empty())
            lines += k.key + value + "\r\n";
    }
    if (!sendAtStart)
        lines += std::string(sendAtStartKey) + "0\r\n";
    return lines;
}

bool TSettings::save(const std::string& path) const
{
    const std::string lines = text();
    return !lines.empty() && replaceFileAtomically(path, lines.data(), lines.size());
}
