// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/bankwritedialog.h"

#include <QMessageBox>
#include <QProgressDialog>

#include "app/dialogs.h"

TBankWriteDialog::TBankWriteDialog(TSYProtocol& protocol, TMIDIFetch& fetch, QWidget* parent,
                                   const QString& caption)
    : QObject(parent), write(protocol, fetch), parent(parent), caption(caption)
{
    connect(&write, &TBankWrite::stageChanged, this, &TBankWriteDialog::showStage);
    connect(&write, &TBankWrite::progress, this, [this](int done, int total) {
        if (!progress)
            return;
        progress->setMaximum(total);
        progress->setValue(done);
        if (write.stage() == TBankWrite::Stage::sending)
            progress->setLabelText(QString::fromStdString(TBankWrite::stageText(write.stage(), done)));
    });
    connect(&write, &TBankWrite::confirmReplace, this, &TBankWriteDialog::askReplace);
    connect(&write, &TBankWrite::finished, this, &TBankWriteDialog::end);
}

TBankWriteDialog::~TBankWriteDialog() = default;

bool TBankWriteDialog::startStore(const VoiceDump& dump, int slot)
{
    return started(write.startStore(dump, slot));
}

bool TBankWriteDialog::startSend(const std::vector<uint8_t>& message)
{
    return started(write.startSend(message));
}

bool TBankWriteDialog::started(bool ok)
{
    if (!ok) {
        warnUser(parent, caption,
                 QStringLiteral("The synthesiser's bank could not be asked for: check the MIDI devices, or "
                                "wait until the fetch under way is over. Nothing was sent."));
        return false;
    }
    // The write runs on timers of the event loop: the windows stay painted, Cancel is
    // heard between blocks.
    progress = new QProgressDialog(QString(), QStringLiteral("Cancel"), 0, 100, parent);
    progress->setObjectName(QStringLiteral("BankSendProgress"));
    progress->setWindowTitle(caption);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    connect(progress, &QProgressDialog::canceled, this, [this] { write.cancel(); });
    showStage();
    progress->show();
    return true;
}

void TBankWriteDialog::raise()
{
    if (progress)
        progress->raise();
}

void TBankWriteDialog::showStage()
{
    if (!progress)
        return;
    progress->setLabelText(QString::fromStdString(TBankWrite::stageText(write.stage())));
    progress->setValue(0);
}

void TBankWriteDialog::askReplace(int slot, const std::string& current, const std::string& replacement)
{
    QMessageBox ask(QMessageBox::Question, caption,
                    QStringLiteral("%1 holds '%2' now.\n\nReplace it with '%3'? The other 63 voices and the "
                                   "16 multis stay as the synthesiser has them.")
                        .arg(QString::fromStdString(slotText(slot)), QString::fromStdString(current),
                             QString::fromStdString(replacement)),
                    QMessageBox::Yes | QMessageBox::No, parent);
    ask.setObjectName(QStringLiteral("StoreConfirm"));
    ask.setDefaultButton(QMessageBox::No);
    if (ask.exec() == QMessageBox::Yes)
        write.proceed();
    else
        write.cancel();
}

void TBankWriteDialog::end(const TBankWrite::Result& r)
{
    result = r;
    if (progress) {
        progress->hide();
        progress->deleteLater();
        progress = nullptr;
    }
    const QString text = QString::fromStdString(r.text);
    (r.kind == TBankWrite::Result::Kind::kept ? tellUser : warnUser)(parent, caption, text);
    emit finished(r);
}
