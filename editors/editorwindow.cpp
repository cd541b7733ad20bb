// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/editorwindow.h"

#include <QCloseEvent>
#include <QPushButton>

#include "document/autosender.h"
#include "document/voicedocument.h"
#include "editors/controls.h"
#include "editors/editcommands.h"

TEditorWindow::TEditorWindow(const QString& title, TEditCommands& commands, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      commands(commands), document(commands.document), voice(commands.document.voice),
      fields(new TFieldBinder(*this, this))
{
    setWindowTitle(title);
    setAttribute(Qt::WA_QuitOnClose, false);
    setStyleSheet(editorStyleSheet());
    connect(&document, &TVoiceDocument::voiceReplaced, this, &TEditorWindow::refreshFromVoice);
    closeOnEscape(this);
}

void TEditorWindow::createButtons(int elementKind, bool laidOut)
{
    auto button = [this, laidOut](const QString& text, const char* name) {
        auto* b = new QPushButton(text, laidOut ? nullptr : this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    bGetVoice = button(QStringLiteral("Get voice"), "bGetVoice");
    bSendVoice = button(QStringLiteral("Send voice"), "bSendVoice");
    bCompare = commands.makeCompareButton(this);
    bPlay = commands.makePlayButton(this);
    if (elementKind)
        bElement = commands.makeElementButton(this, elementKind == 2, [this] { return shownElement(); });
    bClose = button(QStringLiteral("Close"), "bClose");
    connect(bGetVoice, &QPushButton::clicked, this, &TEditorWindow::bGetVoiceClick);
    connect(bSendVoice, &QPushButton::clicked, this, &TEditorWindow::bSendVoiceClick);
    connect(bClose, &QPushButton::clicked, this, &QWidget::hide);
}

void TEditorWindow::refreshFromVoice()
{
    const TFieldBinder::Refreshing guard(*fields);
    showVoice();
    fields->refresh();
}

void TEditorWindow::reportEdit(QObject* source)
{
    fields->report(source);
}

void TEditorWindow::fieldEdited(QObject* control, bool held)
{
    // The document tells the sender, which sends when auto-send is on.
    document.fieldEdited(control, held);
}

void TEditorWindow::editOver()
{
    document.finishEdit();
}

void TEditorWindow::bGetVoiceClick()
{
    if (commands.getVoice)
        commands.getVoice();
}

void TEditorWindow::bSendVoiceClick()
{
    if (commands.maySend && !commands.maySend())
        return;
    commands.sender.send(true);
}

void TEditorWindow::closeEvent(QCloseEvent* event)
{
    // The close box only hides the window, like "Close".
    hide();
    event->accept();
}

TFieldRow TEditorWindow::voiceRow(std::function<const VoiceField&()> field, bool shown)
{
    const VoiceField& now = field();
    TFieldRow r;
    r.caption = QString::fromStdString(now.caption);
    r.minimum = shown ? now.editMinimum : now.minimum;
    r.maximum = shown ? now.editMaximum : now.maximum;
    if (shown)
        r.rangeText = QString::fromStdString(now.rangeText);
    r.get = [this, field, shown] {
        const VoiceField& f = field();
        const int stored = fieldValue(voice, f);
        return shown ? shownValue(f, stored) : stored;
    };
    r.set = [this, field, shown](int value) {
        const VoiceField& f = field();
        setFieldValue(voice, f, shown ? storedValue(f, value) : value);
    };
    return r;
}
