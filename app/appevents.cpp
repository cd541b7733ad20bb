// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appevents.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QString>

#include "app/dialogs.h"
#include "app/tarvik.h"

void TAppMIDIEvents::openError(const std::string& text)
{
    if (!run.openErrorDialog)
        return;
    run.openErrorDialog->setError(QString::fromLocal8Bit(text.data(), qsizetype(text.size())));
    run.openErrorDialog->exec();
}

void TAppMIDIEvents::sendError(const std::string& text)
{
    QMessageBox::warning(QApplication::activeWindow(), "MIDI Send Error",
                         QString::fromLocal8Bit(text.data(), qsizetype(text.size())));
}

void TAppFileEvents::invalidFile()
{
    if (run.InvFile)
        run.InvFile->exec();
}

void TAppFileEvents::saveError(const std::string& reason)
{
    if (!run.SaveErrDlg)
        return;
    run.SaveErrDlg->setReason(QString::fromLocal8Bit(reason.data(), qsizetype(reason.size())));
    run.SaveErrDlg->exec();
}
