// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/fetch.h"

#include <QDateTime>

#include <algorithm>
#include <array>

#include "midi/syprotocol.h"

namespace {

constexpr int voicePollMs = 2;
constexpr int bankPollMs = 50;
constexpr qint64 requestLeaveMs = 3000;
constexpr qint64 answerCapMs = 2000;

qint64 wholeSecond()
{
    return QDateTime::currentSecsSinceEpoch();
}

}   // namespace

TMIDIFetch::TMIDIFetch(TSYProtocol& p, QObject* parent) : QObject(parent), protocol(p)
{
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &TMIDIFetch::poll);
}

TMIDIFetch::~TMIDIFetch()
{
    cancel();
}

bool TMIDIFetch::startVoice()
{
    if (busy())
        return false;
    kind = Kind::voice;
    answerWindow = false;
    protocol.startVoiceFetch();
    since.start();
    timer.start(voicePollMs);
    return true;
}

bool TMIDIFetch::startBank()
{
    if (busy() || !protocol.startBankFetch())
        return false;
    kind = Kind::bank;
    timer.start(bankPollMs);
    return true;
}

void TMIDIFetch::cancel()
{
    if (kind == Kind::voice)
        protocol.cancelVoiceFetch();
    else if (kind == Kind::bank)
        protocol.cancelBankFetch();
    kind = Kind::none;
    timer.stop();
}

void TMIDIFetch::end()
{
    kind = Kind::none;
    timer.stop();
}

void TMIDIFetch::poll()
{
    if (kind == Kind::voice)
        pollVoice();
    else if (kind == Kind::bank)
        pollBank();
    else
        timer.stop();
}

void TMIDIFetch::pollVoice()
{
    const TSYProtocol::VoiceFetchProgress p = protocol.voiceFetchProgress();
    if (!answerWindow) {
        // The wait for the answer starts once the request is out; a port that takes
        // nothing holds it up for a few seconds at most.
        if (!p.requestOut && !p.arrived && since.elapsed() < requestLeaveMs)
            return;
        answerWindow = true;
        since.start();
        startSecond = wholeSecond();
    }
    std::array<uint8_t, dumpSize> dump{};
    if (p.arrived && protocol.takeVoice(dump)) {
        end();
        emit voiceReceived(std::vector<uint8_t>(dump.begin(), dump.end()));
        emit finished();
        return;
    }
    if (wholeSecond() - startSecond < 2 && since.elapsed() < answerCapMs)
        return;
    // A dump the callback began to copy in the last moment still counts.
    const bool late = protocol.finishVoiceFetch(dump);
    end();
    if (late)
        emit voiceReceived(std::vector<uint8_t>(dump.begin(), dump.end()));
    else
        emit noAnswer();
    emit finished();
}

void TMIDIFetch::pollBank()
{
    const TSYProtocol::BankProgress p = protocol.bankProgress();
    std::vector<uint8_t> bank;
    if (p.complete && protocol.takeBank(bank)) {
        end();
        emit bankReceived(bank);
    } else if (p.overflow) {
        cancel();
        emit tooLong();
    } else if (p.received == 0 && p.idleSeconds > bankAnswerSeconds) {
        cancel();
        emit noAnswer();
    } else if (p.received > 0 && p.idleSeconds > bankStallSeconds) {
        cancel();
        emit stalled(p.received);
    } else {
        emit progress(p.received);
        return;
    }
    emit finished();
}
