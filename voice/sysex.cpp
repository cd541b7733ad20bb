// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice/sysex.h"

#include <cstring>

#include "voice/dumpcodec.h"

const char dumpHeaderText[11] = "PK  2203AE";
const char bankHeaderText[11] = "PK  2203VM";

namespace {

bool headWith(const uint8_t* m, size_t size, uint8_t countHigh, uint8_t countLow, const char* text)
{
    return size >= sysexHeadSize && hasSysexHead(m, size) && m[4] == countHigh && m[5] == countLow &&
           std::memcmp(m + 6, text, 10) == 0;
}

template <class Bytes> void fillRequest(Bytes& m, int channel, const char* text)
{
    m[0] = sysexStart;
    m[1] = sysexManufacturer;
    m[2] = static_cast<uint8_t>(0x20 | channelBits(channel));
    m[3] = sysexFormat;
    std::memcpy(&m[4], text, 10);
    m[14] = sysexEnd;
}

bool isRequest(const uint8_t* m, size_t size, const char* text)
{
    return m != nullptr && size == sysexRequestSize && m[0] == sysexStart && m[1] == sysexManufacturer &&
           (m[2] & 0xF0) == 0x20 && m[3] == sysexFormat && std::memcmp(m + 4, text, 10) == 0 &&
           m[14] == sysexEnd;
}

}   // namespace

uint8_t sysexChecksum(const uint8_t* bytes, size_t size)
{
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>((0 - sum) & 0x7F);
}

bool sysexChecksumHolds(const uint8_t* bytes, size_t size)
{
    return size > 0 && sysexChecksum(bytes, size) == 0;
}

bool hasSysexHead(const uint8_t* m, size_t size)
{
    return m != nullptr && size >= 4 && m[0] == sysexStart && m[1] == sysexManufacturer &&
           (m[2] & 0xF0) == 0x00 && m[3] == sysexFormat;
}

bool hasDumpHead(const uint8_t* m, size_t size)
{
    return headWith(m, size, 0x04, 0x48, dumpHeaderText);
}

bool hasBankHead(const uint8_t* m, size_t size)
{
    return headWith(m, size, 0x12, 0x02, bankHeaderText);
}

bool isVoiceDump(const uint8_t* message, size_t size)
{
    return size == static_cast<size_t>(dumpSize) && hasDumpHead(message, size) &&
           message[size - 1] == sysexEnd;
}

void writeDumpHead(uint8_t* dump)
{
    const uint8_t head[6] = {sysexStart, sysexManufacturer, 0x00, sysexFormat, 0x04, 0x48};
    std::memcpy(dump, head, sizeof head);
    std::memcpy(dump + 6, dumpHeaderText, 10);
}

std::array<uint8_t, sysexRequestSize> dumpRequest(int channel)
{
    std::array<uint8_t, sysexRequestSize> m{};
    fillRequest(m, channel, dumpHeaderText);
    return m;
}

std::vector<uint8_t> bankRequest(int channel)
{
    std::vector<uint8_t> m(sysexRequestSize);
    fillRequest(m, channel, bankHeaderText);
    return m;
}

bool isDumpRequest(const uint8_t* m, size_t size)
{
    return isRequest(m, size, dumpHeaderText);
}
bool isBankRequest(const uint8_t* m, size_t size)
{
    return isRequest(m, size, bankHeaderText);
}
