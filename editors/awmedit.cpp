// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/awmedit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "settings/settings.h"
#include "editors/awmwaves.h"
#include "editors/controls.h"
#include "editors/editcommands.h"
#include "editors/envelope.h"
#include "editors/fmedit.h"
#include "editors/pictures.h"
#include "midi/midiport.h"

TAWMEdit* AWMEdit = nullptr;

namespace {

constexpr int rowHeight = 26;

// Box width in pixels for a number of characters.
int boxPixels(int characters) { return 14 + 8 * characters; }

QGroupBox* group(QWidget* parent, const QString& title, int x, int y, int w, int h)
{
    auto* g = new QGroupBox(title, parent);
    g->setGeometry(x, y, w, h);
    return g;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w = -1)
{
    auto* l = new QLabel(text, parent);
    l->adjustSize();
    l->move(x, y);
    if (w > 0)
        l->resize(w, l->height());
    return l;
}

QLabel* picture(QWidget* parent, const QPixmap& pixmap, int x, int y)
{
    auto* l = new QLabel(parent);
    l->setPixmap(pixmap);
    l->setGeometry(x, y, pixmap.width(), pixmap.height());
    return l;
}

uint8_t clampByte(int v) { return static_cast<uint8_t>(v); }

}  // namespace

void TAWMEdit::addNumber(QWidget* parent, const QString& caption, int x, int y, int boxX,
                         TNumberBox*& box, TUpDown*& ud, int width, int lo, int hi,
                         const QString& tip, bool envelope, bool delay,
                         std::function<int()> shown, std::function<void(int)> store)
{
    if (!caption.isEmpty()) {
        QLabel* l = label(parent, caption, x, y + 3);
        l->setToolTip(tip);
    }
    box = new TNumberBox(width, lo < 0 ? TNumberBox::SignedDigits : TNumberBox::Digits, parent);
    box->setGeometry(boxX, y, boxPixels(width), 22);
    ud = new TUpDown(lo, hi, parent);
    ud->move(boxX + boxPixels(width), y);
    box->setToolTip(tip);
    ud->setToolTip(tip);
    numberFields.push_back({box, ud, lo, hi, envelope, delay, std::move(shown), std::move(store)});
    TNumberBox* b = box;
    TUpDown* u = ud;
    connect(b, &TNumberBox::changed, this, [this, b] { textBoxChange(b); });
    connect(u, &TUpDown::released, this, [this, u](int p) { udChangeVal(u, p); });
    if (envelope)
        connect(b, &TNumberBox::keyPressed, this, [this](QChar) { setUserEnvType(); });
}

