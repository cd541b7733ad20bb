// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/explorewindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <functional>

#include "app/bankwindow.h"
#include "app/librarydialogs.h"
#include "app/tarvik.h"
#include "app/voicelist.h"
#include "app/windowlist.h"
#include "document/autosender.h"
#include "document/bankdocument.h"
#include "editors/editcommands.h"
#include "library/fileio.h"
#include "voice/dumpcodec.h"

namespace {

const char* const cellMime = "application/x-tarvik-candidate";
const char* const archiveMime = "application/x-tarvik-archive";
// The keys of the cells, in order: 1..9, 0, then a..f.
const char cellKeys[breedCount + 1] = "1234567890abcdef";

// A button that drags its number under its own type: a candidate onto an archive
// place or a corner, an archive place onto a corner. A right click has a use of its own.
class TDragButton : public QPushButton {
public:
    TDragButton(const char* mime, int index, QWidget* parent) : QPushButton(parent), mime(mime), index(index)
    {
    }
    std::function<void()> onRightClick;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton) {
            if (onRightClick)
                onRightClick();
            event->accept();
            return;
        }
        pressedAt = event->position().toPoint();
        QPushButton::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if ((event->buttons() & Qt::LeftButton) &&
            (event->position().toPoint() - pressedAt).manhattanLength() >=
                QApplication::startDragDistance()) {
            setDown(false);
            auto* drag = new QDrag(this);
            auto* data = new QMimeData;
            data->setData(QString::fromLatin1(mime), QByteArray::number(index));
            drag->setMimeData(data);
            drag->exec(Qt::CopyAction);
            return;
        }
        QPushButton::mouseMoveEvent(event);
    }

private:
    const char* mime;
    int index;
    QPoint pressedAt;
};

// The number a drag of one of the types carries, or -1.
int draggedNumber(const QMimeData* data, const char* mime)
{
    if (!data || !data->hasFormat(QString::fromLatin1(mime)))
        return -1;
    bool ok = false;
    // The first of the numbers, without what the list adds after a colon (hash, name).
    const int n = data->data(QString::fromLatin1(mime)).split(' ').value(0).split(':').value(0).toInt(&ok);
    return ok && n >= 0 ? n : -1;
}

// Takes the drops of the given types; onDrop says whether it used one.
template <class Base> class TDropTarget : public Base {
public:
    template <class... Args>
    TDropTarget(std::initializer_list<const char*> types, Args&&... args)
        : Base(std::forward<Args>(args)...), types(types)
    {
        this->setAcceptDrops(true);
    }
    std::function<bool(const QMimeData*, QObject*)> onDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        for (const char* type : types)
            if (event->mimeData()->hasFormat(QString::fromLatin1(type))) {
                event->setDropAction(Qt::CopyAction);
                event->accept();
                return;
            }
        event->ignore();
    }
    void dropEvent(QDropEvent* event) override
    {
        if (onDrop && onDrop(event->mimeData(), event->source())) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        }
    }

private:
    std::vector<const char*> types;
};

// An archive place: takes a candidate dropped on it, and drags onto a corner.
class TArchivePlace : public TDropTarget<TDragButton> {
public:
    TArchivePlace(int place, QWidget* parent) : TDropTarget({cellMime}, archiveMime, place, parent) {}
};

// The morph pad: a square, corner 0 at its bottom left, 1 bottom right, 2 top left,
// 3 top right. Pressing and dragging reports the point.
class TMorphPad : public QWidget {
public:
    explicit TMorphPad(QWidget* parent) : QWidget(parent) { setFixedSize(160, 160); }
    std::function<void(double, double)> onPoint;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor(20, 40, 40));
        p.setPen(QColor(0, 200, 200));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        // The corners' numbers where they sit.
        const QRect inside = rect().adjusted(4, 2, -4, -2);
        p.drawText(inside, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("1"));
        p.drawText(inside, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("2"));
        p.drawText(inside, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("3"));
        p.drawText(inside, Qt::AlignRight | Qt::AlignTop, QStringLiteral("4"));
        if (point) {
            const QPointF at(point->x() * (width() - 1), (1.0 - point->y()) * (height() - 1));
            p.setBrush(QColor(255, 255, 0));
            p.drawEllipse(at, 4, 4);
        }
    }
    void mousePressEvent(QMouseEvent* event) override { report(event->position()); }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (event->buttons() & Qt::LeftButton)
            report(event->position());
    }

