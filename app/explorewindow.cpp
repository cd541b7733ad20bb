// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/explorewindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <functional>

#include "app/librarydialogs.h"
#include "app/tarvik.h"
#include "document/autosender.h"
#include "editors/editcommands.h"
#include "library/fileio.h"
#include "voice/dumpcodec.h"

namespace {

const char* const cellMime = "application/x-tarvik-candidate";
// The keys of the cells, in order: 1..9, 0, then a..f.
const char cellKeys[breedCount + 1] = "1234567890abcdef";

// A candidate: a click auditions it, a right click marks or unmarks it a favourite,
// and it drags onto an archive place.
class TCellButton : public QPushButton {
public:
    TCellButton(int index, QWidget* parent) : QPushButton(parent), index(index) {}
    std::function<void()> onFavourite;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton) {
            if (onFavourite)
                onFavourite();
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
            auto* mime = new QMimeData;
            mime->setData(QString::fromLatin1(cellMime), QByteArray::number(index));
            drag->setMimeData(mime);
            drag->exec(Qt::CopyAction);
            return;
        }
        QPushButton::mouseMoveEvent(event);
    }

private:
    int index;
    QPoint pressedAt;
};

// An archive place: takes a candidate dropped on it.
class TArchivePlace : public QPushButton {
public:
    explicit TArchivePlace(QWidget* parent) : QPushButton(parent) { setAcceptDrops(true); }
    std::function<void(int)> onDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasFormat(QString::fromLatin1(cellMime)))
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        bool ok = false;
        const int cell = event->mimeData()->data(QString::fromLatin1(cellMime)).toInt(&ok);
        if (ok && onDrop) {
            onDrop(cell);
            event->acceptProposedAction();
        }
    }
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

    auto* grid = new QGridLayout;
    for (int i = 0; i < breedCount; ++i) {
        auto* cell = new TCellButton(i, this);
        cell->setObjectName(QStringLiteral("cell%1").arg(i + 1));
        cell->setMinimumSize(110, 44);
        cell->setShortcut(QKeySequence(QString(QChar::fromLatin1(cellKeys[i]))));
        cell->onFavourite = [this, i] { toggleFavourite(i); };
        connect(cell, &QPushButton::clicked, this, [this, i] { audition(i); });
        cells[i] = cell;
        grid->addWidget(cell, i / 4, i % 4);
    }
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    const auto button = [this, buttons](const char* name, const char* caption, auto slot) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
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
    layout->addLayout(options);

    auto* lockBox = new QGroupBox(QStringLiteral("Locked"), this);
    auto* lockGrid = new QGridLayout(lockBox);
    const GroupLocks defaults = breedDefaultLocks();
    for (int g = 0; g < fieldGroupCount; ++g) {
        const auto group = static_cast<FieldGroup>(g);
        const QString name = QString::fromLatin1(fieldGroupName(group));
        cbLock[g] = new QCheckBox(name, lockBox);
        cbLock[g]->setObjectName(QStringLiteral("cbLock") + name);
        cbLock[g]->setChecked(defaults.locked(group));
        lockGrid->addWidget(cbLock[g], g / 5, g % 5);
    }
    layout->addWidget(lockBox);

    auto* morph = new QHBoxLayout;
    auto* cornerGrid = new QGridLayout;
    for (int c = 0; c < 4; ++c) {
        lbCorner[c] = new QLabel(QStringLiteral("Corner %1: -").arg(c + 1), this);
        lbCorner[c]->setObjectName(QStringLiteral("lbCorner%1").arg(c + 1));
        bCornerCurrent[c] = new QPushButton(QStringLiteral("Current"), this);
        bCornerCurrent[c]->setObjectName(QStringLiteral("bCornerCurrent%1").arg(c + 1));
        connect(bCornerCurrent[c], &QPushButton::clicked, this, [this, c] { setCornerFromCurrent(c); });
        bCornerFromAudition[c] = new QPushButton(QStringLiteral("Corner from audition"), this);
        bCornerFromAudition[c]->setObjectName(QStringLiteral("bCornerFromAudition%1").arg(c + 1));
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
    pad->onPoint = [this](double x, double y) { morphAt(x, y); };
    padMorph = pad;
    morph->addWidget(pad);
    layout->addLayout(morph);

    auto* archives = new QHBoxLayout;
    for (int a = 0; a < 6; ++a) {
        auto* place = new TArchivePlace(this);
        place->setObjectName(QStringLiteral("archive%1").arg(a + 1));
        place->setAccessibleName(QStringLiteral("Archive place %1").arg(a + 1));
        place->setText(QStringLiteral("(empty)"));
        place->setMinimumSize(90, 36);
        place->onDrop = [this, a](int cell) { archive(a, cell); };
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
    }
    bBack->setEnabled(!earlier.empty());
}

void TExploreWindow::hear(const Voice& v)
{
    heard = v;
    run.sender->sendHeard(v);
    if (cbPlayOnAudition->isChecked() && run.commands) {
        run.commands->playNote(true);
        QTimer::singleShot(400, this, [this] { run.commands->playNote(false); });
    }
}

void TExploreWindow::audition(int cell)
{
    if (cell >= 0 && cell < breedCount)
        hear(round.candidates[size_t(cell)]);
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
    earlier.pop_back();
    showRound();
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

void TExploreWindow::setCornerFromCurrent(int corner)
{
    corners[corner] = run.document.voice;
    lbCorner[corner]->setText(
        QStringLiteral("Corner %1: %2").arg(corner + 1).arg(nameOf(run.document.voice)));
}

void TExploreWindow::setCornerFromAudition(int corner)
{
    if (!heard)
        return;
    corners[corner] = *heard;
    lbCorner[corner]->setText(QStringLiteral("Corner %1: %2").arg(corner + 1).arg(nameOf(*heard)));
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
