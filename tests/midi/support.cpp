// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/midi/vsy22.h"

#include "voice/dumpcodec.h"

void RecordingEvents::voiceReceived()
{
    ++receivedCalls;
    const VoiceDump d = encodeVoice(voice);
    voiceWhenReceived.assign(d.begin(), d.end());
}
