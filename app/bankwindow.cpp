// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/bankwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "app/bankwritedialog.h"
#include "app/dialogs.h"
#include "app/voicelist.h"
#include "document/bankdocument.h"
#include "document/voicedocument.h"
#include "editors/controls.h"
#include "editors/fieldbinder.h"
#include "files/filewrite.h"
#include "library/fileio.h"
#include "library/voiceimport.h"
#include "midi/fetch.h"
#include "midi/syprotocol.h"
#include "settings/settings.h"
#include "voice/bankdiff.h"
#include "voice/dumpcodec.h"

namespace {

constexpr int slotColumns = 4;
constexpr int slotRows = 16;
constexpr int slotWidth = 112;
constexpr int slotHeight = 20;
// Far more than any bank file (38,306 bytes): a larger file is not read at all.
constexpr qint64 bankFileLimit = 1 << 20;
// The voice tag as a single dump carries it at 16/17 (0xA5, split).
constexpr uint8_t voiceTagHigh = 0x01;
constexpr uint8_t voiceTagLow = 0x25;

QString sendCaption()
{
    return QStringLiteral("Send bank to synth");
}

// What the synthesiser holds after blocksSent of the 17 blocks went out.
QString writtenPart(int blocksSent)
{
    if (blocksSent >= 16)
        return QStringLiteral("all 64 voices; the multis were not sent");
    return QStringLiteral("voices I01 to %1").arg(slotName(blocksSent * 4 - 1));
}

}   // namespace

QString slotName(int slot)
{
    return QStringLiteral("I%1").arg(slot + 1, 2, 10, QLatin1Char('0'));
}

QString dumpVoiceName(const VoiceDump& dump)
{
    QString name;
    for (size_t i = 19; i < 27; ++i)
        name += dump[i] >= 0x20 && dump[i] < 0x7F ? QChar(dump[i]) : QChar(' ');
    return name;
}

// ---- the slots ----

TBankSlots::TBankSlots(const TBankDocument* document, QObject* parent)
    : QAbstractListModel(parent), document(document)
{
}

int TBankSlots::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 64;
}

QVariant TBankSlots::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= 64)
        return {};
    if (role == Qt::DisplayRole)
        return slotName(index.row()) + QStringLiteral("  ") +
               dumpVoiceName(document->bank().voices[static_cast<size_t>(index.row())]);
    return {};
}

Qt::ItemFlags TBankSlots::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractListModel::flags(index);
    if (index.isValid())
        f |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    return f;
}

QStringList TBankSlots::mimeTypes() const
{
    return {QString::fromLatin1(bankSlotMimeType), QString::fromLatin1(recordsMimeType)};
}

QMimeData* TBankSlots::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty() || !indexes.first().isValid())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(bankSlotMimeType), QByteArray::number(indexes.first().row()));
    return data;
}

void TBankSlots::reload()
{
    emit dataChanged(index(0), index(63));
}

TBankSlotView::TBankSlotView(QWidget* parent) : QListView(parent)
{
    setViewMode(QListView::ListMode);
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setMovement(QListView::Static);
    setResizeMode(QListView::Fixed);
    setUniformItemSizes(true);
    setGridSize(QSize(slotWidth, slotHeight));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int frame = 2 * frameWidth() + 4;
    setFixedSize(slotColumns * slotWidth + frame, slotRows * slotHeight + frame);
}

int TBankSlotView::slotAt(const QPoint& point) const
{
    const QModelIndex index = indexAt(point);
    return index.isValid() ? index.row() : -1;
}

bool TBankSlotView::acceptable(const QDropEvent* event) const
{
    const QMimeData* data = event->mimeData();
    if (!data || slotAt(event->position().toPoint()) < 0)
        return false;
    return data->hasFormat(QString::fromLatin1(recordsMimeType)) ||
           (data->hasFormat(QString::fromLatin1(bankSlotMimeType)) && event->source() == this);
}

void TBankSlotView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int slot = slotAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && slot >= 0) {
        event->accept();
        emit slotDoubleClicked(slot);
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

void TBankSlotView::keyPressEvent(QKeyEvent* event)
{
    // Enter loads the chosen slot's voice, as a double-click does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        event->accept();
        emit slotDoubleClicked(currentIndex().row());
        return;
    }
    QListView::keyPressEvent(event);
}

