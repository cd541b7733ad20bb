// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/elementops.h"

#include <utility>

void copyElement(Voice& v, int from, int to)
{
    if (from < 0 || from > 3 || to < 0 || to > 3 || from == to || isFMElement(from) != isFMElement(to))
        return;
    v.element[to] = v.element[from];
}

void swapElements(Voice& v, int a, int b)
{
    if (a < 0 || a > 3 || b < 0 || b > 3 || a == b || isFMElement(a) != isFMElement(b))
        return;
    std::swap(v.element[a], v.element[b]);
}

namespace {

void copyEnvelope(const OperatorBlock& from, OperatorBlock& to)
{
    to.levelInitial = from.levelInitial;
    to.levelAttack = from.levelAttack;
    to.levelDecay1 = from.levelDecay1;
    to.levelDecay2 = from.levelDecay2;
    to.rateAttack = from.rateAttack;
    to.rateDecay1 = from.rateDecay1;
    to.rateDecay2 = from.rateDecay2;
    to.rateRelease = from.rateRelease;
    to.levelScaling = from.levelScaling;
    to.rateScaling = from.rateScaling;
    to.envelopeDelayOn = from.envelopeDelayOn;
    updatePeakStage(to);
}

}   // namespace

void copyCarrierEnvelopeToModulator(VoiceElement& e)
{
    copyEnvelope(e.carrier, e.modulator);
}

void copyModulatorEnvelopeToCarrier(VoiceElement& e)
{
    copyEnvelope(e.modulator, e.carrier);
    e.envelopeType = 0;
}

void initialiseElement(Voice& v, int index)
{
    if (index < 0 || index > 3)
        return;
    Voice reset;
    resetVoice(reset);
    v.element[index] = reset.element[index];
}
