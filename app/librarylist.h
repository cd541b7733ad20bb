// SPDX-License-Identifier: GPL-3.0-or-later
// The library as the main window lists it: every record's name, filtered by sixteen
// sound categories and a name search, with the count of listed voices; the user's
// choice of rows, kept by what the chosen voices are while a filter hides them or
// another program changes the file.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "library/fileio.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QWidget;
class TVoiceListView;

class TLibraryList : public QObject {
    Q_OBJECT
public:
    // The list and the category boxes go into box; window is whom the messages belong
    // to. Nothing is listed yet.
    TLibraryList(TFileIO* fileIO, QWidget* box, QWidget& window);
    // The name search and the count of listed voices, made in strip (after what comes
    // before them in the tab order).
    void buildSearch(QWidget* strip);

    TVoiceListView* view() const { return list; }
    // The categories ticked (bit n: category n), the voices in the library and the
    // rows listed.
    uint32_t filterMask() const { return filter; }
    int32_t voiceCount() const { return count; }
    int32_t rowCount() const { return rows; }
    // The record of a listed row (0 <= row < rowCount()).
    int32_t recordAt(int row) const { return rowRecord[static_cast<size_t>(row)]; }
    const LibraryListing& listing() const { return library; }
    // The list is being filled: a change of the current row is no choice of the user's.
    bool refilling() const { return filling; }

    static bool matchesFilter(uint32_t mask, uint32_t filter);

    // Rebuilds the list. Unless keepChoice, row 0 is selected afterwards. With it,
    // record keepRecord stays selected while it is listed; when it is not (or is -1)
    // nothing is selected, and "Modify" waits until the user chooses a row.
    void fillList(int32_t keepRecord = -1, bool keepChoice = false);
    // Lists the library again when another program changed it (an append, an edit
    // or a rewrite), keeping the chosen voices chosen by what they are, not by where
    // they stood. True when it changed.
    // found, when given, gets where each voice chosen before stands now (-1: gone).
    bool syncLibrary(std::vector<int32_t>* found = nullptr);
    // Counts the library's records again.
    void recount();
    // After records were appended from firstNew on: lists them (lifting a filter that
    // would hide them) and selects them.
    void showNewRecords(int32_t firstNew);
    // Selects the listed rows of these records, current the row of current (else the
    // first of them). False when none of them is listed.
    bool selectRecords(const std::vector<int32_t>& records, int32_t current);
    // The record of the selected row, or -1; of the only selected row (-1 unless
    // exactly one); of every selected row in list order.
    int32_t selectedRecord() const;
    int32_t singleRecord() const;
    std::vector<int32_t> selectedRecords() const;
    // The identities of records as listed.
    std::vector<uint64_t> listedHashes(const std::vector<int32_t>& records) const;
    // Before a command on the chosen voices: the library as it is now. False (and
    // the user told which) when a chosen voice is no longer in it.
    bool chosenStillThere(const QString& caption);

    // The controls in the order Tab visits them: the list, the categories as the
    // screen shows them, then the search box.
    std::vector<QWidget*> tabOrder() const;
    // Down or Enter in the search box goes to the list.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The rows chosen, or what they hold, may have changed.
    void choiceChanged();

private:
    void buildList(QWidget* box);
    void buildCategories(QWidget* box);
    void changeFilter(QCheckBox* sender);
    bool listedName(int32_t n, const std::string& wanted) const;
    void showCount();
    // Where voices of those identities stand in the list now (nearest their old
    // places; -1 where gone).
    std::vector<int32_t> findListed(const std::vector<uint64_t>& hashes,
                                    const std::vector<int32_t>& near) const;

    TFileIO* fileIO;
    QWidget& window;
    TVoiceListView* list;
    QLineEdit* edSearch;
    QLabel* lListed;
    // The category boxes, indexed by their bit in a record's category mask.
    QCheckBox* categoryBox[16];

    uint32_t filter = 0;
    int32_t count = 0;
    std::vector<int32_t> rowRecord;
    int32_t rows = 0;
    // Every record's mask and name, read again only when the file changed.
    LibraryListing library;
    std::shared_ptr<const std::vector<char>> listingNames;
    std::shared_ptr<const std::vector<uint8_t>> listingDamaged;
    std::shared_ptr<const std::vector<uint64_t>> listingHashes;
    // Takes the listing's names, damage marks and hashes for the list's rows.
    void shareListing();
    // The records the user chose last, kept while a filter hides them so that they
    // are chosen again when it is lifted.
    std::vector<int32_t> chosenRecords;
    int32_t chosenCurrent = -1;
    bool filling = false;
};
