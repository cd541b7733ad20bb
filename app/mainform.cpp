// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <unordered_map>

#include "app/appevents.h"
#include "app/bankwindow.h"
#include "app/dialogs.h"
#include "app/librarydialogs.h"
#include "app/pictures.h"
#include "app/setdevices.h"
#include "app/tarvik.h"
#include "app/voicelist.h"
#include "document/autosender.h"
#include "document/voicedocument.h"
#include "editors/awmedit.h"
#include "editors/editcommands.h"
#include "editors/fmedit.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"
#include "library/fileio.h"
#include "library/voiceimport.h"
#include "midi/fetch.h"
#include "midi/midiport.h"
#include "settings/settings.h"
#include "tarvik_version.h"
#include "voice/dumpcodec.h"

namespace {

constexpr int clientWidth = 317;
constexpr int clientHeight = 409;

// Captions by bit and the order on screen are categoryCaptions and categoryScreenOrder.
const char* const categoryName[16] = {"cbStrings",  "cbBrass",     "cbWoodwind",  "cbPercussion",
                                      "cbPlucked",  "cbPad",       "cbSolo",      "cbSynthetic",
                                      "cbBass",     "cbVocal",     "cbPiano",     "cbOrgan",
                                      "cbKeyboard", "cbMusicalFX", "cbUntunedFX", "cbRealistic"};

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

}   // namespace

TMainForm::TMainForm(TTarvik& run, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      settings(run.settings), document(run.document), voice(run.document.voice), commands(*run.commands),
      midiPort(run.port.get()), protocol(run.protocol.get()), fileIO(run.fileIO.get())
{
    if (protocol) {
        fetch = new TMIDIFetch(*protocol, this);
        connect(fetch, &TMIDIFetch::voiceReceived, this, [this](const std::vector<uint8_t>& dump) {
            if (!fetchingVoice)
                return;
            voiceFetchEnded();
            // A fetched voice can be undone like an edit, and is what compare goes
            // back to; the synthesiser has it already.
            Voice fetched = voice;
            decodeVoice(dump.data(), fetched);
            document.replace(fetched, "Get voice", TVoiceDocument::Send::never);
            if (DataReceivedForm)
                DataReceivedForm->exec();
        });
        connect(fetch, &TMIDIFetch::noAnswer, this, [this] {
            if (!fetchingVoice)
                return;
            voiceFetchEnded();
            if (noMIDIData)
                noMIDIData->exec();
        });
    }

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
        loadRecord(rowRecord[0]);

    // Back from another program, which may have changed the library.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            syncLibrary();
    });
}

TMainForm::~TMainForm() = default;

