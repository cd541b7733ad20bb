// SPDX-License-Identifier: GPL-3.0-or-later
// The six small fixed windows: failures, one confirmation, the acknowledgement of a
// received dump. Each only builds itself; a button closes it with
// its result code: 1 for the confirming button, 2 for "&No".
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QPoint>

class QLabel;
class QPushButton;
class TSettings;

// Black, fixed, red bold lines centred across the width. The message dialogs have no
// title-bar buttons: only their own button closes them (Escape and the window
// manager's close request do nothing).
class TMessageDialog : public QDialog {
    Q_OBJECT
public:
    enum Picture { Tick, Cross };
    enum { ResultConfirm = 1, ResultNo = 2 };

protected:
    // designedPlace null: centred on the screen whenever shown.
    TMessageDialog(const QString& caption, int clientWidth, int clientHeight,
                   QPoint designedPlace = QPoint());
    QLabel* addLine(const QString& text, int top);
    QPushButton* addButton(const QString& caption, Picture picture, int result, const QRect& place);
    void showEvent(QShowEvent* event) override;

public:
    void reject() override;

private:
    QPoint designedPlace;
};

class TInvFile : public TMessageDialog {
    Q_OBJECT
public:
    explicit TInvFile();

private:
    QPushButton* bOkay;
};

class TSaveErrDlg : public TMessageDialog {
    Q_OBJECT
public:
    explicit TSaveErrDlg();
    // The system's reason after the fixed text: "Error saving file: Permission denied".
    void setReason(const QString& reason);

private:
    QLabel* lError;
    QPushButton* saveErrDlg;
};

class TOverwriteDlg : public TMessageDialog {
    Q_OBJECT
public:
    explicit TOverwriteDlg();
    // The voice the answer Yes replaces, on the line under the question.
    void setVoiceName(const QString& name);

private:
    QLabel* lVoiceName;
    QPushButton* bNo;
    QPushButton* bYes;
};

class TnoMIDIData : public TMessageDialog {
    Q_OBJECT
public:
    explicit TnoMIDIData();

private:
    QPushButton* bBummer;
};

class TDataReceivedForm : public TMessageDialog {
    Q_OBJECT
public:
    explicit TDataReceivedForm();

private:
    QPushButton* bOkay;
};

class TMIDIOpenError : public TMessageDialog {
    Q_OBJECT
public:
    explicit TMIDIOpenError();
    // The system's text for the latest failure.
    void setError(const QString& text);

private:
    QLabel* tfError;
    QPushButton* bNuts;
};

// A button on dialog at place, with a 20 x 20 picture (the tick, the cross), that
// closes the dialog with result.
QPushButton* addPictureButton(QDialog* dialog, const QString& caption, const QPixmap& picture, int result,
                              const QRect& place);

// A window painted black with yellow text, as the message dialogs and the about box.
void paintBlack(QWidget* window);
// A message line about 16 pixels high whose text runs wider than its room steps down
// a pixel at a time rather than be cut.
void fitLine(QLabel* label);

// Puts a top-level window in the middle of the screen it would appear on.
void centreOnScreen(QWidget* window);

// Makes a dialog about to be shown transient for the window it was opened from (the
// active window, else the main window), so that the window manager keeps the two
// together: minimising, restoring and stacking. Call it from the dialog's showEvent.
void keepWithOwner(QWidget* dialog);

// While a modal dialog is open, restoring or clicking another of the program's windows
// brings the dialog back to the front (and out of a minimised state). Installed once
// on the application.
void installModalGuard();

// A dialog shown over a window with colours of its own (a style sheet) gets the
// platform's look back, so that its text reads. Installed once on the application.
void installDialogLook();

// The file dialogs: no popup of theirs (the name completion list) outlives them, and
// the save dialog refuses, inside the dialog, a file in a folder that does not exist.
class TFileDialog : public QFileDialog {
    Q_OBJECT
public:
    TFileDialog(QWidget* parent, const QString& caption);
    void accept() override;
    void done(int result) override;
    // Hides the name completion popup, should it be showing.
    void hidePopups();
};

// A file dialog of System Exclusive files, to open one that exists (AcceptOpen) or to
// save one (AcceptSave: "SYX" is added to a name without a suffix); withAllFiles offers
// "All files (*)" after them. name is its object name.
TFileDialog* makeSyxDialog(QWidget* parent, const char* name, const QString& caption,
                           QFileDialog::AcceptMode mode, bool withAllFiles = false);

// Runs a file dialog in the folder last used by any of them; the folder it ended in is
// remembered (and kept in the settings), proposed (when given) is the name offered.
// True when accepted with a file.
bool runFileDialog(QFileDialog* dialog, TSettings& settings, const QString& proposed = QString());

// An 8-character name as the user reads it: without the trailing blanks.
QString shownName(const QString& name);

// A message with an OK button, modal over parent: told, or warned of a failure.
void tellUser(QWidget* parent, const QString& caption, const QString& text);
void warnUser(QWidget* parent, const QString& caption, const QString& text);

// What to do with unsaved work before it is replaced or the program ends: "&Save",
// the leaving button (leaveText: "Exit &anyway", "&Discard") or "Cancel" (Escape).
// name is the box's object name; the buttons are named "bSave", "bLeave", "bCancel".
enum class TUnsavedAnswer { save, leave, cancel };
TUnsavedAnswer askUnsaved(QWidget* parent, const char* name, const QString& caption, const QString& text,
                          const QString& leaveText);
