// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/voicelist.h"

#include <QColor>
#include <QFont>
#include <QItemSelectionModel>
#include <QMimeData>
#include <algorithm>

int TVoiceNames::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(records.size());
}

QVariant TVoiceNames::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole: return name(index.row());
    case Qt::ForegroundRole: return damaged(index.row()) ? QVariant(QColor(Qt::darkGray)) : QVariant();
    case Qt::FontRole:
        if (damaged(index.row())) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    case Qt::ToolTipRole:
        return damaged(index.row())
                   ? QVariant(
                         QStringLiteral("Damaged: this record fails its check and cannot be loaded or sent"))
                   : QVariant();
    default: return {};
    }
}

bool TVoiceNames::damaged(int row) const
{
    if (row < 0 || row >= rowCount() || !damagedRecords)
        return false;
    const size_t at = static_cast<size_t>(records[static_cast<size_t>(row)]);
    return at < damagedRecords->size() && (*damagedRecords)[at] != 0;
}

QString TVoiceNames::name(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const size_t at = 8 * static_cast<size_t>(records[static_cast<size_t>(row)]);
    if (!names || at + 8 > names->size())
        return {};
    return QString::fromLatin1(names->data() + at, 8);
}

Qt::ItemFlags TVoiceNames::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractListModel::flags(index);
    if (index.isValid())
        f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList TVoiceNames::mimeTypes() const
{
    return {QString::fromLatin1(recordsMimeType)};
}

QMimeData* TVoiceNames::mimeData(const QModelIndexList& indexes) const
{
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid() && index.row() < rowCount())
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.size() > static_cast<size_t>(recordsDragLimit))
        rows.resize(static_cast<size_t>(recordsDragLimit));
    QByteArray numbers;
    for (const int row : rows) {
        if (!numbers.isEmpty())
            numbers += ' ';
        const int32_t n = records[static_cast<size_t>(row)];
        numbers += QByteArray::number(n);
        if (recordHashes && names && static_cast<size_t>(n) < recordHashes->size() &&
            8 * static_cast<size_t>(n) + 8 <= names->size())
            numbers +=
                ':' +
                QByteArray::number(static_cast<qulonglong>((*recordHashes)[static_cast<size_t>(n)]), 16) +
                ':' + QByteArray(names->data() + 8 * static_cast<size_t>(n), 8).toHex();
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(recordsMimeType), numbers);
    return data;
}

void TVoiceNames::setRows(std::shared_ptr<const std::vector<char>> allNames, std::vector<int32_t>&& rows,
                          std::shared_ptr<const std::vector<uint8_t>> damaged,
                          std::shared_ptr<const std::vector<uint64_t>> hashes)
{
    beginResetModel();
    names = std::move(allNames);
    damagedRecords = std::move(damaged);
    recordHashes = std::move(hashes);
    records = std::move(rows);
    endResetModel();
}

TVoiceListView::TVoiceListView(QWidget* parent) : QListView(parent), model(new TVoiceNames(this))
{
    setModel(model);
    setUniformItemSizes(true);
    setLayoutMode(QListView::SinglePass);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows are dragged out (into the Bank window's slots), never moved in the list.
    setDragEnabled(true);
    setDefaultDropAction(Qt::CopyAction);
}

int TVoiceListView::currentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TVoiceListView::setCurrentRow(int row)
{
    const QModelIndex index = model->index(row, 0);
    if (!index.isValid())
        return;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

int TVoiceListView::selectedRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
}

int TVoiceListView::selectedCount() const
{
    int count = 0;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        count += range.height();
    return count;
}

std::vector<int> TVoiceListView::selectedRows() const
{
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TVoiceListView::singleRow() const
{
    const int row = selectedRow();
    return row >= 0 && selectedCount() == 1 ? row : -1;
}

void TVoiceListView::clearChoice()
{
    selectionModel()->clear();
}

QRect TVoiceListView::rowRect(int row) const
{
    return visualRect(model->index(row, 0));
}