void TMainForm::createWindows()
{
    SetDevices = std::make_unique<TSetDevices>(midiPort, protocol, settings);
    AWMEdit = std::make_unique<TAWMEdit>(commands);
    FMEdit = std::make_unique<TFMEdit>(commands);
    VoiceCommonEdit = std::make_unique<TVoiceCommonEdit>(commands);
    VectorEdit = std::make_unique<TVectorEdit>(commands);
    AboutTarvik = std::make_unique<TAboutTarvik>();
    InvFile = std::make_unique<TInvFile>();
    SaveErrDlg = std::make_unique<TSaveErrDlg>();
    OverwriteDlg = std::make_unique<TOverwriteDlg>();
    noMIDIData = std::make_unique<TnoMIDIData>();
    DataReceivedForm = std::make_unique<TDataReceivedForm>();
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
    imNameStrip = new QLabel(client);
    imNameStrip->setObjectName(QStringLiteral("imNameStrip"));
    imNameStrip->setPixmap(pictures::nameStrip(pictures::yellow));
    imNameStrip->setAlignment(Qt::AlignCenter);
    imNameStrip->setGeometry(0, 0, pictures::stripWidth, 380);
    lVersion = new QLabel(QStringLiteral("Version " TARVIK_VERSION), client);
    lVersion->setObjectName(QStringLiteral("lVersion"));
    lVersion->setFont(pixelFont(11, true));
    setTextColour(lVersion, pictures::teal);
    lVersion->setAlignment(Qt::AlignCenter);
    lVersion->setGeometry(0, 384, pictures::stripWidth, 18);

    // The grey panel with the library.
    pnDatabase = new QWidget(client);
    pnDatabase->setObjectName(QStringLiteral("pnDatabase"));
    pnDatabase->setGeometry(pictures::stripWidth, 0, clientWidth - pictures::stripWidth, 372);
    QPalette grey = pnDatabase->palette();
    grey.setColor(QPalette::Window, pictures::grey);
    grey.setColor(QPalette::WindowText, Qt::black);
    pnDatabase->setPalette(grey);
    pnDatabase->setAutoFillBackground(true);

    gbDatabase = new QGroupBox(QStringLiteral(" Database "), pnDatabase);
    gbDatabase->setObjectName(QStringLiteral("gbDatabase"));
    gbDatabase->setGeometry(4, 2, pnDatabase->width() - 8, 366);
    gbDatabase->setFont(pixelFont(12, true));
    setTextColour(gbDatabase, pictures::lime);

    dbListBox = new TVoiceListView(gbDatabase);
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
    connect(dbListBox->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!refilling) {
            chosenRecords = selectedRecords();
            chosenCurrent = selectedRecord();
        }
        stabilizeForm();
    });

    for (int bit = 0; bit < 16; ++bit) {
        auto* box = new QCheckBox(QString::fromLatin1(categoryCaptions[bit]), gbDatabase);
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

    // At the head of the strip, above the name: hearing a voice by choosing it.
    cbAudition = new QCheckBox(QStringLiteral("Audition"), client);
    cbAudition->setObjectName(QStringLiteral("cbAudition"));
    cbAudition->setGeometry(6, 8, pictures::stripWidth - 10, 20);
    cbAudition->setFont(pixelFont(11, true));
    setTextColour(cbAudition, pictures::yellow);
    cbAudition->setToolTip(QStringLiteral("Send a voice to the synthesiser when you click it in the list or "
                                          "move onto it with the arrow keys; space plays the test note"));
    cbAudition->setFocusPolicy(Qt::TabFocus);
    connect(dbListBox->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                // Moves of the keys; a click is heard once, as it is pressed.
                if (!refilling && !pressing && current.isValid())
                    auditionRow(current.row());
            });
    connect(dbListBox, &QAbstractItemView::pressed, this, [this](const QModelIndex& index) {
        if (index.isValid())
            auditionRow(index.row());
    });

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
    lSendOnChange = new QLabel(QStringLiteral("Send voice on change: "), client);
    lSendOnChange->setObjectName(QStringLiteral("lSendOnChange"));
    lSendOnChange->setFont(pixelFont(11, true));
    lSendOnChange->setGeometry(pictures::stripWidth + 4, 378, 150, 26);
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
    fileSaveDlg->setNameFilter(QStringLiteral("System Exclusive files (*.SYX *.syx)"));
    fileSaveDlg->setDefaultSuffix(QStringLiteral("SYX"));

    fileImportDlg = new QFileDialog(this, QStringLiteral("Import voices"));
    fileImportDlg->setObjectName(QStringLiteral("fileImportDlg"));
    fileImportDlg->setOption(QFileDialog::DontUseNativeDialog);
    fileImportDlg->setAcceptMode(QFileDialog::AcceptOpen);
    fileImportDlg->setFileMode(QFileDialog::ExistingFiles);
    fileImportDlg->setNameFilters(
        {QStringLiteral("Voice files (*.SYX *.syx *.MID *.mid *.midi)"), QStringLiteral("All files (*)")});

    // A folder that does not exist is refused inside the dialog, as "Save voice" does.
    fileExportDlg = new TFileDialog(this, QStringLiteral("Export voices"));
    fileExportDlg->setObjectName(QStringLiteral("fileExportDlg"));
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

    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    item(FileMenu, LoadVoice, "LoadVoice", QStringLiteral("&Load voice"), QKeySequence(Qt::CTRL | Qt::Key_O),
         &TMainForm::LoadVoiceClick);
    item(FileMenu, SaveVoice, "SaveVoice", QStringLiteral("&Save voice"), QKeySequence(Qt::CTRL | Qt::Key_S),
         &TMainForm::SaveVoiceClick);
    FileMenu->addSeparator()->setObjectName(QStringLiteral("sepDatabase"));
    item(FileMenu, ModifyVoice, "ModifyVoice", QStringLiteral("&Modify voice in database"),
         QKeySequence(Qt::CTRL | Qt::Key_M), &TMainForm::ModifyVoiceClick);
    item(FileMenu, AddVoice, "AddVoice", QStringLiteral("&Add voice to database"),
         QKeySequence(Qt::CTRL | Qt::Key_D), &TMainForm::AddVoiceClick);
    FileMenu->addSeparator();
    item(FileMenu, ImportVoices, "ImportVoices", QStringLiteral("&Import voices..."), QKeySequence(),
         &TMainForm::ImportVoicesClick);
    item(FileMenu, ExportListed, "ExportListed", QStringLiteral("&Export listed voices..."), QKeySequence(),
         &TMainForm::ExportListedClick);
    item(FileMenu, ExportVoice, "ExportVoice", QStringLiteral("Export selected voice..."), QKeySequence(),
         &TMainForm::ExportVoiceClick);
    FileMenu->addSeparator();
    item(FileMenu, RenameVoice, "RenameVoice", QStringLiteral("&Rename voice..."), QKeySequence(),
         &TMainForm::RenameVoiceClick);
    item(FileMenu, Categories, "Categories", QStringLiteral("Ca&tegories..."), QKeySequence(),
         &TMainForm::CategoriesClick);
    item(FileMenu, MoveUp, "MoveUp", QStringLiteral("Move &up"), QKeySequence(), &TMainForm::MoveUpClick);
    item(FileMenu, MoveDown, "MoveDown", QStringLiteral("Move do&wn"), QKeySequence(),
         &TMainForm::MoveDownClick);
    item(FileMenu, DeleteVoice, "DeleteVoice", QStringLiteral("&Delete voice..."), QKeySequence(),
         &TMainForm::DeleteVoiceClick);
    FileMenu->addSeparator()->setObjectName(QStringLiteral("sepExit"));
    item(FileMenu, Exit, "Exit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_X),
         &TMainForm::ExitClick);

    EditMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    item(EditMenu, ElementsAC, "ElementsAC", QStringLiteral("Elements &A && C"),
         QKeySequence(Qt::CTRL | Qt::Key_A), &TMainForm::ElementsACClick);
    item(EditMenu, ElementsBD, "ElementsBD", QStringLiteral("Elements &B && D"),
         QKeySequence(Qt::CTRL | Qt::Key_B), &TMainForm::ElementsBDClick);
    item(EditMenu, VoiceCommon, "VoiceCommon", QStringLiteral("Voice &common"),
         QKeySequence(Qt::CTRL | Qt::Key_C), &TMainForm::VoiceCommonClick);
    item(EditMenu, Vectors, "Vectors", QStringLiteral("&Vectors"), QKeySequence(Qt::CTRL | Qt::Key_V),
         &TMainForm::VectorsClick);
    EditMenu->addSeparator();
    item(EditMenu, Undo, "Undo", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z),
         &TMainForm::UndoClick);
    item(EditMenu, Redo, "Redo", QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
         &TMainForm::RedoClick);
    Redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    item(EditMenu, Compare, "Compare", QStringLiteral("C&ompare"), QKeySequence(), &TMainForm::CompareClick);
    Compare->setCheckable(true);
    item(EditMenu, Mutate, "Mutate", QStringLiteral("&Mutate voice..."), QKeySequence(),
         &TMainForm::MutateClick);
    connect(EditMenu, &QMenu::aboutToShow, this, [this] { document.finishEdit(); });
    connect(&commands, &TEditCommands::historyChanged, this, &TMainForm::showHistory);
    showHistory();

    MidiMenu = menuBar()->addMenu(QStringLiteral("&MIDI"));
    item(MidiMenu, SelectMidiDevices, "SelectMidiDevices", QStringLiteral("&Select MIDI devices"),
         QKeySequence(), &TMainForm::SelectMidiDevicesClick);
    item(MidiMenu, GetVoiceFromSynth, "GetVoiceFromSynth", QStringLiteral("&Get voice from synth"),
         QKeySequence(), &TMainForm::GetVoiceFromSynthClick);
    item(MidiMenu, GetAllVoices, "GetAllVoices", QStringLiteral("Get &all voices from synth..."),
         QKeySequence(), &TMainForm::GetAllVoicesClick);

    // The same housekeeping on the list's context menu.
    ListMenu = new QMenu(this);
    ListMenu->setObjectName(QStringLiteral("ListMenu"));
    for (QAction* action : {RenameVoice, Categories, MoveUp, MoveDown, DeleteVoice})
        ListMenu->addAction(action);
    ListMenu->addSeparator();
    ListMenu->addAction(ExportVoice);

    // "&About" sits in the bar itself and acts when chosen.
    About = menuBar()->addAction(QStringLiteral("&About"));
    About->setObjectName(QStringLiteral("About"));
    connect(About, &QAction::triggered, this, &TMainForm::AboutClick);
    buildBankMenus();

    // The menu's shortcuts win over the list's own keys (Ctrl+A, Ctrl+C).
    for (QAction* action : {LoadVoice, SaveVoice, ModifyVoice, AddVoice, Exit, ElementsAC, ElementsBD,
                            VoiceCommon, Vectors, Undo, Redo})
        action->setShortcutContext(Qt::WindowShortcut);
}

