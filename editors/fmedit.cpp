// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/fmedit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include "settings/settings.h"
#include "editors/awmedit.h"
#include "editors/controls.h"
#include "editors/editcommands.h"
#include "editors/envelope.h"
#include "editors/fmwaves.h"
#include "editors/pictures.h"
#include "midi/midiport.h"

TFMEdit* FMEdit = nullptr;

namespace {

QLabel* addLabel(QWidget* parent, const QString& text, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y + 3);
    label->adjustSize();
    return label;
}

QGroupBox* addGroup(QWidget* parent, const QString& title, int x, int y, int w, int h)
{
    auto* group = new QGroupBox(title, parent);
    group->setGeometry(x, y, w, h);
    return group;
}

QLabel* addPicture(QWidget* parent, const QPixmap& pixmap, int x, int y)
{
    auto* label = new QLabel(parent);
    label->setPixmap(pixmap);
    label->setGeometry(x, y, pixmap.width(), pixmap.height());
    return label;
}

// Pixel width of a number box holding `digits` characters.
int boxWidth(int digits) { return 14 + 8 * digits; }

}  // namespace

TFMEdit::TFMEdit(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Tarvik . . . FM Edit"));
    setFixedSize(689, 469);
    setStyleSheet(editorStyleSheet());
    currentElement = &voice.element[1];
    currentOperator = &currentElement->carrier;
    buildControls();
    cbOperator->select(0);
    cbEnvType->setEnabled(true);
    refreshFromVoice();
    watchEditor(this);
}

