// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/vectoredit.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/voicedocument.h"
#include "editors/controls.h"
#include "editors/editcommands.h"
#include "editors/vectorpathview.h"

namespace {

constexpr int positionTop = 62;     // the lists' last position
constexpr int repeatMarker = 254;   // "Repeat"
constexpr int endMarker = 255;      // "End"

}   // namespace

QStringList TVectorEdit::positionNames(QChar first, QChar second)
{
    QStringList names;
    for (int v = 0; v <= positionTop; ++v) {
        const int shown = v - 31;
        if (shown == -31)
            names << QStringLiteral("-31 (0% %1, 100% %2)").arg(first).arg(second);
        else if (shown == 0)
            names << QStringLiteral("0 (50% %1, 50% %2)").arg(first).arg(second);
        else if (shown == 31)
            names << QStringLiteral("31 (100% %1, 0% %2)").arg(first).arg(second);
        else
            names << QString::number(shown);
    }
    return names;
}

QStringList TVectorEdit::repeatNames()
{
    QStringList names;
    for (int v = 0; v < repeatMarker; ++v)
        names << QString::number(v + 1);
    names << QStringLiteral("Repeat") << QStringLiteral("End");
    return names;
}

QStringList TVectorEdit::speedNames()
{
    QStringList names;
    for (int s = 1; s <= 16; ++s)
        names << QStringLiteral("%1 ms").arg(s * 10);
    return names;
}

TVectorEdit::TVectorEdit(TEditCommands& commands, QWidget* parent)
    : TEditorWindow(QStringLiteral("Tarvik - Vectors"), commands, parent)
{
    QLayout* sliderArea = addSliders();
    addLists();
    pathView = new TVectorPathView(voice);
    pathView->setFixedSize(190, 190);
    // Redrawn on every change of the voice, from any window.
    connect(&document, &TVoiceDocument::fieldChanged, pathView, [this] { pathView->update(); });
    createButtons(0, true);
    layOut(sliderArea);
    bindFields();
    // Choosing the step or the vector shows it, and sends like every list.
    connect(cbStepNumber, &TPickList::picked, this, [this](int entry) {
        currentStep = entry;
        refreshFromVoice();
        reportEdit(cbStepNumber);
    });
    connect(cbVectorSelect, &TPickList::picked, this, [this](int entry) {
        editLevel = entry == 0;
        currentVector = editLevel ? &voice.levelVector : &voice.detuneVector;
        currentSpeed = editLevel ? &voice.levelVectorSpeed : &voice.detuneVectorSpeed;
        refreshFromVoice();
        reportEdit(cbVectorSelect);
    });

    currentStep = 0;
    editLevel = true;
    currentVector = &voice.levelVector;
    currentSpeed = &voice.levelVectorSpeed;
    refreshFromVoice();
    commands.watchEditor(this);
    orderTabsByScreen(this);
}

QLayout* TVectorEdit::addSliders()
{
    // The two rows of sliders, AB first.
    auto* sliderArea = new QVBoxLayout;
    sliderArea->setSpacing(2);
    for (int row = 0; row < 2; ++row) {
        auto* top = new QLabel(row == 0 ? QStringLiteral("Element A") : QStringLiteral("Element C"));
        auto* bottom = new QLabel(row == 0 ? QStringLiteral("Element B") : QStringLiteral("Element D"));
        top->setAlignment(Qt::AlignCenter);
        bottom->setAlignment(Qt::AlignCenter);
        auto* line = new QHBoxLayout;
        line->setSpacing(1);
        for (int step = 0; step < vectorSteps; ++step) {
            auto* s = new TSlider(Qt::Vertical);
            s->setObjectName(QStringLiteral("%1Step%2").arg(row == 0 ? "ab" : "cd").arg(step + 1));
            s->setTickPosition(QSlider::NoTicks);
            s->setPageStep(16);
            s->setSingleStep(1);
            s->setFixedSize(15, 110);
            s->setToolTip(row == 0 ? QStringLiteral("Sets the AB vector for this position")
                                   : QStringLiteral("Sets the CD vector for this position"));
            // A hidden step keeps its place in the row.
            QSizePolicy policy = s->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            s->setSizePolicy(policy);
            sliders.append(s);
            line->addWidget(s);
        }
        if (row == 1)
            sliderArea->addSpacing(14);
        sliderArea->addWidget(top);
        sliderArea->addLayout(line);
        sliderArea->addWidget(bottom);
    }
    return sliderArea;
}