bool TMainForm::matchesFilter(uint32_t mask, uint32_t filter)
{
    const uint32_t wanted = filter & 0xFFFFu;
    return (mask & wanted) == wanted;
}

void TMainForm::fillList(int32_t keepRecord, bool keepChoice)
{
    refilling = true;
    rowCount = 0;
    if (fileIO && fileIO->refreshListing(listing)) {
        listingNames = std::make_shared<const std::vector<char>>(listing.names);
        listingDamaged = std::make_shared<const std::vector<uint8_t>>(listing.damaged);
    } else if (!fileIO) {
        listing = LibraryListing();
    }
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
    dbListBox->names()->setRows(listingNames, std::move(rows), listingDamaged);
    if (listing.problem.empty()) {
        lListed->setText(QStringLiteral("%1 of %2").arg(rowCount).arg(std::max(voiceCount, 0)));
        lListed->setToolTip(QStringLiteral("Voices listed, of the voices in the database"));
    } else {
        // Nothing listed, and why: the file is there but is no database.
        lListed->setText(QStringLiteral("Not a database file"));
        lListed->setToolTip(
            QString::fromLocal8Bit(listing.problem.data(), qsizetype(listing.problem.size())));
    }

    if (!keepChoice) {
        if (rowCount > 0)
            dbListBox->setCurrentRow(0);
    } else if (!selectRecords({keepRecord}, keepRecord)) {
        dbListBox->clearChoice();
    }
    // What is chosen now is what comes back after a filter hid it; while nothing is
    // chosen the last choice is kept.
    refilling = false;
    if (dbListBox->selectedCount() > 0) {
        chosenRecords = selectedRecords();
        chosenCurrent = selectedRecord();
    }
    stabilizeForm();
}

