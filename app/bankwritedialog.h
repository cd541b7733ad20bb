// SPDX-License-Identifier: GPL-3.0-or-later
// A verified bank write (midi/bankwrite.h) in front of the user: a progress dialog that
// names the stage (reading the bank, sending it block by block, reading it back) with
// Cancel, the question before a store replaces the voice a slot holds, and the report
// at the end, calm when the synthesiser holds what was sent and a warning otherwise.
// The store command and the Bank window's send both go through it.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

#include "midi/bankwrite.h"

class QProgressDialog;
class QWidget;
class TMIDIFetch;
class TSYProtocol;

class TBankWriteDialog : public QObject {
    Q_OBJECT
public:
    // parent: the window the dialogs sit on; caption: their title.
    TBankWriteDialog(TSYProtocol& protocol, TMIDIFetch& fetch, QWidget* parent, const QString& caption);
    ~TBankWriteDialog() override;

    // As TBankWrite's; a write that does not start is told to the user (false).
    bool startStore(const VoiceDump& dump, int slot);
    bool startSend(const std::vector<uint8_t>& message);
    bool busy() const { return write.busy(); }
    // Brings the progress dialog of the write under way to the front.
    void raise();
    // The last report, once a write has finished.
    const TBankWrite::Result& lastResult() const { return result; }

signals:
    // After the report has been told.
    void finished(const TBankWrite::Result& result);

private:
    bool started(bool ok);
    void showStage();
    void askReplace(int slot, const std::string& current, const std::string& replacement);
    void end(const TBankWrite::Result& r);

    TBankWrite write;
    QWidget* parent;
    QString caption;
    QProgressDialog* progress = nullptr;
    TBankWrite::Result result;
};
