// SPDX-License-Identifier: GPL-3.0-or-later
// "Store voice in synth...": the voice being edited into one of the synthesiser's 64
// memory slots. The synthesiser takes a single voice only into its edit buffer, so the
// voice goes in through its whole bank: read, the slot replaced, sent and read back to
// prove it (app/bankwritedialog.h). The dialog asks for the slot; the rest follows in
// the write's own dialogs. Caption "Store voice in synth".
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class TBankWriteDialog;
class TMIDIFetch;
class TSYProtocol;
class TVoiceDocument;

class TStoreVoice : public QDialog {
    Q_OBJECT
public:
    // Without a transport or fetch object (null) the store is refused with a message.
    TStoreVoice(TVoiceDocument& document, TSYProtocol* protocol, TMIDIFetch* fetch, QWidget* parent);
    ~TStoreVoice() override;

    // Shows the voice's name and asks for the slot (modal); Store starts the write.
    int exec() override;
    // Stores in slot 0..63 at once, as Store does.
    bool store(int slot);
    TBankWriteDialog* writer() const { return write; }

    QComboBox* cbSlot;

private:
    TVoiceDocument& document;
    TSYProtocol* protocol;
    TMIDIFetch* fetch;
    TBankWriteDialog* write = nullptr;
    QLabel* lVoice;
};