TAWMEdit::TAWMEdit(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Tarvik . . . AWM Edit"));
    setFixedSize(688, 432);
    setStyleSheet(editorStyleSheet());
    setAttribute(Qt::WA_StyledBackground, true);

    auto el = [this]() -> VoiceElement& { return *currentElement; };
    auto carrier = [this]() -> OperatorBlock& { return currentElement->carrier; };

    // Tone.
    QGroupBox* tone = group(this, QStringLiteral(" Tone "), 4, 2, 320, 168);
    label(tone, QStringLiteral("Waveform: "), 8, 24);
    cbWaveform = new TPickList({}, tone);
    cbWaveform->setGeometry(96, 20, 120, 24);
    const int toneBox = 116;
    addNumber(tone, QStringLiteral("Temperament: "), 8, 54, toneBox, tfTemperament, udTemperament, 1, 0, 3,
              QStringLiteral("Sets the element's keyboard pitch scaling (0 to 3)"), false, false,
              [carrier] { return int(carrier().temperament); },
              [carrier](int n) { carrier().temperament = clampByte(n); });
    addNumber(tone, QStringLiteral("Detune: "), 8, 54 + rowHeight, toneBox, tfDetune, udDetune, 2, 0, 15,
              QStringLiteral("Detunes the element (0 to 15)"), false, false,
              [carrier] { return int(carrier().detune); },
              [carrier](int n) { carrier().detune = clampByte(n); });
    addNumber(tone, QStringLiteral("Pitch: "), 8, 54 + 2 * rowHeight, toneBox, tfPitch, udPitch, 3, -12, 12,
              QStringLiteral("Shifts the pitch of the element in semi-tones (-12 to + 12)"), false, false,
              [el] { return int(el().pitch); },
              [el](int n) { el().pitch = static_cast<int8_t>(n); });

    const int respX = 184, respW = 128;
    QLabel* vel = label(tone, QStringLiteral("Velocity response: "), respX - 16, 50);
    tbVelResp = new TSlider(Qt::Horizontal, -5, 5, tone);
    tbVelResp->setGeometry(respX, 66, respW, 20);
    tbVelResp->setPageStep(1);
    QLabel* at = label(tone, QStringLiteral("Aftertouch response: "), respX - 16, 108);
    tbATResp = new TSlider(Qt::Horizontal, -3, 3, tone);
    tbATResp->setGeometry(respX, 124, respW, 20);
    tbATResp->setPageStep(1);
    const QString velTip = QStringLiteral("Sets the element's response to key velocity");
    const QString atTip = QStringLiteral("Sets the element's response to key pressure");
    vel->setToolTip(velTip);
    tbVelResp->setToolTip(velTip);
    at->setToolTip(atTip);
    tbATResp->setToolTip(atTip);
    for (int i = 0; i < 3; ++i) {
        const int px = respX + i * (respW - responsePictureWidth) / 2;
        picture(tone, velocityResponsePicture(i), px, 88)->setToolTip(velTip);
        picture(tone, aftertouchResponsePicture(i), px, 146)->setToolTip(atTip);
    }

    // Low frequency oscillator.
    QGroupBox* lfo = group(this, QStringLiteral(" Low Frequency Oscillator "), 328, 2, 196, 168);
    tbLFOWaveform = new TSlider(Qt::Vertical, 0, 4, lfo);
    tbLFOWaveform->setGeometry(8, 22, 22, 138);
    tbLFOWaveform->setPageStep(1);
    const QString lfoTip = QStringLiteral("Selects the LFO waveform");
    tbLFOWaveform->setToolTip(lfoTip);
    for (int i = 0; i < 5; ++i)
        picture(lfo, lfoWavePicture(i), 32, 22 + tbLFOWaveform->handleCentre(i) - lfoPictureHeight / 2)
            ->setToolTip(lfoTip);
    const int lfoLabel = 62, lfoBox = 134;
    addNumber(lfo, QStringLiteral("Speed: "), lfoLabel, 22, lfoBox, tfLFOSpeed, udLFOSpeed, 2, 0, 31,
              QStringLiteral("Sets the LFO Speed (0 to 31)"), false, false,
              [el] { return int(el().lfoSpeed); }, [el](int n) { el().lfoSpeed = clampByte(n); });
    addNumber(lfo, QStringLiteral("Delay: "), lfoLabel, 22 + rowHeight, lfoBox, tfLFODelay, udLFODelay, 3, 0, 127,
              QStringLiteral("Sets the time before the LFO comes in (0 to 127)"), false, false,
              [el] { return int(el().lfoDelay); }, [el](int n) { el().lfoDelay = clampByte(n); });
    addNumber(lfo, QStringLiteral("Rate: "), lfoLabel, 22 + 2 * rowHeight, lfoBox, tfLFORate, udLFORate, 3, 0, 127,
              QStringLiteral("Sets the rate at which the LFO fades in (0 to 127)"), false, false,
              [el] { return 127 - int(el().lfoRate); },
              [el](int n) { el().lfoRate = clampByte(127 - n); });
    addNumber(lfo, QStringLiteral("PM depth: "), lfoLabel, 22 + 3 * rowHeight, lfoBox, tfLFOPMDepth, udLFOPMDepth, 2,
              0, 31, QStringLiteral("Sets the amount of vibrato (0 to 31)"), false, false,
              [el] { return int(el().lfoPMDepth); }, [el](int n) { el().lfoPMDepth = clampByte(n); });
    addNumber(lfo, QStringLiteral("AM depth: "), lfoLabel, 22 + 4 * rowHeight, lfoBox, tfLFOAMDepth, udLFOAMDepth, 2,
              0, 15, QStringLiteral("Sets the amount of tremolo (0 to 15)"), false, false,
              [el] { return int(el().lfoAMDepth); }, [el](int n) { el().lfoAMDepth = clampByte(n); });

    // Level and pan.
    QGroupBox* levelPan = group(this, QStringLiteral(" Level && Pan "), 528, 2, 156, 168);
    sbLevel = new QScrollBar(Qt::Vertical, levelPan);
    sbLevel->setRange(0, 127);
    sbLevel->setPageStep(8);
    sbLevel->setGeometry(12, 24, 18, 134);
    sbLevel->setToolTip(QStringLiteral("Sets the level of the element"));
    sbPan = new QScrollBar(Qt::Horizontal, levelPan);
    sbPan->setRange(0, 4);
    sbPan->setPageStep(1);
    sbPan->setGeometry(42, 82, 104, 18);
    sbPan->setToolTip(QStringLiteral("Sets the pan position of the element"));

    // Envelope.
    QGroupBox* env = group(this, QStringLiteral(" Envelope "), 4, 174, 548, 254);
    label(env, QStringLiteral("Type: "), 6, 24);
    cbEnvType = new TPickList(envelopeTypeNames(), env);
    cbEnvType->setGeometry(44, 20, 70, 24);

    const int scaleTop = 54, scaleHeight = 166;
    tbLevelScaling = new TSlider(Qt::Vertical, 0, 15, env);
    tbLevelScaling->setGeometry(26, scaleTop, 22, scaleHeight);
    tbLevelScaling->setPageStep(1);
    tbRateScaling = new TSlider(Qt::Vertical, 0, 7, env);
    tbRateScaling->setGeometry(72, scaleTop, 22, scaleHeight);
    tbRateScaling->setPageStep(1);
    const QString levelScalingTip = QStringLiteral("Sets the envelope level scaling to pitch");
    const QString rateScalingTip = QStringLiteral("Sets the envelope rate scaling to pitch");
    tbLevelScaling->setToolTip(levelScalingTip);
    tbRateScaling->setToolTip(rateScalingTip);
    for (int n = 0; n < 16; ++n)
        picture(env, levelScalingPicture(n), 8,
                scaleTop + tbLevelScaling->handleCentre(n) - scalingPictureHeight / 2)
            ->setToolTip(levelScalingTip);
    for (int n = 0; n < 8; ++n)
        picture(env, rateScalingPicture(n), 96,
                scaleTop + tbRateScaling->handleCentre(n) - scalingPictureHeight / 2)
            ->setToolTip(rateScalingTip);
    QLabel* scaling = new QLabel(QStringLiteral("S\nc\na\nl\ni\nn\ng"), env);
    scaling->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scaling->setGeometry(50, scaleTop + 30, 20, 110);
    label(env, QStringLiteral("  Level "), 4, scaleTop + scaleHeight + 2);
    label(env, QStringLiteral("Rate  "), 70, scaleTop + scaleHeight + 2);

    auto* panel = new QFrame(env);
    panel->setObjectName(QStringLiteral("panel"));
    panel->setGeometry(118, 20, 295 + 6, 139 + 6);
    envWindow = new TEnvelopePicture(295, 139, 6, 133, panel);
    envWindow->move(3, 3);
    panel->setToolTip(envWindow->toolTip());

    cbEnvelopeDelay = new QCheckBox(QStringLiteral(" Delay: "), env);
    cbEnvelopeDelay->setLayoutDirection(Qt::RightToLeft);
    cbEnvelopeDelay->setGeometry(118, 176, 84, 22);
    cbEnvelopeDelay->setToolTip(QStringLiteral("Selects whether the start of the attack is delayed"));
    addNumber(env, QString(), 0, 176, 206, tfEnvelopeDelay, udEnvelopeDelay, 3, 0, 127, QString(), false, true,
              [] { return int(voice.envelopeDelay); },
              [](int n) { voice.envelopeDelay = clampByte(n); });

    QGroupBox* levels = group(env, QStringLiteral(" Levels "), 418, 14, 124, 118);
    const int envLabel = 6, envBox = 68;
    addNumber(levels, QStringLiteral("Initial: "), envLabel, 18, envBox, tfLevelInitial, udLevelInitial, 3, 0, 127,
              QStringLiteral("Sets the initial level of the envelope (0 to 127)"), true, false,
              [carrier] { return 127 - int(carrier().levelInitial); },
              [carrier](int n) { carrier().levelInitial = clampByte(127 - n); });
    addNumber(levels, QStringLiteral("Attack: "), envLabel, 18 + 24, envBox, tfLevelAttack, udLevelAttack, 3, 0, 127,
              QStringLiteral("Sets the level of the envelope after the attack stage (0 to 127)"), true, false,
              [carrier] { return 127 - int(carrier().levelAttack); },
              [carrier](int n) { carrier().levelAttack = clampByte(127 - n); });
    addNumber(levels, QStringLiteral("Decay 1: "), envLabel, 18 + 48, envBox, tfLevelDecay1, udLevelDecay1, 3, 0, 127,
              QStringLiteral("Sets the level of the envelope after the decay 1 stage (0 to 127)"), true, false,
              [carrier] { return 127 - int(carrier().levelDecay1); },
              [carrier](int n) { carrier().levelDecay1 = clampByte(127 - n); });
    addNumber(levels, QStringLiteral("Decay 2: "), envLabel, 18 + 72, envBox, tfLevelDecay2, udLevelDecay2, 3, 0, 127,
              QStringLiteral("Sets the level of the envelope after the decay 2 stage (0 to 127)"), true, false,
              [carrier] { return 127 - int(carrier().levelDecay2); },
              [carrier](int n) { carrier().levelDecay2 = clampByte(127 - n); });

    QGroupBox* rates = group(env, QStringLiteral(" Rates "), 418, 132, 124, 118);
    addNumber(rates, QStringLiteral("Attack: "), envLabel, 18, envBox, tfRateAttack, udRateAttack, 2, 0, 63,
              QStringLiteral("Sets the rate at which the volume changes from initial level to attack level (0 to 63)"),
              true, false, [carrier] { return int(carrier().rateAttack); },
              [carrier](int n) { carrier().rateAttack = clampByte(n); });
    addNumber(rates, QStringLiteral("Decay 1: "), envLabel, 18 + 24, envBox, tfRateDecay1, udRateDecay1, 2, 0, 63,
              QStringLiteral("Sets the rate at which the volume changes from attack level to decay 1 level (0 to 63)"),
              true, false, [carrier] { return int(carrier().rateDecay1); },
              [carrier](int n) { carrier().rateDecay1 = clampByte(n); });
    addNumber(rates, QStringLiteral("Decay 2: "), envLabel, 18 + 48, envBox, tfRateDecay2, udRateDecay2, 2, 0, 63,
              QStringLiteral("Sets the rate at which the volume changes from decay 1 level to decay 2 level (0 to 63)"),
              true, false, [carrier] { return int(carrier().rateDecay2); },
              [carrier](int n) { carrier().rateDecay2 = clampByte(n); });
    addNumber(rates, QStringLiteral("Release: "), envLabel, 18 + 72, envBox, tfRateRelease, udRateRelease, 2, 0, 63,
              QStringLiteral("Sets the rate at which the volume falls from decay 2 level to silence (0 to 63)"),
              true, false, [carrier] { return int(carrier().rateRelease); },
              [carrier](int n) { carrier().rateRelease = clampByte(n); });

    // Options.
    QGroupBox* options = group(this, QStringLiteral(" Options "), 556, 174, 128, 112);
    label(options, QStringLiteral("Select element"), 8, 20);
    cbElement = new TPickList({QStringLiteral("Element A"), QStringLiteral("Element C")}, options);
    cbElement->setGeometry(8, 38, 112, 24);
    cbElement->setToolTip(QStringLiteral("Selects element A or C for editing"));
    label(options, QStringLiteral("Select model"), 8, 64);
    cbModel = new TPickList({QStringLiteral("SY-22"), QStringLiteral("SY-35")}, options);
    cbModel->setGeometry(8, 82, 112, 24);
    cbModel->setToolTip(QStringLiteral("Select synth model (SY-22 or SY-35)"));

    bGetVoice = new QPushButton(QStringLiteral("Get voice"), this);
    bGetVoice->setGeometry(556, 292, 128, 24);
    bSendVoice = new QPushButton(QStringLiteral("Send voice"), this);
    bSendVoice->setGeometry(556, 318, 128, 24);
    bCompare = makeCompareButton(this);
    bCompare->setGeometry(556, 344, 63, 24);
    bPlay = makePlayButton(this);
    bPlay->setGeometry(621, 344, 63, 24);
    bElement = makeElementButton(this, false);
    bElement->setGeometry(556, 370, 128, 24);
    bClose = new QPushButton(QStringLiteral("Close"), this);
    bClose->setGeometry(556, 402, 128, 24);

    // Events.
    connect(cbElement, &TPickList::picked, this, &TAWMEdit::changeElement);
    connect(cbModel, &TPickList::picked, this, &TAWMEdit::changeModel);
    connect(cbWaveform, &TPickList::picked, this, &TAWMEdit::changeWaveform);
    connect(cbEnvType, &TPickList::picked, this, &TAWMEdit::cbEnvTypeChange);
    for (TSlider* s : {tbVelResp, tbATResp, tbLFOWaveform, tbLevelScaling, tbRateScaling})
        connect(s, &TSlider::userMoved, this, [this, s](int p) { tbChanged(s, p); });
    for (QScrollBar* s : {sbLevel, sbPan})
        connect(s, &QScrollBar::valueChanged, this, [this, s](int p) { sbChanged(s, p); });
    connect(cbEnvelopeDelay, &QCheckBox::toggled, this, [this] { cbEnvelopeDelayClick(); });
    connect(bGetVoice, &QPushButton::clicked, this, &TAWMEdit::bGetVoiceClick);
    connect(bSendVoice, &QPushButton::clicked, this, &TAWMEdit::bSendVoiceClick);
    connect(bClose, &QPushButton::clicked, this, &TAWMEdit::hideWindow);

    editElementA = true;
    ready = false;
    refreshFromVoice();
    watchEditor(this);
}

