#include "app/mainform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QEventLoop>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "app/bankwindow.h"
#include "app/dialogs.h"
#include "app/librarydialogs.h"
#include "app/pictures.h"
#include "app/settings.h"
#include "app/setdevices.h"
#include "app/voicelist.h"
#include "editors/awmedit.h"
#include "editors/editcommands.h"
#include "editors/fmedit.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"
#include "editors/voicehistory.h"
#include "library/fileio.h"
#include "midi/midiport.h"

TMainForm* MainForm = nullptr;

void refreshEditors()
{
    refreshAllEditors();
}

namespace {

constexpr int clientWidth = 317;
constexpr int clientHeight = 409;

// Captions by bit and the order on screen are categoryCaptions and categoryScreenOrder.
const char* const categoryName[16] = {
    "cbStrings", "cbBrass", "cbWoodwind", "cbPercussion", "cbPlucked", "cbPad", "cbSolo",
    "cbSynthetic", "cbBass", "cbVocal", "cbPiano", "cbOrgan", "cbKeyboard", "cbMusicalFX",
    "cbUntunedFX", "cbRealistic"};

// The local files among dropped or chosen URLs.
QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    if (data == nullptr || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

// An 8-character name as the user reads it: without the trailing blanks.
QString shownName(const QString& name)
{
    QString shown = name;
    while (shown.endsWith(QLatin1Char(' ')))
        shown.chop(1);
    return shown;
}

void tellUser(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QFont pixelFont(int pixels, bool bold)
{
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                              | Qt::WindowCloseButtonHint)
{
    // 1. The window and its controls.
    setWindowTitle(QStringLiteral("Tarvik"));
    buildControls();
    buildMenus();
    setFixedSize(clientWidth, clientHeight + menuBar()->sizeHint().height());

    // 2. The auto-send buttons take the setting.
    (settings.autoSend ? bAutoSend : bNoAutoSend)->setChecked(true);

    // 3.-6. Count the library, list it unfiltered.
    voiceCount = fileIO ? fileIO->countRecords() : 0;
    rowRecord.assign(static_cast<size_t>(std::max(voiceCount, 0)), 0);
    filterMask = 0;
    fillList();

    // 7. The first listed voice becomes the voice and goes to the synthesiser. The
    // editors are brought in line once start-up has made them.
    if (voiceCount > 0 && rowCount > 0 && fileIO)
        fileIO->loadRecord(rowRecord[0]);
}

void TMainForm::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(clientWidth, clientHeight);
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, pictures::black);
    palette.setColor(QPalette::WindowText, pictures::yellow);
    client->setPalette(palette);
    client->setAutoFillBackground(true);
    setCentralWidget(client);

    // Left strip: the name, and the version at its foot.
    Image1 = new QLabel(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(pictures::nameStrip(pictures::yellow));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setGeometry(0, 0, pictures::stripWidth, 380);
    Label13 = new QLabel(QStringLiteral("Version 2.02"), client);
    Label13->setObjectName(QStringLiteral("Label13"));
    Label13->setFont(pixelFont(11, true));
    setTextColour(Label13, pictures::teal);
    Label13->setAlignment(Qt::AlignCenter);
    Label13->setGeometry(0, 384, pictures::stripWidth, 18);

    // The grey panel with the library.
    Panel1 = new QWidget(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(pictures::stripWidth, 0, clientWidth - pictures::stripWidth, 372);
    QPalette grey = Panel1->palette();
    grey.setColor(QPalette::Window, pictures::grey);
    grey.setColor(QPalette::WindowText, Qt::black);
    Panel1->setPalette(grey);
    Panel1->setAutoFillBackground(true);

    GroupBox1 = new QGroupBox(QStringLiteral(" Database "), Panel1);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(4, 2, Panel1->width() - 8, 366);
    GroupBox1->setFont(pixelFont(12, true));
    setTextColour(GroupBox1, pictures::lime);

    dbListBox = new TVoiceListView(GroupBox1);
    dbListBox->setObjectName(QStringLiteral("dbListBox"));
    dbListBox->setGeometry(6, 22, 111, 329);
    dbListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    dbListBox->setFont(pixelFont(12, true));
    QPalette white = dbListBox->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    dbListBox->setPalette(white);
    dbListBox->setToolTip(QStringLiteral("Double click a voice name to load it"));
    dbListBox->installEventFilter(this);
    dbListBox->viewport()->installEventFilter(this);
    dbListBox->viewport()->setAcceptDrops(true);
    dbListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(dbListBox, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        // A click on a row outside the selection chooses that row alone; within it,
        // the menu acts on every selected row.
        const QModelIndex index = dbListBox->indexAt(at);
        if (index.isValid() && !dbListBox->selectionModel()->isSelected(index))
            dbListBox->setCurrentRow(index.row());
        stabilizeForm();
        if (dbListBox->selectedCount() > 0)
            ListMenu->popup(dbListBox->viewport()->mapToGlobal(at));
    });
    // A row the user chooses is what "Modify" acts on again (stabilizeForm).
    connect(dbListBox->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { stabilizeForm(); });

    for (int bit = 0; bit < 16; ++bit) {
        auto* box = new QCheckBox(QString::fromLatin1(categoryCaptions[bit]), GroupBox1);
        box->setObjectName(QString::fromLatin1(categoryName[bit]));
        box->setLayoutDirection(Qt::RightToLeft);   // caption at the left of the box
        box->setFont(pixelFont(11, false));
        setTextColour(box, Qt::black);
        box->setToolTip(QStringLiteral("Select check box to filter voices"));
        connect(box, &QCheckBox::clicked, this, [this, box] { changeFilter(box); });
        categoryBox[bit] = box;
    }
    for (int row = 0; row < 16; ++row)
        categoryBox[categoryScreenOrder[row]]->setGeometry(121, 22 + row * 20 + row / 2, 92, 19);
    cbStrings = categoryBox[0];
    cbBrass = categoryBox[1];
    cbWoodwind = categoryBox[2];
    cbPercussion = categoryBox[3];
    cbPlucked = categoryBox[4];
    cbPad = categoryBox[5];
    cbSolo = categoryBox[6];
    cbSynthetic = categoryBox[7];
    cbBass = categoryBox[8];
    cbVocal = categoryBox[9];
    cbPiano = categoryBox[10];
    cbOrgan = categoryBox[11];
    cbKeyboard = categoryBox[12];
    cbMusicalFX = categoryBox[13];
    cbUntunedFX = categoryBox[14];
    cbRealistic = categoryBox[15];

    // At the foot of the strip, beside the list: the name search and the count.
    edSearch = new QLineEdit(client);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setGeometry(4, 330, pictures::stripWidth - 8, 20);
    edSearch->setFont(pixelFont(11, false));
    edSearch->setPlaceholderText(QStringLiteral("Find name"));
    edSearch->setToolTip(QStringLiteral("List only the voices whose name holds this text"));
    edSearch->setClearButtonEnabled(true);
    edSearch->setMaxLength(8);
    connect(edSearch, &QLineEdit::textChanged, this, [this] { searchChange(); });
    lListed = new QLabel(client);
    lListed->setObjectName(QStringLiteral("lListed"));
    lListed->setGeometry(0, 352, pictures::stripWidth, 30);
    lListed->setFont(pixelFont(10, false));
    lListed->setWordWrap(true);
    lListed->setAlignment(Qt::AlignCenter);
    setTextColour(lListed, pictures::teal);
    lListed->setToolTip(QStringLiteral("Voices listed, of the voices in the database"));

    // Bottom row: the auto-send switch.
    Label1 = new QLabel(QStringLiteral("Send voice on change: "), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(pixelFont(11, true));
    Label1->setGeometry(pictures::stripWidth + 4, 378, 150, 26);
    bAutoSend = new QPushButton(QIcon(pictures::tick()), QString(), client);
    bAutoSend->setObjectName(QStringLiteral("bAutoSend"));
    bNoAutoSend = new QPushButton(QIcon(pictures::cross()), QString(), client);
    bNoAutoSend->setObjectName(QStringLiteral("bNoAutoSend"));
    bAutoSend->setToolTip(QStringLiteral("Send the voice to the synthesiser after every change"));
    bNoAutoSend->setToolTip(QStringLiteral("Do not send the voice after a change"));
    auto* group = new QButtonGroup(this);
    int left = 245;
    for (QPushButton* button : {bAutoSend, bNoAutoSend}) {
        button->setCheckable(true);
        button->setIconSize(QSize(20, 20));
        button->setGeometry(left, 377, 32, 28);
        button->setFocusPolicy(Qt::TabFocus);
        group->addButton(button);
        left += 35;
    }
    group->setExclusive(true);
    connect(bAutoSend, &QPushButton::clicked, this, [this] { bAutoSendClick(); });
    connect(bNoAutoSend, &QPushButton::clicked, this, [this] { bNoAutoSendClick(); });

    fileOpenDlg = new TFileDialog(this, QStringLiteral("Open sound file"));
    fileOpenDlg->setObjectName(QStringLiteral("fileOpenDlg"));
    fileOpenDlg->setAcceptMode(QFileDialog::AcceptOpen);
    fileOpenDlg->setFileMode(QFileDialog::ExistingFile);
    // The file system is case-sensitive here: the pattern takes both spellings.
    fileOpenDlg->setNameFilter(QStringLiteral("System Exclusive files (*.SYX *.syx)"));

    fileSaveDlg = new TFileDialog(this, QStringLiteral("Save voice"));
    fileSaveDlg->setObjectName(QStringLiteral("fileSaveDlg"));
    fileSaveDlg->setAcceptMode(QFileDialog::AcceptSave);
    fileSaveDlg->setFileMode(QFileDialog::AnyFile);
    fileSaveDlg->setNameFilter(QStringLiteral("Systex Exclusive files (*.SYX *.syx)"));
    fileSaveDlg->setDefaultSuffix(QStringLiteral("SYX"));

    fileImportDlg = new QFileDialog(this, QStringLiteral("Import voices"));
    fileImportDlg->setObjectName(QStringLiteral("fileImportDlg"));
    fileImportDlg->setOption(QFileDialog::DontUseNativeDialog);
    fileImportDlg->setAcceptMode(QFileDialog::AcceptOpen);
    fileImportDlg->setFileMode(QFileDialog::ExistingFiles);
    fileImportDlg->setNameFilters({QStringLiteral("Voice files (*.SYX *.syx *.MID *.mid *.midi)"),
                                   QStringLiteral("All files (*)")});

    fileExportDlg = new QFileDialog(this, QStringLiteral("Export voices"));
    fileExportDlg->setObjectName(QStringLiteral("fileExportDlg"));
    fileExportDlg->setOption(QFileDialog::DontUseNativeDialog);
    fileExportDlg->setAcceptMode(QFileDialog::AcceptSave);
    fileExportDlg->setFileMode(QFileDialog::AnyFile);
    fileExportDlg->setNameFilter(QStringLiteral("System Exclusive files (*.SYX *.syx)"));
    fileExportDlg->setDefaultSuffix(QStringLiteral("SYX"));
}

void TMainForm::buildMenus()
{
    auto item = [this](QMenu* menu, QAction*& action, const char* name, const QString& caption,
                       const QKeySequence& shortcut, void (TMainForm::*handler)()) {
        action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, handler);
    };

    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    item(File1, Open1, "Open1", QStringLiteral("&Load voice"), QKeySequence(Qt::CTRL | Qt::Key_O),
         &TMainForm::Open1Click);
    item(File1, Save1, "Save1", QStringLiteral("&Save voice"), QKeySequence(Qt::CTRL | Qt::Key_S),
         &TMainForm::Save1Click);
    File1->addSeparator()->setObjectName(QStringLiteral("N1"));
    item(File1, ModifyVoice, "ModifyVoice", QStringLiteral("&Modify voice in database"),
         QKeySequence(Qt::CTRL | Qt::Key_M), &TMainForm::ModifyVoiceClick);
    item(File1, Addvoicetodatabase1, "Addvoicetodatabase1", QStringLiteral("&Add voice to database"),
         QKeySequence(Qt::CTRL | Qt::Key_D), &TMainForm::Addvoicetodatabase1Click);
    File1->addSeparator();
    item(File1, ImportVoices1, "ImportVoices1", QStringLiteral("&Import voices..."), QKeySequence(),
         &TMainForm::ImportVoices1Click);
    item(File1, ExportListed1, "ExportListed1", QStringLiteral("&Export listed voices..."),
         QKeySequence(), &TMainForm::ExportListed1Click);
    item(File1, ExportVoice1, "ExportVoice1", QStringLiteral("Export selected voice..."),
         QKeySequence(), &TMainForm::ExportVoice1Click);
    File1->addSeparator();
    item(File1, RenameVoice1, "RenameVoice1", QStringLiteral("&Rename voice..."), QKeySequence(),
         &TMainForm::RenameVoice1Click);
    item(File1, Categories1, "Categories1", QStringLiteral("Ca&tegories..."), QKeySequence(),
         &TMainForm::Categories1Click);
    item(File1, MoveUp1, "MoveUp1", QStringLiteral("Move &up"), QKeySequence(),
         &TMainForm::MoveUp1Click);
    item(File1, MoveDown1, "MoveDown1", QStringLiteral("Move do&wn"), QKeySequence(),
         &TMainForm::MoveDown1Click);
    item(File1, DeleteVoice1, "DeleteVoice1", QStringLiteral("&Delete voice..."), QKeySequence(),
         &TMainForm::DeleteVoice1Click);
    File1->addSeparator()->setObjectName(QStringLiteral("N2"));
    item(File1, Exit1, "Exit1", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_X),
         &TMainForm::Exit1Click);

    Edit1 = menuBar()->addMenu(QStringLiteral("&Edit"));
    item(Edit1, ElementA1, "ElementA1", QStringLiteral("Elements &A && C"),
         QKeySequence(Qt::CTRL | Qt::Key_A), &TMainForm::ElementA1Click);
    item(Edit1, ElementB1, "ElementB1", QStringLiteral("Elements &B && D"),
         QKeySequence(Qt::CTRL | Qt::Key_B), &TMainForm::ElementB1Click);
    item(Edit1, Voicecommon1, "Voicecommon1", QStringLiteral("Voice &common"),
         QKeySequence(Qt::CTRL | Qt::Key_C), &TMainForm::Voicecommon1Click);
    item(Edit1, Vector1, "Vector1", QStringLiteral("&Vectors"), QKeySequence(Qt::CTRL | Qt::Key_V),
         &TMainForm::Vector1Click);
    Edit1->addSeparator();
    item(Edit1, Undo1, "Undo1", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z),
         &TMainForm::Undo1Click);
    item(Edit1, Redo1, "Redo1", QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
         &TMainForm::Redo1Click);
    Redo1->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    item(Edit1, Compare1, "Compare1", QStringLiteral("C&ompare"), QKeySequence(), &TMainForm::Compare1Click);
    Compare1->setCheckable(true);
    item(Edit1, Mutate1, "Mutate1", QStringLiteral("&Mutate voice..."), QKeySequence(),
         &TMainForm::Mutate1Click);
    connect(Edit1, &QMenu::aboutToShow, this, [] { voiceHistory.finish(); });
    connect(editCommands(), &TEditCommands::historyChanged, this, &TMainForm::showHistory);
    showHistory();

