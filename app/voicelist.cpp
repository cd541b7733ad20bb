#include "app/voicelist.h"

#include <QItemSelectionModel>

int TVoiceNames::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(names.size() / 8);
}

QVariant TVoiceNames::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return name(index.row());
}

QString TVoiceNames::name(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    return QString::fromLatin1(names.data() + 8 * static_cast<size_t>(row), 8);
}

void TVoiceNames::setNames(std::vector<char>&& list)
{
    beginResetModel();
    names = std::move(list);
    endResetModel();
}

TVoiceListView::TVoiceListView(QWidget* parent) : QListView(parent), model(new TVoiceNames(this))
{
    setModel(model);
    setUniformItemSizes(true);
    setLayoutMode(QListView::SinglePass);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
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

void TVoiceListView::clearChoice()
{
    selectionModel()->clear();
}

QRect TVoiceListView::rowRect(int row) const
{
    return visualRect(model->index(row, 0));
}