bool TMainForm::syncLibrary(std::vector<int32_t>* found)
{
    if (!fileIO)
        return false;
    const std::vector<int32_t> chosen = selectedRecords();
    const int32_t current = selectedRecord();
    const std::vector<uint64_t> hashes = listedHashes(chosen);
    if (!fileIO->refreshListing(listing)) {
        if (found)
            *found = chosen;
        return false;
    }
    listingNames = std::make_shared<const std::vector<char>>(listing.names);
    listingDamaged = std::make_shared<const std::vector<uint8_t>>(listing.damaged);
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
        dbListBox->clearChoice();
    stabilizeForm();
    if (found)
        *found = std::move(now);
    return true;
}

std::vector<uint64_t> TMainForm::listedHashes(const std::vector<int32_t>& records) const
{
    std::vector<uint64_t> hashes;
    hashes.reserve(records.size());
    for (const int32_t n : records)
        hashes.push_back(n >= 0 && n < listing.count() ? listing.hashes[static_cast<size_t>(n)] : 0);
    return hashes;
}

std::vector<int32_t> TMainForm::findListed(const std::vector<uint64_t>& hashes,
                                           const std::vector<int32_t>& near) const
{
    // One pass over the list gathers where each wanted identity stands now.
    std::unordered_map<uint64_t, std::vector<int32_t>> places;
    for (const uint64_t h : hashes)
        places.emplace(h, std::vector<int32_t>());
    const int32_t listable = std::min(std::max(voiceCount, 0), listing.count());
    for (int32_t n = 0; n < listable; ++n) {
        const auto it = places.find(listing.hashes[static_cast<size_t>(n)]);
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

bool TMainForm::chosenStillThere(const QString& caption)
{
    const std::vector<int> rows = dbListBox->selectedRows();
    QStringList names;
    for (const int row : rows)
        names << shownName(dbListBox->text(row));
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
    tellUser(this, caption,
             (gone.size() == 1
                  ? QStringLiteral("The voice %1 is no longer in the database: another program "
                                   "changed it. Nothing was done.")
                  : QStringLiteral("The voices %1 are no longer in the database: another program "
                                   "changed it. Nothing was done."))
                 .arg(list));
    return false;
}

bool TMainForm::selectRecords(const std::vector<int32_t>& records, int32_t current)
{
    const auto end = rowRecord.begin() + rowCount;
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
        const QModelIndex index = dbListBox->names()->index(row, 0);
        selection.select(index, index);
        if (currentRow < 0)
            currentRow = row;
    }
    if (selection.isEmpty())
        return false;
    QItemSelectionModel* model = dbListBox->selectionModel();
    const bool wasRefilling = refilling;
    refilling = true;
    model->setCurrentIndex(dbListBox->names()->index(currentRow, 0), QItemSelectionModel::NoUpdate);
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    dbListBox->scrollTo(dbListBox->names()->index(currentRow, 0));
    refilling = wasRefilling;
    return true;
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
    for (QAction* action : {ExportVoice, DeleteVoice, Categories})
        action->setEnabled(selected > 0);
    ExportVoice->setText(selected > 1 ? QStringLiteral("Export selected voices...")
                                      : QStringLiteral("Export selected voice..."));
    DeleteVoice->setText(selected > 1 ? QStringLiteral("&Delete voices...")
                                      : QStringLiteral("&Delete voice..."));
    RenameVoice->setEnabled(one);
    ModifyVoice->setEnabled(one);
    MoveUp->setEnabled(one && row > 0);
    MoveDown->setEnabled(one && row + 1 < rowCount);
    ExportListed->setEnabled(rowCount > 0);
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
    const std::vector<int32_t> chosen = chosenRecords;
    const int32_t current = chosenCurrent;
    fillList(-1, true);
    // The voices chosen before come back once the filter lets them be listed.
    if (selectRecords(chosen, current)) {
        chosenRecords = chosen;
        chosenCurrent = selectedRecord();
        stabilizeForm();
    } else {
        chosenRecords = chosen;
        chosenCurrent = current;
    }
}

void TMainForm::searchChange()
{
    changeFilter(nullptr);
}

void TMainForm::extractVoice()
{
    if (fileIO && chosenStillThere(QStringLiteral("Load voice"))) {
        const int row = dbListBox->selectedRow();
        if (row >= 0 && row < rowCount) {
            const int32_t n = rowRecord[static_cast<size_t>(row)];
            // A damaged record would reach the synthesiser as if it were a voice.
            if (listing.isDamaged(n))
                tellUser(
                    this, QStringLiteral("Load voice"),
                    QStringLiteral("The voice \u201C%1\u201D is damaged: its stored dump fails its check, "
                                   "so it is neither loaded nor sent.")
                        .arg(shownName(dbListBox->text(row))));
            else
                loadRecord(n);
        }
    }
}

void TMainForm::loadDump(const uint8_t* dump)
{
    Voice loaded = voice;
    decodeVoice(dump, loaded);
    document.replace(loaded, "Load voice", TVoiceDocument::Send::always);
}

bool TMainForm::loadRecord(int32_t n)
{
    VoiceDump dump;
    if (!fileIO || !fileIO->readDump(n, dump.data()))
        return false;
    loadDump(dump.data());
    return true;
}

void TMainForm::auditionRow(int row)
{
    if (!cbAudition->isChecked() || !fileIO || !midiPort || row < 0 || row >= rowCount)
        return;
    uint8_t dump[dumpSize];
    if (!fileIO->readDump(rowRecord[static_cast<size_t>(row)], dump))
        return;
    // Heard, not loaded: the voice being edited stays as it is. The sender keeps only
    // the newest voice waiting, so a quick run down the list ends on the last one.
    Voice heard = voice;
    decodeVoice(dump, heard);
    commands.sender.sendHeard(heard);
}

void TMainForm::extractVoiceOnKey(int key)
{
    if (key == 13)
        extractVoice();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == dbListBox && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        // Space plays the test note while held, as in the editors.
        if (key->key() == Qt::Key_Space && mods == Qt::NoModifier) {
            if (!key->isAutoRepeat())
                commands.playNote(event->type() == QEvent::KeyPress);
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            pressing = false;   // a button let go outside the list
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
                extractVoiceOnKey(13);
                return true;
            }
            if (key->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
                DeleteVoiceClick();
                return true;
            }
            if ((key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) && mods == Qt::AltModifier) {
                moveSelected(key->key() == Qt::Key_Up ? -1 : 1);
                return true;
            }
        }
    }
    if (watched == dbListBox->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
            pressing = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            pressing = false;
    }
    if (watched == dbListBox->viewport() &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)) {
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
    if (watched == dbListBox->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        extractVoice();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::runFileDialog(QFileDialog* dialog, const QString& proposed)
{
    const QString folder = QString::fromStdString(settings.lastFolder);
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        dialog->setDirectory(folder);
    if (!proposed.isEmpty())
        dialog->selectFile(proposed);
    const bool accepted = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    if (accepted) {
        const QFileInfo chosen(dialog->selectedFiles().constFirst());
        settings.lastFolder =
            (chosen.isDir() ? chosen.absoluteFilePath() : chosen.absolutePath()).toStdString();
    }
    return accepted;
}

void TMainForm::LoadVoiceClick()
{
    if (!runFileDialog(fileOpenDlg))
        return;
    const QString path = fileOpenDlg->selectedFiles().constFirst();
    if (offerManyVoices(path) || !fileIO)
        return;
    if (const std::optional<VoiceDump> dump = fileIO->loadVoiceFile(QFile::encodeName(path).toStdString()))
        loadDump(dump->data());
}

bool TMainForm::offerManyVoices(const QString& path)
{
    if (!fileIO)
        return false;
    const std::string name = QFile::encodeName(path).toStdString();
    const VoiceReadResult read = readVoiceFile(name);
    // A MIDI file, or more than one voice (a bank): not a single voice file.
    QFile file(path);
    const bool midi = file.open(QIODevice::ReadOnly) && file.read(4) == "MThd";
    file.close();
    if (read.voices.empty() || (read.voices.size() == 1 && !midi))
        return false;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Load voice"),
                    QStringLiteral("\u201C%1\u201D holds %2 voices, not a single one.\n"
                                   "Import them into the database, or load the first of them?")
                        .arg(QFileInfo(path).fileName())
                        .arg(read.voices.size()),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("ManyVoicesQuestion"));
    QPushButton* importButton = box.addButton(QStringLiteral("Import"), QMessageBox::AcceptRole);
    QPushButton* firstButton = box.addButton(QStringLiteral("Load the first"), QMessageBox::ActionRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(importButton);
    box.exec();
    if (box.clickedButton() == importButton) {
        importFiles({path});
    } else if (box.clickedButton() == firstButton) {
        // As a load from a file: one undo step, and the voice goes to the synthesiser.
        loadDump(read.voices.front().data());
    }
    return true;
}

void TMainForm::SaveVoiceClick()
{
    // The voice's name is the name proposed, without what a file name cannot hold.
    QString proposed = shownName(QString::fromLatin1(voice.name, voiceNameLength)).trimmed();
    proposed.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (!runFileDialog(fileSaveDlg, proposed.isEmpty() ? QString() : proposed + QStringLiteral(".SYX")))
        return;
    if (fileIO &&
        fileIO->saveVoiceFile(fileSaveDlg->selectedFiles().constFirst().toStdString(), encodeVoice(voice)))
        document.saved();
}

void TMainForm::ModifyVoiceClick()
{
    if (!fileIO || !ModifyVoice->isEnabled())
        return;
    // The record replaced is the one the user saw: when another program changed the
    // library meanwhile, the list is read again and the question asked again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!chosenStillThere(QStringLiteral("Modify voice in database")))
            return;
        // The current row may have been deselected (Ctrl+click), or several chosen:
        // then nothing is replaced.
        const int row = dbListBox->singleRow();
        if (row < 0 || row >= rowCount)
            return;
        const int32_t n = rowRecord[static_cast<size_t>(row)];
        OverwriteDlg->setVoiceName(dbListBox->text(row));
        if (OverwriteDlg->exec() != TMessageDialog::ResultConfirm)
            return;
        if (fileIO->overwriteRecord(n, filterMask, encodeVoice(voice), listedHashes({n}).front()))
            document.saved();
        else if (fileIO->stale)
            continue;
        fillList();
        return;
    }
    keptChanging(QStringLiteral("Modify voice in database"));
    fillList();
}

void TMainForm::AddVoiceClick()
{
    if (!fileIO)
        return;
    // A record the file did not take is not counted: the list never shows a voice that
    // the library does not hold.
    if (!fileIO->appendRecord(filterMask, encodeVoice(voice)))
        return;
    document.saved();
    // Counted from the file: another program may have added voices too.
    recount();
    fillList();
}

void TMainForm::ExitClick()
{
    close();
}

bool TMainForm::confirmLeaving()
{
    document.finishEdit();
    if (!document.history.changedSinceLoaded(voice))
        return true;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Exit"),
                    QStringLiteral("The voice \u201C%1\u201D has changed since it was last loaded, "
                                   "fetched or saved.")
                        .arg(shownName(QString::fromLatin1(voice.name, voiceNameLength))),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("ExitQuestion"));
    QPushButton* save = box.addButton(QStringLiteral("Save"), QMessageBox::AcceptRole);
    QPushButton* leave = box.addButton(QStringLiteral("Exit anyway"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == leave)
        return true;
    if (box.clickedButton() != save)
        return false;
    // Saved as "Save voice" saves; a cancelled or failed save stays in the program.
    SaveVoiceClick();
    return !document.history.changedSinceLoaded(voice);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program; shutdown follows the event loop.
    if (!confirmLeaving()) {
        event->ignore();
        return;
    }
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

void TMainForm::ElementsACClick()
{
    bringUp(AWMEdit.get());
}
void TMainForm::ElementsBDClick()
{
    bringUp(FMEdit.get());
}
void TMainForm::VoiceCommonClick()
{
    bringUp(VoiceCommonEdit.get());
}
void TMainForm::VectorsClick()
{
    bringUp(VectorEdit.get());
}

void TMainForm::SelectMidiDevicesClick()
{
    if (SetDevices)
        SetDevices->exec();
}

void TMainForm::GetVoiceFromSynthClick()
{
    fetchVoice();
}

bool TMainForm::fetchVoice()
{
    // A second ask while the voice is being fetched: the fetch under way answers.
    if (!fetch || !fetch->startVoice())
        return false;
    fetchingVoice = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    return true;
}

void TMainForm::voiceFetchEnded()
{
    fetchingVoice = false;
    QApplication::restoreOverrideCursor();
}

void TMainForm::AboutClick()
{
    if (AboutTarvik)
        AboutTarvik->exec();
}

void TMainForm::UndoClick()
{
    commands.undo();
}
void TMainForm::RedoClick()
{
    commands.redo();
}
void TMainForm::CompareClick()
{
    commands.compare();
}
void TMainForm::MutateClick()
{
    commands.mutateVoiceDialog(this);
}

void TMainForm::showHistory()
{
    const TVoiceHistory& history = document.history;
    Undo->setText(commands.undoCaption());
    Undo->setEnabled(history.canUndo() || history.comparing());
    Redo->setText(commands.redoCaption());
    Redo->setEnabled(history.canRedo());
    Compare->setChecked(history.comparing());
}

void TMainForm::bAutoSendClick()
{
    settings.autoSend = true;
}
void TMainForm::bNoAutoSendClick()
{
    settings.autoSend = false;
}

// ---- the librarian: import, export, housekeeping, the whole bank ----

void TMainForm::showSummary(const ImportSummary& summary, const QString& caption, const QString& note)
{
    QStringList lines;
    if (summary.cancelled)
        lines << QStringLiteral("Cancelled: the voices added until then stay in the database.") << QString();
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
    // Past the refusals kept, the rest were only counted.
    if (summary.refused > shown && reasons > shown)
        lines << QStringLiteral("  ... and %1 more")
                     .arg(
                         QLocale(QLocale::English).toString(static_cast<qlonglong>(summary.refused - shown)));
    if (!note.isEmpty())
        lines << QString() << note;
    tellUser(this, caption, lines.join(QLatin1Char('\n')));
}

void TMainForm::ImportVoicesClick()
{
    if (!runFileDialog(fileImportDlg))
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

    const int32_t before = fileIO->countRecords();
    ImportSummary summary;
    {
        // Shown only when the import takes a while; the window stays painted meanwhile.
        // It is gone before the summary: its timer would show it over the summary.
        QProgressDialog progress(QStringLiteral("Importing voices..."), QStringLiteral("Cancel"), 0, 0, this);
        progress.setWindowTitle(QStringLiteral("Import voices"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        summary = importVoiceFiles(*fileIO, files, choice.mask(), choice.keepDuplicates(),
                                   [&](size_t done, size_t total) {
                                       progress.setMaximum(static_cast<int>(total));
                                       progress.setValue(static_cast<int>(std::min(done, total)));
                                       QCoreApplication::processEvents();
                                       return !progress.wasCanceled();
                                   });
    }
    recount();
    showNewRecords(before);
    showSummary(summary, QStringLiteral("Import voices"));
}

void TMainForm::showNewRecords(int32_t firstNew)
{
    std::vector<int32_t> added;
    for (int32_t n = std::max(firstNew, 0); n < voiceCount; ++n)
        added.push_back(n);
    fillList(added.empty() ? -1 : added.front(), true);
    if (added.empty()) {
        if (rowCount > 0 && dbListBox->selectedCount() == 0)
            dbListBox->setCurrentRow(0);
        return;
    }
    // A filter or search that would hide them is lifted, so that they are seen.
    if (!selectRecords({added.back()}, added.back())) {
        const QSignalBlocker quiet(edSearch);
        edSearch->clear();
        for (QCheckBox* box : categoryBox)
            box->setChecked(false);
        filterMask = 0;
        fillList(-1, true);
    }
    selectRecords(added, added.front());
    chosenRecords = selectedRecords();
    chosenCurrent = selectedRecord();
    stabilizeForm();
}

void TMainForm::ExportListedClick()
{
    if (fileIO)
        syncLibrary();
    if (!fileIO || rowCount <= 0)
        return;
    fileExportDlg->setWindowTitle(QStringLiteral("Export listed voices"));
    if (!runFileDialog(fileExportDlg))
        return;
    const std::vector<int32_t> records(rowRecord.begin(), rowRecord.begin() + rowCount);
    const QString path = fileExportDlg->selectedFiles().constFirst();
    exported(fileIO->exportRecords(records, QFile::encodeName(path).toStdString()), records.size(), path,
             QStringLiteral("Export listed voices"));
}

void TMainForm::ExportVoiceClick()
{
    if (!fileIO || !chosenStillThere(QStringLiteral("Export voice")))
        return;
    const std::vector<int32_t> records = selectedRecords();
    if (!fileIO || records.empty())
        return;
    QString proposed;
    if (records.size() == 1) {
        fileExportDlg->setWindowTitle(QStringLiteral("Export voice"));
        proposed = shownName(dbListBox->text(dbListBox->selectedRows().front())) + QStringLiteral(".SYX");
    } else {
        fileExportDlg->setWindowTitle(QStringLiteral("Export selected voices"));
    }
    if (!runFileDialog(fileExportDlg, proposed))
        return;
    const QString path = fileExportDlg->selectedFiles().constFirst();
    exported(fileIO->exportRecords(records, QFile::encodeName(path).toStdString()), records.size(), path,
             fileExportDlg->windowTitle());
}

void TMainForm::exported(bool ok, size_t voices, const QString& path, const QString& caption)
{
    // A write that failed has shown "Error saving file" already.
    const int damaged = fileIO->skippedDamaged;
    if (!ok) {
        if (damaged > 0)
            tellUser(this, caption, QStringLiteral("Every chosen voice is damaged: nothing was exported."));
        return;
    }
    QString text = (voices - damaged == 1 ? QStringLiteral("1 voice written to %2")
                                          : QStringLiteral("%1 voices written to %2"))
                       .arg(voices - damaged)
                       .arg(QDir::toNativeSeparators(path));
    if (damaged > 0)
        text += QStringLiteral("\n%1 damaged voice(s) left out: their stored dumps fail their check.")
                    .arg(damaged);
    tellUser(this, caption, text);
}

void TMainForm::RenameVoiceClick()
{
    if (!fileIO)
        return;
    const QString caption = QStringLiteral("Rename voice");
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!chosenStillThere(caption))
            return;
        const int32_t n = singleRecord();
        if (n < 0)
            return;
        if (listing.isDamaged(n)) {
            tellUser(this, caption,
                     QStringLiteral(
                         "This voice is damaged: its stored dump fails its check, so it is not renamed."));
            return;
        }
        QInputDialog dialog(this);
        dialog.setObjectName(QStringLiteral("RenameDlg"));
        dialog.setWindowTitle(caption);
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
            tellUser(this, caption,
                     QStringLiteral("A voice name has at most 8 characters: plain letters, digits, "
                                    "blanks and punctuation."));
            return;
        }
        if (!fileIO->renameRecord(n, name, listedHashes({n}).front()) && fileIO->stale)
            continue;
        fillList(n, true);
        return;
    }
    keptChanging(caption);
}

void TMainForm::CategoriesClick()
{
    if (!fileIO)
        return;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!chosenStillThere(QStringLiteral("Categories")))
            return;
        const std::vector<int32_t> records = selectedRecords();
        if (records.empty())
            return;
        // Several entries start from the categories they all share, those only some
        // of them carry half-ticked; OK changes what the user changed and keeps the rest.
        uint32_t all = 0xFFFF, some = 0;
        std::vector<uint32_t> masks;
        for (const int32_t n : records) {
            masks.push_back(listing.masks[static_cast<size_t>(n)]);
            all &= masks.back();
            some |= masks.back();
        }
        const QString caption = records.size() == 1
                                    ? QStringLiteral("Categories of %1")
                                          .arg(shownName(dbListBox->text(dbListBox->selectedRows().front())))
                                    : QStringLiteral("Categories of %1 voices").arg(records.size());
        TCategoryDlg dialog(this, caption, false);
        dialog.setObjectName(QStringLiteral("CategoriesDlg"));
        dialog.setMasks(all, some & 0xFFFF);
        if (dialog.exec() != QDialog::Accepted)
            return;
        std::vector<uint32_t> changed;
        for (const uint32_t old : masks)
            changed.push_back(dialog.apply(old));
        const std::vector<uint64_t> hashes = listedHashes(records);
        if (!fileIO->setRecordsCategories(records, changed, &hashes) && fileIO->stale)
            continue;
        const int32_t current = selectedRecord();
        fillList(current >= 0 ? current : records.front(), true);
        return;
    }
    keptChanging(QStringLiteral("Categories"));
}