    MIDI1 = menuBar()->addMenu(QStringLiteral("&MIDI"));
    item(MIDI1, SelectMIDIdevices1, "SelectMIDIdevices1", QStringLiteral("&Select MIDI devices"),
         QKeySequence(), &TMainForm::SelectMIDIdevices1Click);
    item(MIDI1, Getsoundfromsynth1, "Getsoundfromsynth1", QStringLiteral("&Get voice from synth"),
         QKeySequence(), &TMainForm::Getsoundfromsynth1Click);
    item(MIDI1, Getallvoices1, "Getallvoices1", QStringLiteral("Get &all voices from synth..."),
         QKeySequence(), &TMainForm::Getallvoices1Click);

    // The same housekeeping on the list's context menu.
    ListMenu = new QMenu(this);
    ListMenu->setObjectName(QStringLiteral("ListMenu"));
    for (QAction* action : {RenameVoice1, Categories1, MoveUp1, MoveDown1, DeleteVoice1})
        ListMenu->addAction(action);
    ListMenu->addSeparator();
    ListMenu->addAction(ExportVoice1);

    // "&About" sits in the bar itself and acts when chosen.
    About1 = menuBar()->addAction(QStringLiteral("&About"));
    About1->setObjectName(QStringLiteral("About1"));
    connect(About1, &QAction::triggered, this, &TMainForm::About1Click);
    buildBankMenus();