void TVectorEdit::addLists()
{
    cbStepNumber = new TPickList;
    for (int step = 1; step <= vectorSteps; ++step)
        cbStepNumber->addItem(QString::number(step));
    cbABPosition = new TPickList(positionNames(QLatin1Char('A'), QLatin1Char('B')));
    cbCDPosition = new TPickList(positionNames(QLatin1Char('C'), QLatin1Char('D')));
    cbRepeats = new TPickList(repeatNames());
    cbVectorSpeed = new TPickList(speedNames());
    cbVectorSelect = new TPickList({QStringLiteral("Level"), QStringLiteral("Detune")});
    for (TPickList* list :
         {cbStepNumber, cbABPosition, cbCDPosition, cbRepeats, cbVectorSpeed, cbVectorSelect})
        list->setMaxVisibleItems(16);
    cbStepNumber->setAccessibleName(QStringLiteral("Step number"));
    cbVectorSelect->setAccessibleName(QStringLiteral("Vector edited"));
    nameObjects({{cbStepNumber, "cbStepNumber"},
                 {cbABPosition, "cbABPosition"},
                 {cbCDPosition, "cbCDPosition"},
                 {cbRepeats, "cbRepeats"},
                 {cbVectorSpeed, "cbVectorSpeed"},
                 {cbVectorSelect, "cbVectorSelect"}});
}

