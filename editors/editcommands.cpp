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

#include "document/autosender.h"
#include "document/voicedocument.h"
#include "editors/controls.h"
#include "editors/elementops.h"
#include "editors/fieldbinder.h"
#include "voice/mutate.h"

namespace {

bool isPlayKey(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Space && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}   // namespace

TEditCommands::TEditCommands(TVoiceDocument& document, TAutoSender& sender, TSettings& settings,
                             std::function<bool()> getVoice)
    : document(document), sender(sender), settings(settings), getVoice(std::move(getVoice))
{
    noteTimer = new QTimer(this);
    noteTimer->setSingleShot(true);
    noteTimer->setInterval(testNoteMaxMs);
    connect(noteTimer, &QTimer::timeout, this, [this] { playNote(false); });
    connect(&document, &TVoiceDocument::historyChanged, this, &TEditCommands::historyChanged);
    qApp->installEventFilter(this);
}

TEditCommands::~TEditCommands()
{
    qApp->removeEventFilter(this);
}

bool TEditCommands::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::FocusOut &&
        type != QEvent::Hide && type != QEvent::Show)
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
            places[window] = window->geometry().topLeft();
        } else if (type == QEvent::Show && places.contains(window)) {
            const QPoint at = places.value(window);
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
            document.finishEdit();
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (box && type == QEvent::KeyPress && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter))
            document.finishEdit();
        // Space plays wherever no text box has the focus; held, it keeps sounding.
        if (!box && isPlayKey(key)) {
            if (!key->isAutoRepeat())
                playNote(type == QEvent::KeyPress);
            return true;
        }
        break;
    }
    default: break;
    }
    return false;
}

void TEditCommands::addEditorEntries(QWidget* editor)
{
    // The run's windows from any editor: a right click on the window offers them, and
    // the Explore window has its key.
    QList<QAction*> entries;
    const auto entry = [this, editor, &entries](const char* name, const QString& caption,
                                                std::function<void()>* open) {
        auto* action = new QAction(caption, editor);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [open] {
            if (*open)
                (*open)();
        });
        editor->addAction(action);
        entries.append(action);
        return action;
    };
    entry("Explore", QStringLiteral("E&xplore..."), &openExplore)->setShortcut(exploreKey());
    entry("StoreVoice", QStringLiteral("S&tore voice in synth..."), &storeVoice);
    entry("CompareWith", QStringLiteral("Compare &with..."), &compareWith);
    editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(editor, &QWidget::customContextMenuRequested, editor, [editor, entries](const QPoint& at) {
        QMenu menu(editor);
        menu.addActions(entries);
        menu.exec(editor->mapToGlobal(at));
    });
}

QKeySequence TEditCommands::exploreKey()
{
    return QKeySequence(Qt::CTRL | Qt::Key_E);
}

void TEditCommands::watchEditor(QWidget* editor)
{
    if (!editors.contains(editor)) {
        editors.append(editor);
        connect(editor, &QObject::destroyed, this, [this, editor] {
            editors.removeAll(editor);
            places.remove(editor);
        });
        addEditorEntries(editor);
    }
    addUndoKeys(
        editor, [this] { undo(); }, [this] { redo(); });
    for (QAbstractSlider* slider : editor->findChildren<QAbstractSlider*>()) {
        guardWheel(slider);
        connect(slider, &QAbstractSlider::sliderReleased, editor, [this] { document.finishEdit(); });
    }
    for (QComboBox* list : editor->findChildren<QComboBox*>())
        guardWheel(list);
}

QPushButton* TEditCommands::makeCompareButton(QWidget* parent)
{
    auto* b = new QPushButton(QStringLiteral("Compare"), parent);
    b->setObjectName(QStringLiteral("bCompare"));
    b->setCheckable(true);
    b->setToolTip(QStringLiteral("Switches between the edited voice and the voice as last loaded or saved"));
    connect(b, &QPushButton::clicked, b, [this] { compare(); });
    connect(this, &TEditCommands::historyChanged, b, [this, b] {
        const QSignalBlocker quiet(b);
        b->setChecked(document.history.comparing());
    });
    return b;
}

