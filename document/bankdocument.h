// SPDX-License-Identifier: GPL-3.0-or-later
// The current bank: the 64 internal voices and 16 multis that the Bank window shows,
// the Multi editor edits and "Send bank to synth..." sends, with one undo history
// over all of it. One object, owned by whoever owns the Bank window; nothing here is
// process-wide.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "document/snapshothistory.h"
#include "voice/bank.h"

bool sameBank(const Bank& a, const Bank& b);
// What differs first between two banks, for undo captions: a multi field's caption
// from the multi field table ("Multi 3: Part 2 level"), "Multi 3: Name", or
// "Voice I07" for a slot.
std::string bankChangeName(const Bank& before, const Bank& after);

class TBankDocument : public QObject {
    Q_OBJECT
public:
    explicit TBankDocument(QObject* parent = nullptr);

    const Bank& bank() const { return current.bank; }
    // Where the bank came from, as the Bank window shows it ("New bank", a file name,
    // "From the synthesiser"); undo and redo bring back the origin with the bank.
    QString origin() const { return QString::fromStdString(current.origin); }

    // A field of the bank is being changed by the user (the caller writes it through
    // edit()): source names the control, held says the action goes on (typing in a
    // box) and becomes a step when finishEdit() comes.
    Bank& edit() { return current.bank; }
    void edited(const void* source, bool held);
    void finishEdit();

    // A command over the bank: one undo step named name. False when nothing changed.
    bool command(const std::string& name, const std::function<void(Bank&)>& change);
    // A whole new bank (opened, received, made new): one undo step as well, so that
    // the bank it replaced is one undo away.
    void replace(const Bank& bank, const std::string& name, const QString& origin);

    // The bank as it was last opened, saved, received or made new: changed() says
    // whether the current bank differs from it (undo back to it is unchanged again).
    bool changed() const { return !sameBank(current.bank, kept); }
    // The current bank is kept now (saved, or the same as a file or the synthesiser).
    void markKept();
    // Starts over on bank, with no undo history, kept as it is.
    void start(const Bank& bank, const QString& origin);
    // Back to the bank last kept, dropping the changes since (as an undo step).
    void discardChanges();

    bool undo();
    bool redo();
    bool canUndo() const { return history.canUndo(); }
    bool canRedo() const { return history.canRedo(); }
    QString undoName() const { return QString::fromStdString(history.undoName()); }
    QString redoName() const { return QString::fromStdString(history.redoName()); }

    // Enough for a long session; each step holds two banks (about 78 KB).
    static constexpr size_t stepLimit = 100;

signals:
    // Anything in the bank may have changed (a command, undo, redo, a new bank).
    void bankChanged();
    // A field edit was stored (the editor that made it shows it already).
    void fieldEdited();
    // What undo and redo offer may have changed.
    void historyChanged();

private:
    struct State {
        Bank bank;
        std::string origin;
    };
    State current;
    Bank kept;
    TSnapshotHistory<State> history;
};

// "Undo Part 2 level" style texts for buttons; plain "Undo"/"Redo" when nothing.
QString undoText(const TBankDocument& document);
QString redoText(const TBankDocument& document);
