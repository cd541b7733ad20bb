// SPDX-License-Identifier: GPL-3.0-or-later
// The small dialogs of the librarian: the sixteen categories of one entry, and the
// choices of an import (the categories the new entries get, whether duplicates stay).
#pragma once

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QPushButton;

class TCategoryDlg : public QDialog {
    Q_OBJECT
public:
    // withDuplicates: the import's "Keep duplicates" box is shown too.
    TCategoryDlg(QWidget* parent, const QString& caption, bool withDuplicates);

    void setMask(uint32_t mask);
    // For several entries: a category all of them carry is ticked, one only some of
    // them carry shows half-ticked and, left so, stays as each entry has it.
    void setMasks(uint32_t all, uint32_t some);
    uint32_t mask() const;
    // The categories left half-ticked.
    uint32_t keptMask() const;
    // An entry's categories once the dialog is accepted.
    uint32_t apply(uint32_t old) const { return (old & keptMask()) | mask(); }
    bool keepDuplicates() const;

private:
    // The categories whose box shows that state, as a mask.
    uint32_t boxesIn(Qt::CheckState state) const;

    QCheckBox* box[16];   // by category bit ("cbCategory<bit>")
    QCheckBox* cbKeepDuplicates;
    QPushButton* bOK;
    QPushButton* bCancel;
};

// The captions of the sixteen categories by bit, and their order on screen.
extern const char* const categoryCaptions[16];
extern const int categoryScreenOrder[16];