void TFMEdit::buildControls()
{
    // A number box with its spinner and caption. The field is looked up at each use,
    // so that it follows the shown element and operator.
    auto number = [this](QWidget* parent, const QString& caption, int x, int y, int boxX,
                         int digits, int lo, int hi, int spinnerHi, Form form, Role role,
                         const QString& tip, std::function<uint8_t&()> field,
                         TNumberBox*& box, TUpDown*& spinner, const char* boxName,
                         const char* spinnerName) {
        if (!caption.isEmpty())
            addLabel(parent, caption, x, y);
        box = new TNumberBox(digits, form == Form::Signed ? TNumberBox::SignedDigits : TNumberBox::Digits,
                             parent);
        box->setObjectName(QLatin1String(boxName));
        box->setGeometry(boxX, y, boxWidth(digits), 22);
        spinner = new TUpDown(lo, spinnerHi, parent);
        spinner->setObjectName(QLatin1String(spinnerName));
        spinner->move(boxX + boxWidth(digits), y);
        if (!tip.isEmpty()) {
            box->setToolTip(tip);
            spinner->setToolTip(tip);
        }
        numbers.push_back({box, spinner, lo, hi, form, role, std::move(field)});
        TNumberBox* b = box;
        TUpDown* s = spinner;
        connect(b, &TNumberBox::changed, this, [this, b] { textBoxChange(b); });
        connect(s, &TUpDown::released, this, [this, s](int p) { udChangedValue(s, p); });
    };
    auto element = [this](uint8_t VoiceElement::*member) {
        return [this, member]() -> uint8_t& { return currentElement->*member; };
    };
    auto signedElement = [this](int8_t VoiceElement::*member) {
        return [this, member]() -> uint8_t& {
            return reinterpret_cast<uint8_t&>(currentElement->*member);
        };
    };
    auto op = [this](uint8_t OperatorBlock::*member) {
        return [this, member]() -> uint8_t& { return currentOperator->*member; };
    };
    auto slider = [this](QWidget* parent, Qt::Orientation o, int lo, int hi, const QRect& r,
                         const QString& tip, const char* name) {
        auto* s = new TSlider(o, lo, hi, parent);
        s->setObjectName(QLatin1String(name));
        s->setGeometry(r);
        s->setToolTip(tip);
        s->setPageStep(1);
        s->setTickPosition(o == Qt::Horizontal ? QSlider::TicksBelow : QSlider::NoTicks);
        connect(s, &TSlider::userMoved, this, [this, s](int p) { tbChanged(s, p); });
        return s;
    };
    auto check = [this](QWidget* parent, const QString& text, int x, int y, const char* name) {
        auto* c = new QCheckBox(text, parent);
        c->setObjectName(QLatin1String(name));
        c->move(x, y);
        c->adjustSize();
        return c;
    };

    // " Tone ": the waveform across the top, pitch and feedback at the left, the two
    // response sliders with their pictures at the right.
    QGroupBox* tone = addGroup(this, QStringLiteral(" Tone "), 8, 4, 300, 162);
    addLabel(tone, QStringLiteral("Waveform: "), 8, 20);
    QStringList waveNames;
    for (const std::string& name : fmWaveNames())
        waveNames << QString::fromStdString(name);
    cbWaveform = new TPickList(waveNames, tone);
    cbWaveform->setObjectName(QStringLiteral("cbWaveform"));
    cbWaveform->setGeometry(90, 20, 140, 22);
    cbWaveform->setMaxVisibleItems(20);
    connect(cbWaveform, &TPickList::picked, this, &TFMEdit::cbWaveformChange);

    number(tone, QStringLiteral("Pitch: "), 8, 54, 84, 3, -12, 12, 12, Form::Signed, Role::Other,
           QStringLiteral("Shifts the pitch of the element in semi-tones (-12 to + 12)"),
           signedElement(&VoiceElement::pitch), tfPitch, udPitch, "tfPitch", "udPitch");
    // The feedback tooltip sits on the caption.
    QLabel* feedbackLabel = addLabel(tone, QStringLiteral("Feedback: "), 8, 82);
    const QString feedbackTip = QStringLiteral(
        "Sets the amount of feedback on the modulator, higher numbers giving more harmonics (0 to 7)");
    feedbackLabel->setToolTip(feedbackTip);
    number(tone, QString(), 0, 82, 84, 1, 0, 7, 7, Form::Plain, Role::Other, feedbackTip,
           element(&VoiceElement::feedback), tfFeedback, udFeedback, "tfFeedback", "udFeedback");

    const int respX = 140, respW = 152;
    addLabel(tone, QStringLiteral("Velocity response: "), respX, 46);
    tbVelResp = slider(tone, Qt::Horizontal, -5, 5, QRect(respX, 64, respW, 20),
                       QStringLiteral("Sets the element's response to key velocity"), "tbVelResp");
    addLabel(tone, QStringLiteral("Aftertouch response: "), respX, 102);
    tbATResp = slider(tone, Qt::Horizontal, -3, 3, QRect(respX, 120, respW, 20),
                      QStringLiteral("Sets the element's response to key pressure"), "tbATResp");
    for (int i = 0; i < 3; ++i) {
        const int x = respX + 2 + i * (respW - 4 - responsePictureWidth) / 2;
        addPicture(tone, velocityResponsePicture(i), x, 86);
        addPicture(tone, aftertouchResponsePicture(i), x, 142);
    }

    // " FM operator ", in two columns.
    QGroupBox* fm = addGroup(this, QStringLiteral(" FM operator "), 8, 172, 300, 104);
    number(fm, QStringLiteral("Detune: "), 8, 20, 86, 2, 0, 15, 15, Form::Plain, Role::Other,
           QStringLiteral("Detunes the element (0 to 15)"), op(&OperatorBlock::detune), tfDetune,
           udDetune, "tfDetune", "udDetune");
    number(fm, QStringLiteral("Waveform: "), 8, 46, 86, 1, 0, 7, 7, Form::Plain, Role::Other,
           QStringLiteral("Selects the operator waveform, 0 being a pure sine wave (0 to 7)"),
           op(&OperatorBlock::fmWaveform), tfFMWaveform, udFMWaveform, "tfFMWaveform",
           "udFMWaveform");
    number(fm, QStringLiteral("Harmonic: "), 8, 72, 86, 2, 0, 15, 15, Form::Plain, Role::Other,
           QStringLiteral("Sets the harmonic frequency of the selected operator (0 to 15)"),
           op(&OperatorBlock::fmFrequency), tfFMFrequency, udFMFrequency, "tfFMFrequency",
           "udFMFrequency");
    number(fm, QStringLiteral("Level: "), 138, 20, 242, 3, 0, 127, 127, Form::Inverted,
           Role::OperatorLevel,
           QStringLiteral("Sets the level of the selected operator (carrier level affects volume, "
                          "modulator level affects timbre)"),
           op(&OperatorBlock::level), tfOperatorLevel, udOperatorLevel, "tfOperatorLevel",
           "udOperatorLevel");
    number(fm, QStringLiteral("Temperament: "), 138, 46, 242, 1, 0, 3, 3, Form::Plain,
           Role::Other, QStringLiteral("Sets the element's keyboard pitch scaling (0 to 3)"),
           op(&OperatorBlock::temperament), tfTemperament, udTemperament, "tfTemperament",
           "udTemperament");
    cbFixedFrequency = check(fm, QStringLiteral("Fixed frequency:  "), 138, 74, "cbFixedFrequency");
    cbFixedFrequency->setToolTip(QStringLiteral("Sets if selected operator pitch tracks the keyboard"));
    connect(cbFixedFrequency, &QCheckBox::toggled, this, [this] { cbFixedFrequencyClick(); });

    // " Low Frequency Oscillator "
    QGroupBox* lfo = addGroup(this, QStringLiteral(" Low Frequency Oscillator "), 314, 4, 214, 256);
    const int lfoTop = 22, lfoLength = 122;
    tbLFOWaveform = slider(lfo, Qt::Vertical, 0, 4, QRect(8, lfoTop, 22, lfoLength),
                           QStringLiteral("Selects the LFO waveform"), "tbLFOWaveform");
    for (int i = 0; i < 5; ++i)
        addPicture(lfo, lfoWavePicture(i), 32,
                   lfoTop + tbLFOWaveform->handleCentre(i) - lfoPictureHeight / 2);
    const int lfoLabel = 60, lfoBox = 136;
    number(lfo, QStringLiteral("Speed: "), lfoLabel, 20, lfoBox, 2, 0, 31, 31, Form::Plain,
           Role::Other, QStringLiteral("Sets the LFO Speed (0 to 31)"),
           element(&VoiceElement::lfoSpeed), tfLFOSpeed, udLFOSpeed, "tfLFOSpeed", "udLFOSpeed");
    // The box takes every delay the synthesiser knows; the spinner stops at 127.
    number(lfo, QStringLiteral("Delay: "), lfoLabel, 46, lfoBox, 3, 0, 255, 127, Form::Plain,
           Role::Other, QStringLiteral("Sets the time before the LFO comes in (0 to 255)"),
           element(&VoiceElement::lfoDelay), tfLFODelay, udLFODelay, "tfLFODelay", "udLFODelay");
    number(lfo, QStringLiteral("Rate: "), lfoLabel, 72, lfoBox, 3, 0, 127, 127, Form::Inverted,
           Role::Other, QStringLiteral("Sets the rate at which the LFO fades in (0 to 127)"),
           element(&VoiceElement::lfoRate), tfLFORate, udLFORate, "tfLFORate", "udLFORate");
    number(lfo, QStringLiteral("PM depth: "), lfoLabel, 98, lfoBox, 2, 0, 31, 31, Form::Plain,
           Role::Other, QStringLiteral("Sets the amount of vibrato (0 to 31)"),
           element(&VoiceElement::lfoPMDepth), tfLFOPMDepth, udLFOPMDepth, "tfLFOPMDepth",
           "udLFOPMDepth");
    number(lfo, QStringLiteral("AM depth: "), lfoLabel, 124, lfoBox, 2, 0, 15, 15, Form::Plain,
           Role::Other, QStringLiteral("Sets the amount of tremolo (0 to 15)"),
           element(&VoiceElement::lfoAMDepth), tfLFOAMDepth, udLFOAMDepth, "tfLFOAMDepth",
           "udLFOAMDepth");
    cbCarrierAM = check(lfo, QStringLiteral("Assign AM to carrier:"), 8, 156, "cbCarrierAM");
    cbModulatorAM = check(lfo, QStringLiteral("Assign AM to modulator:"), 8, 180, "cbModulatorAM");
    cbCarrierPM = check(lfo, QStringLiteral("Assign PM to carrier:"), 8, 204, "cbCarrierPM");
    cbModulatorPM = check(lfo, QStringLiteral("Assign PM to modulator:"), 8, 228, "cbModulatorPM");
    for (QCheckBox* c : {cbCarrierAM, cbModulatorAM, cbCarrierPM, cbModulatorPM})
        connect(c, &QCheckBox::toggled, this, [this, c] { assignLFO(c); });

    // " Level && Pan ", " Options " and the buttons, down the right-hand side.
    QGroupBox* levelPan = addGroup(this, QStringLiteral(" Level && Pan "), 534, 4, 147, 100);
    sbLevel = new QScrollBar(Qt::Vertical, levelPan);
    sbLevel->setObjectName(QStringLiteral("sbLevel"));
    sbLevel->setRange(0, 127);
    sbLevel->setPageStep(8);
    sbLevel->setGeometry(20, 20, 18, 72);
    sbLevel->setToolTip(QStringLiteral("Sets the level of the element (equivalent to carrier level)"));
    sbPan = new QScrollBar(Qt::Horizontal, levelPan);
    sbPan->setObjectName(QStringLiteral("sbPan"));
    sbPan->setRange(0, 4);
    sbPan->setPageStep(1);
    sbPan->setGeometry(50, 47, 88, 18);
    sbPan->setToolTip(QStringLiteral("Sets the pan position of the element"));
    for (QScrollBar* s : {sbLevel, sbPan})
        connect(s, &QScrollBar::valueChanged, this, [this, s](int p) { sbChanged(s, p); });

    QGroupBox* options = addGroup(this, QStringLiteral(" Options "), 534, 108, 147, 100);
    addLabel(options, QStringLiteral("Select element"), 8, 14);
    cbElement = new TPickList({QStringLiteral("Element B"), QStringLiteral("Element D")}, options);
    cbElement->setObjectName(QStringLiteral("cbElement"));
    cbElement->setGeometry(8, 32, 131, 22);
    cbElement->setToolTip(QStringLiteral("Selects element B or D for editing"));
    connect(cbElement, &TPickList::picked, this, &TFMEdit::cbElementChange);
    addLabel(options, QStringLiteral("Select FM operator"), 8, 54);
    cbOperator = new TPickList({QStringLiteral("Carrier"), QStringLiteral("Modulator")}, options);
    cbOperator->setObjectName(QStringLiteral("cbOperator"));
    cbOperator->setGeometry(8, 72, 131, 22);
    cbOperator->setToolTip(QStringLiteral("Select FM operator to edit (carrier or modulator)"));
    connect(cbOperator, &TPickList::picked, this, &TFMEdit::cbOperatorChange);

    // Two columns of buttons under the options.
    auto place = [](QPushButton* b, int column, int y) { b->setGeometry(534 + column * 75, y, 72, 24); };
    auto button = [this, place](const QString& text, int column, int y, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        place(b, column, y);
        return b;
    };
    bGetVoice = button(QStringLiteral("Get voice"), 0, 214, "bGetVoice");
    bSendVoice = button(QStringLiteral("Send voice"), 1, 214, "bSendVoice");
    bCompare = makeCompareButton(this);
    place(bCompare, 0, 240);
    bPlay = makePlayButton(this);
    place(bPlay, 1, 240);
    bElement = makeElementButton(this, true);
    place(bElement, 0, 266);
    bClose = button(QStringLiteral("Close"), 1, 266, "bClose");
    connect(bGetVoice, &QPushButton::clicked, this, [this] { bGetVoiceClick(); });
    connect(bSendVoice, &QPushButton::clicked, this, [this] { bSendVoiceClick(); });
    connect(bClose, &QPushButton::clicked, this, [this] { bCloseClick(); });

    // " Envelope "
    QGroupBox* env = addGroup(this, QStringLiteral(" Envelope "), 8, 282, 673, 183);
    // The two scaling sliders, 0 at the top, each position with its small picture.
    const int scaleTop = 20, scaleLength = 136;
    tbLevelScaling = slider(env, Qt::Vertical, 0, 15, QRect(24, scaleTop, 22, scaleLength),
                            QStringLiteral("Sets the envelope level scaling to pitch"),
                            "tbLevelScaling");
    tbRateScaling = slider(env, Qt::Vertical, 0, 7, QRect(64, scaleTop, 22, scaleLength),
                           QStringLiteral("Sets the envelope rate scaling to pitch"),
                           "tbRateScaling");
    for (int i = 0; i < 16; ++i)
        addPicture(env, levelScalingPicture(i), 6,
                   scaleTop + tbLevelScaling->handleCentre(i) - scalingPictureHeight / 2);
    for (int i = 0; i < 8; ++i)
        addPicture(env, rateScalingPicture(i), 88,
                   scaleTop + tbRateScaling->handleCentre(i) - scalingPictureHeight / 2);
    auto* scaling = new QLabel(QStringLiteral("S\nc\na\nl\ni\nn\ng"), env);
    scaling->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    scaling->setGeometry(46, scaleTop, 18, scaleLength);
    addLabel(env, QStringLiteral("  Level"), 2, scaleTop + scaleLength);
    addLabel(env, QStringLiteral("Rate  "), 62, scaleTop + scaleLength);

    QGroupBox* levels = addGroup(env, QStringLiteral(" Levels "), 108, 16, 132, 122);
    QGroupBox* rates = addGroup(env, QStringLiteral(" Rates "), 244, 16, 124, 122);
    const struct {
        const char* caption;
        const char* tip;
    } levelRows[4] = {
        {"Initial: ", "Sets the initial level of the envelope (0 to 127)"},
        {"Attack: ", "Sets the level of the envelope after the attack stage (0 to 127)"},
        {"Decay 1: ", "Sets the level of the envelope after the decay 1 stage (0 to 127)"},
        {"Decay 2: ", "Sets the level of the envelope after the decay 2 stage (0 to 127)"},
    };
    const struct {
        const char* caption;
        const char* tip;
    } rateRows[4] = {
        {"Attack: ", "Sets the rate at which the volume changes from initial level to attack level (0 to 63)"},
        {"Decay 1: ", "Sets the rate at which the volume changes from attack level to decay 1 level (0 to 63)"},
        {"Decay 2: ", "Sets the rate at which the volume changes from decay 1 level to decay 2 level (0 to 63)"},
        {"Release: ", "Sets the rate at which the volume falls from decay 2 level to silence (0 to 63)"},
    };
    uint8_t OperatorBlock::*const levelFields[4] = {&OperatorBlock::levelInitial, &OperatorBlock::levelAttack,
                                                    &OperatorBlock::levelDecay1, &OperatorBlock::levelDecay2};
    uint8_t OperatorBlock::*const rateFields[4] = {&OperatorBlock::rateAttack, &OperatorBlock::rateDecay1,
                                                   &OperatorBlock::rateDecay2, &OperatorBlock::rateRelease};
    TNumberBox** levelBoxes[4] = {&tfLevelInitial, &tfLevelAttack, &tfLevelDecay1, &tfLevelDecay2};
    TUpDown** levelSpinners[4] = {&udLevelInitial, &udLevelAttack, &udLevelDecay1, &udLevelDecay2};
    TNumberBox** rateBoxes[4] = {&tfRateAttack, &tfRateDecay1, &tfRateDecay2, &tfRateRelease};
    TUpDown** rateSpinners[4] = {&udRateAttack, &udRateDecay1, &udRateDecay2, &udRateRelease};
    const char* levelNames[4][2] = {{"tfLevelInitial", "udLevelInitial"}, {"tfLevelAttack", "udLevelAttack"},
                                    {"tfLevelDecay1", "udLevelDecay1"}, {"tfLevelDecay2", "udLevelDecay2"}};
    const char* rateNames[4][2] = {{"tfRateAttack", "udRateAttack"}, {"tfRateDecay1", "udRateDecay1"},
                                   {"tfRateDecay2", "udRateDecay2"}, {"tfRateRelease", "udRateRelease"}};
    for (int i = 0; i < 4; ++i) {
        const int y = 18 + i * 24;
        number(levels, QLatin1String(levelRows[i].caption), 8, y, 74, 3, 0, 127, 127,
               Form::Inverted, Role::Envelope, QLatin1String(levelRows[i].tip), op(levelFields[i]),
               *levelBoxes[i], *levelSpinners[i], levelNames[i][0], levelNames[i][1]);
        number(rates, QLatin1String(rateRows[i].caption), 8, y, 74, 2, 0, 63, 63, Form::Plain,
               Role::Envelope, QLatin1String(rateRows[i].tip), op(rateFields[i]), *rateBoxes[i],
               *rateSpinners[i], rateNames[i][0], rateNames[i][1]);
    }

    addLabel(env, QStringLiteral("Type: "), 108, 150);
    cbEnvType = new TPickList(envelopeTypeNames(), env);
    cbEnvType->setObjectName(QStringLiteral("cbEnvType"));
    cbEnvType->setGeometry(148, 150, 84, 22);
    connect(cbEnvType, &TPickList::picked, this, &TFMEdit::cbEnvTypeChange);

    cbEnvelopeDelay = check(env, QStringLiteral(" Delay: "), 238, 151, "cbEnvelopeDelay");
    cbEnvelopeDelay->setToolTip(QStringLiteral("Selects whether the start of the attack is delayed"));
    connect(cbEnvelopeDelay, &QCheckBox::toggled, this, [this] { cbEnvelopeDelayClick(); });
    number(env, QString(), 0, 150, 314, 3, 0, 127, 127, Form::Plain, Role::EnvelopeDelay, QString(),
           [] () -> uint8_t& { return voice.envelopeDelay; }, tfEnvelopeDelay, udEnvelopeDelay,
           "tfEnvelopeDelay", "udEnvelopeDelay");

    envWindow = new TEnvelopePicture(287, 135, 4, 131, env);
    envWindow->setObjectName(QStringLiteral("envWindow"));
    envWindow->move(378, 26);
}