void TBankSlotView::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (data && (data->hasFormat(QString::fromLatin1(recordsMimeType)) ||
                 (data->hasFormat(QString::fromLatin1(bankSlotMimeType)) && event->source() == this))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TBankSlotView::dragMoveEvent(QDragMoveEvent* event)
{
    if (acceptable(event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TBankSlotView::dropEvent(QDropEvent* event)
{
    if (!acceptable(event)) {
        event->ignore();
        return;
    }
    const int slot = slotAt(event->position().toPoint());
    const QMimeData* data = event->mimeData();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (data->hasFormat(QString::fromLatin1(bankSlotMimeType))) {
        bool ok = false;
        const int from = data->data(QString::fromLatin1(bankSlotMimeType)).toInt(&ok);
        if (ok && from >= 0 && from < 64 && from != slot)
            emit slotDropped(from, slot, event->modifiers().testFlag(Qt::ShiftModifier));
        return;
    }
    std::vector<int32_t> records;
    std::vector<uint64_t> hashes;
    QStringList names;
    for (const QByteArray& word : data->data(QString::fromLatin1(recordsMimeType)).split(' ')) {
        const QList<QByteArray> parts = word.split(':');
        bool ok = false;
        const int n = parts[0].toInt(&ok);
        if (!ok || n < 0)
            continue;
        records.push_back(n);
        bool hashed = parts.size() == 3;
        const qulonglong hash = hashed ? parts[1].toULongLong(&hashed, 16) : 0;
        hashes.push_back(hashed ? hash : 0);
        names << (hashed ? QString::fromLatin1(QByteArray::fromHex(parts[2])).trimmed() : QString());
        if (records.size() >= 64)
            break;
    }
    if (!records.empty())
        emit recordsDropped(slot, records, hashes, names);
}

// ---- the window ----

TBankWindow::TBankWindow(const Needs& needs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      needs(needs), protocol(needs.protocol), fileIO(needs.fileIO), settings(needs.settings),
      bank(new TBankDocument(this))
{
    setObjectName(QStringLiteral("BankWindow"));
    setWindowTitle(QStringLiteral("Tarvik - Bank[*]"));
    setStyleSheet(editorStyleSheet() +
                  QStringLiteral("TBankWindow { background-color: black; }"
                                 "QListView { background-color: white; color: black; }"
                                 "QListView::item:selected { background-color: navy; color: white; }"));
    buildControls();
    buildVerifyControls();
    buildDialogs();
    connectControls();
    addSlotCommands();
    showState();
}

void TBankWindow::buildControls()
{
    lOrigin = new QLabel;
    lOrigin->setObjectName(QStringLiteral("lOrigin"));
    slotModel = new TBankSlots(bank, this);
    lvSlots = new TBankSlotView;
    lvSlots->setObjectName(QStringLiteral("lvSlots"));
    lvSlots->setModel(slotModel);
    lvSlots->setToolTip(QStringLiteral("Double click a slot to load its voice"));
    lvSlots->setAccessibleName(QStringLiteral("Bank slots"));
    cbFollow = new QCheckBox(QStringLiteral("Multis &follow a voice moved to another slot"));
    cbFollow->setObjectName(QStringLiteral("cbFollow"));
    cbFollow->setChecked(true);
    cbFollow->setToolTip(QStringLiteral("When a voice moves, the multis' parts that played it "
                                        "name its new slot"));
    lHint = new QLabel(QStringLiteral(
        "Drop voices here from the database list. Drag a slot onto another to swap them; "
        "hold Shift as you drop to move it there instead. Double-click a slot to load its voice.\n"
        "Keys: the arrows move between slots, Enter loads the slot's voice, Ctrl+C or Ctrl+X and then "
        "Ctrl+V copy or move a slot, Insert puts the chosen library voices here, Delete puts the "
        "initial voice here."));
    lHint->setObjectName(QStringLiteral("lHint"));
    lHint->setWordWrap(true);
    lHint->setFixedWidth(lvSlots->width());

    auto* left = new QVBoxLayout;
    left->addWidget(lOrigin);
    left->addWidget(lvSlots);
    left->addWidget(cbFollow);
    left->addWidget(cbVerify = new QCheckBox(QStringLiteral("&Read the bank back after sending to prove it")));
    left->addWidget(lHint);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(buildButtons());
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QLayout* TBankWindow::buildButtons()
{
    auto button = [](const char* name, const QString& text) {
        auto* b = new QPushButton(text);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    bGet = button("bGet", QStringLiteral("&Get all voices from synth..."));
    bOpen = button("bOpen", QStringLiteral("&Open bank..."));
    bNew = button("bNew", QStringLiteral("&New bank"));
    bSave = button("bSave", QStringLiteral("&Save bank as..."));
    bSend = button("bSend", QStringLiteral("Send &bank to synth..."));
    bWhatChanges = button("bWhatChanges", QStringLiteral("What &will change..."));
    bMultis = button("bMultis", QStringLiteral("&Multis..."));
    bUndo = button("bUndo", QStringLiteral("Undo"));
    bRedo = button("bRedo", QStringLiteral("Redo"));
    bClose = button("bClose", QStringLiteral("&Close"));

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {bGet, bOpen, bNew, bSave, bSend, bWhatChanges, bMultis, bUndo, bRedo, bClose})
        b->setFixedWidth(200);
    for (QPushButton* b : {bGet, bOpen, bNew, bSave, bSend, bWhatChanges, bMultis})
        buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {bUndo, bRedo, bClose})
        buttons->addWidget(b);
    return buttons;
}

void TBankWindow::buildDialogs()
{
    bankOpenDlg =
        makeSyxDialog(this, "bankOpenDlg", QStringLiteral("Open bank"), QFileDialog::AcceptOpen, true);
    bankSaveDlg = makeSyxDialog(this, "bankSaveDlg", QStringLiteral("Save bank as"), QFileDialog::AcceptSave);
}

void TBankWindow::connectControls()
{
    // Drops are handled once the drag is over: they may tell the user something.
    connect(
        lvSlots, &TBankSlotView::recordsDropped, this,
        [this](int slot, const std::vector<int32_t>& records, const std::vector<uint64_t>& hashes,
               const QStringList& names) { dropRecords(slot, records, hashes, names); },
        Qt::QueuedConnection);
    connect(
        lvSlots, &TBankSlotView::slotDropped, this,
        [this](int from, int to, bool move) { dropSlot(from, to, move); }, Qt::QueuedConnection);
    connect(lvSlots, &TBankSlotView::slotDoubleClicked, this, &TBankWindow::loadSlot);
    // The run's command: the synthesiser's bank becomes the current bank.
    connect(bGet, &QPushButton::clicked, this, [this] {
        if (needs.getAllVoices)
            needs.getAllVoices();
    });
    connect(bOpen, &QPushButton::clicked, this, &TBankWindow::askOpen);
    connect(bNew, &QPushButton::clicked, this, &TBankWindow::newBank);
    connect(bSave, &QPushButton::clicked, this, &TBankWindow::askSave);
    connect(bSend, &QPushButton::clicked, this, &TBankWindow::sendBank);
    connect(bMultis, &QPushButton::clicked, this, [this] {
        if (needs.showMultis)
            needs.showMultis();
    });
    connect(bUndo, &QPushButton::clicked, this, [this] { bank->undo(); });
    connect(bRedo, &QPushButton::clicked, this, [this] { bank->redo(); });
    connect(bClose, &QPushButton::clicked, this, &QWidget::hide);
    addUndoKeys(
        this, [this] { bank->undo(); }, [this] { bank->redo(); });
    closeOnEscape(this);
    connect(bank, &TBankDocument::bankChanged, this, [this] {
        slotModel->reload();
        showState();
    });
    connect(bank, &TBankDocument::historyChanged, this, &TBankWindow::showState);
    connect(bank, &TBankDocument::fieldEdited, this, &TBankWindow::showState);
}

TBankWindow::~TBankWindow()
{
    // Nothing more goes out once the window that sent it is gone.
    if (sendActive && protocol)
        protocol->cancelBankSend();
}

void TBankWindow::showState()
{
    lOrigin->setText(QStringLiteral("Bank: ") + bank->origin());
    // The step is named in the tooltip: the buttons keep a short caption that fits.
    bUndo->setText(QStringLiteral("&Undo"));
    bUndo->setToolTip(undoText(*bank) + QStringLiteral(" (Ctrl+Z)"));
    bUndo->setEnabled(bank->canUndo());
    bRedo->setText(QStringLiteral("&Redo"));
    bRedo->setToolTip(redoText(*bank) + QStringLiteral(" (Ctrl+Shift+Z, Ctrl+Y)"));
    bRedo->setEnabled(bank->canRedo());
    bSend->setEnabled(!sendActive);
    setWindowModified(bank->changed());
}

void TBankWindow::closeEvent(QCloseEvent* event)
{
    bank->finishEdit();
    hide();
    event->accept();
}

// ---- files ----

void TBankWindow::askOpen()
{
    if (!mayReplace(QStringLiteral("Open bank")))
        return;
    if (bankOpenDlg->exec() == QDialog::Accepted && !bankOpenDlg->selectedFiles().isEmpty())
        openBankFile(bankOpenDlg->selectedFiles().constFirst());
}

bool TBankWindow::askSave()
{
    return bankSaveDlg->exec() == QDialog::Accepted && !bankSaveDlg->selectedFiles().isEmpty() &&
           saveBankFile(bankSaveDlg->selectedFiles().constFirst());
}

bool TBankWindow::mayReplace(const QString& caption)
{
    bank->finishEdit();
    if (!bank->changed())
        return true;
    const TUnsavedAnswer answer = askUnsaved(
        this, "BankChangedQuestion", caption,
        QStringLiteral("The current bank (%1) has changed since it was last opened, received or saved.")
            .arg(bank->origin()),
        QStringLiteral("&Discard"));
    if (answer == TUnsavedAnswer::save)
        return askSave();
    return answer == TUnsavedAnswer::leave;
}

bool TBankWindow::confirmLeaving(const QString& path)
{
    if (!mayReplace(QStringLiteral("Exit")))
        return false;
    bank->discardChanges();
    if (!keepForNextRun(path))
        warnUser(this, QStringLiteral("Exit"),
                 QStringLiteral("The current bank could not be kept for the next run: %1 could not be "
                                "written.")
                     .arg(path));
    return true;
}

void TBankWindow::startFromKept(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return;
    QString why;
    Bank read{};
    if (!file.open(QIODevice::ReadOnly) || file.size() > bankFileLimit) {
        why = QStringLiteral("could not be read");
    } else {
        const QByteArray bytes = file.readAll();
        std::string error;
        if (!parseBankDump(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<size_t>(bytes.size()), read, error))
            why = QString::fromStdString(error);
    }
    if (why.isEmpty())
        bank->start(read, QStringLiteral("Kept from the last run"));
    else
        bank->start(initialBank(),
                    QStringLiteral("New bank (%1 was not opened: %2)").arg(QFileInfo(path).fileName(), why));
}

bool TBankWindow::keepForNextRun(const QString& path)
{
    bank->finishEdit();
    const std::vector<uint8_t> message = encodeBankDump(bank->bank(), 0);
    return checkBankDump(message.data(), message.size()).empty() &&
           replaceFileAtomically(QFile::encodeName(path).toStdString(), message.data(), message.size());
}

bool TBankWindow::openBankFile(const QString& path)
{
    const QString caption = QStringLiteral("Open bank");
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        warnUser(this, caption,
                 QStringLiteral("%1 could not be read: %2.\nThe current bank is unchanged.")
                     .arg(name, file.errorString()));
        return false;
    }
    if (file.size() > bankFileLimit) {
        warnUser(this, caption,
                 QStringLiteral("%1 was not opened: not a bank dump (far too long).\n"
                                "The current bank is unchanged.")
                     .arg(name));
        return false;
    }
    const QByteArray bytes = file.readAll();
    Bank read{};
    std::string error;
    if (!parseBankDump(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()),
                       read, error)) {
        warnUser(this, caption,
                 QStringLiteral("%1 was not opened: %2.\nThe current bank is unchanged.")
                     .arg(name, QString::fromStdString(error)));
        return false;
    }
    bank->replace(read, "Open bank", name);
    bank->markKept();
    return true;
}

void TBankWindow::newBank()
{
    if (!mayReplace(QStringLiteral("New bank")))
        return;
    bank->replace(initialBank(), "New bank", QStringLiteral("New bank"));
    bank->markKept();
}

bool TBankWindow::saveBankFile(const QString& path)
{
    bank->finishEdit();
    const QString caption = QStringLiteral("Save bank as");
    const std::vector<uint8_t> message = encodeBankDump(bank->bank(), 0);
    const std::string fault = checkBankDump(message.data(), message.size());
    if (!fault.empty()) {
        warnUser(this, caption,
                 QStringLiteral("The bank was not saved: %1.").arg(QString::fromStdString(fault)));
        return false;
    }
    if (!replaceFileAtomically(QFile::encodeName(path).toStdString(), message.data(), message.size())) {
        warnUser(this, caption,
                 QStringLiteral("%1 could not be written; any file of that name is as it was.")
                     .arg(QFileInfo(path).fileName()));
        return false;
    }
    bank->markKept();
    return true;
}

std::string TBankWindow::takeReceivedBank(const std::vector<uint8_t>& message)
{
    Bank received{};
    std::string error;
    if (!parseBankDump(message.data(), message.size(), received, error))
        return error;
    bank->replace(received, "Get all voices", QStringLiteral("From the synthesiser"));
    bank->markKept();
    return std::string();
}

// ---- slots ----

bool TBankWindow::readDroppedRecord(int32_t n, uint64_t hash, const QString& name, LibraryListing& now,
                                    VoiceDump& d, QStringList& refused)
{
    const std::optional<uint64_t> expected = hash ? std::optional<uint64_t>(hash) : std::nullopt;
    if (fileIO->readDump(n, d.data(), expected))
        return true;
    if (fileIO->stale) {
        // Another program changed the library since it was listed: the voice shown is
        // looked for where it is now.
        fileIO->refreshListing(now);
        const auto at = std::find(now.hashes.begin(), now.hashes.end(), hash);
        if (at != now.hashes.end() &&
            fileIO->readDump(static_cast<int32_t>(at - now.hashes.begin()), d.data(), expected))
            return true;
        refused << QStringLiteral("\u201C%1\u201D is no longer in the database").arg(name);
        return false;
    }
    refused << QStringLiteral("entry %1 is no longer in the database").arg(n + 1);
    return false;
}

void TBankWindow::dropRecords(int slot, const std::vector<int32_t>& records,
                              const std::vector<uint64_t>& hashes, const QStringList& names)
{
    if (slot < 0 || slot >= 64 || records.empty() || !fileIO)
        return;
    std::vector<VoiceDump> dumps;
    QStringList refused;
    LibraryListing now;
    const size_t room = static_cast<size_t>(64 - slot);
    for (size_t i = 0; i < records.size(); ++i) {
        const int32_t n = records[i];
        if (dumps.size() >= room)
            break;
        VoiceDump d{};
        const uint64_t hash = i < hashes.size() ? hashes[i] : 0;
        const QString name =
            i < static_cast<size_t>(names.size()) ? names[static_cast<qsizetype>(i)] : QString();
        if (!readDroppedRecord(n, hash, name, now, d, refused))
            continue;
        if (!isVoiceDump(d.data(), d.size()) || d[16] != voiceTagHigh || d[17] != voiceTagLow) {
            refused << QStringLiteral("entry %1 is not a voice dump").arg(n + 1);
            continue;
        }
        // As a bank carries it: byte 2 = 0, and the inner checksum the synthesiser
        // checks at power-on (voices stored before it was written carry 00 00).
        normaliseDump(d.data());
        if (!innerChecksumOk(d.data()))
            setInnerChecksum(d.data());
        dumps.push_back(d);
    }
    if (!dumps.empty()) {
        const std::string name = dumps.size() == 1
                                     ? "Put voice in " + slotName(slot).toStdString()
                                     : "Put voices in " + slotName(slot).toStdString() + ".." +
                                           slotName(slot + static_cast<int>(dumps.size()) - 1).toStdString();
        bank->command(name, [&](Bank& b) {
            for (size_t i = 0; i < dumps.size(); ++i)
                b.voices[static_cast<size_t>(slot) + i] = dumps[i];
        });
        lvSlots->setCurrentIndex(slotModel->index(slot));
    }
    const size_t left =
        records.size() - std::min(records.size(), dumps.size() + static_cast<size_t>(refused.size()));
    QStringList lines;
    if (left > 0)
        lines << QStringLiteral("%1 of the voices did not fit: the bank ends at I64.").arg(left);
    if (!refused.isEmpty())
        lines << QStringLiteral("Not put in: ") + refused.join(QStringLiteral(", ")) + QLatin1Char('.');
    if (!lines.isEmpty())
        tellUser(this, QStringLiteral("Bank"), lines.join(QLatin1Char('\n')));
}

void TBankWindow::dropSlot(int from, int to, bool move)
{
    if (from < 0 || from >= 64 || to < 0 || to >= 64 || from == to)
        return;
    const bool follow = cbFollow->isChecked();
    const std::string name = (move ? "Move " : "Swap ") + slotName(from).toStdString() +
                             (move ? " to " : " and ") + slotName(to).toStdString();
    bank->command(name, [&](Bank& b) {
        if (!move) {
            std::swap(b.voices[static_cast<size_t>(from)], b.voices[static_cast<size_t>(to)]);
            if (follow)
                remapMultiVoices(b, from, to, true);
            return;
        }
        // A move is a run of neighbour swaps: the slots between shift by one toward
        // where the voice came from, and each voice's parts follow it.
        const int step = to > from ? 1 : -1;
        for (int i = from; i != to; i += step) {
            std::swap(b.voices[static_cast<size_t>(i)], b.voices[static_cast<size_t>(i + step)]);
            if (follow)
                remapMultiVoices(b, i, i + step, true);
        }
    });
    lvSlots->setCurrentIndex(slotModel->index(to));
}

void TBankWindow::loadSlot(int slot)
{
    if (slot < 0 || slot >= 64)
        return;
    bank->finishEdit();
    // The same road as a load from the library: the voice becomes an undo step of its
    // own and goes to the synthesiser, and the editors show it.
    needs.voice.loadDump(bank->bank().voices[static_cast<size_t>(slot)].data(), "Load voice",
                         TVoiceDocument::Send::always);
}

int TBankWindow::selectedSlot() const
{
    const QModelIndex index = lvSlots->currentIndex();
    return index.isValid() && lvSlots->selectionModel()->isSelected(index) ? index.row() : -1;
}

void TBankWindow::addSlotCommands()
{
    slotMenu = new QMenu(this);
    slotMenu->setObjectName(QStringLiteral("SlotMenu"));
    auto add = [this](const char* name, const QString& text, const QKeySequence& key,
                      const std::function<void()>& run) {
        auto* action = slotMenu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, run);
        lvSlots->addAction(action);
    };
    add("CopySlot", QStringLiteral("&Copy slot"), QKeySequence::Copy, [this] { copySlot(false); });
    add("CutSlot", QStringLiteral("Cu&t slot (paste moves it)"), QKeySequence::Cut,
        [this] { copySlot(true); });
    add("PasteSlot", QStringLiteral("&Paste into this slot"), QKeySequence::Paste, [this] { pasteSlot(); });
    add("PutChosenVoices", QStringLiteral("Put the chosen &library voices here"),
        QKeySequence(Qt::Key_Insert), [this] { putChosenVoices(); });
    add("ClearSlot", QStringLiteral("Put the &initial voice here"), QKeySequence::Delete,
        [this] { clearSlot(); });
    lvSlots->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvSlots, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const int slot = lvSlots->slotAt(at);
        if (slot < 0)
            return;
        lvSlots->setCurrentIndex(slotModel->index(slot));
        slotMenu->popup(lvSlots->viewport()->mapToGlobal(at));
    });
}

