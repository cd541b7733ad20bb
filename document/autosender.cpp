// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/autosender.h"

#include "midi/syprotocol.h"
#include "settings/settings.h"

TAutoSender::TAutoSender(TVoiceDocument& document, const TSettings& settings, TSYProtocol* protocol)
    : document(document), settings(settings), protocol(protocol)
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
    if (protocol)
        protocol->sendVoice(document.voice);
    emit voiceSent();
}

void TAutoSender::sendHeard(const Voice& v)
{
    if (protocol)
        protocol->sendVoice(v);
    emit voiceSent();
}

void TAutoSender::sendNote(bool on)
{
    if (protocol)
        protocol->sendNote(on);
}
