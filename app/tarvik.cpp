// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tarvik.h"

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

TTarvik::~TTarvik()
{
    // The windows and the verbs before the main window they sit on.
    windows.reset();
    verbs.reset();
}
