// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/namebox.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>

#include <cstring>

#include "voice/voice.h"

TNameBox::TNameBox(QWidget* parent) : QLineEdit(parent)
{
    setMaxLength(voiceNameLength);
    // Only typed or pasted characters of the synthesiser's set may enter; a dropped
    // text or the context menu's paste would bypass that.
    setAcceptDrops(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(this, &QLineEdit::textEdited, this, [this] { edited = true; });
}

bool TNameBox::allowed(QChar c)
{
    // The synthesiser's own names use blanks and punctuation ("Dr.Kit", "E Piano1");
    // its character set has no backslash.
    const char16_t u = c.unicode();
    return u >= 0x20 && u <= 0x7E && u != '\\';
}

QByteArray TNameBox::name() const
{
    QByteArray result(voiceNameLength, ' ');
    const QString t = text();
    for (int i = 0; i < voiceNameLength && i < t.size(); ++i) {
        const char16_t u = t[i].unicode();
        result[i] = u < 256 ? static_cast<char>(u) : '?';
    }
    return result;
}

void TNameBox::showName(const char* name)
{
    const QString shown = QString::fromLatin1(name, static_cast<qsizetype>(strnlen(name, voiceNameLength)));
    setText(shown);
    entryText = shown;
    edited = false;
}

bool TNameBox::complete() const
{
    bool blank = true;
    for (QChar c : text()) {
        if (!allowed(c))
            return false;
        blank = blank && c == QLatin1Char(' ');
    }
    return !blank;
}

void TNameBox::typeOver(const QString& typed)
{
    QString t = text();
    int pos = cursorPosition();
    if (hasSelectedText()) {
        // A typed text replaces the selection.
        pos = selectionStart();
        t.remove(pos, selectedText().size());
        t.insert(pos, typed);
        pos += static_cast<int>(typed.size());
        t.truncate(voiceNameLength);
    } else {
        // Otherwise each character takes the place of the one under the cursor.
        for (QChar c : typed) {
            if (pos < t.size())
                t[pos] = c;
            else if (t.size() < voiceNameLength)
                t.append(c);
            else
                break;
            ++pos;
        }
    }
    if (t == text())
        return;
    edited = true;
    setText(t);
    setCursorPosition(qMin(pos, static_cast<int>(t.size())));
}

void TNameBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        // Abandon the changes made since entering the box.
        if (text() != entryText)
            setText(entryText);
        edited = false;
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        typeOverAllowed(QApplication::clipboard()->text());
        event->accept();
        return;
    }
    // Every key that would put its text into a plain line edit goes through the
    // filter: also Alt-, Meta- or keypad-modified ones, which the line edit would
    // insert as they are. Only Ctrl and Ctrl+Shift keys are left to it as shortcuts.
    const QString t = event->text();
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool shortcut = mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier);
    const bool character = !t.isEmpty() && t[0].category() != QChar::Other_Control &&
                           (!shortcut || t[0].category() == QChar::Other_Format);
    if (character) {
        typeOverAllowed(t);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TNameBox::typeOverAllowed(const QString& text)
{
    QString typed;
    for (QChar c : text)
        if (allowed(c))
            typed.append(c);
    if (!typed.isEmpty())
        typeOver(typed);
}

void TNameBox::mouseReleaseEvent(QMouseEvent* event)
{
    // The middle button pastes the desktop's selection; only its allowed characters.
    if (event->button() == Qt::MiddleButton) {
        if (QApplication::clipboard()->supportsSelection())
            typeOverAllowed(QApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TNameBox::inputMethodEvent(QInputMethodEvent* event)
{
    // Composed characters are never in the synthesiser's set.
    event->accept();
}

void TNameBox::focusInEvent(QFocusEvent* event)
{
    if (!edited)
        entryText = text();
    QLineEdit::focusInEvent(event);
}

void TNameBox::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Switching to another window or opening a menu does not leave the box.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    if (!edited)
        return;
    if (complete()) {
        // The stored name holds the blanks already; the box only shows them now.
        if (text().size() < voiceNameLength) {
            const QSignalBlocker quiet(this);
            setText(text().leftJustified(voiceNameLength, QLatin1Char(' ')));
        }
        edited = false;
        return;
    }
    complain();
}

void TNameBox::complain()
{
    QApplication::beep();
    if (complaining)
        return;
    complaining = true;
    // The message waits until the focus change that caused it has finished.
    QTimer::singleShot(0, this, [this] {
        if (edited && !complete() && isVisible()) {
            QMessageBox::critical(window(), QStringLiteral("Tarvik"),
                                  QStringLiteral("Invalid input value.  Use escape key to abandon changes"));
            window()->activateWindow();
            setFocus(Qt::OtherFocusReason);
        }
        complaining = false;
    });
}