TFMEdit::NumberControl* TFMEdit::controlOf(const TNumberBox* box)
{
    for (NumberControl& c : numbers)
        if (c.box == box)
            return &c;
    return nullptr;
}

TFMEdit::NumberControl* TFMEdit::controlOf(const TUpDown* spinner)
{
    for (NumberControl& c : numbers)
        if (c.spinner == spinner)
            return &c;
    return nullptr;
}

int TFMEdit::shown(const NumberControl& c)
{
    const uint8_t stored = c.field();
    switch (c.form) {
    case Form::Inverted: return 127 - stored;
    case Form::Signed: return static_cast<int8_t>(stored);
    case Form::Plain: break;
    }
    return stored;
}

void TFMEdit::store(const NumberControl& c, int value)
{
    switch (c.form) {
    case Form::Inverted: c.field() = static_cast<uint8_t>(127 - value); break;
    case Form::Signed: c.field() = static_cast<uint8_t>(static_cast<int8_t>(value)); break;
    case Form::Plain: c.field() = static_cast<uint8_t>(value); break;
    }
}

void TFMEdit::sendIfReady()
{
    if (!ready)
        return;
    noteVoiceEdit(sender());
    if (settings.autoSend && midiPort)
        midiPort->sendVoice();
}

void TFMEdit::setUserEnvelopeType()
{
    cbEnvType->select(0);
    currentElement->envelopeType = 0;
}