private:
    void report(const QPointF& at)
    {
        const double x = std::clamp(at.x() / std::max(1, width() - 1), 0.0, 1.0);
        const double y = std::clamp(1.0 - at.y() / std::max(1, height() - 1), 0.0, 1.0);
        point = QPointF(x, y);
        update();
        if (onPoint)
            onPoint(x, y);
    }
    std::optional<QPointF> point;
};

QString nameOf(const Voice& v)
{
    return QString::fromLatin1(v.name, int(strnlen(v.name, voiceNameLength)));
}

}   // namespace

TExploreWindow::TExploreWindow(TTarvik& run) : QWidget(nullptr, Qt::Window), run(run)
{
    setWindowTitle(QStringLiteral("Tarvik - Explore"));
    auto* layout = new QVBoxLayout(this);

    auto* hint =
        new QLabel(QStringLiteral("Click a candidate or press its key to hear it; a right click marks "
                                  "it a favourite (up to three) for the next round."),
                   this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto* grid = new QGridLayout;
    for (int i = 0; i < breedCount; ++i) {
        auto* cell = new TDragButton(cellMime, i, this);
        cell->setObjectName(QStringLiteral("cell%1").arg(i + 1));
        cell->setMinimumSize(110, 44);
        // A shortcut of its own: a button's text sets the button's shortcut anew.
        auto* key = new QShortcut(QKeySequence(QString(QChar::fromLatin1(cellKeys[i]))), this);
        connect(key, &QShortcut::activated, this, [this, i] { audition(i); });
        cell->onRightClick = [this, i] { toggleFavourite(i); };
        connect(cell, &QPushButton::clicked, this, [this, i] { audition(i); });
        cells[i] = cell;
        grid->addWidget(cell, i / 4, i % 4);
    }
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    QHBoxLayout* row = buttons;
    const auto button = [this, &row](const char* name, const char* caption, auto slot) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
        return b;
    };
    bNextRound = button("bNextRound", "&Next round", [this] { nextRound(); });
    bAgain = button("bAgain", "A&gain", [this] { again(); });
    bBack = button("bBack", "Bac&k", [this] { back(); });
    bKeep = button("bKeep", "K&eep", [this] { keep(); });
    bAddToLibrary = button("bAddToLibrary", "Add to &library...", [this] { addToLibrary(); });
    layout->addLayout(buttons);

    auto* options = new QHBoxLayout;
    cbPlayOnAudition = new QCheckBox(QStringLiteral("&Play on audition"), this);
    cbPlayOnAudition->setObjectName(QStringLiteral("cbPlayOnAudition"));
    options->addWidget(cbPlayOnAudition);
    auto* strength = new QLabel(QStringLiteral("&Strength"), this);
    options->addWidget(strength);
    tbStrength = new QSlider(Qt::Horizontal, this);
    strength->setBuddy(tbStrength);
    tbStrength->setAccessibleName(QStringLiteral("Strength"));
    tbStrength->setObjectName(QStringLiteral("tbStrength"));
    tbStrength->setRange(0, 100);
    tbStrength->setValue(30);
    options->addWidget(tbStrength);
    row = options;
    bNudgeToward = button("bNudgeToward", "Nudge &toward", [this] { nudge(1); });
    bNudgeToward->setToolTip(
        QStringLiteral("The voice being edited, moved toward the voice heard last by the strength"));
    bNudgeAway = button("bNudgeAway", "Nudge a&way", [this] { nudge(-1); });
    bNudgeAway->setToolTip(
        QStringLiteral("The voice being edited, moved away from the voice heard last by the strength"));
    layout->addLayout(options);

    // The groups breeding keeps: a plain row of tick boxes under their heading.
    auto* lockHeading = new QLabel(QStringLiteral("Keep unchanged while breeding:"), this);
    layout->addWidget(lockHeading);
    auto* lockGrid = new QGridLayout;
    const GroupLocks defaults = breedDefaultLocks();
    for (int g = 0; g < fieldGroupCount; ++g) {
        const auto group = static_cast<FieldGroup>(g);
        const QString caption = QString::fromLatin1(fieldGroupCaption(group)).replace(QLatin1Char('&'), "&&");
        cbLock[g] = new QCheckBox(caption, this);
        cbLock[g]->setObjectName(QStringLiteral("cbLock") + QString::fromLatin1(fieldGroupName(group)));
        cbLock[g]->setChecked(defaults.locked(group));
        lockGrid->addWidget(cbLock[g], g / 5, g % 5);
    }
    layout->addLayout(lockGrid);

    auto* morph = new QHBoxLayout;
    auto* cornerGrid = new QGridLayout;
    for (int c = 0; c < 4; ++c) {
        auto* corner = new TDropTarget<QLabel>({cellMime, archiveMime, recordsMimeType, bankSlotMimeType},
                                               QStringLiteral("Corner %1: -").arg(c + 1), this);
        corner->setToolTip(
            QStringLiteral("Drop a candidate, an archive place, a library voice or a bank slot here"));
        corner->onDrop = [this, c](const QMimeData* data, QObject* source) {
            return dropOnCorner(c, data, source);
        };
        lbCorner[c] = corner;
        lbCorner[c]->setObjectName(QStringLiteral("lbCorner%1").arg(c + 1));
        bCornerCurrent[c] = new QPushButton(QStringLiteral("Current"), this);
        bCornerCurrent[c]->setObjectName(QStringLiteral("bCornerCurrent%1").arg(c + 1));
        bCornerCurrent[c]->setAccessibleName(QStringLiteral("Corner %1 from the current voice").arg(c + 1));
        connect(bCornerCurrent[c], &QPushButton::clicked, this, [this, c] { setCornerFromCurrent(c); });
        bCornerFromAudition[c] = new QPushButton(QStringLiteral("Corner from audition"), this);
        bCornerFromAudition[c]->setObjectName(QStringLiteral("bCornerFromAudition%1").arg(c + 1));
        bCornerFromAudition[c]->setAccessibleName(QStringLiteral("Corner %1 from the audition").arg(c + 1));
        connect(bCornerFromAudition[c], &QPushButton::clicked, this, [this, c] { setCornerFromAudition(c); });
        bCornerCurrent[c]->setAccessibleName(QStringLiteral("Corner %1 from the current voice").arg(c + 1));
        bCornerFromAudition[c]->setAccessibleName(QStringLiteral("Corner %1 from the audition").arg(c + 1));
        cornerGrid->addWidget(lbCorner[c], c, 0);
        cornerGrid->addWidget(bCornerCurrent[c], c, 1);
        cornerGrid->addWidget(bCornerFromAudition[c], c, 2);
    }
    morph->addLayout(cornerGrid);
    auto* pad = new TMorphPad(this);
    pad->setObjectName(QStringLiteral("padMorph"));
    pad->setAccessibleName(QStringLiteral("Morph pad"));
    pad->onPoint = [this](double x, double y) { morphAt(x, y); };
    padMorph = pad;
    morph->addWidget(pad);
    layout->addLayout(morph);

    auto* archives = new QHBoxLayout;
    archives->addWidget(new QLabel(QStringLiteral("Archive:"), this));
    for (int a = 0; a < 6; ++a) {
        auto* place = new TArchivePlace(a, this);
        place->setObjectName(QStringLiteral("archive%1").arg(a + 1));
        place->setAccessibleName(QStringLiteral("Archive place %1").arg(a + 1));
        place->setText(QStringLiteral("(empty)"));
        place->setMinimumSize(90, 36);
        place->onDrop = [this, a](const QMimeData* data, QObject*) {
            const int cell = draggedNumber(data, cellMime);
            if (cell < 0)
                return false;
            archive(a, cell);
            return true;
        };
        connect(place, &QPushButton::clicked, this, [this, a] { auditionArchive(a); });
        archivePlaces[a] = place;
        archives->addWidget(place);
    }
    layout->addLayout(archives);

    BreedInput first;
    first.current = run.document.voice;
    breed(first);
}