TAWMEdit::NumberField* TAWMEdit::fieldOf(const QObject* control)
{
    for (NumberField& f : numberFields)
        if (f.box == control || f.ud == control)
            return &f;
    return nullptr;
}

void TAWMEdit::sendIfReady()
{
    if (!ready)
        return;
    noteVoiceEdit(sender());
    if (settings.autoSend && midiPort)
        midiPort->sendVoice();
}

void TAWMEdit::refreshFromVoice()
{
    ready = false;

    const int model = settings.model == 0 ? 0 : 1;
    cbModel->select(model);
    if (modelShown != model) {
        cbWaveform->clear();
        cbWaveform->addItems(awmWaveNames(model));
        modelShown = model;
    }

    currentElement = editElementA ? &voice.element[0] : &voice.element[2];
    cbElement->select(editElementA ? 0 : 1);
    VoiceElement& e = *currentElement;
    OperatorBlock& c = e.carrier;

    cbWaveform->select(e.waveform);

    setNumberText(tfTemperament, c.temperament);
    setNumberText(tfDetune, c.detune);
    setNumberText(tfPitch, e.pitch);

    tbVelResp->setPosition(e.velocityResponse);
    tbATResp->setPosition(e.aftertouchResponse);

    setNumberText(tfLFORate, 127 - int(e.lfoRate));
    setNumberText(tfLFOSpeed, e.lfoSpeed);
    setNumberText(tfLFODelay, e.lfoDelay);
    setNumberText(tfLFOAMDepth, e.lfoAMDepth);
    setNumberText(tfLFOPMDepth, e.lfoPMDepth);
    tbLFOWaveform->setPosition(e.lfoWaveform);

    cbEnvType->select(e.envelopeType);

    tbLevelScaling->setPosition(c.levelScaling);
    tbRateScaling->setPosition(c.rateScaling);

    setNumberText(tfLevelInitial, 127 - int(c.levelInitial));
    setNumberText(tfLevelAttack, 127 - int(c.levelAttack));
    setNumberText(tfLevelDecay1, 127 - int(c.levelDecay1));
    setNumberText(tfLevelDecay2, 127 - int(c.levelDecay2));

    setNumberText(tfRateAttack, c.rateAttack);
    setNumberText(tfRateDecay1, c.rateDecay1);
    setNumberText(tfRateDecay2, c.rateDecay2);
    setNumberText(tfRateRelease, c.rateRelease);

    cbEnvelopeDelay->setChecked(c.envelopeDelayOn != 0);
    tfEnvelopeDelay->setEnabled(c.envelopeDelayOn != 0);
    udEnvelopeDelay->setEnabled(c.envelopeDelayOn != 0);

    sbLevel->setValue(c.level);
    sbPan->setValue(4 - int(e.pan));

    drawEnvelope();

    setNumberText(tfEnvelopeDelay, voice.envelopeDelay);

    ready = true;
}

