// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tarvik.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/voiceverbs.h"
#include "app/windowlist.h"
#include "document/autosender.h"
#include "document/voicefetch.h"
#include "editors/editcommands.h"
#include "library/fileio.h"
#include "midi/midiport.h"
#include "midi/syprotocol.h"

TTarvik::TTarvik() = default;

void TTarvik::libraryChanged()
{
    if (mainForm)
        mainForm->syncLibrary();
}

namespace {

// A command that needs a device that went away: told so, and not done.
bool tellAway(QWidget* parent, const QString& caption, const std::string& device)
{
    warnUser(parent, caption,
             QStringLiteral("\u201C%1\u201D was not done: the synthesiser\u2019s port \u201C%2\u201D is not "
                            "there. Tarvik connects to it again as soon as it comes back.")
                 .arg(caption, QString::fromStdString(device)));
    return false;
}

}   // namespace

bool TTarvik::synthReachable(QWidget* parent, const QString& caption, bool answered)
{
    const auto ready = [this, answered] {
        return port && port->outputOpen() && (!answered || port->inputOpen());
    };
    if (ready() && port->deviceAway(false))
        return tellAway(parent, caption, settings.outDeviceName);
    if (ready() && answered && port->deviceAway(true))
        return tellAway(parent, caption, settings.inDeviceName);
    if (ready())
        return true;
    const bool outOpen = port && port->outputOpen();
    const bool inOpen = port && port->inputOpen();
    const QString which = !outOpen && (!answered || !inOpen) ? QStringLiteral("no MIDI device is open")
                          : !outOpen                         ? QStringLiteral("no MIDI output device is open")
                                                             : QStringLiteral("no MIDI input device is open");
    QMessageBox box(QMessageBox::Warning, caption,
                    QStringLiteral("\u201C%1\u201D needs the synthesiser, but %2.").arg(caption, which),
                    QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("NoDeviceQuestion"));
    QPushButton* choose = box.addButton(QStringLiteral("&Select MIDI devices..."), QMessageBox::AcceptRole);
    choose->setObjectName(QStringLiteral("bSelectDevices"));
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(choose);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() != choose || !windows)
        return false;
    for (const TWindowEntry& entry : windows->entries())
        if (entry.window == std::string("SetDevices"))
            windows->open(entry);
    return ready();
}

TTarvik::~TTarvik()
{
    // The windows and the verbs before the main window they sit on.
    windows.reset();
    verbs.reset();
}
