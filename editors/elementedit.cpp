// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/elementedit.h"

#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>

#include "document/voicedocument.h"
#include "editors/controls.h"
#include "editors/envelope.h"

TElementEdit::TElementEdit(const QString& title, int first, TEditCommands& commands, QWidget* parent)
    : TEditorWindow(title, commands, parent), first(first)
{
    currentElement = &voice.element[first];
    currentOperator = &currentElement->carrier;
    // The delay time is the voice's, and the attack and release adjustments show in
    // the picture: a change made in another window shows here too.
    connect(&document, &TVoiceDocument::fieldChanged, this, [this](QObject* source) {
        const auto* control = qobject_cast<const QWidget*>(source);
        if (!control || !isAncestorOf(control))
            refreshDelayTime();
    });
}

TFieldRow TElementEdit::row(Scope scope, const std::string& name, Role role, bool shown)
{
    auto field = [this, scope, name]() -> const VoiceField& {
        std::string path;
        if (scope != Scope::Voice)
            path = "element[" + std::to_string(firstElement ? first : first + 2) + "].";
        if (scope == Scope::Carrier || (scope == Scope::Operator && editCarrier))
            path += "carrier.";
        else if (scope == Scope::Operator)
            path += "modulator.";
        return *findVoiceField(path + name);
    };
    TFieldRow r = voiceRow(field, shown);
    switch (role) {
    case Role::EnvelopeLevel:
        r.after = [this] {
            if (editCarrier)
                setUserEnvType();
            updatePeakStage(*currentOperator);
            drawEnvelope();
        };
        break;
    case Role::EnvelopeScaling:
        r.after = [this] {
            if (editCarrier)
                setUserEnvType();
        };
        break;
    case Role::Delay: r.after = [this] { drawEnvelope(); }; break;
    case Role::Other: break;
    }
    return r;
}

void TElementEdit::number(QWidget* parent, const QString& caption, int x, int y, int boxX, int width,
                          TNumberBox*& box, TUpDown*& ud, TFieldRow fieldRow, const QString& tip,
                          int spinnerMaximum)
{
    QLabel* label = caption.isEmpty() ? nullptr : addLabel(parent, caption, x, y + 3);
    box = new TNumberBox(width, fieldRow.minimum < 0 ? TNumberBox::SignedDigits : TNumberBox::Digits, parent);
    box->setGeometry(boxX, y, boxPixels(width), 22);
    ud = new TUpDown(fieldRow.minimum, spinnerMaximum >= 0 ? spinnerMaximum : fieldRow.maximum, parent);
    ud->move(boxX + boxPixels(width), y);
    fields->bindNumber(box, ud, std::move(fieldRow), tip);
    if (label && captionTips)
        label->setToolTip(box->toolTip());
}

void TElementEdit::envelopeBoxes(QWidget* levels, QWidget* rates, int labelX, int boxX, int top, int step,
                                 bool interleaved)
{
    static const char* const levelRows[4][3] = {
        {"Initial: ", "levelInitial", "Sets the initial level of the envelope"},
        {"Attack: ", "levelAttack", "Sets the level of the envelope after the attack stage"},
        {"Decay 1: ", "levelDecay1", "Sets the level of the envelope after the decay 1 stage"},
        {"Decay 2: ", "levelDecay2", "Sets the level of the envelope after the decay 2 stage"},
    };
    static const char* const rateRows[4][3] = {
        {"Attack: ", "rateAttack",
         "Sets the rate at which the volume changes from initial level to attack level"},
        {"Decay 1: ", "rateDecay1",
         "Sets the rate at which the volume changes from attack level to decay 1 level"},
        {"Decay 2: ", "rateDecay2",
         "Sets the rate at which the volume changes from decay 1 level to decay 2 level"},
        {"Release: ", "rateRelease", "Sets the rate at which the volume falls from decay 2 level to silence"},
    };
    TNumberBox** levelBoxes[4] = {&tfLevelInitial, &tfLevelAttack, &tfLevelDecay1, &tfLevelDecay2};
    TUpDown** levelSpinners[4] = {&udLevelInitial, &udLevelAttack, &udLevelDecay1, &udLevelDecay2};
    TNumberBox** rateBoxes[4] = {&tfRateAttack, &tfRateDecay1, &tfRateDecay2, &tfRateRelease};
    TUpDown** rateSpinners[4] = {&udRateAttack, &udRateDecay1, &udRateDecay2, &udRateRelease};
    auto add = [&](bool rate, int i) {
        const char* const* r = rate ? rateRows[i] : levelRows[i];
        number(rate ? rates : levels, QLatin1String(r[0]), labelX, top + i * step, boxX, rate ? 2 : 3,
               *(rate ? rateBoxes : levelBoxes)[i], *(rate ? rateSpinners : levelSpinners)[i],
               row(Scope::Operator, r[1], Role::EnvelopeLevel), QLatin1String(r[2]));
    };
    for (int i = 0; i < 8; ++i)
        interleaved ? add(i % 2 == 1, i / 2) : add(i >= 4, i % 4);
}