void TAWMEdit::refreshDelayTime()
{
    const bool wasReady = ready;
    ready = false;
    setNumberText(tfEnvelopeDelay, voice.envelopeDelay);
    drawEnvelope();
    ready = wasReady;
}

void TAWMEdit::drawEnvelope()
{
    envWindow->draw(nullptr, currentElement->carrier);
}

void TAWMEdit::textBoxChange(TNumberBox* sender)
{
    NumberField* f = fieldOf(sender);
    if (!f)
        return;
    int n = 0;
    const bool found = sender->number(n);
    // An empty box or a lone sign being typed is a number on its way: wait for it.
    if (!found && sender->userTyping())
        return;
    int v;
    if (found && n >= f->lo && n <= f->hi) {
        // A new level or rate makes the envelope the user's own however it came in:
        // typed, pasted with Ctrl+V or the middle button, or dropped.
        const bool differs = f->shown() != n;
        f->store(n);
        if (f->envelope && ready && differs)
            setUserEnvType();
        v = n;
    } else {
        // Out of range, or no number at all: the stored value stays and shows again.
        v = f->shown();
    }
    f->ud->setPosition(v);
    if (f->envelope) {
        // Only a change of the user's moves the peak stage: a refresh shows the voice
        // as it is, whatever its peak stage says.
        if (ready)
            updatePeakStage(currentElement->carrier);
        drawEnvelope();
    }
    if (f->delay) {
        drawEnvelope();
        if (FMEdit)
            FMEdit->refreshDelayTime();
    }
    if (!found || v != n)
        setNumberText(sender, v);
    else
        sendIfReady();
}