void TMainForm::moveSelected(int step)
{
    const QString caption = step < 0 ? QStringLiteral("Move up") : QStringLiteral("Move down");
    if (!fileIO || !chosenStillThere(caption))
        return;
    const int row = dbListBox->singleRow();
    const int other = row + step;
    if (row < 0 || row >= rowCount || other < 0 || other >= rowCount)
        return;
    // Past the neighbour in the list, which in a filtered list may be far away in
    // the file: the others keep their order.
    const int32_t from = rowRecord[static_cast<size_t>(row)];
    const int32_t to = rowRecord[static_cast<size_t>(other)];
    const std::vector<uint64_t> hashes = listedHashes({from, to});
    const bool moved = fileIO->moveRecord(from, to, &hashes);
    if (!moved && fileIO->stale) {
        syncLibrary();
        tellUser(this, caption,
                 QStringLiteral("Another program changed the database meanwhile: nothing was moved. "
                                "The list shows the database as it is now."));
        return;
    }
    fillList(moved ? to : from, true);
}

void TMainForm::MoveUpClick()
{
    moveSelected(-1);
}
void TMainForm::MoveDownClick()
{
    moveSelected(1);
}

void TMainForm::DeleteVoiceClick()
{
    if (!fileIO)
        return;
    // The records deleted are the ones the user saw named: when another program
    // changed the library meanwhile, the list is read again and the question asked
    // again about the voices chosen, wherever they stand now.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!chosenStillThere(QStringLiteral("Delete voice")))
            return;
        const std::vector<int> rows = dbListBox->selectedRows();
        const std::vector<int32_t> records = selectedRecords();
        if (records.empty())
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
                        records.size() == 1 ? QStringLiteral("Delete voice")
                                            : QStringLiteral("Delete voices"),
                        question, QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return;
        const std::vector<uint64_t> hashes = listedHashes(records);
        const bool deleted = fileIO->deleteRecords(records, &hashes);
        if (!deleted && fileIO->stale)
            continue;
        recount();
        // The record after the first one deleted takes its number: it is the one
        // selected next.
        fillList(deleted ? records.front() : selectedRecord(), true);
        return;
    }
    keptChanging(QStringLiteral("Delete voice"));
}

