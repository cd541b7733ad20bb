// Placeholder transport: counts sends, opens nothing. The RtMidi layer replaces it.
#include "midi/midiport.h"

#include "voice/dumpcodec.h"

TMIDIPort* midiPort = nullptr;

struct TMIDIPort::Impl {};

TMIDIPort::TMIDIPort() { enumerateDevices(); }
TMIDIPort::~TMIDIPort() { delete impl; }
void TMIDIPort::enumerateDevices() { inCount = outCount = 0; }
std::string TMIDIPort::inDeviceName(int) const { return {}; }
std::string TMIDIPort::outDeviceName(int) const { return {}; }
void TMIDIPort::openPorts(int, int) {}
void TMIDIPort::closePorts() {}
bool TMIDIPort::sendVoice()
{
    ++sendVoiceCalls;
    dumpCodec.encodeVoice();
    return false;
}
bool TMIDIPort::sendDumpRequest() { return false; }
bool TMIDIPort::getVoice()
{
    if (events)
        events->noData();
    return false;
}
