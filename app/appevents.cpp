// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appevents.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QString>

#include "app/dialogs.h"
#include "editors/awmedit.h"
#include "editors/fmedit.h"
#include "editors/voicehistory.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"

TAppMIDIEvents appMIDIEvents;
TAppFileEvents appFileEvents;

void TAppMIDIEvents::openError(const std::string& text)
{
    if (!MIDIOpenError)
        return;
    MIDIOpenError->tfError->setText(QString::fromLocal8Bit(text.data(), qsizetype(text.size())));
    MIDIOpenError->exec();
}

void TAppMIDIEvents::noData()
{
    if (noMIDIData)
        noMIDIData->exec();
}

void TAppMIDIEvents::voiceReceived()
{
    // A fetched voice can be undone like an edit, and is what compare goes back to.
    voiceHistory.loaded("Get voice");
    if (AWMEdit)
        AWMEdit->refreshFromVoice();
    if (FMEdit)
        FMEdit->refreshFromVoice();
    if (VectorEdit)
        VectorEdit->refreshFromVoice();
    if (VoiceCommonEdit)
        VoiceCommonEdit->refreshFromVoice();
    if (DataReceivedForm)
        DataReceivedForm->exec();
}

void TAppMIDIEvents::sendError(const std::string& text)
{
    QMessageBox::warning(QApplication::activeWindow(), "MIDI Send Error",
                         QString::fromLocal8Bit(text.data(), qsizetype(text.size())));
}

void TAppFileEvents::invalidFile()
{
    if (InvFile)
        InvFile->exec();
}

void TAppFileEvents::saveError(const std::string& reason)
{
    if (!SaveErrDlg)
        return;
    SaveErrDlg->setReason(QString::fromLocal8Bit(reason.data(), qsizetype(reason.size())));
    SaveErrDlg->exec();
}

void TAppFileEvents::sendVoice()
{
    voiceHistory.loaded("Load voice");
    if (midiPort)
        midiPort->sendVoice();
}