GroupLocks TExploreWindow::locks() const
{
    GroupLocks locks;
    for (int g = 0; g < fieldGroupCount; ++g)
        if (cbLock[g]->isChecked())
            locks.lock(static_cast<FieldGroup>(g));
    return locks;
}

void TExploreWindow::breed(BreedInput input)
{
    input.strength = tbStrength->value() / 100.0;
    input.seed = nextSeed++;
    input.locks = locks();
    std::vector<Voice> bred;
    if (!breedVoices(input, bred).empty() || int(bred.size()) != breedCount)
        bred.assign(breedCount, input.current);
    round = Round{std::move(input), std::move(bred), {}};
    heardCell = -1;
    showRound();
}

void TExploreWindow::showRound()
{
    for (int i = 0; i < breedCount; ++i) {
        const auto rank = std::find(round.favourites.begin(), round.favourites.end(), i);
        QString text = QStringLiteral("%1  %2")
                           .arg(QChar::fromLatin1(cellKeys[i]))
                           .arg(nameOf(round.candidates[size_t(i)]));
        if (rank != round.favourites.end())
            text += QStringLiteral("  [%1]").arg(int(rank - round.favourites.begin()) + 1);
        cells[i]->setText(text);
        QFont font = cells[i]->font();
        font.setBold(i == heardCell);
        cells[i]->setFont(font);
    }
    bBack->setEnabled(!earlier.empty());
}