void TFMEdit::refreshFromVoice()
{
    ready = false;
    currentElement = &voice.element[editElementB ? 1 : 3];
    cbElement->select(editElementB ? 0 : 1);
    currentOperator = editCarrier ? &currentElement->carrier : &currentElement->modulator;
    VoiceElement& e = *currentElement;
    OperatorBlock& o = *currentOperator;

    cbWaveform->select(e.waveform);

    setNumberText(tfTemperament, o.temperament);
    setNumberText(tfDetune, o.detune);
    setNumberText(tfPitch, e.pitch);

    tbVelResp->setPosition(e.velocityResponse);
    tbATResp->setPosition(e.aftertouchResponse);

    setNumberText(tfLFORate, 127 - e.lfoRate);
    setNumberText(tfLFOSpeed, e.lfoSpeed);
    setNumberText(tfLFODelay, e.lfoDelay);
    setNumberText(tfLFOAMDepth, e.lfoAMDepth);
    setNumberText(tfLFOPMDepth, e.lfoPMDepth);
    tbLFOWaveform->setPosition(e.lfoWaveform);

    cbEnvType->select(e.envelopeType);

    tbLevelScaling->setPosition(o.levelScaling);
    tbRateScaling->setPosition(o.rateScaling);

    setNumberText(tfLevelInitial, 127 - o.levelInitial);
    setNumberText(tfLevelAttack, 127 - o.levelAttack);
    setNumberText(tfLevelDecay1, 127 - o.levelDecay1);
    setNumberText(tfLevelDecay2, 127 - o.levelDecay2);
    setNumberText(tfRateAttack, o.rateAttack);
    setNumberText(tfRateDecay1, o.rateDecay1);
    setNumberText(tfRateDecay2, o.rateDecay2);
    setNumberText(tfRateRelease, o.rateRelease);

    cbEnvelopeDelay->setChecked(o.envelopeDelayOn != 0);
    tfEnvelopeDelay->setEnabled(cbEnvelopeDelay->isChecked());
    udEnvelopeDelay->setEnabled(cbEnvelopeDelay->isChecked());

    setNumberText(tfFMWaveform, o.fmWaveform);
    setNumberText(tfFMFrequency, o.fmFrequency);
    setNumberText(tfOperatorLevel, 127 - o.level);
    setNumberText(tfFeedback, e.feedback);

    cbFixedFrequency->setChecked(o.fixedFrequency == 1);
    cbCarrierAM->setChecked(e.carrierAM == 1);
    cbCarrierPM->setChecked(e.carrierPM == 1);
    cbModulatorAM->setChecked(e.modulatorAM == 1);
    cbModulatorPM->setChecked(e.modulatorPM == 1);

    sbLevel->setValue(e.carrier.level);
    sbPan->setValue(4 - e.pan);

    setNumberText(tfEnvelopeDelay, voice.envelopeDelay);

    drawEnvelope();
    ready = true;
}

