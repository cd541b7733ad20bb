// SPDX-License-Identifier: GPL-3.0-or-later
// The one sender of the voice being edited: it follows the document and hands the
// voice to the synthesiser protocol after each accepted change while auto-send is on,
// and after each replacement as the replacement asks. Every other send of that voice ("Send
// voice", the send after a first-run device choice) comes through here too.
#pragma once

#include <QObject>

#include "document/voicedocument.h"

class TSYProtocol;
class TSettings;

class TAutoSender : public QObject {
    Q_OBJECT
public:
    // protocol may be null (no transport): then nothing is sent.
    TAutoSender(TVoiceDocument& document, const TSettings& settings, TSYProtocol* protocol);

    // The voice to the synthesiser: always, or only when auto-send is on.
    void send(bool always);
    // Another voice, to be heard without becoming the one being edited (the list's
    // audition).
    void sendHeard(const Voice& v);
    // The test note on or off.
    void sendNote(bool on);

signals:
    // A voice went out: handed to the protocol (queued, or refused by a closed port),
    // or nowhere when there is no transport.
    void voiceSent();

private:
    TVoiceDocument& document;
    const TSettings& settings;
    TSYProtocol* protocol;
};