void TAWMEdit::setUserEnvType()
{
    cbEnvType->select(0);
    currentElement->envelopeType = 0;
}

void TAWMEdit::udChangeVal(TUpDown* sender, int position)
{
    NumberField* f = fieldOf(sender);
    if (!f)
        return;
    f->store(position);
    // The type turns "User" before the box shows the new value, so that the voice
    // its change handling sends already says "User".
    if (f->envelope)
        setUserEnvType();
    setNumberText(f->box, position);
}

void TAWMEdit::cbEnvTypeChange(int type)
{
    currentElement->envelopeType = static_cast<uint8_t>(type);
    if (type == 1) {
        applyWaveformEnvelope();
    } else if (type >= 2 && type <= 7) {
        applyEnvelopeShape(currentElement->carrier, type);
        updatePeakStage(currentElement->carrier);
        refreshFromVoice();
    }
    sendIfReady();
}

void TAWMEdit::applyWaveformEnvelope()
{
    // A received voice may name a waveform past the table; its envelope stays.
    if (currentElement->waveform < awmWaveCount) {
        applyEnvelopeRow(currentElement->carrier, awmWaveEnvelopes()[currentElement->waveform]);
        updatePeakStage(currentElement->carrier);
    }
    refreshFromVoice();
}

void TAWMEdit::changeWaveform(int index)
{
    if (index < 0 || index >= awmWaveCount)
        return;
    currentElement->waveform = static_cast<uint8_t>(index);
    if (currentElement->envelopeType == 1)
        applyWaveformEnvelope();
    sendIfReady();
}