void TFMEdit::refreshDelayTime()
{
    const bool wasReady = ready;
    ready = false;
    setNumberText(tfEnvelopeDelay, voice.envelopeDelay);
    drawEnvelope();
    ready = wasReady;
}

void TFMEdit::drawEnvelope()
{
    if (!envWindow)
        return;
    const VoiceElement& e = voice.element[editElementB ? 1 : 3];
    envWindow->draw(&e.modulator, e.carrier, voice);
}

void TFMEdit::textBoxChange(TNumberBox* box)
{
    NumberControl* c = controlOf(box);
    if (!c)
        return;
    int n = 0;
    const bool hasNumber = box->number(n);
    // No number yet while the user types (emptied, or a lone sign on the way to "-5"):
    // the stored value is kept and the text left alone. Writing the stored value back
    // here would turn "-5" into "05" as it is typed.
    if (!hasNumber && box->userTyping())
        return;
    int v;
    if (hasNumber && n >= c->lo && n <= c->hi) {
        // While the window rewrites itself the box only shows the record.
        if (ready)
            store(*c, n);
        v = n;
    } else {
        // Refused (out of range, or left with no number): the stored value shows again.
        v = shown(*c);
    }
    c->spinner->setPosition(v);

    switch (c->role) {
    case Role::Envelope:
        // A refresh shows the voice as it is: only the user's change moves the peak stage.
        if (ready)
            updatePeakStage(*currentOperator);
        if (editCarrier && ready)
            setUserEnvelopeType();
        drawEnvelope();
        break;
    case Role::OperatorLevel:
        if (editCarrier) {
            // The level is stored already; the bar only follows.
            const QSignalBlocker quiet(sbLevel);
            sbLevel->setValue(127 - v);
        }
        break;
    case Role::EnvelopeDelay:
        drawEnvelope();
        if (AWMEdit)
            AWMEdit->refreshDelayTime();
        break;
    case Role::Other:
        break;
    }

    if (!hasNumber || v != n)
        setNumberText(box, v);  // runs this handler once more with the stored value
    else
        sendIfReady();
}