    // The menu's shortcuts win over the list's own keys (Ctrl+A, Ctrl+C).
    for (QAction* action : {Open1, Save1, ModifyVoice, Addvoicetodatabase1, Exit1, ElementA1,
                            ElementB1, Voicecommon1, Vector1, Undo1, Redo1})
        action->setShortcutContext(Qt::WindowShortcut);
}

bool TMainForm::matchesFilter(uint32_t mask, uint32_t filter)
{
    const uint32_t wanted = filter & 0xFFFFu;
    return (mask & wanted) == wanted;
}

void TMainForm::fillList(int32_t keepRecord, bool keepChoice)
{
    rowCount = 0;
    if (fileIO && fileIO->refreshListing(listing))
        listingNames = std::make_shared<const std::vector<char>>(listing.names);
    else if (!fileIO)
        listing = LibraryListing();
    // A record the file no longer holds (someone shortened it) is not listed.
    const int32_t listable = std::min(std::max(voiceCount, 0), listing.count());
    if (rowRecord.size() < static_cast<size_t>(listable))
        rowRecord.resize(static_cast<size_t>(listable));
    std::vector<int32_t> rows;
    rows.reserve(static_cast<size_t>(listable));
    // The search ignores case; a name matches when it holds the text anywhere.
    const std::string wanted = edSearch->text().toLatin1().toUpper().toStdString();
    const size_t length = wanted.size();
    const uint32_t filter = filterMask;
    for (int32_t n = 0; n < listable; ++n) {
        if (filter != 0 && !matchesFilter(listing.masks[static_cast<size_t>(n)], filter))
            continue;
        if (length > 0) {
            const char* name = listing.name(n);
            bool found = false;
            for (size_t at = 0; !found && at + length <= 8; ++at) {
                size_t i = 0;
                while (i < length) {
                    char c = name[at + i];
                    if (c >= 'a' && c <= 'z')
                        c = static_cast<char>(c - 'a' + 'A');
                    if (c != wanted[i])
                        break;
                    ++i;
                }
                found = i == length;
            }
            if (!found)
                continue;
        }
        rowRecord[static_cast<size_t>(rowCount)] = n;
        rows.push_back(n);
        ++rowCount;
    }
    dbListBox->names()->setRows(listingNames, std::move(rows));
    lListed->setText(QStringLiteral("%1 of %2").arg(rowCount).arg(std::max(voiceCount, 0)));

    if (!keepChoice) {
        if (rowCount > 0)
            dbListBox->setCurrentRow(0);
    } else {
        const auto end = rowRecord.begin() + rowCount;
        const auto found = keepRecord >= 0 ? std::lower_bound(rowRecord.begin(), end, keepRecord) : end;
        if (found != end && *found == keepRecord)
            dbListBox->setCurrentRow(static_cast<int>(found - rowRecord.begin()));
        else
            dbListBox->clearChoice();
    }
    stabilizeForm();
}

