// SPDX-License-Identifier: GPL-3.0-or-later
// A whole bank through the transport to the virtual SY-22 over JACK: what the
// synthesiser's memory holds afterwards, after a cancel, under memory protect and
// after a power cycle.
#include <gtest/gtest.h>

#include "tests/midi/vsy22.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

namespace {

class BankSend : public ::testing::Test {
protected:
    void connect(std::vector<std::string> options)
    {
        synth = std::make_unique<VirtualSY22>(options);
        ASSERT_TRUE(synth->start()) << synth->log();
        openPorts();
    }
    void openPorts()
    {
        protocol.reset();
        port = std::make_unique<TMIDIPort>();
        protocol = std::make_unique<TSYProtocol>(*port);
        port->events = &events;
        port->openPorts(synth->inDevice(*port), synth->outDevice(*port));
        ASSERT_TRUE(events.openErrors.empty()) << events.openErrors.front();
    }

    TSYProtocol::BankSendProgress sendAndWait(const Bytes& message)
    {
        EXPECT_TRUE(protocol->startBankSend(message));
        TSYProtocol::BankSendProgress p;
        EXPECT_TRUE(eventually([&] { return (p = protocol->bankSendProgress()).done; }, 60));
        return p;
    }

    // The synthesiser's answer to a bank request, as it came.
    Bytes fetchBank()
    {
        Bytes bank;
        EXPECT_TRUE(protocol->startBankFetch());
        EXPECT_TRUE(
            eventually([&] { return protocol->bankProgress().complete && protocol->takeBank(bank); }, 60))
            << synth->log();
        return bank;
    }

    std::unique_ptr<VirtualSY22> synth;
    std::unique_ptr<TMIDIPort> port;
    std::unique_ptr<TSYProtocol> protocol;   // goes before the port
    RecordingEvents events;
};

TEST_F(BankSend, TheSynthTakesTheBankWholeWithItsPausesAndAnswersWithItByteForByte)
{
    connect({"--channel", "3"});
    protocol->setChannel(3);
    TMIDIPort closed;
    EXPECT_FALSE(TSYProtocol(closed).startBankSend(testBankMessage(1, 3)));

    const Bytes message = testBankMessage(2, 3);
    ASSERT_TRUE(protocol->startBankSend(message));
    EXPECT_FALSE(protocol->startBankSend(message));   // one at a time
    TSYProtocol::BankSendProgress p;
    ASSERT_TRUE(eventually([&] { return (p = protocol->bankSendProgress()).done; }, 60));
    EXPECT_EQ(p.blocksSent, 17);
    EXPECT_FALSE(p.failed || p.cancelled);

    ASSERT_TRUE(synth->waitForCount("banks", 1));
    EXPECT_EQ(synth->count("bank-blocks"), 17);
    EXPECT_EQ(synth->count("short-gaps"), 0) << synth->log();
    EXPECT_GE(synth->count("min-gap-us"), 100000);
    EXPECT_EQ(synth->received(1), message);
    EXPECT_EQ(fetchBank(), message);
}

TEST_F(BankSend, ACancelBetweenBlocksLeavesTheEarlierBlocksWrittenAndSendsNothingAfter)
{
    const std::string dir = makeTempDir("tarvik-bank");
    const Bytes old = testBankMessage(3, 0);
    writeBytes(dir + "/old.syx", old);
    connect({"--bank", dir + "/old.syx"});
    const Bytes fresh = testBankMessage(4, 0);

    ASSERT_TRUE(protocol->startBankSend(fresh));
    ASSERT_TRUE(eventually([&] { return protocol->bankSendProgress().blocksSent >= 3; }, 30));
    protocol->cancelBankSend();
    TSYProtocol::BankSendProgress p;
    ASSERT_TRUE(eventually([&] { return (p = protocol->bankSendProgress()).done; }));
    EXPECT_TRUE(p.cancelled);
    EXPECT_FALSE(p.failed);
    ASSERT_GE(p.blocksSent, 3);
    ASSERT_LT(p.blocksSent, 17);

    // The request goes out after whatever the cancel let through: the blocks the
    // synthesiser wrote are those that went out, and the rest of its memory is the old.
    Bank got, oldBank, freshBank;
    std::string error;
    ASSERT_TRUE(parseBankDump(old.data(), old.size(), oldBank, error)) << error;
    ASSERT_TRUE(parseBankDump(fresh.data(), fresh.size(), freshBank, error)) << error;
    const Bytes answer = fetchBank();
    ASSERT_TRUE(parseBankDump(answer.data(), answer.size(), got, error)) << error;
    EXPECT_EQ(synth->count("bank-blocks"), p.blocksSent);
    for (int v = 0; v < 64; ++v)
        EXPECT_EQ(got.voices[v], v < 4 * p.blocksSent ? freshBank.voices[v] : oldBank.voices[v])
            << "voice " << v;
    EXPECT_EQ(got.multis, oldBank.multis);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

TEST_F(BankSend, MemoryProtectTakesNothing)
{
    connect({"--protect"});
    const Bytes before = fetchBank();
    const TSYProtocol::BankSendProgress p = sendAndWait(testBankMessage(5, 0));
    EXPECT_EQ(p.blocksSent, 17);
    ASSERT_TRUE(synth->waitForCount("protected", 1));
    EXPECT_EQ(synth->count("bank-blocks"), 0);
    EXPECT_EQ(fetchBank(), before);
}

TEST_F(BankSend, APowerCycleKeepsEveryVoiceSentWithItsInnerChecksumAndResetsOneWithout)
{
    connect({});
    Bank sent;
    std::string error;
    Bytes message = testBankMessage(6, 0);
    ASSERT_TRUE(parseBankDump(message.data(), message.size(), sent, error)) << error;
    breakInnerChecksum(message, 6);   // I07 as written before the inner checksum was known
    EXPECT_EQ(checkBankDump(message.data(), message.size()), "voice I07: bad inner checksum");
    const TSYProtocol::BankSendProgress p = sendAndWait(message);
    ASSERT_EQ(p.blocksSent, 17);
    ASSERT_TRUE(synth->waitForCount("banks", 1));

    protocol.reset();
    port.reset();
    ASSERT_TRUE(synth->restart({"--power-cycle"})) << synth->log();
    ASSERT_NO_FATAL_FAILURE(openPorts());
    const Bytes answer = fetchBank();
    Bank got;
    ASSERT_TRUE(parseBankDump(answer.data(), answer.size(), got, error)) << error;
    const Bank initial = initialBank();
    for (int v = 0; v < 64; ++v)
        EXPECT_EQ(got.voices[v], v == 6 ? initial.voices[v] : sent.voices[v]) << "voice " << v;
    EXPECT_EQ(got.multis, sent.multis);
    EXPECT_EQ(synth->count("power-on-resets"), 1);
}

}   // namespace
