// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/librarylist.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "app/dialogs.h"
#include "app/librarydialogs.h"
#include "app/pictures.h"
#include "app/voicelist.h"

namespace {

// Captions by bit and the order on screen are categoryCaptions and categoryScreenOrder.
const char* const categoryName[16] = {"cbStrings",  "cbBrass",     "cbWoodwind",  "cbPercussion",
                                      "cbPlucked",  "cbPad",       "cbSolo",      "cbSynthetic",
                                      "cbBass",     "cbVocal",     "cbPiano",     "cbOrgan",
                                      "cbKeyboard", "cbMusicalFX", "cbUntunedFX", "cbRealistic"};

}   // namespace

TLibraryList::TLibraryList(TFileIO* fileIO, QWidget* box, QWidget& window)
    : QObject(&window), fileIO(fileIO), window(window)
{
    buildList(box);
    buildCategories(box);
}

void TLibraryList::buildList(QWidget* box)
{
    list = new TVoiceListView(box);
    list->setObjectName(QStringLiteral("dbListBox"));
    list->setGeometry(6, 22, 111, 329);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setFont(pictures::pixelFont(12, true));
    QPalette white = list->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    list->setPalette(white);
    list->setToolTip(QStringLiteral("Double click a voice name to load it"));
    list->setAccessibleName(QStringLiteral("Voices in the database"));
    // A row the user chooses is what "Modify" acts on again.
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!filling) {
            chosenRecords = selectedRecords();
            chosenCurrent = selectedRecord();
        }
        emit choiceChanged();
    });
}

void TLibraryList::buildCategories(QWidget* box)
{
    for (int bit = 0; bit < 16; ++bit) {
        auto* category = new QCheckBox(QString::fromLatin1(categoryCaptions[bit]), box);
        category->setObjectName(QString::fromLatin1(categoryName[bit]));
        category->setLayoutDirection(Qt::RightToLeft);   // caption at the left of the box
        category->setFont(pictures::pixelFont(11, false));
        pictures::setTextColour(category, Qt::black);
        category->setToolTip(QStringLiteral("Select check box to filter voices"));
        connect(category, &QCheckBox::clicked, this, [this, category] { changeFilter(category); });
        categoryBox[bit] = category;
    }
    for (int row = 0; row < 16; ++row)
        categoryBox[categoryScreenOrder[row]]->setGeometry(121, 22 + row * 20 + row / 2, 92, 19);
}

void TLibraryList::buildSearch(QWidget* strip)
{
    // At the foot of the strip, beside the list: the name search and the count.
    edSearch = new QLineEdit(strip);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setGeometry(4, 330, pictures::stripWidth - 8, 20);
    edSearch->setFont(pictures::pixelFont(11, false));
    edSearch->setPlaceholderText(QStringLiteral("Find name"));
    edSearch->setToolTip(QStringLiteral("List only the voices whose name holds this text"));
    edSearch->setClearButtonEnabled(true);
    edSearch->setMaxLength(8);
    edSearch->setAccessibleName(QStringLiteral("Find voice by name"));
    edSearch->installEventFilter(this);
    connect(edSearch, &QLineEdit::textChanged, this, [this] { changeFilter(nullptr); });
    lListed = new QLabel(strip);
    lListed->setObjectName(QStringLiteral("lListed"));
    lListed->setGeometry(0, 352, pictures::stripWidth, 30);
    lListed->setFont(pictures::pixelFont(10, false));
    lListed->setWordWrap(true);
    lListed->setAlignment(Qt::AlignCenter);
    pictures::setTextColour(lListed, pictures::textTeal);
    lListed->setToolTip(QStringLiteral("Voices listed, of the voices in the database"));
}

std::vector<QWidget*> TLibraryList::tabOrder() const
{
    std::vector<QWidget*> order{list};
    for (int row = 0; row < 16; ++row)
        order.push_back(categoryBox[categoryScreenOrder[row]]);
    order.push_back(edSearch);
    return order;
}

bool TLibraryList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edSearch && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (!list->currentIndex().isValid() && rows > 0)
                list->setCurrentRow(0);
            list->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool TLibraryList::matchesFilter(uint32_t mask, uint32_t filter)
{
    const uint32_t wanted = filter & 0xFFFFu;
    return (mask & wanted) == wanted;
}

void TLibraryList::shareListing()
{
    listingNames = std::make_shared<const std::vector<char>>(library.names);
    listingDamaged = std::make_shared<const std::vector<uint8_t>>(library.damaged);
    listingHashes = std::make_shared<const std::vector<uint64_t>>(library.hashes);
}