void TFMEdit::udChangedValue(TUpDown* spinner, int position)
{
    NumberControl* c = controlOf(spinner);
    if (!c)
        return;
    // A level or rate spinner makes the envelope the user's own, whichever operator
    // is shown; set before the box sends, so that the voice sent carries it.
    if (c->role == Role::Envelope)
        setUserEnvelopeType();
    store(*c, position);
    if (c->role == Role::OperatorLevel && editCarrier) {
        const QSignalBlocker quiet(sbLevel);
        sbLevel->setValue(127 - position);
    }
    setNumberText(c->box, position);
}

void TFMEdit::cbEnvTypeChange(int index)
{
    if (index < 0 || index > 7)
        return;
    if (index == 1)
        applyWaveformEnvelope();
    else if (index >= 2)
        applyEnvelopeShape(*currentOperator, index);
    if (index >= 1)
        updatePeakStage(*currentOperator);
    currentElement->envelopeType = static_cast<uint8_t>(index);
    refreshFromVoice();
    cbEnvType->select(index);
    sendIfReady();
}

void TFMEdit::applyWaveformEnvelope()
{
    applyEnvelopeRow(currentElement->carrier, fmWaveEnvelopes[currentElement->waveform]);
}

void TFMEdit::cbWaveformChange(int index)
{
    if (index < 0 || index >= fmWaveCount)
        return;
    VoiceElement& e = *currentElement;
    e.waveform = static_cast<uint8_t>(index);
    applyFMWaveSetup(e, fmWaveSetups[static_cast<size_t>(index)]);
    const bool preset = e.envelopeType == 1;
    if (preset) {
        applyWaveformEnvelope();
        updatePeakStage(e.carrier);
    }
    refreshFromVoice();
    updatePeakStage(currentElement->modulator);
    if (preset) {
        currentElement->envelopeType = 1;
        cbEnvType->select(1);
    }
    sendIfReady();
}

