// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/editcommands.h"

#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <random>

#include "editors/awmedit.h"
#include "editors/controls.h"
#include "editors/editorwindow.h"
#include "editors/elementops.h"
#include "editors/fieldbinder.h"
#include "editors/fmedit.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"
#include "editors/voicehistory.h"
#include "voice/mutate.h"

namespace {

bool isPlayKey(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Space && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Where each editor stood when it was last hidden.
QHash<QWidget*, QPoint>& places()
{
    static QHash<QWidget*, QPoint> saved;
    return saved;
}

// always: the voice goes out whether auto-send is on or not.
void afterRestore(bool always)
{
    refreshAllEditors();
    sendVoiceToSynth(always);
}

}  // namespace

TEditCommands::TEditCommands()
{
    noteTimer = new QTimer(this);
    noteTimer->setSingleShot(true);
    noteTimer->setInterval(testNoteMaxMs);
    connect(noteTimer, &QTimer::timeout, this, [] { playNote(false); });
    voiceHistory.onChange = [this] { emit historyChanged(); };
    qApp->installEventFilter(this);
}

TEditCommands* editCommands()
{
    static QPointer<TEditCommands> commands;
    if (!commands)
        commands = new TEditCommands;
    return commands;
}

bool TEditCommands::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::FocusOut && type != QEvent::Hide && type != QEvent::Show)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    QWidget* window = widget->window();
    if (!editors.contains(window))
        return false;

    if (widget == window && !event->spontaneous()) {
        // "Close" and the close box hide the window; it comes back where it was. A
        // window the user moved still counts as placed by the window manager, which
        // would place it anew: the position is given again, as the program's own.
        if (type == QEvent::Hide) {
            places()[window] = window->geometry().topLeft();
        } else if (type == QEvent::Show && places().contains(window)) {
            const QPoint at = places().value(window);
            window->setGeometry(QRect(at, window->size()));
            if (QWindow* handle = window->windowHandle())
                handle->setPosition(at);
        }
    }

    auto* box = qobject_cast<QLineEdit*>(widget);
    switch (type) {
    case QEvent::FocusOut:
        // Leaving a box ends the typing in it.
        if (box)
            voiceHistory.finish();
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (box && type == QEvent::KeyPress &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter))
            voiceHistory.finish();
        // Space plays wherever no text box has the focus; held, it keeps sounding.
        if (!box && isPlayKey(key)) {
            if (!key->isAutoRepeat())
                playNote(type == QEvent::KeyPress);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return false;
}

void noteVoiceEdit(QObject* source)
{
    voiceHistory.changed(source);
    bool held = false;
    if (auto* slider = qobject_cast<QAbstractSlider*>(source))
        held = slider->isSliderDown();
    else if (auto* number = qobject_cast<TNumberBox*>(source))
        held = number->userTyping();
    else if (auto* box = qobject_cast<QLineEdit*>(source))
        held = box->hasFocus();
    if (!held)
        voiceHistory.finish();
}

void watchEditor(QWidget* editor)
{
    TEditCommands* commands = editCommands();
    if (!commands->editors.contains(editor)) {
        commands->editors.append(editor);
        QObject::connect(editor, &QObject::destroyed, commands, [commands, editor] {
            commands->editors.removeAll(editor);
            places().remove(editor);
        });
    }
    addUndoKeys(editor, undoVoiceEdit, redoVoiceEdit);
    for (QAbstractSlider* slider : editor->findChildren<QAbstractSlider*>()) {
        guardWheel(slider);
        QObject::connect(slider, &QAbstractSlider::sliderReleased, editor, [] { voiceHistory.finish(); });
    }
    for (QComboBox* list : editor->findChildren<QComboBox*>())
        guardWheel(list);
}

QPushButton* makeCompareButton(QWidget* parent)
{
    auto* b = new QPushButton(QStringLiteral("Compare"), parent);
    b->setObjectName(QStringLiteral("bCompare"));
    b->setCheckable(true);
    b->setToolTip(QStringLiteral("Switches between the edited voice and the voice as last loaded or saved"));
    QObject::connect(b, &QPushButton::clicked, b, [] { compareVoice(); });
    QObject::connect(editCommands(), &TEditCommands::historyChanged, b, [b] {
        const QSignalBlocker quiet(b);
        b->setChecked(voiceHistory.comparing());
    });
    return b;
}

QPushButton* makePlayButton(QWidget* parent)
{
    auto* b = new QPushButton(QStringLiteral("Play"), parent);
    b->setObjectName(QStringLiteral("bPlay"));
    b->setToolTip(QStringLiteral("Plays middle C while held (space bar)"));
    QObject::connect(b, &QPushButton::pressed, b, [] { playNote(true); });
    QObject::connect(b, &QPushButton::released, b, [] { playNote(false); });
    return b;
}