void TBankWindow::copySlot(bool cut)
{
    const int slot = selectedSlot();
    if (slot < 0)
        return;
    bank->finishEdit();
    copiedVoice = bank->bank().voices[static_cast<size_t>(slot)];
    cutFrom = cut ? slot : -1;
}

void TBankWindow::pasteSlot()
{
    const int slot = selectedSlot();
    if (slot < 0 || !copiedVoice)
        return;
    if (cutFrom >= 0) {
        // A cut slot moves, once: its parts follow it as a dragged one's do.
        const int from = std::exchange(cutFrom, -1);
        copiedVoice.reset();
        dropSlot(from, slot, true);
        return;
    }
    const VoiceDump voice = *copiedVoice;
    bank->command("Paste into " + slotName(slot).toStdString(),
                  [&](Bank& b) { b.voices[static_cast<size_t>(slot)] = voice; });
}

void TBankWindow::putChosenVoices()
{
    const int slot = selectedSlot();
    if (slot >= 0 && needs.chosenRecords)
        if (const std::vector<int32_t> records = needs.chosenRecords(); !records.empty())
            dropRecords(slot, records);
}

void TBankWindow::clearSlot()
{
    const int slot = selectedSlot();
    if (slot < 0)
        return;
    const VoiceDump initial = initialBank().voices[0];
    bank->command("Initial voice in " + slotName(slot).toStdString(),
                  [&](Bank& b) { b.voices[static_cast<size_t>(slot)] = initial; });
}