void TAWMEdit::changeElement(int index)
{
    editElementA = index == 0;
    refreshFromVoice();
}

void TAWMEdit::changeModel(int index)
{
    settings.model = index;
    refreshFromVoice();
}

void TAWMEdit::tbChanged(TSlider* sender, int position)
{
    VoiceElement& e = *currentElement;
    if (sender == tbVelResp) {
        e.velocityResponse = static_cast<int8_t>(position);
    } else if (sender == tbATResp) {
        e.aftertouchResponse = static_cast<int8_t>(position);
    } else if (sender == tbLFOWaveform) {
        e.lfoWaveform = static_cast<uint8_t>(position);
    } else if (sender == tbLevelScaling) {
        e.carrier.levelScaling = static_cast<uint8_t>(position);
        setUserEnvType();
    } else if (sender == tbRateScaling) {
        e.carrier.rateScaling = static_cast<uint8_t>(position);
        setUserEnvType();
    }
    sendIfReady();
}

void TAWMEdit::sbChanged(QScrollBar* sender, int position)
{
    // While the editor rewrites its controls the bars only show the voice: a stored
    // value beyond a bar's end must not be replaced by the end it is shown at.
    if (!ready)
        return;
    if (sender == sbLevel)
        currentElement->carrier.level = static_cast<uint8_t>(position);
    else if (sender == sbPan)
        currentElement->pan = static_cast<uint8_t>(4 - position);
    sendIfReady();
}

void TAWMEdit::cbEnvelopeDelayClick()
{
    const bool on = cbEnvelopeDelay->isChecked();
    // While the editor rewrites its controls the box only shows the flag: a received
    // flag byte other than 0 or 1 stays as it is until the user clicks the box.
    if (ready)
        currentElement->carrier.envelopeDelayOn = on ? 1 : 0;
    tfEnvelopeDelay->setEnabled(on);
    udEnvelopeDelay->setEnabled(on);
    drawEnvelope();
    sendIfReady();
}

void TAWMEdit::bGetVoiceClick()
{
    if (midiPort)
        midiPort->getVoice();
}

void TAWMEdit::bSendVoiceClick()
{
    if (midiPort)
        midiPort->sendVoice();
}

void TAWMEdit::hideWindow()
{
    hide();
}

void TAWMEdit::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hideWindow();
}
