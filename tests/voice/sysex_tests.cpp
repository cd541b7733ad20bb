// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/sysex.h"

using Bytes = std::vector<uint8_t>;

TEST(Sysex, RequestsCarryTheChannelsLowBitsAndAreToldApart)
{
    const Bytes voice = {0xF0, 0x43, 0x25, 0x7E, 'P', 'K', ' ', ' ', '2', '2', '0', '3', 'A', 'E', 0xF7};
    const auto asked = dumpRequest(5);
    EXPECT_EQ(Bytes(asked.begin(), asked.end()), voice);
    // A hand-edited channel of 200 keeps byte 2 a data byte: 0x20 | 8.
    const Bytes bank = bankRequest(200);
    EXPECT_EQ(bank, (Bytes{0xF0, 0x43, 0x28, 0x7E, 'P', 'K', ' ', ' ', '2', '2', '0', '3', 'V', 'M', 0xF7}));
    EXPECT_TRUE(isDumpRequest(voice.data(), voice.size()));
    EXPECT_FALSE(isBankRequest(voice.data(), voice.size()));
    EXPECT_TRUE(isBankRequest(bank.data(), bank.size()));
    EXPECT_FALSE(isDumpRequest(bank.data(), bank.size() - 1));
}

TEST(Sysex, DumpAndBankHeadsAreRecognisedOnAnyChannelAndNothingElse)
{
    Voice v;
    resetVoice(v);
    const VoiceDump dumpBytes = encodeVoice(v);
    Bytes dump(dumpBytes.begin(), dumpBytes.end());
    dump[dumpChannelOffset] = 0x0C;
    EXPECT_TRUE(isVoiceDump(dump.data(), dump.size()));
    EXPECT_FALSE(hasBankHead(dump.data(), dump.size()));
    EXPECT_FALSE(isVoiceDump(dump.data(), dump.size() - 1));
    EXPECT_FALSE(isVoiceDump(nullptr, dumpSize));
    dump[dumpChannelOffset] = 0x2C;   // a request's device byte: no dump
    EXPECT_FALSE(isVoiceDump(dump.data(), dump.size()));

    const Bytes bank = buildBankDump({}, 3);
    EXPECT_TRUE(hasBankHead(bank.data(), bank.size()));
    EXPECT_FALSE(hasDumpHead(bank.data(), bank.size()));
    EXPECT_FALSE(hasBankHead(bank.data(), sysexHeadSize - 1));   // too short to tell
}
