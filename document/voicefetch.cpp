// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/voicefetch.h"

#include <cstdint>
#include <vector>

#include "document/voicedocument.h"
#include "midi/fetch.h"

TVoiceFetch::TVoiceFetch(TVoiceDocument& document, TSYProtocol* protocol, QObject* parent)
    : QObject(parent), document(document)
{
    if (!protocol)
        return;
    fetch = new TMIDIFetch(*protocol, this);
    // The fetch object answers a bank fetch with the same "no answer": only a voice
    // fetch started here ends here.
    connect(fetch, &TMIDIFetch::voiceReceived, this, [this](const std::vector<uint8_t>& dump) {
        if (!fetchingVoice)
            return;
        end();
        // A fetched voice can be undone like an edit, and is what compare goes back
        // to; the synthesiser has it already.
        this->document.loadDump(dump.data(), "Get voice", TVoiceDocument::Send::never);
        emit received();
    });
    connect(fetch, &TMIDIFetch::noAnswer, this, [this] {
        if (!fetchingVoice)
            return;
        end();
        emit noAnswer();
    });
}

TVoiceFetch::~TVoiceFetch() = default;

bool TVoiceFetch::start()
{
    if (!fetch || !fetch->startVoice())
        return false;
    fetchingVoice = true;
    return true;
}

bool TVoiceFetch::busy() const
{
    return fetch && fetch->busy();
}

void TVoiceFetch::end()
{
    fetchingVoice = false;
}