void TFMEdit::cbOperatorChange(int index)
{
    editCarrier = index == 0;
    cbEnvType->setEnabled(editCarrier);
    refreshFromVoice();
}

void TFMEdit::cbElementChange(int index)
{
    editElementB = index == 0;
    refreshFromVoice();
}

void TFMEdit::tbChanged(TSlider* slider, int position)
{
    VoiceElement& e = *currentElement;
    if (slider == tbVelResp) {
        e.velocityResponse = static_cast<int8_t>(position);
    } else if (slider == tbATResp) {
        e.aftertouchResponse = static_cast<int8_t>(position);
    } else if (slider == tbLFOWaveform) {
        e.lfoWaveform = static_cast<uint8_t>(position);
    } else if (slider == tbLevelScaling || slider == tbRateScaling) {
        (slider == tbLevelScaling ? currentOperator->levelScaling : currentOperator->rateScaling) =
            static_cast<uint8_t>(position);
        if (editCarrier)
            setUserEnvelopeType();
    } else {
        return;
    }
    sendIfReady();
}

void TFMEdit::sbChanged(QScrollBar* bar, int position)
{
    if (bar == sbLevel) {
        if (ready)
            currentElement->carrier.level = static_cast<uint8_t>(position);
        if (editCarrier) {
            udOperatorLevel->setPosition(127 - position);
            // The level is stored already: the box only shows it, and the voice is
            // sent once, below.
            const bool wasReady = ready;
            ready = false;
            setNumberText(tfOperatorLevel, 127 - position);
            ready = wasReady;
        }
    } else if (bar == sbPan) {
        if (ready)
            currentElement->pan = static_cast<uint8_t>(4 - position);
    } else {
        return;
    }
    sendIfReady();
}

