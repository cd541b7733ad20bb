// SPDX-License-Identifier: GPL-3.0-or-later
// Built with -fsyntax-only by two tests: spelt right it builds; with MISSPELT defined
// it names a member the voice does not have, and must not build.
#include "voice/voicefields.h"

int shownTop()
{
#ifdef MISSPELT
    return elementField(0, &VoiceElement::pich).editMaximum;
#else
    return elementField(0, &VoiceElement::pitch).editMaximum;
#endif
}
