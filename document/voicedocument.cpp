// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/voicedocument.h"

#include "voice/dumpcodec.h"

TVoiceDocument::TVoiceDocument()
{
    resetVoice(voice);
    history.reset(voice);
    history.onChange = [this] { emit historyChanged(); };
}

void TVoiceDocument::fieldEdited(QObject* source, bool held)
{
    history.changed(source, voice);
    if (!held)
        history.finish(voice);
    emit fieldChanged(source);
}

void TVoiceDocument::finishEdit()
{
    history.finish(voice);
}

void TVoiceDocument::replace(const Voice& v, const std::string& stepName, Send send)
{
    voice = v;
    history.loaded(stepName, voice);
    emit voiceReplaced(send);
}

bool TVoiceDocument::loadDump(const uint8_t* dump, const std::string& stepName, Send send)
{
    if (dump == nullptr)
        return false;
    // Decoded over the voice as it is: what a dump does not carry stays.
    Voice loaded = voice;
    decodeVoice(dump, loaded);
    replace(loaded, stepName, send);
    return true;
}

bool TVoiceDocument::undo()
{
    if (!history.undo(voice))
        return false;
    emit voiceReplaced(Send::ifAutoSend);
    return true;
}

bool TVoiceDocument::redo()
{
    if (!history.redo(voice))
        return false;
    emit voiceReplaced(Send::ifAutoSend);
    return true;
}

void TVoiceDocument::toggleCompare()
{
    history.toggleCompare(voice);
    emit voiceReplaced(Send::always);
}

bool TVoiceDocument::runCommand(const std::string& name, const std::function<void(Voice&)>& change)
{
    history.finish(voice);
    Voice changed = voice;
    change(changed);
    voice = changed;
    if (!history.commit(name, voice))
        return false;
    emit voiceReplaced(Send::ifAutoSend);
    return true;
}

void TVoiceDocument::saved()
{
    history.saved(voice);
}

void TVoiceDocument::resetHistory()
{
    history.reset(voice);
}

void TVoiceDocument::reshow()
{
    emit voiceReplaced(Send::never);
}
