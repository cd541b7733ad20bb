// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/awmwaves.h"

#include "editors/presettables.h"

namespace {

// The wave names as the synthesiser lists them, separated by CR LF. 119..126 are the
// eight sequence waves "SEQ 1".."SEQ 8".
const char sy22WaveText[] =
    "Piano\r\nE Piano\r\nClavi\r\nCembalo\r\nCelesta\r\nP Organ\r\nE Organ1\r\nE Organ2\r\n"
    "Reed\r\nTrumpet\r\nMute Trp\r\nTrombone\r\nFlugel\r\nFr Horn\r\nBrasAtak\r\nSynBrass\r\n"
    "Flute\r\nClarinet\r\nOboe\r\nSax\r\nGut\r\nSteel\r\nE Gtr 1\r\nE Gtr 2\r\n"
    "Mute Gtr\r\nSitar\r\nPluck 1\r\nPluck 2\r\nWood B 1\r\nWood B 2\r\nE Bass 1\r\nE Bass 2\r\n"
    "E Bass 3\r\nE Bass 4\r\nSlap\r\nFretless\r\nSynBass1\r\nSynBass2\r\nStrings\r\nVn Ens\r\n"
    "Cello\r\nPizz\r\nSyn Str\r\nChoir\r\nItopia\r\nOoo!\r\nVibes\r\nMarimba\r\n"
    "Bells\r\nTimpani\r\nToms\r\nE Tom\r\nCuica\r\nWhistle\r\nClaps\r\nHit\r\n"
    "Harmonic\r\nMix\r\nSync\r\nBell Mix\r\nStyroll\r\nDigiAtak\r\nNoise 1\r\nNoise 2\r\n"
    "Oh Hit\r\nWater 1\r\nWater 2\r\nStream\r\nCoin\r\nCrash\r\nBottle\r\nTear\r\n"
    "Cracker\r\nScratch\r\nMetal 1\r\nMetal 2\r\nMetal 3\r\nMetal 4\r\nWood\r\nBamboo\r\n"
    "Slam\r\nTp Body\r\nTb Body\r\nHornBody\r\nFl Body\r\nStr Body\r\nAirBlown\r\nReverse1\r\n"
    "Reverse2\r\nReverse3\r\nEP wv\r\nOrgan wv\r\nM Tp wv\r\nGtr wv\r\nStr wv 1\r\nStr wv 2\r\n"
    "Pad wv\r\nDigital1\r\nDigital2\r\nDigital3\r\nDigital4\r\nDigital5\r\nSaw 1\r\nSaw 2\r\n"
    "Saw 3\r\nSaw 4\r\nSquare 1\r\nSquare 2\r\nSquare 3\r\nSquare 4\r\nPulse 1\r\nPulse 2\r\n"
    "Pulse 3\r\nPulse 4\r\nPulse 5\r\nPulse 6\r\nTriangle\r\nSin 8'\r\nSin8'+4'\r\nSEQ 1\r\n"
    "SEQ 2\r\nSEQ 3\r\nSEQ 4\r\nSEQ 5\r\nSEQ 6\r\nSEQ 7\r\nSEQ 8\r\nDrum Set";

// The SY-35 names its waves the same except at fifteen places.
const char sy35WaveText[] =
    "Piano\r\nE Piano\r\nClavi\r\nCembalo\r\nCelesta\r\nP Organ\r\nE Organ1\r\nE Organ2\r\n"
    "Bandneon\r\nTrumpet\r\nMute Trp\r\nTrombone\r\nFlugel\r\nFr Horn\r\nBras Ens\r\nSynBrass\r\n"
    "Flute\r\nClarinet\r\nOboe\r\nSax\r\nGut\r\nSteel\r\nE Gtr 1\r\nE Gtr 2\r\n"
    "Mute Gtr\r\nSitar\r\nPluck 1\r\nPluck 2\r\nWood B 1\r\nWood B 2\r\nE Bass 1\r\nE Bass 2\r\n"
    "E Bass 3\r\nE Bass 4\r\nSlap\r\nFretless\r\nSynBass1\r\nSynBass2\r\nStrings\r\nVn Ens\r\n"
    "Cello\r\nPizz\r\nSyn Str\r\nChoir\r\nItopia\r\nChoir pa\r\nVibes\r\nMarimba\r\n"
    "Bells\r\nTimpani\r\nTom\r\nE Tom\r\nCuica\r\nWhistle\r\nThumbStr\r\nSyn Pad\r\n"
    "Harmonic\r\nSynLead1\r\nSynLead2\r\nBell Mix\r\nSweep\r\nHumanAtk\r\nNoise 1\r\nNoise 2\r\n"
    "Pops Hit\r\nNoisPad1\r\nNoisPad2\r\nNoisPad3\r\nCoin\r\nCrash\r\nBottle\r\nBottlOpn\r\n"
    "Cracker\r\nScratch\r\nMetal 1\r\nMetal 2\r\nMetal 3\r\nMetal 4\r\nWood\r\nBamboo\r\n"
    "Slam\r\nTp Body\r\nTb Body\r\nHornBody\r\nFl Body\r\nStr Body\r\nAirBlown\r\nReverse1\r\n"
    "Reverse2\r\nReverse3\r\nEP wv\r\nOrgan wv\r\nM Tp wv\r\nGtr wv\r\nStr wv 1\r\nStr wv 2\r\n"
    "Pad wv\r\nDigital1\r\nDigital2\r\nDigital3\r\nDigital4\r\nDigital5\r\nSaw 1\r\nSaw 2\r\n"
    "Saw 3\r\nSaw 4\r\nSquare 1\r\nSquare 2\r\nSquare 3\r\nSquare 4\r\nPulse 1\r\nPulse 2\r\n"
    "Pulse 3\r\nPulse 4\r\nPulse 5\r\nPulse 6\r\nTriangle\r\nSin 8'\r\nSin8'+4'\r\nSEQ 1\r\n"
    "SEQ 2\r\nSEQ 3\r\nSEQ 4\r\nSEQ 5\r\nSEQ 6\r\nSEQ 7\r\nSEQ 8\r\nDrum Set";

QStringList namesFromText(const char* text)
{
    return QString::fromLatin1(text).split(QStringLiteral("\r\n"));
}

}   // namespace

const QStringList& awmWaveNames(int model)
{
    static const QStringList sy22 = namesFromText(sy22WaveText);
    static const QStringList sy35 = namesFromText(sy35WaveText);
    return model == 0 ? sy22 : sy35;
}

const EnvelopeRow* awmWaveEnvelopes()
{
    static const auto table = [] {
        struct Table {
            EnvelopeRow rows[awmWaveCount];
        } t{};
        parseEnvelopeTable(awm_preset_envelopes_csv, t.rows, awmWaveCount);
        return t;
    }();
    return table.rows;
}
