// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/storevoice.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/bankwritedialog.h"
#include "app/dialogs.h"
#include "document/voicedocument.h"
#include "voice/bankdiff.h"
#include "voice/dumpcodec.h"

namespace {

QString storeCaption()
{
    return QStringLiteral("Store voice in synth");
}

}   // namespace

TStoreVoice::TStoreVoice(TVoiceDocument& document, TSYProtocol* protocol, TMIDIFetch* fetch, QWidget* parent)
    : QDialog(parent), document(document), protocol(protocol), fetch(fetch)
{
    setObjectName(QStringLiteral("StoreVoice"));
    setWindowTitle(storeCaption());
    lVoice = new QLabel(this);
    lVoice->setObjectName(QStringLiteral("lVoice"));
    cbSlot = new QComboBox(this);
    cbSlot->setObjectName(QStringLiteral("cbSlot"));
    cbSlot->setAccessibleName(QStringLiteral("Memory slot"));
    for (int s = 0; s < bankVoices; ++s)
        cbSlot->addItem(QString::fromStdString(slotText(s)));
    auto* note = new QLabel(QStringLiteral("The synthesiser's bank is read first and read back after the send: "
                                           "its other 63 voices and its 16 multis stay as they are."),
                            this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* bStore = buttons->addButton(QStringLiteral("Store"), QDialogButtonBox::AcceptRole);
    bStore->setObjectName(QStringLiteral("bStore"));
    bStore->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lVoice);
    layout->addWidget(cbSlot);
    layout->addWidget(note);
    layout->addWidget(buttons);
    if (protocol && fetch)
        write = new TBankWriteDialog(*protocol, *fetch, parent ? parent : this, storeCaption());
}

TStoreVoice::~TStoreVoice() = default;

int TStoreVoice::exec()
{
    if (write && write->busy()) {
        write->raise();
        return QDialog::Rejected;
    }
    document.finishEdit();
    lVoice->setText(QStringLiteral("Store '%1' in the synthesiser's memory, in slot:")
                        .arg(QString::fromStdString(dumpNameText(encodeVoice(document.voice).data()))));
    const int answer = QDialog::exec();
    if (answer == QDialog::Accepted)
        store(cbSlot->currentIndex());
    return answer;
}

bool TStoreVoice::store(int slot)
{
    if (!write) {
        warnUser(parentWidget(), storeCaption(),
                 QStringLiteral("There is no MIDI transport: nothing was sent."));
        return false;
    }
    return write->startStore(encodeVoice(document.voice), slot);
}