// ---- sending ----

void TBankWindow::sendBank()
{
    if (sendActive) {
        if (sendProgress)
            sendProgress->raise();
        return;
    }
    bank->finishEdit();
    if (needs.reachSynth && !needs.reachSynth(sendCaption()))
        return;
    QMessageBox confirm(QMessageBox::Warning, sendCaption(),
                        QStringLiteral("Send this bank to the synthesiser?\n\n"
                                       "All 64 voices (I01 to I64) and all 16 multis of the "
                                       "synthesiser will be replaced by the bank's.\n\n"
                                       "The synthesiser's memory protect must be off, or it "
                                       "takes nothing."),
                        QMessageBox::Yes | QMessageBox::No, this);
    confirm.setObjectName(QStringLiteral("SendBankConfirm"));
    confirm.setDefaultButton(QMessageBox::No);
    if (confirm.exec() != QMessageBox::Yes)
        return;
    const std::vector<uint8_t> message = encodeBankDump(bank->bank(), channelBits(settings.midiChannel));
    const std::string fault = checkBankDump(message.data(), message.size());
    if (!fault.empty()) {
        warnUser(this, sendCaption(),
                 QStringLiteral("The bank was not sent: %1. Nothing was sent.")
                     .arg(QString::fromStdString(fault)));
        return;
    }
    if (protocol && needs.fetch && cbVerify->isChecked()) {
        sendVerified(message);
        return;
    }
    if (!protocol || !protocol->startBankSend(message)) {
        warnUser(this, sendCaption(),
                 QStringLiteral("The bank could not be sent: check the MIDI output device. "
                                "Nothing was sent."));
        return;
    }
    sendActive = true;
    cancelAsked = false;
    // The send runs on the transport's own thread; a timer follows it, so that the
    // windows stay painted and Cancel is heard.
    sendProgress = new QProgressDialog(QStringLiteral("Sending the bank to the synthesiser..."),
                                       QStringLiteral("Cancel"), 0, 17, this);
    sendProgress->setObjectName(QStringLiteral("BankSendProgress"));
    sendProgress->setWindowTitle(sendCaption());
    sendProgress->setWindowModality(Qt::WindowModal);
    sendProgress->setMinimumDuration(0);
    sendProgress->setAutoClose(false);
    sendProgress->setAutoReset(false);
    sendProgress->setValue(0);
    connect(sendProgress, &QProgressDialog::canceled, this, [this] {
        if (!cancelAsked && protocol) {
            cancelAsked = true;
            protocol->cancelBankSend();
        }
    });
    sendProgress->show();
    sendTimer = new QTimer(this);
    sendTimer->setInterval(50);
    connect(sendTimer, &QTimer::timeout, this, &TBankWindow::pollSend);
    sendTimer->start();
    showState();
}