QPushButton* TEditCommands::makePlayButton(QWidget* parent)
{
    auto* b = new QPushButton(QStringLiteral("Play"), parent);
    b->setObjectName(QStringLiteral("bPlay"));
    b->setToolTip(QStringLiteral("Plays middle C while held (space bar)"));
    connect(b, &QPushButton::pressed, b, [this] { playNote(true); });
    connect(b, &QPushButton::released, b, [this] { playNote(false); });
    return b;
}

QPushButton* TEditCommands::makeElementButton(QWidget* parent, bool fm, std::function<int()> shownElement)
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
    auto add = [this, menu](const QString& caption, std::function<void(Voice&)> change) {
        QAction* action = menu->addAction(caption);
        const std::string name = caption.toStdString();
        connect(action, &QAction::triggered, menu, [this, name, change] { runVoiceCommand(name, change); });
    };
    add(QStringLiteral("Copy %1 to %2").arg(a, c), [=](Voice& v) { copyElement(v, first, second); });
    add(QStringLiteral("Copy %1 to %2").arg(c, a), [=](Voice& v) { copyElement(v, second, first); });
    add(QStringLiteral("Swap %1 and %2").arg(a, c), [=](Voice& v) { swapElements(v, first, second); });
    menu->addSeparator();
    if (fm) {
        // The envelope commands act on the element the window shows.
        auto shown = std::move(shownElement);
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

void TEditCommands::undo()
{
    document.undo();
}

void TEditCommands::redo()
{
    document.redo();
}

void TEditCommands::compare()
{
    document.toggleCompare();
}

void TEditCommands::runVoiceCommand(const std::string& name, const std::function<void(Voice&)>& change)
{
    document.runCommand(name, change);
}

void TEditCommands::mutateVoiceDialog(QWidget* parent)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Mutate voice"));
    auto* strengthBox = new QSpinBox(&dialog);
    strengthBox->setObjectName(QStringLiteral("strength"));
    strengthBox->setRange(1, 100);
    strengthBox->setSuffix(QStringLiteral(" %"));
    strengthBox->setValue(mutateStrength);
    strengthBox->setToolTip(QStringLiteral("The share of the voice's values that take random values"));
    auto* nameBox = new QCheckBox(QStringLiteral("Change the name"), &dialog);
    nameBox->setObjectName(QStringLiteral("mutateName"));
    nameBox->setChecked(mutateName);
    auto* stepsBox = new QCheckBox(QStringLiteral("Change the vectors' steps"), &dialog);
    stepsBox->setObjectName(QStringLiteral("mutateSteps"));
    stepsBox->setChecked(mutateSteps);
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
    mutateStrength = strengthBox->value();
    mutateName = nameBox->isChecked();
    mutateSteps = stepsBox->isChecked();
    MutateOptions options;
    options.strength = mutateStrength;
    options.name = mutateName;
    options.vectorSteps = mutateSteps;
    options.seed = std::random_device{}();
    runVoiceCommand("Mutate", [&options](Voice& v) { mutateVoice(v, options); });
}

void TEditCommands::playNote(bool on)
{
    if (on == noteSounding)
        return;
    noteSounding = on;
    if (on)
        noteTimer->start();
    else
        noteTimer->stop();
    sender.sendNote(on);
}

QString TEditCommands::undoCaption() const
{
    const std::string name = document.history.undoName();
    return name.empty() ? QStringLiteral("&Undo")
                        : QStringLiteral("&Undo %1").arg(QString::fromStdString(name));
}

QString TEditCommands::redoCaption() const
{
    const std::string name = document.history.redoName();
    return name.empty() ? QStringLiteral("&Redo")
                        : QStringLiteral("&Redo %1").arg(QString::fromStdString(name));
}
