// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/bankdocument.h"

#include <cstdio>

bool sameBank(const Bank& a, const Bank& b)
{
    return a.voices == b.voices && a.multis == b.multis;
}

std::string bankChangeName(const Bank& before, const Bank& after)
{
    for (int m = 0; m < multiCount; ++m) {
        const MultiRecord& a = before.multis[static_cast<size_t>(m)];
        const MultiRecord& b = after.multis[static_cast<size_t>(m)];
        if (a == b)
            continue;
        const std::string multi = "Multi " + std::to_string(m + 1);
        for (const MultiField& f : multiFields()) {
            const bool differs = f.get ? f.get(a, f.part) != f.get(b, f.part) : multiName(a) != multiName(b);
            if (differs)
                return multi + ": " + f.caption;
        }
        return multi;
    }
    for (int v = 0; v < 64; ++v) {
        if (before.voices[static_cast<size_t>(v)] != after.voices[static_cast<size_t>(v)]) {
            char slot[8];
            std::snprintf(slot, sizeof slot, "I%02d", v + 1);
            return std::string("Voice ") + slot;
        }
    }
    return std::string();
}

TBankDocument::TBankDocument(QObject* parent)
    : QObject(parent), current{initialBank(), "New bank"}, kept(current.bank),
      history(
          stepLimit, [](const State& a, const State& b) { return sameBank(a.bank, b.bank); },
          [](const State& a, const State& b) { return bankChangeName(a.bank, b.bank); })
{
    history.reset(current);
    history.onChange = [this] { emit historyChanged(); };
}

void TBankDocument::edited(const void* source, bool held)
{
    history.changed(source, current);
    if (!held)
        history.finish(current);
    emit fieldEdited();
}

void TBankDocument::finishEdit()
{
    history.finish(current);
}

bool TBankDocument::command(const std::string& name, const std::function<void(Bank&)>& change)
{
    history.finish(current);
    change(current.bank);
    const bool changed = history.commit(name, current);
    if (changed)
        emit bankChanged();
    return changed;
}

void TBankDocument::replace(const Bank& bank, const std::string& name, const QString& origin)
{
    history.finish(current);
    current.bank = bank;
    current.origin = origin.toStdString();
    history.commit(name, current);
    emit bankChanged();
}

void TBankDocument::markKept()
{
    history.finish(current);
    kept = current.bank;
    emit historyChanged();
}

void TBankDocument::start(const Bank& bank, const QString& origin)
{
    current.bank = bank;
    current.origin = origin.toStdString();
    kept = bank;
    history.reset(current);
    emit bankChanged();
    emit historyChanged();
}

void TBankDocument::discardChanges()
{
    if (changed())
        replace(kept, "Discard changes", origin());
}

bool TBankDocument::undo()
{
    const bool changed = history.undo(current);
    if (changed)
        emit bankChanged();
    return changed;
}

bool TBankDocument::redo()
{
    const bool changed = history.redo(current);
    if (changed)
        emit bankChanged();
    return changed;
}

QString undoText(const TBankDocument& document)
{
    const QString name = document.undoName();
    return name.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + name;
}

QString redoText(const TBankDocument& document)
{
    const QString name = document.redoName();
    return name.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo ") + name;
}
