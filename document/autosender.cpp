// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/autosender.h"

#include "midi/midiport.h"
#include "settings/settings.h"

TAutoSender::TAutoSender(TVoiceDocument& document, const TSettings& settings, TMIDIPort* port)
    : document(document), settings(settings), port(port)
{
    connect(&document, &TVoiceDocument::fieldChanged, this, [this] { send(false); });
    connect(&document, &TVoiceDocument::voiceReplaced, this, [this](TVoiceDocument::Send how) {
        if (how != TVoiceDocument::Send::never)
            send(how == TVoiceDocument::Send::always);
    });
}

void TAutoSender::send(bool always)
{
    if (!always && !settings.autoSend)
        return;
    if (port)
        port->sendVoice(document.voice);
    emit voiceSent();
}

void TAutoSender::sendHeard(const Voice& v)
{
    if (port)
        port->sendVoice(v);
    emit voiceSent();
}

void TAutoSender::sendNote(bool on)
{
    if (port)
        port->sendNote(on);
}
