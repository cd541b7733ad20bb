// SPDX-License-Identifier: GPL-3.0-or-later
// The Multi editor: the 16 multis of the current bank, one shown at a time: its name,
// effect, and for each of its 8 parts the receive channel, the voice (preset,
// internal or card bank and its number, with the name of an internal voice from the
// bank), level, detune, note shift and the note limits. Every control is bound to its
// row of the multi field table through one binder; each accepted change is one step
// of the bank's undo history. The synthesiser takes multis only inside a bank: the
// changes go to it with the next bank send. Caption "Tarvik - Multis".
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

#include "editors/fieldbinder.h"
#include "voice/bank.h"

class QGridLayout;
class QLabel;
class QLayout;
class QPushButton;
class TBankDocument;
class TNameBox;
class TNumberBox;
class TPickList;
class TUpDown;

// A MIDI note number as the synthesiser names it: 0 = "C-2", 60 = "C3", 127 = "G8".
QString noteName(int note);

class TMultiEdit : public QWidget, private TEditSink {
    Q_OBJECT
public:
    explicit TMultiEdit(TBankDocument* document, QWidget* parent = nullptr);

    // Shows multi m (0..15) of the bank.
    void selectMulti(int m);
    int currentMulti() const { return shown; }
    // Rewrites every control from the bank.
    void refresh();

    // Started by the window's "Send bank to synth..." button (the Bank window's send).
    std::function<void()> sendBank;
    // The synthesiser is an SY-35, whose preset voices are known by number alone
    // (unset: an SY-22, whose presets are named).
    std::function<bool()> isSY35;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TPickList* cbMulti;
    TNameBox* tfName;
    TPickList* cbEffectType;
    TNumberBox* tfEffectDepth;
    TUpDown* udEffectDepth;
    struct Part {
        TPickList* cbChannel;
        TPickList* cbBank;
        TNumberBox* tfNumber;
        TUpDown* udNumber;
        QLabel* lVoiceName;
        TNumberBox* tfLevel;
        TUpDown* udLevel;
        TNumberBox* tfDetune;
        TUpDown* udDetune;
        TNumberBox* tfNoteShift;
        TUpDown* udNoteShift;
        TPickList* cbNoteLow;
        TPickList* cbNoteHigh;
    };
    Part part[multiParts];
    QLabel* lSendNote;
    QPushButton* bUndo;
    QPushButton* bRedo;
    QPushButton* bSendBank;
    QPushButton* bClose;

    MultiRecord& record();
    // The window's parts: the multi, name and effect line, the parts' grid (a line
    // per part) and the buttons.
    QLayout* addTop();
    QWidget* addParts();
    void addPart(QGridLayout* grid, int p, const QStringList& channels, const QStringList& notes);
    QLayout* addButtons();
    void bindFields();
    void nameChanged();
    void showNames();
    void showHistory();
    // An accepted change goes to the bank document.
    void fieldEdited(QObject* control, bool held) override;
    void editOver() override;

    TBankDocument* document;
    TFieldBinder* fields;
    int shown = 0;
};