void TBankWindow::pollSend()
{
    if (!protocol) {
        finishSend(QStringLiteral("The MIDI output is gone: sending stopped."), true);
        return;
    }
    // However the dialog was cancelled (its button, Escape, its close box).
    if (!cancelAsked && sendProgress && sendProgress->wasCanceled()) {
        cancelAsked = true;
        protocol->cancelBankSend();
    }
    const TSYProtocol::BankSendProgress p = protocol->bankSendProgress();
    const int blocks = p.blocks > 0 ? p.blocks : 17;
    const int sent = std::clamp(p.blocksSent, 0, blocks);
    if (p.cancelled) {
        if (sent == 0)
            finishSend(QStringLiteral("Sending was cancelled before the first block went out: "
                                      "the synthesiser's memory is as it was."),
                       false);
        else
            finishSend(QStringLiteral("Sending was cancelled after %1 of %2 blocks.\n\n"
                                      "The blocks already sent are written in the synthesiser's "
                                      "memory: %3. Nothing after them was sent.")
                           .arg(sent)
                           .arg(blocks)
                           .arg(writtenPart(sent)),
                       false);
        return;
    }
    if (p.failed) {
        finishSend(QStringLiteral("Sending stopped after %1 of %2 blocks: the MIDI output failed.\n\n"
                                  "The blocks already sent are written in the synthesiser's memory%3.")
                       .arg(sent)
                       .arg(blocks)
                       .arg(sent > 0 ? QStringLiteral(": ") + writtenPart(sent) : QString()),
                   true);
        return;
    }
    if (p.done) {
        finishSend(QStringLiteral("The bank was sent: all 64 voices and 16 multis (%1 blocks). It was not "
                                  "read back, so whether the synthesiser kept it is not proven.")
                       .arg(blocks),
                   false);
        return;
    }
    if (sendProgress && !cancelAsked) {
        sendProgress->setMaximum(blocks);
        sendProgress->setValue(sent);
        sendProgress->setLabelText(QStringLiteral("Sending the bank to the synthesiser: block %1 of %2...")
                                       .arg(std::min(sent + 1, blocks))
                                       .arg(blocks));
    }
}