void TLibraryList::fillList(int32_t keepRecord, bool keepChoice)
{
    filling = true;
    rows = 0;
    if (fileIO && fileIO->refreshListing(library)) {
        shareListing();
    } else if (!fileIO) {
        library = LibraryListing();
    }
    // A record the file no longer holds (someone shortened it) is not listed.
    const int32_t listable = std::min(std::max(count, 0), library.count());
    if (rowRecord.size() < static_cast<size_t>(listable))
        rowRecord.resize(static_cast<size_t>(listable));
    std::vector<int32_t> listed;
    listed.reserve(static_cast<size_t>(listable));
    // The search ignores case; a name matches when it holds the text anywhere.
    const std::string wanted = edSearch->text().toLatin1().toUpper().toStdString();
    for (int32_t n = 0; n < listable; ++n) {
        if (filter != 0 && !matchesFilter(library.masks[static_cast<size_t>(n)], filter))
            continue;
        if (!wanted.empty() && !listedName(n, wanted))
            continue;
        rowRecord[static_cast<size_t>(rows)] = n;
        listed.push_back(n);
        ++rows;
    }
    list->names()->setRows(listingNames, std::move(listed), listingDamaged, listingHashes);
    showCount();

    if (!keepChoice) {
        if (rows > 0)
            list->setCurrentRow(0);
    } else if (!selectRecords({keepRecord}, keepRecord)) {
        list->clearChoice();
    }
    // What is chosen now is what comes back after a filter hid it; while nothing is
    // chosen the last choice is kept.
    filling = false;
    if (list->selectedCount() > 0) {
        chosenRecords = selectedRecords();
        chosenCurrent = selectedRecord();
    }
    emit choiceChanged();
}

bool TLibraryList::listedName(int32_t n, const std::string& wanted) const
{
    const size_t length = wanted.size();
    const char* name = library.name(n);
    for (size_t at = 0; at + length <= 8; ++at) {
        size_t i = 0;
        while (i < length) {
            char c = name[at + i];
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            if (c != wanted[i])
                break;
            ++i;
        }
        if (i == length)
            return true;
    }
    return false;
}

void TLibraryList::showCount()
{
    if (library.problem.empty()) {
        lListed->setText(QStringLiteral("%1 of %2").arg(rows).arg(std::max(count, 0)));
        lListed->setToolTip(QStringLiteral("Voices listed, of the voices in the database"));
    } else {
        // Nothing listed, and why: the file is there but is no database.
        lListed->setText(QStringLiteral("Not a database file"));
        lListed->setToolTip(
            QString::fromLocal8Bit(library.problem.data(), qsizetype(library.problem.size())));
    }
}

bool TLibraryList::syncLibrary(std::vector<int32_t>* found)
{
    if (!fileIO)
        return false;
    const std::vector<int32_t> chosen = selectedRecords();
    const int32_t current = selectedRecord();
    const std::vector<uint64_t> hashes = listedHashes(chosen);
    if (!fileIO->refreshListing(library)) {
        if (found)
            *found = chosen;
        return false;
    }
    shareListing();
    recount();
    std::vector<int32_t> now = findListed(hashes, chosen);
    // The current row first, so that it stays the current one.
    std::vector<int32_t> keep;
    for (size_t i = 0; i < chosen.size(); ++i)
        if (now[i] >= 0 && chosen[i] == current)
            keep.push_back(now[i]);
    for (size_t i = 0; i < chosen.size(); ++i)
        if (now[i] >= 0 && chosen[i] != current)
            keep.push_back(now[i]);
    fillList(-1, true);
    if (!selectRecords(keep, keep.empty() ? -1 : keep.front()))
        list->clearChoice();
    emit choiceChanged();
    if (found)
        *found = std::move(now);
    return true;
}

std::vector<uint64_t> TLibraryList::listedHashes(const std::vector<int32_t>& records) const
{
    std::vector<uint64_t> hashes;
    hashes.reserve(records.size());
    for (const int32_t n : records)
        hashes.push_back(n >= 0 && n < library.count() ? library.hashes[static_cast<size_t>(n)] : 0);
    return hashes;
}

std::vector<int32_t> TLibraryList::findListed(const std::vector<uint64_t>& hashes,
                                              const std::vector<int32_t>& near) const
{
    // One pass over the list gathers where each wanted identity stands now.
    std::unordered_map<uint64_t, std::vector<int32_t>> places;
    for (const uint64_t h : hashes)
        places.emplace(h, std::vector<int32_t>());
    const int32_t listable = std::min(std::max(count, 0), library.count());
    for (int32_t n = 0; n < listable; ++n) {
        const auto it = places.find(library.hashes[static_cast<size_t>(n)]);
        if (it != places.end())
            it->second.push_back(n);
    }
    std::vector<int32_t> found(hashes.size(), -1);
    std::vector<int32_t> taken;
    for (size_t i = 0; i < hashes.size(); ++i) {
        const std::vector<int32_t>& at = places[hashes[i]];
        int32_t best = -1;
        for (const int32_t n : at) {
            if (std::find(taken.begin(), taken.end(), n) != taken.end())
                continue;
            if (best < 0 || std::abs(int64_t(n) - near[i]) < std::abs(int64_t(best) - near[i]))
                best = n;
        }
        if (best >= 0) {
            found[i] = best;
            taken.push_back(best);
        }
    }
    return found;
}

