// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-element commands of the element editors: copy or swap two elements of the
// same kind (A and C are AWM, B and D FM), copy an FM element's carrier envelope to
// its modulator and back, and put one element back to the reset voice's values.
// Free of Qt; the editors make each one undo step and one send.
#pragma once

#include "voice/voice.h"

// The other element of the same kind: A <-> C, B <-> D.
constexpr int partnerElement(int index)
{
    return (index + 2) & 3;
}

// Copies element from over element to (both of the same kind; otherwise nothing).
void copyElement(Voice& v, int from, int to);
void swapElements(Voice& v, int a, int b);

// The envelope as the Envelope group shows it: levels, rates, both scalings and the
// delay flag, from one operator of an FM element to the other. The carrier's envelope
// taken from the modulator is the user's own ("User").
void copyCarrierEnvelopeToModulator(VoiceElement& e);
void copyModulatorEnvelopeToCarrier(VoiceElement& e);

// Element index takes the reset voice's values.
void initialiseElement(Voice& v, int index);