void TBankWindow::finishSend(const QString& text, bool warning)
{
    if (sendTimer) {
        sendTimer->stop();
        sendTimer->deleteLater();
        sendTimer = nullptr;
    }
    if (sendProgress) {
        sendProgress->hide();
        sendProgress->deleteLater();
        sendProgress = nullptr;
    }
    sendActive = false;
    showState();
    (warning ? warnUser : tellUser)(this, sendCaption(), text);
}

// ---- the verified send and what it will change ----

void TBankWindow::buildVerifyControls()
{
    cbVerify->setObjectName(QStringLiteral("cbVerify"));
    cbVerify->setChecked(true);
    cbVerify->setToolTip(QStringLiteral("The synthesiser's bank is read before the send and after it: a send is "
                                        "reported done only when the synthesiser kept it"));
    bWhatChanges->setToolTip(QStringLiteral("Lists the slots and multis a send of this bank would change in the "
                                            "synthesiser"));
    bWhatChanges->setEnabled(needs.fetch != nullptr);
    connect(bWhatChanges, &QPushButton::clicked, this, &TBankWindow::whatWillChange);
    if (!needs.fetch)
        return;
    // The fetch object serves every fetch of the run: only the one started here ends here.
    connect(needs.fetch, &TMIDIFetch::bankReceived, this, [this](const std::vector<uint8_t>& message) {
        if (checkingChanges)
            showChanges(message);
    });
    connect(needs.fetch, &TMIDIFetch::noAnswer, this,
            [this] { endChanges(QStringLiteral("the synthesiser did not answer")); });
    connect(needs.fetch, &TMIDIFetch::stalled, this,
            [this](qulonglong received) { endChanges(QStringLiteral("the bank stopped coming after %1 bytes").arg(received)); });
    connect(needs.fetch, &TMIDIFetch::tooLong, this,
            [this] { endChanges(QStringLiteral("the answer is longer than any bank")); });
    connect(needs.fetch, &TMIDIFetch::progress, this, [this](qulonglong received) {
        if (checkingChanges && changesProgress)
            changesProgress->setValue(static_cast<int>(std::min<qulonglong>(received, bankExpectedSize)));
    });
}

