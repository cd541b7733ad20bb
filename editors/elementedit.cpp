// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/elementedit.h"

#include <QCheckBox>
#include <QGroupBox>
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
    // "Element C attack rate": the element shown, then the field.
    fields->readerName = [this](const QString& caption, const QWidget* control) {
        return QStringLiteral("Element %1 ").arg(QChar(u'A' + shownElement())) + operatorWord(control) +
               lowerFirst(caption);
    };
    // The delay time is the voice's, and the attack and release adjustments show in
    // the picture: a change made in another window shows here too.
    connect(&document, &TVoiceDocument::fieldChanged, this, [this](QObject* source) {
        const auto* control = qobject_cast<const QWidget*>(source);
        if (!control || !isAncestorOf(control))
            refreshDelayTime();
    });
}

TFieldRow TElementEdit::row(Scope scope, size_t offset, Role role, bool shown)
{
    auto field = [this, scope, offset]() -> const VoiceField& {
        const int e = shownElement();
        size_t base = 0;
        if (scope == Scope::Element)
            base = elementOffset(e);
        else if (scope == Scope::Carrier || (scope == Scope::Operator && editCarrier))
            base = operatorOffset(e, true);
        else if (scope == Scope::Operator)
            base = operatorOffset(e, false);
        return *findVoiceFieldAt(base + offset);
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
                          std::optional<int> spinnerMaximum)
{
    QLabel* label = caption.isEmpty() ? nullptr : addLabel(parent, caption, x, y + 3);
    box = new TNumberBox(width, fieldRow.minimum < 0 ? TNumberBox::SignedDigits : TNumberBox::Digits, parent);
    box->setGeometry(boxX, y, boxPixels(width), 22);
    ud = new TUpDown(parent);
    ud->move(boxX + boxPixels(width), y);
    fields->bindNumber(box, ud, std::move(fieldRow), tip, spinnerMaximum);
    if (label)
        label->setBuddy(box);
    if (label && captionTips)
        label->setToolTip(box->toolTip());
}

QCheckBox* TElementEdit::check(QWidget* parent, const QString& text, int x, int y, TFieldRow fieldRow)
{
    auto* c = new QCheckBox(text, parent);
    c->move(x, y);
    c->adjustSize();
    if (fieldRow.set)
        fields->bindCheck(c, std::move(fieldRow));
    return c;
}

TSlider* TElementEdit::slider(QWidget* parent, Qt::Orientation orientation, const QRect& at,
                              TFieldRow fieldRow, const QString& tip)
{
    auto* s = new TSlider(orientation, parent);
    s->setGeometry(at);
    s->setPageStep(1);
    s->setToolTip(tip);
    fields->bindSlider(s, std::move(fieldRow));
    return s;
}

void TElementEdit::levelAndPan(const QRect& group, const QRect& level, const QRect& pan,
                               const QString& levelTip, std::function<void()> levelAfter)
{
    QGroupBox* box =
        addGroup(this, QStringLiteral(" Level && Pan "), group.x(), group.y(), group.width(), group.height());
    sbLevel = new QScrollBar(Qt::Vertical, box);
    sbLevel->setObjectName(QStringLiteral("sbLevel"));
    sbLevel->setPageStep(8);
    sbLevel->setGeometry(level);
    sbLevel->setToolTip(levelTip);
    sbPan = new QScrollBar(Qt::Horizontal, box);
    sbPan->setObjectName(QStringLiteral("sbPan"));
    sbPan->setPageStep(1);
    sbPan->setGeometry(pan);
    sbPan->setToolTip(QStringLiteral("Sets the pan position of the element"));
    // The bar shows the carrier's level as stored, 0 (loudest) at the top.
    TFieldRow levelRow = row(Scope::Carrier, memberOffset(&OperatorBlock::level), Role::Other, false);
    levelRow.after = std::move(levelAfter);
    fields->bindBar(sbLevel, levelRow);
    fields->bindBar(sbPan, row(&VoiceElement::pan));

    // The values in the form the number boxes give them, following every change.
    lLevelValue = new QLabel(box);
    lLevelValue->setObjectName(QStringLiteral("lLevelValue"));
    lLevelValue->setGeometry(level.right() + 4, level.y(), 60, 16);
    lPanValue = new QLabel(box);
    lPanValue->setObjectName(QStringLiteral("lPanValue"));
    lPanValue->setGeometry(pan.x(), pan.bottom() + 4, pan.width(), 16);
    shownLevel = row(Scope::Carrier, memberOffset(&OperatorBlock::level)).get;
    connect(sbLevel, &QScrollBar::valueChanged, this, &TElementEdit::showLevelAndPan);
    connect(sbPan, &QScrollBar::valueChanged, this, &TElementEdit::showLevelAndPan);
}

void TElementEdit::showLevelAndPan()
{
    if (lLevelValue == nullptr || lPanValue == nullptr)
        return;
    lLevelValue->setText(QString::number(shownLevel()));
    lPanValue->setText(QStringLiteral("Pan %1").arg(sbPan->value()));
}

void TElementEdit::envelopeBoxes(QWidget* levels, QWidget* rates, int labelX, int boxX, int top, int step,
                                 bool interleaved)
{
    struct Box {
        const char* caption;
        uint8_t OperatorBlock::*field;
        const char* tip;
    };
    static const Box levelRows[4] = {
        {"Initial: ", &OperatorBlock::levelInitial, "Sets the initial level of the envelope"},
        {"Attack: ", &OperatorBlock::levelAttack, "Sets the level of the envelope after the attack stage"},
        {"Decay 1: ", &OperatorBlock::levelDecay1, "Sets the level of the envelope after the decay 1 stage"},
        {"Decay 2: ", &OperatorBlock::levelDecay2, "Sets the level of the envelope after the decay 2 stage"},
    };
    static const Box rateRows[4] = {
        {"Attack: ", &OperatorBlock::rateAttack,
         "Sets the rate at which the volume changes from initial level to attack level"},
        {"Decay 1: ", &OperatorBlock::rateDecay1,
         "Sets the rate at which the volume changes from attack level to decay 1 level"},
        {"Decay 2: ", &OperatorBlock::rateDecay2,
         "Sets the rate at which the volume changes from decay 1 level to decay 2 level"},
        {"Release: ", &OperatorBlock::rateRelease,
         "Sets the rate at which the volume falls from decay 2 level to silence"},
    };
    TNumberBox** levelBoxes[4] = {&tfLevelInitial, &tfLevelAttack, &tfLevelDecay1, &tfLevelDecay2};
    TUpDown** levelSpinners[4] = {&udLevelInitial, &udLevelAttack, &udLevelDecay1, &udLevelDecay2};
    TNumberBox** rateBoxes[4] = {&tfRateAttack, &tfRateDecay1, &tfRateDecay2, &tfRateRelease};
    TUpDown** rateSpinners[4] = {&udRateAttack, &udRateDecay1, &udRateDecay2, &udRateRelease};
    auto add = [&](bool rate, int i) {
        const Box& r = rate ? rateRows[i] : levelRows[i];
        number(rate ? rates : levels, QLatin1String(r.caption), labelX, top + i * step, boxX, rate ? 2 : 3,
               *(rate ? rateBoxes : levelBoxes)[i], *(rate ? rateSpinners : levelSpinners)[i],
               row(r.field, Role::EnvelopeLevel), QLatin1String(r.tip));
    };
    for (int i = 0; i < 8; ++i)
        interleaved ? add(i % 2 == 1, i / 2) : add(i >= 4, i % 4);
}

void TElementEdit::bindShared()
{
    // The box shows any flag other than 0 as on; a click stores exactly 0 or 1.
    TFieldRow delay = row(&OperatorBlock::envelopeDelayOn);
    delay.get = [this] { return currentOperator->envelopeDelayOn != 0 ? 1 : 0; };
    delay.after = [this] { showDelay(); };
    fields->bindCheck(cbEnvelopeDelay, delay);

    connect(cbElement, &TPickList::picked, this, [this](int index) {
        firstElement = index == 0;
        refreshFromVoice();
    });
    connect(cbEnvType, &TPickList::picked, this, &TElementEdit::envelopeTypePicked);
}

void TElementEdit::nameControls()
{
    nameObjects({{cbWaveform, "cbWaveform"},
                 {cbEnvType, "cbEnvType"},
                 {cbElement, "cbElement"},
                 {tbVelResp, "tbVelResp"},
                 {tbATResp, "tbATResp"},
                 {tbLFOWaveform, "tbLFOWaveform"},
                 {tbLevelScaling, "tbLevelScaling"},
                 {tbRateScaling, "tbRateScaling"},
                 {tfPitch, "tfPitch"},
                 {udPitch, "udPitch"},
                 {tfTemperament, "tfTemperament"},
                 {udTemperament, "udTemperament"},
                 {tfDetune, "tfDetune"},
                 {udDetune, "udDetune"},
                 {tfLFOSpeed, "tfLFOSpeed"},
                 {udLFOSpeed, "udLFOSpeed"},
                 {tfLFODelay, "tfLFODelay"},
                 {udLFODelay, "udLFODelay"},
                 {tfLFORate, "tfLFORate"},
                 {udLFORate, "udLFORate"},
                 {tfLFOAMDepth, "tfLFOAMDepth"},
                 {udLFOAMDepth, "udLFOAMDepth"},
                 {tfLFOPMDepth, "tfLFOPMDepth"},
                 {udLFOPMDepth, "udLFOPMDepth"},
                 {tfLevelInitial, "tfLevelInitial"},
                 {udLevelInitial, "udLevelInitial"},
                 {tfLevelAttack, "tfLevelAttack"},
                 {udLevelAttack, "udLevelAttack"},
                 {tfLevelDecay1, "tfLevelDecay1"},
                 {udLevelDecay1, "udLevelDecay1"},
                 {tfLevelDecay2, "tfLevelDecay2"},
                 {udLevelDecay2, "udLevelDecay2"},
                 {tfRateAttack, "tfRateAttack"},
                 {udRateAttack, "udRateAttack"},
                 {tfRateDecay1, "tfRateDecay1"},
                 {udRateDecay1, "udRateDecay1"},
                 {tfRateDecay2, "tfRateDecay2"},
                 {udRateDecay2, "udRateDecay2"},
                 {tfRateRelease, "tfRateRelease"},
                 {udRateRelease, "udRateRelease"},
                 {tfEnvelopeDelay, "tfEnvelopeDelay"},
                 {udEnvelopeDelay, "udEnvelopeDelay"},
                 {cbEnvelopeDelay, "cbEnvelopeDelay"},
                 {sbLevel, "sbLevel"},
                 {sbPan, "sbPan"},
                 {envWindow, "envWindow"}});
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
    const QString element = QStringLiteral("Element %1 ").arg(QChar(u'A' + shownElement()));
    cbWaveform->setAccessibleName(element + QStringLiteral("waveform"));
    cbEnvType->setAccessibleName(element + QStringLiteral("envelope type"));
    cbElement->setAccessibleName(QStringLiteral("Element shown"));
    fields->refresh();
    showDelay();
    showLevelAndPan();
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