bool TLibraryList::chosenStillThere(const QString& caption)
{
    const std::vector<int> rows = list->selectedRows();
    QStringList names;
    for (const int row : rows)
        names << shownName(list->text(row));
    std::vector<int32_t> found;
    if (!syncLibrary(&found))
        return true;
    QStringList gone;
    for (size_t i = 0; i < found.size() && i < static_cast<size_t>(names.size()); ++i)
        if (found[i] < 0)
            gone << QStringLiteral("\u201C%1\u201D").arg(names[static_cast<qsizetype>(i)]);
    if (gone.isEmpty())
        return true;
    constexpr qsizetype named = 10;
    QString list = QStringList(gone.mid(0, named)).join(QStringLiteral(", "));
    if (gone.size() > named)
        list += QStringLiteral(" and %1 more").arg(gone.size() - named);
    tellUser(&window, caption,
             (gone.size() == 1
                  ? QStringLiteral("The voice %1 is no longer in the database: another program "
                                   "changed it. Nothing was done.")
                  : QStringLiteral("The voices %1 are no longer in the database: another program "
                                   "changed it. Nothing was done."))
                 .arg(list));
    return false;
}

bool TLibraryList::selectRecords(const std::vector<int32_t>& records, int32_t current)
{
    const auto end = rowRecord.begin() + rows;
    auto rowOf = [&](int32_t record) {
        const auto found = record >= 0 ? std::lower_bound(rowRecord.begin(), end, record) : end;
        return found != end && *found == record ? static_cast<int>(found - rowRecord.begin()) : -1;
    };
    QItemSelection selection;
    int currentRow = rowOf(current);
    for (const int32_t record : records) {
        const int row = rowOf(record);
        if (row < 0)
            continue;
        const QModelIndex index = list->names()->index(row, 0);
        selection.select(index, index);
        if (currentRow < 0)
            currentRow = row;
    }
    if (selection.isEmpty())
        return false;
    QItemSelectionModel* model = list->selectionModel();
    const bool wasRefilling = filling;
    filling = true;
    model->setCurrentIndex(list->names()->index(currentRow, 0), QItemSelectionModel::NoUpdate);
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    list->scrollTo(list->names()->index(currentRow, 0));
    filling = wasRefilling;
    return true;
}

int32_t TLibraryList::selectedRecord() const
{
    const int row = list->selectedRow();
    return row >= 0 && row < rows ? rowRecord[static_cast<size_t>(row)] : -1;
}

int32_t TLibraryList::singleRecord() const
{
    const int row = list->singleRow();
    return row >= 0 && row < rows ? rowRecord[static_cast<size_t>(row)] : -1;
}

std::vector<int32_t> TLibraryList::selectedRecords() const
{
    std::vector<int32_t> records;
    for (const int row : list->selectedRows())
        if (row < rows)
            records.push_back(rowRecord[static_cast<size_t>(row)]);
    return records;
}

void TLibraryList::recount()
{
    count = fileIO ? fileIO->countRecords() : 0;
    rowRecord.assign(static_cast<size_t>(std::max(count, 0)), 0);
}

void TLibraryList::changeFilter(QCheckBox* sender)
{
    for (int bit = 0; bit < 16; ++bit) {
        if (categoryBox[bit] != sender)
            continue;
        if (sender->isChecked())
            filter |= 1u << bit;
        else
            filter &= ~(1u << bit);
    }
    filter &= 0xFFFFu;
    const std::vector<int32_t> chosen = chosenRecords;
    const int32_t current = chosenCurrent;
    fillList(-1, true);
    // The voices chosen before come back once the filter lets them be listed.
    if (selectRecords(chosen, current)) {
        chosenRecords = chosen;
        chosenCurrent = selectedRecord();
        emit choiceChanged();
    } else {
        chosenRecords = chosen;
        chosenCurrent = current;
    }
}

void TLibraryList::showNewRecords(int32_t firstNew)
{
    std::vector<int32_t> added;
    for (int32_t n = std::max(firstNew, 0); n < count; ++n)
        added.push_back(n);
    fillList(added.empty() ? -1 : added.front(), true);
    if (added.empty()) {
        if (rows > 0 && list->selectedCount() == 0)
            list->setCurrentRow(0);
        return;
    }
    // A filter or search that would hide them is lifted, so that they are seen.
    if (!selectRecords({added.back()}, added.back())) {
        const QSignalBlocker quiet(edSearch);
        edSearch->clear();
        for (QCheckBox* box : categoryBox)
            box->setChecked(false);
        filter = 0;
        fillList(-1, true);
    }
    selectRecords(added, added.front());
    chosenRecords = selectedRecords();
    chosenCurrent = selectedRecord();
    emit choiceChanged();
}