void TElementEdit::bindShared(std::function<void()> levelAfter)
{
    fields->bindSlider(tbVelResp, row(Scope::Element, "velocityResponse"));
    fields->bindSlider(tbATResp, row(Scope::Element, "aftertouchResponse"));
    fields->bindSlider(tbLFOWaveform, row(Scope::Element, "lfoWaveform"));
    fields->bindSlider(tbLevelScaling, row(Scope::Operator, "levelScaling", Role::EnvelopeScaling));
    fields->bindSlider(tbRateScaling, row(Scope::Operator, "rateScaling", Role::EnvelopeScaling));
    TFieldRow level = row(Scope::Carrier, "level", Role::Other, false);
    level.after = std::move(levelAfter);
    fields->bindBar(sbLevel, level);
    fields->bindBar(sbPan, row(Scope::Element, "pan"));

    // The box shows any flag other than 0 as on; a click stores exactly 0 or 1.
    TFieldRow delay = row(Scope::Operator, "envelopeDelayOn");
    delay.get = [this] { return currentOperator->envelopeDelayOn != 0 ? 1 : 0; };
    delay.after = [this] { showDelay(); };
    fields->bindCheck(cbEnvelopeDelay, delay);

    connect(cbElement, &TPickList::picked, this, [this](int index) {
        firstElement = index == 0;
        refreshFromVoice();
    });
    connect(cbEnvType, &TPickList::picked, this, &TElementEdit::envelopeTypePicked);
}

void TElementEdit::showDelay()
{
    const bool on = currentOperator->envelopeDelayOn != 0;
    tfEnvelopeDelay->setEnabled(on);
    udEnvelopeDelay->setEnabled(on);
    drawEnvelope();
}

void TElementEdit::refreshFromVoice()
{
    const TFieldBinder::Refreshing guard(*fields);
    currentElement = &voice.element[firstElement ? first : first + 2];
    currentOperator = editCarrier ? &currentElement->carrier : &currentElement->modulator;
    cbElement->select(firstElement ? 0 : 1);
    showVoice();
    cbWaveform->select(currentElement->waveform);
    cbEnvType->select(currentElement->envelopeType);
    fields->refresh();
    showDelay();
}

void TElementEdit::refreshDelayTime()
{
    const TFieldBinder::Refreshing guard(*fields);
    fields->refreshControl(tfEnvelopeDelay);
    drawEnvelope();
}

void TElementEdit::drawEnvelope()
{
    const VoiceElement& e = voice.element[firstElement ? first : first + 2];
    envWindow->draw(first == 1 ? &e.modulator : nullptr, e.carrier, voice);
}

void TElementEdit::setUserEnvType()
{
    cbEnvType->select(0);
    currentElement->envelopeType = 0;
}

void TElementEdit::envelopeTypePicked(int type)
{
    if (type < 0 || type > 7)
        return;
    currentElement->envelopeType = static_cast<uint8_t>(type);
    // A waveform past the preset table keeps its envelope.
    if ((type == 1 && applyWaveformEnvelope()) || type >= 2) {
        if (type >= 2)
            applyEnvelopeShape(currentElement->carrier, type);
        updatePeakStage(currentElement->carrier);
    }
    refreshFromVoice();
    reportEdit(cbEnvType);
}
