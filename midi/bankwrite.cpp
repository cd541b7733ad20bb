// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/bankwrite.h"

#include <QDateTime>

#include <algorithm>

#include "midi/fetch.h"
#include "midi/syprotocol.h"

namespace {

constexpr int sendPollMs = 50;
// A block takes well under a second; none for this long means the port takes no more.
constexpr qint64 sendStallMs = 10000;
// The synthesiser writes the last block into its memory as it comes; a moment more
// before the bank is asked for again.
constexpr int readBackDelayMs = bankBlockGapMs;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// What the synthesiser holds after blocksSent of the 17 blocks went out.
std::string writtenPart(int blocksSent)
{
    if (blocksSent >= bankVoiceBlocks)
        return "all 64 voices; the multis were not sent";
    return "voices I01 to " + slotText(blocksSent * bankVoicesPerBlock - 1);
}

}   // namespace

TBankWrite::TBankWrite(TSYProtocol& p, TMIDIFetch& f, QObject* parent) : QObject(parent), protocol(p), fetch(f)
{
    sendTimer.setInterval(sendPollMs);
    connect(&sendTimer, &QTimer::timeout, this, &TBankWrite::pollSend);
    connect(&fetch, &TMIDIFetch::bankReceived, this, [this](const std::vector<uint8_t>& message) {
        if (current == Stage::reading)
            firstBankIn(message);
        else if (current == Stage::readingBack)
            readBackIn(message);
    });
    connect(&fetch, &TMIDIFetch::progress, this, [this](qulonglong received) {
        if (current == Stage::reading || current == Stage::readingBack)
            emit progress(static_cast<int>(std::min<qulonglong>(received, bankExpectedSize)),
                          static_cast<int>(bankExpectedSize));
    });
    connect(&fetch, &TMIDIFetch::noAnswer, this, [this] { fetchFailed("the synthesiser did not answer"); });
    connect(&fetch, &TMIDIFetch::tooLong, this, [this] { fetchFailed("the answer is longer than any bank"); });
    connect(&fetch, &TMIDIFetch::stalled, this, [this](qulonglong received) {
        fetchFailed("the bank stopped coming after " + std::to_string(received) + " bytes");
    });
}

TBankWrite::~TBankWrite()
{
    // Nothing more goes out once the one who sent it is gone.
    if (current == Stage::sending)
        protocol.cancelBankSend();
    else if (current == Stage::reading || current == Stage::readingBack)
        fetch.cancel();
}

std::string TBankWrite::stageText(Stage stage, int blocksSent)
{
    switch (stage) {
    case Stage::reading: return "Reading the synthesiser's bank...";
    case Stage::confirming: return "The synthesiser's bank is in.";
    case Stage::sending:
        return "Sending the bank: block " + std::to_string(std::min(blocksSent + 1, bankBlockCount)) + " of " +
               std::to_string(bankBlockCount) + "...";
    case Stage::readingBack: return "Reading the bank back...";
    case Stage::idle: break;
    }
    return "";
}

bool TBankWrite::startStore(const VoiceDump& dump, int s)
{
    if (busy() || s < 0 || s >= bankVoices || fetch.busy())
        return false;
    voice = writtenDump(dump.data());
    slot = s;
    begin(Stage::reading);
    return current == Stage::reading;
}

bool TBankWrite::startSend(const std::vector<uint8_t>& message)
{
    if (busy() || fetch.busy() || !checkBankDump(message.data(), message.size()).empty())
        return false;
    slot = -1;
    outgoing = message;
    begin(Stage::reading);
    return current == Stage::reading;
}

void TBankWrite::begin(Stage first)
{
    cancelAsked = false;
    shownBlocks = -1;
    if (!fetch.startBank())
        return;
    setStage(first);
}

void TBankWrite::setStage(Stage stage)
{
    current = stage;
    emit stageChanged(stage);
}

void TBankWrite::fetchFailed(const std::string& why)
{
    if (current == Stage::reading)
        end(Result::Kind::nothingSent, "No bank came from the synthesiser (" + why + "): nothing was sent.");
    else if (current == Stage::readingBack)
        end(Result::Kind::notProven, "The bank was sent, but reading it back failed (" + why +
                                         "): the send could not be proven.");
}

void TBankWrite::firstBankIn(const std::vector<uint8_t>& message)
{
    std::string fault;
    if (!parseBankDump(message.data(), message.size(), before, fault)) {
        end(Result::Kind::nothingSent, "The synthesiser's bank arrived damaged (" + fault + "): nothing was sent.");
        return;
    }
    if (slot < 0) {
        startSending();
        return;
    }
    // Every byte as received but the slot's record and its block's checksum; the bank
    // goes back on the channel the synthesiser listens on.
    outgoing = message;
    outgoing[dumpChannelOffset] = channelBits(protocol.currentChannel());
    replaceBankSlot(outgoing, slot, voice.data());
    setStage(Stage::confirming);
    emit confirmReplace(slot, dumpNameText(before.voices[static_cast<size_t>(slot)].data()),
                        dumpNameText(voice.data()));
}