void TVectorEdit::layOut(QLayout* sliderArea)
{
    auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    auto* gStep = new QGroupBox(QStringLiteral(" Step values "));
    {
        auto* l = new QGridLayout(gStep);
        l->addWidget(label(QStringLiteral("Step &number: "), cbStepNumber), 0, 0);
        l->addWidget(cbStepNumber, 0, 1);
        l->addWidget(label(QStringLiteral("R&epeat/End: "), cbRepeats), 1, 0);
        l->addWidget(cbRepeats, 1, 1);
        l->addWidget(label(QStringLiteral("A&B position: "), cbABPosition), 0, 2);
        l->addWidget(cbABPosition, 0, 3);
        l->addWidget(label(QStringLiteral("C&D position: "), cbCDPosition), 1, 2);
        l->addWidget(cbCDPosition, 1, 3);
        l->setColumnMinimumWidth(1, 90);
        l->setHorizontalSpacing(8);
    }
    auto* gGlobal = new QGroupBox(QStringLiteral(" Vector global "));
    {
        auto* l = new QGridLayout(gGlobal);
        l->addWidget(label(QStringLiteral("Vector &speed: "), cbVectorSpeed), 0, 0);
        l->addWidget(cbVectorSpeed, 0, 1);
        l->addWidget(label(QStringLiteral("Edit ve&ctor: "), cbVectorSelect), 1, 0);
        l->addWidget(cbVectorSelect, 1, 1);
    }
    auto* buttons = new QVBoxLayout;
    for (QWidget* b : {bGetVoice, bSendVoice, bCompare, bPlay, bClose})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto* panels = new QHBoxLayout;
    panels->addWidget(gStep);
    panels->addWidget(gGlobal);
    panels->addStretch(1);
    panels->addLayout(buttons);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    auto* steps = new QHBoxLayout;
    steps->addLayout(sliderArea);
    steps->addSpacing(8);
    steps->addWidget(pathView, 0, Qt::AlignTop);
    outer->addLayout(steps);
    outer->addSpacing(6);
    outer->addLayout(panels);
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

void TVectorEdit::bindFields()
{
    // A field of the vector shown, at step (the current step when -1).
    auto vectorRow = [this](auto member, int step) {
        return voiceRow([this, member, step]() -> const VoiceField& {
            return vectorField(editLevel, step < 0 ? currentStep : step, member);
        });
    };
    // "Level vector step 12 A/B": which vector, step and axis a slider sets.
    fields->readerName = [this](const QString& caption, const QWidget* control) {
        const QString vector = editLevel ? QStringLiteral("Level") : QStringLiteral("Detune");
        const int i = sliders.indexOf(static_cast<TSlider*>(const_cast<QWidget*>(control)));
        if (control == cbVectorSpeed)
            return vector + QStringLiteral(" vector speed");
        const QString step = QStringLiteral("%1 vector step %2 ").arg(vector).arg(currentStep + 1);
        if (control == cbRepeats)
            return step + QStringLiteral("repeat or end");
        if (control == cbABPosition || control == cbCDPosition)
            return step + (control == cbABPosition ? QStringLiteral("A/B") : QStringLiteral("C/D")) +
                   QStringLiteral(" position");
        if (i < 0)
            return caption;
        return QStringLiteral("%1 vector step %2 %3")
            .arg(editLevel ? QStringLiteral("Level") : QStringLiteral("Detune"))
            .arg(i % vectorSteps + 1)
            .arg(i < vectorSteps ? QStringLiteral("A/B") : QStringLiteral("C/D"));
    };
    // A slider shows its step's position upside down and makes the step current.
    for (int i = 0; i < 2 * vectorSteps; ++i) {
        const int step = i % vectorSteps;
        TFieldRow r = vectorRow(i < vectorSteps ? &VectorTable::abPosition : &VectorTable::cdPosition, step);
        // The slider's range is the field's, its top the field's first value.
        r.get = [get = r.get, top = r.maximum] { return top - get(); };
        r.set = [set = r.set, top = r.maximum](int p) { set(top - p); };
        r.after = [this, step] {
            currentStep = step;
            showStep(step);
        };
        fields->bindSlider(sliders[i], r);
    }
    TFieldRow ab = vectorRow(&VectorTable::abPosition, -1);
    ab.after = [this] { fields->refreshControl(sliders[currentStep]); };
    fields->bindList(cbABPosition, ab);
    TFieldRow cd = vectorRow(&VectorTable::cdPosition, -1);
    cd.after = [this] { fields->refreshControl(sliders[vectorSteps + currentStep]); };
    fields->bindList(cbCDPosition, cd);
    TFieldRow repeats = vectorRow(&VectorTable::repeats, -1);
    repeats.after = [this] { updateStepVisibility(); };
    fields->bindList(cbRepeats, repeats);
    // Item i is the speed i + 1; a stored speed of 0 selects nothing.
    fields->bindList(cbVectorSpeed, voiceRow([this]() -> const VoiceField& {
                         return editLevel ? voiceField(&Voice::levelVectorSpeed)
                                          : voiceField(&Voice::detuneVectorSpeed);
                     }));
}

// The step lists show one step's values.
void TVectorEdit::showStep(int step)
{
    cbStepNumber->select(step);
    for (QObject* list : {cbABPosition, cbCDPosition, cbRepeats})
        fields->refreshControl(list);
}

void TVectorEdit::showVoice()
{
    pathView->showVector(editLevel);
    cbStepNumber->select(currentStep);
    cbVectorSelect->select(editLevel ? 0 : 1);
    updateStepVisibility();
}

void TVectorEdit::updateStepVisibility()
{
    bool visible = true;
    for (int i = 0; i < vectorSteps; ++i) {
        if (currentVector->repeats[i] == repeatMarker)
            visible = false;
        sliders[i]->setVisible(visible);
        sliders[vectorSteps + i]->setVisible(visible);
        if (currentVector->repeats[i] == endMarker)
            visible = false;
    }
}