void TFMEdit::cbFixedFrequencyClick()
{
    if (ready)
        currentOperator->fixedFrequency = cbFixedFrequency->isChecked() ? 1 : 0;
    sendIfReady();
}

void TFMEdit::assignLFO(QCheckBox* box)
{
    VoiceElement& e = *currentElement;
    uint8_t* field = box == cbCarrierAM     ? &e.carrierAM
                     : box == cbModulatorAM ? &e.modulatorAM
                     : box == cbCarrierPM   ? &e.carrierPM
                     : box == cbModulatorPM ? &e.modulatorPM
                                            : nullptr;
    if (!field)
        return;
    if (ready)
        *field = box->isChecked() ? 1 : 0;
    sendIfReady();
}

void TFMEdit::cbEnvelopeDelayClick()
{
    const bool on = cbEnvelopeDelay->isChecked();
    if (ready)
        currentOperator->envelopeDelayOn = on ? 1 : 0;
    tfEnvelopeDelay->setEnabled(on);
    udEnvelopeDelay->setEnabled(on);
    drawEnvelope();
    sendIfReady();
}

void TFMEdit::bGetVoiceClick()
{
    if (midiPort)
        midiPort->getVoice();
}

void TFMEdit::bSendVoiceClick()
{
    if (midiPort)
        midiPort->sendVoice();
}

void TFMEdit::bCloseClick()
{
    hide();
}
