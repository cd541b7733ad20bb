// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/librarydialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

const char* const categoryCaptions[16] = {
    "Strings", "Brass", "Woodwind", "Percussion", "Plucked",  "Pad",        "Solo",       "Synthetic",
    "Bass",    "Vocal", "Piano",    "Organ",      "Keyboard", "Musical FX", "Untuned FX", "Realistic"};
const int categoryScreenOrder[16] = {0, 1, 2, 10, 11, 12, 8, 9, 3, 13, 14, 4, 6, 5, 15, 7};

TCategoryDlg::TCategoryDlg(QWidget* parent, const QString& caption, bool withDuplicates) : QDialog(parent)
{
    setWindowTitle(caption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    // Two columns in the main window's order, read top to bottom.
    for (int place = 0; place < 16; ++place) {
        const int bit = categoryScreenOrder[place];
        box[bit] = new QCheckBox(QString::fromLatin1(categoryCaptions[bit]), this);
        box[bit]->setObjectName(QStringLiteral("cbCategory%1").arg(bit));
        grid->addWidget(box[bit], place % 8, place / 8);
    }
    layout->addLayout(grid);
    cbKeepDuplicates = new QCheckBox(QStringLiteral("Keep duplicates"), this);
    cbKeepDuplicates->setObjectName(QStringLiteral("cbKeepDuplicates"));
    cbKeepDuplicates->setToolTip(QStringLiteral("Also add voices the database holds already"));
    cbKeepDuplicates->setVisible(withDuplicates);
    layout->addWidget(cbKeepDuplicates);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setDefault(true);
    bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    buttons->addWidget(bOK);
    buttons->addWidget(bCancel);
    layout->addLayout(buttons);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    if (!withDuplicates)
        cbKeepDuplicates->hide();
}

void TCategoryDlg::setMask(uint32_t mask)
{
    for (int bit = 0; bit < 16; ++bit)
        box[bit]->setChecked((mask >> bit) & 1u);
}

void TCategoryDlg::setMasks(uint32_t all, uint32_t some)
{
    for (int bit = 0; bit < 16; ++bit) {
        const bool partly = ((some & ~all) >> bit) & 1u;
        box[bit]->setTristate(partly);
        box[bit]->setCheckState(partly                ? Qt::PartiallyChecked
                                : ((all >> bit) & 1u) ? Qt::Checked
                                                      : Qt::Unchecked);
    }
}

uint32_t TCategoryDlg::boxesIn(Qt::CheckState state) const
{
    uint32_t mask = 0;
    for (int bit = 0; bit < 16; ++bit)
        if (box[bit]->checkState() == state)
            mask |= 1u << bit;
    return mask;
}

uint32_t TCategoryDlg::keptMask() const
{
    return boxesIn(Qt::PartiallyChecked);
}

uint32_t TCategoryDlg::mask() const
{
    return boxesIn(Qt::Checked);
}

bool TCategoryDlg::keepDuplicates() const
{
    return !cbKeepDuplicates->isHidden() && cbKeepDuplicates->isChecked();
}