void TExploreWindow::hear(const Voice& v)
{
    heard = v;
    if (heardCell >= 0) {
        heardCell = -1;
        showRound();
    }
    run.sender->sendHeard(v);
    if (cbPlayOnAudition->isChecked() && run.commands) {
        run.commands->playNote(true);
        QTimer::singleShot(400, this, [this] { run.commands->playNote(false); });
    }
}

void TExploreWindow::audition(int cell)
{
    if (cell < 0 || cell >= breedCount)
        return;
    hear(round.candidates[size_t(cell)]);
    heardCell = cell;
    showRound();
}

bool TExploreWindow::toggleFavourite(int cell)
{
    auto& favs = round.favourites;
    const auto found = std::find(favs.begin(), favs.end(), cell);
    if (found != favs.end())
        favs.erase(found);
    else if (favs.size() >= 3)
        return false;
    else
        favs.push_back(cell);
    showRound();
    return true;
}

void TExploreWindow::nextRound()
{
    BreedInput input;
    input.current = run.document.voice;
    for (const int f : round.favourites)
        input.favourites.push_back(round.candidates[size_t(f)]);
    input.previous = lastPick;
    if (!input.favourites.empty())
        lastPick = input.favourites.front();
    earlier.push_back(round);
    breed(std::move(input));
}

void TExploreWindow::again()
{
    BreedInput input = round.input;
    input.current = run.document.voice;
    earlier.push_back(round);
    breed(std::move(input));
}

void TExploreWindow::back()
{
    if (earlier.empty())
        return;
    round = std::move(earlier.back());
    heardCell = -1;
    earlier.pop_back();
    showRound();
}

void TExploreWindow::nudge(int direction)
{
    if (!heard)
        return;
    Voice v{};
    if (nudgeVoice(run.document.voice, *heard, direction * tbStrength->value() / 100.0, locks(), v).empty())
        hear(v);
}

void TExploreWindow::keep()
{
    if (heard)
        run.document.replace(*heard, "Explore", TVoiceDocument::Send::ifAutoSend);
}