void TBankWrite::proceed()
{
    if (current == Stage::confirming)
        startSending();
}

void TBankWrite::startSending()
{
    std::string fault;
    if (!parseBankDump(outgoing.data(), outgoing.size(), sent, fault)) {
        end(Result::Kind::nothingSent, "The bank to send is damaged (" + fault + "): nothing was sent.");
        return;
    }
    if (!protocol.startBankSend(outgoing)) {
        end(Result::Kind::nothingSent,
            "The bank could not be sent: check the MIDI output device. Nothing was sent.");
        return;
    }
    lastBlockChange = nowMs();
    setStage(Stage::sending);
    emit progress(0, bankBlockCount);
    sendTimer.start();
}

void TBankWrite::pollSend()
{
    const TSYProtocol::BankSendProgress p = protocol.bankSendProgress();
    const int blocks = p.blocks > 0 ? p.blocks : bankBlockCount;
    const int done = std::clamp(p.blocksSent, 0, blocks);
    if (done != shownBlocks) {
        shownBlocks = done;
        lastBlockChange = nowMs();
        emit progress(done, blocks);
    }
    if (!p.done) {
        if (nowMs() - lastBlockChange > sendStallMs)
            protocol.cancelBankSend();   // the port takes no more: ends as failed below
        return;
    }
    sendTimer.stop();
    if (p.cancelled || p.failed) {
        Result::Kind kind = done == 0 ? Result::Kind::nothingSent : Result::Kind::partlySent;
        const std::string why = cancelAsked ? "Sending was cancelled" : "Sending stopped (the MIDI output failed)";
        if (done == 0) {
            end(kind, why + " before the first block went out: the synthesiser's memory is as it was.");
            return;
        }
        end(kind, cancelledSendText(done));
        return;
    }
    // A moment for the synthesiser's write, then the read-back.
    QTimer::singleShot(readBackDelayMs, this, &TBankWrite::startReadBack);
    setStage(Stage::readingBack);
}

std::string TBankWrite::cancelledSendText(int blocks) const
{
    std::string text = (cancelAsked ? "Sending was cancelled after " : "Sending stopped after ") +
                       std::to_string(blocks) + " of " + std::to_string(bankBlockCount) +
                       " blocks. The blocks already sent are written in the synthesiser's memory: " +
                       writtenPart(blocks) + ". Nothing after them was sent.";
    if (slot >= 0)
        text += slot < blocks * bankVoicesPerBlock
                    ? " " + slotText(slot) + " was among them."
                    : " " + slotText(slot) + " was not: the blocks sent held what the synthesiser had.";
    return text;
}

void TBankWrite::startReadBack()
{
    if (current != Stage::readingBack)
        return;
    if (cancelAsked) {
        end(Result::Kind::notProven, "The bank was sent whole; reading it back was cancelled: the send "
                                     "could not be proven.");
        return;
    }
    if (!fetch.startBank())
        end(Result::Kind::notProven,
            "The bank was sent, but it could not be asked for again: the send could not be proven.");
}

void TBankWrite::readBackIn(const std::vector<uint8_t>& message)
{
    Bank readBack;
    std::string fault;
    if (!parseBankDump(message.data(), message.size(), readBack, fault)) {
        end(Result::Kind::notProven,
            "The bank was sent, but the bank read back arrived damaged (" + fault + "): the send could not be proven.");
        return;
    }
    const BankWriteCheck check = checkBankWrite(before, sent, readBack, slot);
    Result::Kind kind = Result::Kind::kept;
    if (check.outcome == BankWriteCheck::Outcome::keptNothing)
        kind = Result::Kind::keptNothing;
    else if (check.outcome == BankWriteCheck::Outcome::differs)
        kind = Result::Kind::differs;
    Result r;
    r.kind = kind;
    r.text = check.text;
    r.notKept = check.notKept;
    r.blocksSent = bankBlockCount;
    current = Stage::idle;
    emit finished(r);
}

void TBankWrite::cancel()
{
    cancelAsked = true;
    switch (current) {
    case Stage::reading:
    case Stage::confirming:
        fetch.cancel();
        end(Result::Kind::nothingSent, "Cancelled before the send: nothing was sent, the synthesiser is untouched.");
        return;
    case Stage::sending: protocol.cancelBankSend(); return;   // pollSend reports once the block is out
    case Stage::readingBack:
        if (fetch.busy()) {
            fetch.cancel();
            end(Result::Kind::notProven, "The bank was sent whole; reading it back was cancelled: the send "
                                         "could not be proven.");
        }
        return;   // else startReadBack reports
    case Stage::idle: return;
    }
}

void TBankWrite::end(Result::Kind kind, const std::string& text)
{
    sendTimer.stop();
    Result r;
    r.kind = kind;
    r.text = text;
    r.blocksSent = std::max(shownBlocks, 0);
    current = Stage::idle;
    emit finished(r);
}
