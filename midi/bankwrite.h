// SPDX-License-Identifier: GPL-3.0-or-later
// A bank send that is proven: the synthesiser's bank is read first (the only way to
// keep what a store to one slot leaves alone, and what tells "kept nothing" from a
// partial write), then the bank goes out block by block, then it is read back and
// compared. Storing a voice in a slot is the same road with the slot replaced in the
// bank as received, after the caller has been asked (confirmReplace) whether the voice
// the slot holds may go. The Qt-Core part the store command, the Bank window's send
// and tarvik-voice's store and send-bank share; nothing here waits, a timer of the
// event loop follows the send as the fetch object follows the fetches.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <string>
#include <vector>

#include "voice/bank.h"
#include "voice/bankdiff.h"

class TMIDIFetch;
class TSYProtocol;

class TBankWrite : public QObject {
    Q_OBJECT
public:
    enum class Stage { idle, reading, confirming, sending, readingBack };
    struct Result {
        enum class Kind {
            kept,          // what was sent is what the synthesiser holds
            keptNothing,   // it holds what it held before
            differs,       // notKept names what it holds other than was sent
            notProven,     // sent whole, but the read-back did not come or came damaged
            nothingSent,   // refused, cancelled or unanswered before the send
            partlySent,    // the send stopped between blocks (cancelled or the port failed)
        } kind = Kind::nothingSent;
        std::string text;   // the report for the user, one or two sentences
        BankDifference notKept;
        int blocksSent = 0;
    };

    TBankWrite(TSYProtocol& protocol, TMIDIFetch& fetch, QObject* parent = nullptr);
    ~TBankWrite() override;

    // Stores dump (a well-formed single dump) in slot 0..63: reads the bank, emits
    // confirmReplace, and on proceed() sends the bank with the slot replaced. False
    // when a write or fetch is under way, or the bank request cannot be sent (then
    // nothing follows).
    bool startStore(const VoiceDump& dump, int slot);
    // Sends a well-formed bank message whole (on the message's channel): reads the
    // synthesiser's bank first, then sends and reads back without asking.
    bool startSend(const std::vector<uint8_t>& message);
    // The answer to confirmReplace.
    void proceed();
    // Before the send: nothing goes out. During the send: stops between blocks. During
    // the read-back: the send stays unproven. finished follows in every case.
    void cancel();

    Stage stage() const { return current; }
    bool busy() const { return current != Stage::idle; }
    // The bank the synthesiser held before the send, once it is read.
    const Bank& bankBefore() const { return before; }

    // "Reading the synthesiser's bank...", "Sending the bank: block 3 of 17...".
    static std::string stageText(Stage stage, int blocksSent = 0);

signals:
    void stageChanged(TBankWrite::Stage stage);
    // Reading: bytes of about bankExpectedSize; sending: blocks of 17.
    void progress(int done, int total);
    // Store only: the slot holds this voice now; answer with proceed() or cancel().
    void confirmReplace(int slot, const std::string& currentName, const std::string& newName);
    void finished(const TBankWrite::Result& result);

private:
    void begin(Stage first);
    void setStage(Stage stage);
    void firstBankIn(const std::vector<uint8_t>& message);
    void readBackIn(const std::vector<uint8_t>& message);
    void fetchFailed(const std::string& why);
    void startSending();
    void pollSend();
    void startReadBack();
    void end(Result::Kind kind, const std::string& text);
    std::string cancelledSendText(int blocks) const;

    TSYProtocol& protocol;
    TMIDIFetch& fetch;
    QTimer sendTimer;
    Stage current = Stage::idle;
    int slot = -1;   // a store's slot, -1 for a whole bank
    VoiceDump voice{};
    std::vector<uint8_t> outgoing;
    Bank before{};
    Bank sent{};
    int shownBlocks = -1;
    qint64 lastBlockChange = 0;
    bool cancelAsked = false;
};