int32_t TMainForm::selectedRecord() const
{
    const int row = dbListBox->selectedRow();
    return row >= 0 && row < rowCount ? rowRecord[static_cast<size_t>(row)] : -1;
}

int32_t TMainForm::singleRecord() const
{
    const int row = dbListBox->singleRow();
    return row >= 0 && row < rowCount ? rowRecord[static_cast<size_t>(row)] : -1;
}

std::vector<int32_t> TMainForm::selectedRecords() const
{
    std::vector<int32_t> records;
    for (const int row : dbListBox->selectedRows())
        if (row < rowCount)
            records.push_back(rowRecord[static_cast<size_t>(row)]);
    return records;
}

void TMainForm::recount()
{
    voiceCount = fileIO ? fileIO->countRecords() : 0;
    rowRecord.assign(static_cast<size_t>(std::max(voiceCount, 0)), 0);
}

void TMainForm::stabilizeForm()
{
    // Rename, move and modify act on one entry; export, delete and the categories on
    // every selected one.
    const int row = dbListBox->singleRow();
    const bool one = row >= 0 && row < rowCount;
    const int selected = dbListBox->selectedCount();
    for (QAction* action : {ExportVoice1, DeleteVoice1, Categories1})
        action->setEnabled(selected > 0);
    ExportVoice1->setText(selected > 1 ? QStringLiteral("Export selected voices...")
                                       : QStringLiteral("Export selected voice..."));
    DeleteVoice1->setText(selected > 1 ? QStringLiteral("&Delete voices...") : QStringLiteral("&Delete voice..."));
    RenameVoice1->setEnabled(one);
    ModifyVoice->setEnabled(one);
    MoveUp1->setEnabled(one && row > 0);
    MoveDown1->setEnabled(one && row + 1 < rowCount);
    ExportListed1->setEnabled(rowCount > 0);
}

