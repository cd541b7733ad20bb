// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's list of voice names. Every row has the same size, so the view
// never measures rows: listing 100,000 voices costs no more than reading their names.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <cstdint>
#include <memory>
#include <vector>

// Dragged rows of the list carry their record numbers (decimal, blank-separated, in
// list order) under this type; the Bank window takes them.
// Dragged library records: words "N" or "N:HASH:NAME" (the record's hash as listed and
// its 8-character name, both in hex), separated by blanks.
inline constexpr char recordsMimeType[] = "application/x-tarvik-records";
// The most records one drag carries: a bank has 64 slots.
constexpr int recordsDragLimit = 64;

// The listed rows: the record numbers of the rows, and the names of all the records
// (8 characters each, one after the other). A row's text is made when it is shown.
// A damaged record (its dump fails its check) is shown greyed and in italics, with a
// tip that says why it cannot be loaded.
class TVoiceNames : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // hashes: each record's libraryRecordHash as listed, carried with a drag so that
    // where it is dropped the record is checked to be the one shown.
    void setRows(std::shared_ptr<const std::vector<char>> names, std::vector<int32_t>&& records,
                 std::shared_ptr<const std::vector<uint8_t>> damaged = {},
                 std::shared_ptr<const std::vector<uint64_t>> hashes = {});
    QString name(int row) const;
    bool damaged(int row) const;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    std::shared_ptr<const std::vector<char>> names;
    std::shared_ptr<const std::vector<uint8_t>> damagedRecords;   // 1 per record, by record
    std::shared_ptr<const std::vector<uint64_t>> recordHashes;    // by record
    std::vector<int32_t> records;
};

class TVoiceListView : public QListView {
    Q_OBJECT
public:
    explicit TVoiceListView(QWidget* parent = nullptr);

    TVoiceNames* names() const { return model; }
    int count() const { return model->rowCount(); }
    QString text(int row) const { return model->name(row); }
    // -1 when there is no current row.
    int currentRow() const;
    // Makes row the current row and its only selection, and shows it.
    void setCurrentRow(int row);
    // The current row while it is selected, else -1: the row a command acts on.
    int selectedRow() const;
    // How many rows are selected, and which (in list order).
    int selectedCount() const;
    std::vector<int> selectedRows() const;
    // The current row when it is the only one selected, else -1: what a command on
    // one entry (rename, move, modify) acts on.
    int singleRow() const;
    // No current row, nothing selected.
    void clearChoice();
    QRect rowRect(int row) const;

private:
    TVoiceNames* model;
};