void TBankWindow::sendVerified(const std::vector<uint8_t>& message)
{
    if (!verifiedSend) {
        verifiedSend = new TBankWriteDialog(*protocol, *needs.fetch, this, sendCaption());
        connect(verifiedSend, &TBankWriteDialog::finished, this, [this] {
            sendActive = false;
            showState();
        });
    }
    if (!verifiedSend->startSend(message))
        return;
    sendActive = true;
    showState();
}

void TBankWindow::whatWillChange()
{
    if (checkingChanges || sendActive || !needs.fetch)
        return;
    bank->finishEdit();
    if (!needs.fetch->startBank()) {
        warnUser(this, QStringLiteral("What will change"),
                 QStringLiteral("The synthesiser's bank could not be asked for: check the MIDI devices, or wait "
                                "until the fetch under way is over."));
        return;
    }
    checkingChanges = true;
    changesProgress = new QProgressDialog(QStringLiteral("Reading the synthesiser's bank..."),
                                          QStringLiteral("Cancel"), 0, static_cast<int>(bankExpectedSize), this);
    changesProgress->setObjectName(QStringLiteral("WhatWillChangeProgress"));
    changesProgress->setWindowTitle(QStringLiteral("What will change"));
    changesProgress->setWindowModality(Qt::WindowModal);
    changesProgress->setMinimumDuration(0);
    changesProgress->setAutoClose(false);
    changesProgress->setAutoReset(false);
    connect(changesProgress, &QProgressDialog::canceled, this, [this] {
        needs.fetch->cancel();
        endChanges(QString());
    });
    changesProgress->show();
}