void TExploreWindow::addToLibrary()
{
    if (!heard || !run.fileIO)
        return;
    Voice v = *heard;
    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("AddToLibraryName"));
    ask.setWindowTitle(QStringLiteral("Add to library"));
    ask.setLabelText(QStringLiteral("Name:"));
    ask.setTextValue(nameOf(v).trimmed());
    if (auto* edit = ask.findChild<QLineEdit*>())
        edit->setMaxLength(voiceNameLength);
    if (ask.exec() != QDialog::Accepted)
        return;
    const QByteArray name = ask.textValue().left(voiceNameLength).toLatin1();
    for (int i = 0; i < voiceNameLength; ++i)
        v.name[i] = i < name.size() && name[i] >= ' ' && name[i] <= '~' ? name[i] : ' ';
    v.name[voiceNameLength] = 0;
    TCategoryDlg categories(this, QStringLiteral("Add to library"), false);
    if (categories.exec() != QDialog::Accepted)
        return;
    if (run.fileIO->appendRecord(categories.mask(), encodeVoice(v)))
        run.libraryChanged();
}

void TExploreWindow::setCorner(int corner, const Voice& v)
{
    if (corner < 0 || corner >= 4)
        return;
    corners[corner] = v;
    lbCorner[corner]->setText(QStringLiteral("Corner %1: %2").arg(corner + 1).arg(nameOf(v)));
}

void TExploreWindow::setCornerFromCurrent(int corner)
{
    setCorner(corner, run.document.voice);
}

void TExploreWindow::setCornerFromAudition(int corner)
{
    if (heard)
        setCorner(corner, *heard);
}

bool TExploreWindow::setCornerFromRecord(int corner, int32_t record)
{
    uint8_t dump[dumpSize];
    if (!run.fileIO || !run.fileIO->readDump(record, dump)) {
        QMessageBox::warning(this, QStringLiteral("Tarvik"),
                             QStringLiteral("Library voice %1 cannot be a corner: %2")
                                 .arg(record + 1)
                                 .arg(QString::fromStdString(run.fileIO ? run.fileIO->lastError : "")));
        return false;
    }
    Voice v{};
    decodeVoice(dump, v);
    setCorner(corner, v);
    return true;
}

bool TExploreWindow::setCornerFromBankSlot(int corner, int slot)
{
    auto* bank = qobject_cast<TBankWindow*>(run.windows ? run.windows->made("BankWindow") : nullptr);
    if (!bank || slot < 0 || slot >= bankVoices)
        return false;
    Voice v{};
    decodeVoice(bank->document()->bank().voices[size_t(slot)].data(), v);
    setCorner(corner, v);
    return true;
}

bool TExploreWindow::dropOnCorner(int corner, const QMimeData* data, QObject* source)
{
    if (const int cell = draggedNumber(data, cellMime); cell >= 0 && cell < breedCount) {
        setCorner(corner, round.candidates[size_t(cell)]);
        return true;
    }
    if (const int place = draggedNumber(data, archiveMime); place >= 0 && place < 6) {
        if (archived[place])
            setCorner(corner, *archived[place]);
        return archived[place].has_value();
    }
    if (const int record = draggedNumber(data, recordsMimeType); record >= 0)
        return setCornerFromRecord(corner, record);
    // A bank slot, from the Bank window's slots.
    const int slot = draggedNumber(data, bankSlotMimeType);
    auto* from = qobject_cast<QWidget*>(source);
    return slot >= 0 && from && qobject_cast<TBankWindow*>(from->window()) &&
           setCornerFromBankSlot(corner, slot);
}

void TExploreWindow::morphAt(double x, double y)
{
    std::vector<Voice> filled;
    for (const auto& c : corners)
        if (c)
            filled.push_back(*c);
    if (filled.size() < 2)
        return;
    Voice v{};
    if (!morphVoices(filled, x, y, GroupLocks{}, v).empty())
        return;
    heard = v;
    if (heardCell >= 0) {
        heardCell = -1;
        showRound();
    }
    run.sender->sendHeard(v);
}

void TExploreWindow::archive(int place, int cell)
{
    if (place < 0 || place >= 6 || cell < 0 || cell >= breedCount)
        return;
    archived[place] = round.candidates[size_t(cell)];
    archivePlaces[place]->setText(nameOf(*archived[place]));
}

void TExploreWindow::auditionArchive(int place)
{
    if (place >= 0 && place < 6 && archived[place])
        hear(*archived[place]);
}
