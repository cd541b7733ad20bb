// SPDX-License-Identifier: GPL-3.0-or-later
// Fetching from the synthesiser, a single voice and the whole bank alike: the request
// goes out through the synthesiser protocol, and a timer of the event loop looks at how far the
// answer came, until it is in or the synthesiser has said nothing for too long. Nothing
// waits here: the caller's event loop runs on, and the outcome comes as one signal.
//
// A voice: the wait for the answer starts once the request is on the wire (3 seconds
// at most for that) and lasts until the whole-second clock has advanced by 2 (1 to 2
// seconds). Only a voice dump counts as the answer. A bank: the synthesiser has
// bankAnswerSeconds for its first byte and bankStallSeconds for each next piece.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <vector>

class TSYProtocol;

class TMIDIFetch : public QObject {
    Q_OBJECT
public:
    explicit TMIDIFetch(TSYProtocol& protocol, QObject* parent = nullptr);
    ~TMIDIFetch() override;

    // Starts fetching the edit voice. False when a fetch is under way already (the
    // one under way answers). A request that cannot be sent still waits its time
    // and ends in noAnswer, as a synthesiser that is not there would.
    bool startVoice();
    // Starts fetching the bank. False when a fetch is under way or the request could
    // not be sent: then no signal follows.
    bool startBank();
    // Ends a fetch under way without a signal; what comes later is dropped.
    void cancel();
    bool busy() const { return kind != Kind::none; }

signals:
    void voiceReceived(const std::vector<uint8_t>& dump);   // 592 bytes, as received
    void bankReceived(const std::vector<uint8_t>& bank);    // F0 ... F7, as received
    void noAnswer();
    // Bank only: how far the answer came (bytes), while it comes.
    void progress(qulonglong received);
    // Bank only: the answer stopped coming after that many bytes.
    void stalled(qulonglong received);
    // Bank only: the answer is longer than any bank.
    void tooLong();
    // After each of the outcomes above, once the fetch is over.
    void finished();

private:
    enum class Kind { none, voice, bank };
    void poll();
    void pollVoice();
    void pollBank();
    void end();

    TSYProtocol& protocol;
    QTimer timer;
    Kind kind = Kind::none;
    // Voice: the request's time to leave, then the whole-second window (capped at 2 s
    // of steady time should the time of day be set back meanwhile).
    bool answerWindow = false;
    QElapsedTimer since;
    qint64 startSecond = 0;
};
