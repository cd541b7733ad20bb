// SPDX-License-Identifier: GPL-3.0-or-later
// What an editor window under test stands on, as the program gives it: the settings,
// the voice document, the sender that follows it (with no transport: each voice that
// would go out is counted) and the editors' shared commands.
#pragma once

#include <QObject>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>

#include "document/autosender.h"
#include "document/voicedocument.h"
#include "editors/editcommands.h"
#include "settings/settings.h"

struct EditorBench {
    EditorBench()
    {
        settings.autoSend = true;
        QObject::connect(&sender, &TAutoSender::voiceSent, [this] { ++voiceSends; });
    }

    TSettings settings;
    TVoiceDocument document;
    TAutoSender sender{document, settings, nullptr};
    TEditCommands commands{document, sender, settings};
    Voice& voice = document.voice;
    unsigned long voiceSends = 0;
};

// The control of w with the given object name (its form name); fails the test when w
// has none.
template <class T> T* child(const QWidget* w, const QString& name)
{
    T* control = w ? w->findChild<T*>(name) : nullptr;
    if (!control) {
        ADD_FAILURE() << "no control named " << name.toStdString();
        throw std::runtime_error("no control named " + name.toStdString());
    }
    return control;
}