void TMainForm::changeFilter(QCheckBox* sender)
{
    for (int bit = 0; bit < 16; ++bit) {
        if (categoryBox[bit] != sender)
            continue;
        if (sender->isChecked())
            filterMask |= 1u << bit;
        else
            filterMask &= ~(1u << bit);
    }
    filterMask &= 0xFFFFu;
    fillList(selectedRecord(), true);
}

void TMainForm::searchChange()
{
    fillList(selectedRecord(), true);
}

void TMainForm::extractVoice()
{
    const int row = dbListBox->selectedRow();
    if (row >= 0 && row < rowCount && fileIO)
        fileIO->loadRecord(rowRecord[static_cast<size_t>(row)]);
    refreshEditors();
}

void TMainForm::extravtVoiceKP(int key)
{
    if (key == 13)
        extractVoice();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == dbListBox && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && !(key->modifiers() & ~Qt::KeypadModifier)) {
            extravtVoiceKP(13);
            return true;
        }
    }
    if (watched == dbListBox->viewport()
        && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!localFiles(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        return true;
    }
    if (watched == dbListBox->viewport() && event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList files = localFiles(drop->mimeData());
        if (!files.isEmpty()) {
            drop->acceptProposedAction();
            // Once the drop is over: the import asks questions of its own.
            QTimer::singleShot(0, this, [this, files] { importFiles(files); });
        }
        return true;
    }
    if (watched == dbListBox->viewport() && event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        extractVoice();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::Open1Click()
{
    if (fileOpenDlg->exec() != QDialog::Accepted || fileOpenDlg->selectedFiles().isEmpty())
        return;
    if (fileIO)
        fileIO->loadVoiceFile(fileOpenDlg->selectedFiles().constFirst().toStdString());
    refreshEditors();
}

void TMainForm::Save1Click()
{
    if (fileSaveDlg->exec() != QDialog::Accepted || fileSaveDlg->selectedFiles().isEmpty())
        return;
    if (fileIO && fileIO->saveVoiceFile(fileSaveDlg->selectedFiles().constFirst().toStdString()))
        voiceHistory.saved();
}

void TMainForm::ModifyVoiceClick()
{
    // The current row may have been deselected (Ctrl+click), or several chosen: then
    // nothing is replaced.
    const int row = dbListBox->singleRow();
    if (row < 0 || row >= rowCount || !fileIO || !ModifyVoice->isEnabled())
        return;
    OverwriteDlg->setVoiceName(dbListBox->text(row));
    if (OverwriteDlg->exec() != TMessageDialog::ResultConfirm)
        return;
    if (fileIO->overwriteRecord(rowRecord[static_cast<size_t>(row)], filterMask))
        voiceHistory.saved();
    fillList();
}

void TMainForm::Addvoicetodatabase1Click()
{
    if (!fileIO)
        return;
    // A record the file did not take is not counted: the list never shows a voice that
    // the library does not hold.
    if (!fileIO->appendRecord(filterMask))
        return;
    voiceHistory.saved();
    ++voiceCount;
    rowRecord.assign(static_cast<size_t>(voiceCount), 0);
    fillList();
}

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program; shutdown follows the event loop.
    event->accept();
    QCoreApplication::exit(0);
}

static void bringUp(QWidget* editor)
{
    if (!editor)
        return;
    editor->show();
    editor->raise();
    editor->activateWindow();
}

void TMainForm::ElementA1Click() { bringUp(AWMEdit); }
void TMainForm::ElementB1Click() { bringUp(FMEdit); }
void TMainForm::Voicecommon1Click() { bringUp(VoiceCommonEdit); }
void TMainForm::Vector1Click() { bringUp(VectorEdit); }

void TMainForm::SelectMIDIdevices1Click()
{
    if (SetDevices)
        SetDevices->exec();
}

void TMainForm::Getsoundfromsynth1Click()
{
    if (midiPort)
        midiPort->getVoice();
    refreshEditors();
}

void TMainForm::About1Click()
{
    if (AboutTarvik)
        AboutTarvik->exec();
}

void TMainForm::Undo1Click() { undoVoiceEdit(); }
void TMainForm::Redo1Click() { redoVoiceEdit(); }
void TMainForm::Compare1Click() { compareVoice(); }
void TMainForm::Mutate1Click() { mutateVoiceDialog(this); }

void TMainForm::showHistory()
{
    Undo1->setText(undoCaption());
    Undo1->setEnabled(voiceHistory.canUndo() || voiceHistory.comparing());
    Redo1->setText(redoCaption());
    Redo1->setEnabled(voiceHistory.canRedo());
    Compare1->setChecked(voiceHistory.comparing());
}

void TMainForm::bAutoSendClick() { settings.autoSend = true; }
void TMainForm::bNoAutoSendClick() { settings.autoSend = false; }

// ---- the librarian: import, export, housekeeping, the whole bank ----

void TMainForm::showSummary(const ImportSummary& summary, const QString& caption, const QString& note)
{
    QStringList lines;
    if (summary.cancelled)
        lines << QStringLiteral("Cancelled: the voices added until then stay in the database.")
              << QString();
    if (summary.writeFailed)
        lines << QStringLiteral("The database could not take every voice.") << QString();
    lines << QStringLiteral("Voices added: %1").arg(summary.added)
          << QStringLiteral("Duplicates skipped: %1").arg(summary.duplicates)
          << QStringLiteral("Refused: %1").arg(summary.refused);
    // A long list of refusals is cut short: the summary has to fit on the screen.
    constexpr int shown = 10;
    const int reasons = static_cast<int>(summary.reasons.size());
    for (int i = 0; i < std::min(reasons, shown); ++i)
        lines << QStringLiteral("  ") + QString::fromStdString(summary.reasons[static_cast<size_t>(i)]);
    if (reasons > shown)
        lines << QStringLiteral("  ... and %1 more").arg(reasons - shown);
    if (!note.isEmpty())
        lines << QString() << note;
    tellUser(this, caption, lines.join(QLatin1Char('\n')));
}

void TMainForm::ImportVoices1Click()
{
    if (fileImportDlg->exec() != QDialog::Accepted || fileImportDlg->selectedFiles().isEmpty())
        return;
    importFiles(fileImportDlg->selectedFiles());
}

void TMainForm::importFiles(const QStringList& paths)
{
    if (!fileIO || paths.isEmpty())
        return;
    TCategoryDlg choice(this, QStringLiteral("Import voices"), true);
    choice.setMask(filterMask);
    if (choice.exec() != QDialog::Accepted)
        return;
    std::vector<std::string> files;
    for (const QString& path : paths)
        files.push_back(QFile::encodeName(path).toStdString());

    // Shown only when the import takes a while; the window stays painted meanwhile.
    QProgressDialog progress(QStringLiteral("Importing voices..."), QStringLiteral("Cancel"), 0, 0, this);
    progress.setWindowTitle(QStringLiteral("Import voices"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const ImportSummary summary = importVoiceFiles(
        *fileIO, files, choice.mask(), choice.keepDuplicates(), [&](size_t done, size_t total) {
            progress.setMaximum(static_cast<int>(total));
            progress.setValue(static_cast<int>(std::min(done, total)));
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    progress.hide();
    recount();
    fillList();
    showSummary(summary, QStringLiteral("Import voices"));
}

void TMainForm::ExportListed1Click()
{
    if (!fileIO || rowCount <= 0)
        return;
    fileExportDlg->setWindowTitle(QStringLiteral("Export listed voices"));
    if (fileExportDlg->exec() != QDialog::Accepted || fileExportDlg->selectedFiles().isEmpty())
        return;
    const std::vector<int32_t> records(rowRecord.begin(), rowRecord.begin() + rowCount);
    fileIO->exportRecords(records, QFile::encodeName(fileExportDlg->selectedFiles().constFirst()).toStdString());
}

void TMainForm::ExportVoice1Click()
{
    const std::vector<int32_t> records = selectedRecords();
    if (!fileIO || records.empty())
        return;
    if (records.size() == 1) {
        fileExportDlg->setWindowTitle(QStringLiteral("Export voice"));
        fileExportDlg->selectFile(shownName(dbListBox->text(dbListBox->selectedRows().front())) + QStringLiteral(".SYX"));
    } else {
        fileExportDlg->setWindowTitle(QStringLiteral("Export selected voices"));
    }
    if (fileExportDlg->exec() != QDialog::Accepted || fileExportDlg->selectedFiles().isEmpty())
        return;
    fileIO->exportRecords(records, QFile::encodeName(fileExportDlg->selectedFiles().constFirst()).toStdString());
}

void TMainForm::RenameVoice1Click()
{
    const int32_t n = singleRecord();
    if (!fileIO || n < 0)
        return;
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("RenameDlg"));
    dialog.setWindowTitle(QStringLiteral("Rename voice"));
    dialog.setLabelText(QStringLiteral("Name (at most 8 characters):"));
    dialog.setTextValue(shownName(dbListBox->text(dbListBox->selectedRow())));
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMaxLength(8);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString typed = dialog.textValue();
    const bool plain = std::all_of(typed.begin(), typed.end(),
                                   [](QChar c) { return c.unicode() >= 0x20 && c.unicode() <= 0x7E; });
    const std::string name = typed.toStdString();
    if (!plain || !TFileIO::validRecordName(name)) {
        tellUser(this, QStringLiteral("Rename voice"),
                 QStringLiteral("A voice name has at most 8 characters: plain letters, digits, "
                                "blanks and punctuation."));
        return;
    }
    fileIO->renameRecord(n, name);
    fillList(n, true);
}

void TMainForm::Categories1Click()
{
    const std::vector<int32_t> records = selectedRecords();
    if (!fileIO || records.empty())
        return;
    // Several entries start from the categories they all share, those only some of
    // them carry half-ticked; OK changes what the user changed and keeps the rest.
    uint32_t all = 0xFFFF, some = 0;
    std::vector<uint32_t> masks;
    fileIO->openLibrary();
    for (const int32_t n : records) {
        masks.push_back(fileIO->readCategories(n));
        all &= masks.back();
        some |= masks.back();
    }
    fileIO->closeFile();
    const QString caption =
        records.size() == 1
            ? QStringLiteral("Categories of %1").arg(shownName(dbListBox->text(dbListBox->selectedRows().front())))
            : QStringLiteral("Categories of %1 voices").arg(records.size());
    TCategoryDlg dialog(this, caption, false);
    dialog.setObjectName(QStringLiteral("CategoriesDlg"));
    dialog.setMasks(all, some & 0xFFFF);
    if (dialog.exec() != QDialog::Accepted)
        return;
    for (size_t i = 0; i < records.size(); ++i)
        if (!fileIO->setRecordCategories(records[i], dialog.apply(masks[i])))
            break;
    const int32_t current = selectedRecord();
    fillList(current >= 0 ? current : records.front(), true);
}

void TMainForm::moveSelected(int step)
{
    const int row = dbListBox->singleRow();
    const int other = row + step;
    if (!fileIO || row < 0 || row >= rowCount || other < 0 || other >= rowCount)
        return;
    // Past the neighbour in the list, which in a filtered list may be far away in
    // the file: the others keep their order.
    const int32_t from = rowRecord[static_cast<size_t>(row)];
    const int32_t to = rowRecord[static_cast<size_t>(other)];
    fillList(fileIO->moveRecord(from, to) ? to : from, true);
}

void TMainForm::MoveUp1Click() { moveSelected(-1); }
void TMainForm::MoveDown1Click() { moveSelected(1); }

void TMainForm::DeleteVoice1Click()
{
    const std::vector<int> rows = dbListBox->selectedRows();
    const std::vector<int32_t> records = selectedRecords();
    if (!fileIO || records.empty())
        return;
    QString question;
    if (records.size() == 1) {
        question = QStringLiteral("Delete the voice \u201C%1\u201D from the database?")
                       .arg(shownName(dbListBox->text(rows.front())));
    } else {
        // The names, as many as fit on the screen.
        constexpr size_t named = 10;
        QStringList names;
        for (size_t i = 0; i < std::min(named, rows.size()); ++i)
            names << QStringLiteral("\u201C%1\u201D").arg(shownName(dbListBox->text(rows[i])));
        question = QStringLiteral("Delete these %1 voices from the database?\n%2")
                       .arg(records.size())
                       .arg(names.join(QStringLiteral(", ")));
        if (rows.size() > named)
            question += QStringLiteral(" and %1 more").arg(rows.size() - named);
    }
    QMessageBox box(QMessageBox::Question,
                    records.size() == 1 ? QStringLiteral("Delete voice") : QStringLiteral("Delete voices"),
                    question, QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return;
    const bool deleted = fileIO->deleteRecords(records);
    recount();
    // The record after the first one deleted takes its number: it is the one
    // selected next.
    fillList(deleted ? records.front() : selectedRecord(), true);
}

void TMainForm::Getallvoices1Click()
{
    if (!midiPort || !fileIO)
        return;
    const QString caption = QStringLiteral("Get all voices from synth");
    TCategoryDlg choice(this, caption, false);
    choice.setMask(filterMask);
    if (choice.exec() != QDialog::Accepted)
        return;
    if (!midiPort->startBankFetch()) {
        tellUser(this, caption,
                 QStringLiteral("The request could not be sent: check the MIDI output device."));
        return;
    }

    // The wait runs in the event loop: the window is painted and Cancel works, while
    // the input callback gathers the bank and a timer looks at how far it came.
    QProgressDialog progress(QStringLiteral("Receiving the voices from the synthesiser..."),
                             QStringLiteral("Cancel"), 0, static_cast<int>(bankExpectedSize), this);
    progress.setObjectName(QStringLiteral("BankProgress"));
    progress.setWindowTitle(caption);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);
    enum Outcome { running, complete, unanswered, stalled, tooLong, cancelled };
    Outcome outcome = running;
    size_t received = 0;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(50);
    connect(&poll, &QTimer::timeout, &loop, [&] {
        const TMIDIPort::BankProgress p = midiPort->bankProgress();
        received = p.received;
        if (p.complete)
            outcome = complete;
        else if (p.overflow)
            outcome = tooLong;
        else if (p.received == 0 && p.idleSeconds > bankAnswerSeconds)
            outcome = unanswered;
        else if (p.received > 0 && p.idleSeconds > bankStallSeconds)
            outcome = stalled;
        else
            progress.setValue(static_cast<int>(std::min(p.received, bankExpectedSize - 1)));
        if (outcome != running)
            loop.quit();
    });
    connect(&progress, &QProgressDialog::canceled, &loop, [&] {
        if (outcome == running) {
            outcome = cancelled;
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
    poll.stop();
    std::vector<uint8_t> bank;
    if (outcome != complete || !midiPort->takeBank(bank))
        midiPort->cancelBankFetch();
    progress.hide();

    switch (outcome) {
    case running:
    case cancelled:
        return;
    case unanswered:
        tellUser(this, caption,
                 QStringLiteral("The synthesiser did not answer. Nothing was added.\n"
                                "Check the MIDI devices and the channel."));
        return;
    case stalled:
        tellUser(this, caption,
                 QStringLiteral("The synthesiser stopped sending after %1 bytes. Nothing was added.")
                     .arg(received));
        return;
    case tooLong:
        tellUser(this, caption,
                 QStringLiteral("The answer was longer than any bank of voices. Nothing was added."));
        return;
    case complete:
        break;
    }
    // The whole bank, multis included, also becomes the current bank.
    const std::string notKept = bankWindow()->takeReceivedBank(bank);
    const QString note = notKept.empty()
        ? QStringLiteral("The bank, with its 16 multis, is now the current bank (Edit, Bank).")
        : QStringLiteral("The bank was not kept as the current bank: %1.").arg(QString::fromStdString(notKept));
    const VoiceReadResult read = readVoices(bank.data(), bank.size());
    ImportSummary summary;
    if (!read.voices.empty())
        summary = fileIO->appendDumps(read.voices, choice.mask(), false);
    summary.refused += static_cast<int>(read.refusals.size());
    for (const VoiceRefusal& refusal : read.refusals)
        summary.reasons.push_back(refusal.text());
    recount();
    fillList();
    showSummary(summary, caption, note);
}