void TBankWindow::showChanges(const std::vector<uint8_t>& message)
{
    Bank held;
    std::string fault;
    if (!parseBankDump(message.data(), message.size(), held, fault)) {
        endChanges(QStringLiteral("the bank arrived damaged (%1)").arg(QString::fromStdString(fault)));
        return;
    }
    // The bank as a send would put it: checksums mended, names and bytes as they go out.
    const std::vector<uint8_t> outgoing = encodeBankDump(bank->bank());
    Bank ours;
    parseBankDump(outgoing.data(), outgoing.size(), ours, fault);
    endChanges(QString());
    const BankDifference d = bankDifference(held, ours);
    QMessageBox box(QMessageBox::Information, QStringLiteral("What will change"),
                    d.empty() ? QStringLiteral("The synthesiser holds this bank already: a send changes nothing.")
                              : QStringLiteral("A send of this bank changes %1 in the synthesiser.")
                                    .arg(QString::fromStdString(differenceText(d))),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("WhatWillChange"));
    QStringList lines;
    for (const std::string& line : bankDifferenceLines(held, ours, settings.model == 1))
        lines << QString::fromStdString(line);
    if (!lines.isEmpty())
        box.setDetailedText(lines.join(QLatin1Char('\n')));
    box.exec();
}

void TBankWindow::endChanges(const QString& failure)
{
    if (!checkingChanges)
        return;
    checkingChanges = false;
    if (changesProgress) {
        changesProgress->hide();
        changesProgress->deleteLater();
        changesProgress = nullptr;
    }
    if (!failure.isEmpty())
        warnUser(this, QStringLiteral("What will change"),
                 QStringLiteral("No bank came from the synthesiser: %1.").arg(failure));
}
