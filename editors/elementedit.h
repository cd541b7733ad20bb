// SPDX-License-Identifier: GPL-3.0-or-later
// What the AWM and the FM element editors share: one element of a kind at a time (A
// or C, B or D), the controls both have, bound to the shown element's rows of the
// field table, the envelope type and its presets and shapes, the delay and the
// envelope picture.
//
// The envelope type turns "User" when an accepted level, rate or scaling of the
// carrier is stored (a modulator's envelope has no type). The peak stage follows
// every stored level.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "editors/editorwindow.h"
#include "voice/voice.h"

class QLabel;
class QCheckBox;
class QRect;
class QScrollBar;
class TEnvelopePicture;
class TNumberBox;
class TPickList;
class TSlider;
class TUpDown;

class TElementEdit : public TEditorWindow {
    Q_OBJECT
public:
    void refreshFromVoice() override;
    // Shows the voice's delay time again (another window changed it) and redraws;
    // sends nothing.
    void refreshDelayTime();
    // Repaints the picture: the FM modulator thin red, then the carrier thick dark blue.
    void drawEnvelope();

    // The shown element and operator (the AWM editor shows the carrier only), set by
    // refreshFromVoice.
    bool firstElement = true;
    bool editCarrier = true;
    VoiceElement* currentElement;
    OperatorBlock* currentOperator;

protected:
    // The shared controls, built by each window.
    TPickList* cbWaveform = nullptr;
    TPickList* cbEnvType = nullptr;
    TPickList* cbElement = nullptr;
    TSlider *tbVelResp = nullptr, *tbATResp = nullptr, *tbLFOWaveform = nullptr;
    TSlider *tbLevelScaling = nullptr, *tbRateScaling = nullptr;
    TNumberBox *tfPitch = nullptr, *tfTemperament = nullptr, *tfDetune = nullptr, *tfLFOSpeed = nullptr,
               *tfLFODelay = nullptr, *tfLFORate = nullptr, *tfLFOAMDepth = nullptr, *tfLFOPMDepth = nullptr,
               *tfLevelInitial = nullptr, *tfLevelAttack = nullptr, *tfLevelDecay1 = nullptr,
               *tfLevelDecay2 = nullptr, *tfRateAttack = nullptr, *tfRateDecay1 = nullptr,
               *tfRateDecay2 = nullptr, *tfRateRelease = nullptr, *tfEnvelopeDelay = nullptr;
    TUpDown *udPitch = nullptr, *udTemperament = nullptr, *udDetune = nullptr, *udLFOSpeed = nullptr,
            *udLFODelay = nullptr, *udLFORate = nullptr, *udLFOAMDepth = nullptr, *udLFOPMDepth = nullptr,
            *udLevelInitial = nullptr, *udLevelAttack = nullptr, *udLevelDecay1 = nullptr,
            *udLevelDecay2 = nullptr, *udRateAttack = nullptr, *udRateDecay1 = nullptr,
            *udRateDecay2 = nullptr, *udRateRelease = nullptr, *udEnvelopeDelay = nullptr;
    QCheckBox* cbEnvelopeDelay = nullptr;
    QScrollBar *sbLevel = nullptr, *sbPan = nullptr;
    // The bars' values as numbers, beside them.
    QLabel *lLevelValue = nullptr, *lPanValue = nullptr;
    // The carrier's level in the form its number box gives it.
    std::function<int()> shownLevel;
    TEnvelopePicture* envWindow = nullptr;

    // first: the first element of the kind (0 AWM, 1 FM).
    TElementEdit(const QString& title, int first, TEditCommands& commands, QWidget* parent);
    int shownElement() const override { return firstElement ? first : first + 2; }
    // What a screen reader puts between the element and a control's field: the
    // operator ("carrier "), for a control of the operator being edited whose field
    // the element has once more (the level); "" for the others.
    virtual QString operatorWord(const QWidget*) const { return QString(); }

    // What follows a stored value.
    enum class Role { Other, EnvelopeLevel, EnvelopeScaling, Delay };
    // A row over a field of the voice, of the shown element, or of its shown operator,
    // named by its member.
    template <class T> TFieldRow row(T Voice::*member, Role role = Role::Other)
    {
        return row(Scope::Voice, memberOffset(member), role);
    }
    template <class T> TFieldRow row(T VoiceElement::*member, Role role = Role::Other)
    {
        return row(Scope::Element, memberOffset(member), role);
    }
    template <class T> TFieldRow row(T OperatorBlock::*member, Role role = Role::Other)
    {
        return row(Scope::Operator, memberOffset(member), role);
    }

    // A number box of width characters with its spinner (its top spinnerMaximum, or
    // the row's), the caption at x and the box at boxX, bound to the field.
    void number(QWidget* parent, const QString& caption, int x, int y, int boxX, int width, TNumberBox*& box,
                TUpDown*& ud, TFieldRow fieldRow, const QString& tip,
                std::optional<int> spinnerMaximum = std::nullopt);
    // A check box at x, y bound to the field (unbound when the row has no field).
    QCheckBox* check(QWidget* parent, const QString& text, int x, int y, TFieldRow fieldRow);
    // A slider (page step 1) at at, bound to the field; its range is the field's.
    TSlider* slider(QWidget* parent, Qt::Orientation orientation, const QRect& at, TFieldRow fieldRow,
                    const QString& tip);
    // The " Level & Pan " group at group: the element's level bar (the carrier's level,
    // levelAfter following a stored one) at level and the pan bar at pan.
    void levelAndPan(const QRect& group, const QRect& level, const QRect& pan, const QString& levelTip,
                     std::function<void()> levelAfter = {});
    // The eight level and rate boxes of the envelope, one column each of four.
    // interleaved: created level, rate, level, ... (the focus order), else by column.
    void envelopeBoxes(QWidget* levels, QWidget* rates, int labelX, int boxX, int top, int step,
                       bool interleaved);
    // Binds the shared controls the layout placed: the delay check box, the element and
    // envelope type lists.
    void bindShared();
    // The delay time box follows the delay flag; the picture is redrawn.
    void showDelay();
    // The Level & Pan values beside their bars, as the voice holds them.
    void showLevelAndPan();
    // Gives the shared controls their form names.
    void nameControls();

    void envelopeTypePicked(int type);
    // Loads the "Preset" envelope of the element's waveform into its carrier; false
    // when the waveform has none.
    virtual bool applyWaveformEnvelope() = 0;
    void setUserEnvType();

    int first;
    bool captionTips = false;   // a caption shows its box's tooltip too

private:
    // Where a row's field lies: the voice, the shown element, its shown operator, or
    // its carrier whichever operator is shown; offset is the member's inside that.
    enum class Scope { Voice, Element, Operator, Carrier };
    TFieldRow row(Scope scope, size_t offset, Role role = Role::Other, bool shown = true);
};