void TMainForm::keptChanging(const QString& caption)
{
    tellUser(this, caption,
             QStringLiteral("Another program kept changing the database: nothing was done. "
                            "The list shows the database as it is now."));
}

void TMainForm::GetAllVoicesClick()
{
    // A voice fetch still waiting for its answer (a second or two) ends on its own and
    // says how it went; this choice is ignored meanwhile, as a second Get voice is.
    if (!midiPort || !fileIO || (fetch && fetch->busy()))
        return;
    const QString caption = QStringLiteral("Get all voices from synth");
    TCategoryDlg choice(this, caption, false);
    choice.setMask(filterMask);
    if (choice.exec() != QDialog::Accepted)
        return;
    if (!fetch || !fetch->startBank()) {
        tellUser(this, caption,
                 QStringLiteral("The request could not be sent: check the MIDI output device."));
        return;
    }

    // The window is painted and Cancel works while the input callback gathers the
    // bank and the fetch object's timer looks at how far it came.
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
    std::vector<uint8_t> bank;
    connect(fetch, &TMIDIFetch::progress, &progress, [&](qulonglong bytes) {
        progress.setValue(static_cast<int>(std::min<size_t>(bytes, bankExpectedSize - 1)));
    });
    connect(fetch, &TMIDIFetch::bankReceived, &progress, [&](const std::vector<uint8_t>& message) {
        bank = message;
        outcome = complete;
    });
    connect(fetch, &TMIDIFetch::noAnswer, &progress, [&] { outcome = unanswered; });
    connect(fetch, &TMIDIFetch::stalled, &progress, [&](qulonglong bytes) {
        received = bytes;
        outcome = stalled;
    });
    connect(fetch, &TMIDIFetch::tooLong, &progress, [&] { outcome = tooLong; });
    connect(fetch, &TMIDIFetch::finished, &progress, [&] { progress.hide(); });
    connect(&progress, &QProgressDialog::canceled, &progress, [&] {
        if (outcome == running)
            outcome = cancelled;
        fetch->cancel();
        progress.hide();
    });
    if (outcome == running)
        progress.exec();
    if (fetch->busy())
        fetch->cancel();
    progress.hide();

    switch (outcome) {
    case running:
    case cancelled: return;
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
    case complete: break;
    }
    // The whole bank, multis included, also becomes the current bank.
    const std::string notKept = bankWindow()->takeReceivedBank(bank);
    const QString note =
        notKept.empty()
            ? QStringLiteral("The bank, with its 16 multis, is now the current bank (Edit, Bank).")
            : QStringLiteral("The bank was not kept as the current bank: %1.")
                  .arg(QString::fromStdString(notKept));
    const VoiceReadResult read = readVoices(bank.data(), bank.size());
    ImportSummary summary;
    const int32_t before = fileIO->countRecords();
    if (!read.voices.empty())
        summary = fileIO->appendDumps(read.voices, choice.mask(), false);
    summary.refused += static_cast<int>(read.refusals.size());
    for (const VoiceRefusal& refusal : read.refusals)
        summary.reasons.push_back(refusal.text());
    recount();
    showNewRecords(before);
    showSummary(summary, caption, note);
}
