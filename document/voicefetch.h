// SPDX-License-Identifier: GPL-3.0-or-later
// "Get voice": the synthesiser's edit voice fetched and made the voice being edited.
// The request goes out through the fetch object of the transport; its answer, a voice
// dump, becomes the voice as one undo step ("Get voice") and is not sent back. The
// same fetch object serves the whole bank, one fetch at a time; whoever fetches the
// bank takes it from here.
#pragma once

#include <QObject>

class TMIDIFetch;
class TSYProtocol;
class TVoiceDocument;

class TVoiceFetch : public QObject {
    Q_OBJECT
public:
    // Without a transport (protocol null) nothing is ever fetched.
    TVoiceFetch(TVoiceDocument& document, TSYProtocol* protocol, QObject* parent = nullptr);
    ~TVoiceFetch() override;

    // Starts fetching the voice. False when it did not start: no transport, or a
    // fetch (voice or bank) is under way; the one under way answers.
    bool start();
    // A voice or bank fetch is under way.
    bool busy() const;
    // The fetch object, for the whole bank; null without a transport.
    TMIDIFetch* bankFetch() const { return fetch; }

signals:
    // The voice fetch that started has ended: the answer is the voice now, or none came.
    void received();
    void noAnswer();

private:
    void end();

    TVoiceDocument& document;
    TMIDIFetch* fetch = nullptr;
    bool fetchingVoice = false;
};
