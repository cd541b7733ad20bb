// SPDX-License-Identifier: GPL-3.0-or-later
// The voice and multi name box, shared by the voice common and multi editors.
#pragma once

#include <QLineEdit>

// The voice name box: eight positions, each a character from blank to '~' except the
// backslash, typed over like a masked field; positions not filled read as blanks and
// are filled with blanks when the box is left. Leaving it after a change with a name
// of nothing but blanks beeps, tells the user and keeps the focus; Escape puts back
// the text the box had when the user entered it. Text written by the program is shown
// as it is and never checked.
class TNameBox : public QLineEdit {
    Q_OBJECT
public:
    explicit TNameBox(QWidget* parent = nullptr);

    // The name as stored: 8 characters, a blank in every position not filled.
    QByteArray name() const;
    // Shows a stored name unchanged (up to its terminating zero, at most 8 bytes).
    void showName(const char* name);
    // Every character is allowed and not all of them are blanks.
    bool complete() const;

    static bool allowed(QChar c);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void typeOver(const QString& typed);
    // Types over with the allowed characters of text, dropping everything else.
    void typeOverAllowed(const QString& text);
    void complain();

    QString entryText;     // the text when the user entered the box
    bool edited = false;   // the user changed the text since entering
    bool complaining = false;
};