QPushButton* makeElementButton(QWidget* parent, bool fm)
{
    auto* b = new QPushButton(QStringLiteral("Element"), parent);
    b->setObjectName(QStringLiteral("bElement"));
    b->setToolTip(QStringLiteral("Copies, swaps or initialises elements"));
    auto* menu = new QMenu(b);
    menu->setObjectName(QStringLiteral("elementMenu"));
    const int first = fm ? 1 : 0;
    const int second = fm ? 3 : 2;
    const QString a = QString(QChar(u'A' + first));
    const QString c = QString(QChar(u'A' + second));
    auto add = [menu](const QString& caption, std::function<void(Voice&)> change) {
        QAction* action = menu->addAction(caption);
        const std::string name = caption.toStdString();
        QObject::connect(action, &QAction::triggered, menu, [name, change] { runVoiceCommand(name, change); });
    };
    add(QStringLiteral("Copy %1 to %2").arg(a, c), [=](Voice& v) { copyElement(v, first, second); });
    add(QStringLiteral("Copy %1 to %2").arg(c, a), [=](Voice& v) { copyElement(v, second, first); });
    add(QStringLiteral("Swap %1 and %2").arg(a, c), [=](Voice& v) { swapElements(v, first, second); });
    menu->addSeparator();
    if (fm) {
        // The envelope commands act on the element the window shows.
        auto shown = [] { return FMEdit && !FMEdit->editElementB ? 3 : 1; };
        add(QStringLiteral("Carrier envelope to modulator"),
            [shown](Voice& v) { copyCarrierEnvelopeToModulator(v.element[shown()]); });
        add(QStringLiteral("Modulator envelope to carrier"),
            [shown](Voice& v) { copyModulatorEnvelopeToCarrier(v.element[shown()]); });
        menu->addSeparator();
    }
    add(QStringLiteral("Initialise %1").arg(a), [=](Voice& v) { initialiseElement(v, first); });
    add(QStringLiteral("Initialise %1").arg(c), [=](Voice& v) { initialiseElement(v, second); });
    b->setMenu(menu);
    return b;
}

void refreshAllEditors()
{
    if (FMEdit)
        FMEdit->refreshFromVoice();
    if (AWMEdit)
        AWMEdit->refreshFromVoice();
    if (VoiceCommonEdit)
        VoiceCommonEdit->refreshFromVoice();
    if (VectorEdit)
        VectorEdit->refreshFromVoice();
}

void undoVoiceEdit()
{
    if (voiceHistory.undo())
        afterRestore(false);
}

void redoVoiceEdit()
{
    if (voiceHistory.redo())
        afterRestore(false);
}

void compareVoice()
{
    voiceHistory.toggleCompare();
    afterRestore(true);
}

void runVoiceCommand(const std::string& name, const std::function<void(Voice&)>& change)
{
    voiceHistory.finish();
    // A command while comparing works on the voice shown.
    Voice changed = voice;
    change(changed);
    voice = changed;
    if (voiceHistory.commit(name))
        afterRestore(false);
}

void mutateVoiceDialog(QWidget* parent)
{
    static int strength = 20;
    static bool name = false;
    static bool steps = false;

    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Mutate voice"));
    auto* strengthBox = new QSpinBox(&dialog);
    strengthBox->setObjectName(QStringLiteral("strength"));
    strengthBox->setRange(1, 100);
    strengthBox->setSuffix(QStringLiteral(" %"));
    strengthBox->setValue(strength);
    strengthBox->setToolTip(QStringLiteral("The share of the voice's values that take random values"));
    auto* nameBox = new QCheckBox(QStringLiteral("Change the name"), &dialog);
    nameBox->setObjectName(QStringLiteral("mutateName"));
    nameBox->setChecked(name);
    auto* stepsBox = new QCheckBox(QStringLiteral("Change the vectors' steps"), &dialog);
    stepsBox->setObjectName(QStringLiteral("mutateSteps"));
    stepsBox->setChecked(steps);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Strength: "), strengthBox);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(nameBox);
    layout->addWidget(stepsBox);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    strength = strengthBox->value();
    name = nameBox->isChecked();
    steps = stepsBox->isChecked();
    MutateOptions options;
    options.strength = strength;
    options.name = name;
    options.vectorSteps = steps;
    options.seed = std::random_device{}();
    runVoiceCommand("Mutate", [&options](Voice& v) { mutateVoice(v, options); });
}

void playNote(bool on)
{
    TEditCommands* commands = editCommands();
    if (on == commands->noteSounding)
        return;
    commands->noteSounding = on;
    if (on)
        commands->noteTimer->start();
    else
        commands->noteTimer->stop();
    sendTestNote(on);
}

QString undoCaption()
{
    const std::string name = voiceHistory.undoName();
    return name.empty() ? QStringLiteral("&Undo") : QStringLiteral("&Undo %1").arg(QString::fromStdString(name));
}

QString redoCaption()
{
    const std::string name = voiceHistory.redoName();
    return name.empty() ? QStringLiteral("&Redo") : QStringLiteral("&Redo %1").arg(QString::fromStdString(name));
}
