#include "app/mainform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>

#include "app/dialogs.h"
#include "app/pictures.h"
#include "app/settings.h"
#include "app/setdevices.h"
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

// Captions by bit, then the order in which the boxes stand on screen, top to bottom.
const char* const categoryCaption[16] = {
    "Strings", "Brass", "Woodwind", "Percussion", "Plucked", "Pad", "Solo", "Synthetic",
    "Bass", "Vocal", "Piano", "Organ", "Keyboard", "Musical FX", "Untuned FX", "Realistic"};
const char* const categoryName[16] = {
    "cbStrings", "cbBrass", "cbWoodwind", "cbPercussion", "cbPlucked", "cbPad", "cbSolo",
    "cbSynthetic", "cbBass", "cbVocal", "cbPiano", "cbOrgan", "cbKeyboard", "cbMusicalFX",
    "cbUntunedFX", "cbRealistic"};
const int screenOrder[16] = {0, 1, 2, 10, 11, 12, 8, 9, 3, 13, 14, 4, 6, 5, 15, 7};

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

    dbListBox = new QListWidget(GroupBox1);
    dbListBox->setObjectName(QStringLiteral("dbListBox"));
    dbListBox->setGeometry(6, 22, 111, 329);
    dbListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    dbListBox->setSortingEnabled(false);
    dbListBox->setFont(pixelFont(12, true));
    QPalette white = dbListBox->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    dbListBox->setPalette(white);
    dbListBox->setToolTip(QStringLiteral("Double click a voice name to load it"));
    dbListBox->installEventFilter(this);
    dbListBox->viewport()->installEventFilter(this);

    for (int bit = 0; bit < 16; ++bit) {
        auto* box = new QCheckBox(QString::fromLatin1(categoryCaption[bit]), GroupBox1);
        box->setObjectName(QString::fromLatin1(categoryName[bit]));
        box->setLayoutDirection(Qt::RightToLeft);   // caption at the left of the box
        box->setFont(pixelFont(11, false));
        setTextColour(box, Qt::black);
        box->setToolTip(QStringLiteral("Select check box to filter voices"));
        connect(box, &QCheckBox::clicked, this, [this, box] { changeFilter(box); });
        categoryBox[bit] = box;
    }
    for (int row = 0; row < 16; ++row)
        categoryBox[screenOrder[row]]->setGeometry(121, 22 + row * 20 + row / 2, 92, 19);
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

    // "&About" sits in the bar itself and acts when chosen.
    About1 = menuBar()->addAction(QStringLiteral("&About"));
    About1->setObjectName(QStringLiteral("About1"));
    connect(About1, &QAction::triggered, this, &TMainForm::About1Click);

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

void TMainForm::fillList()
{
    dbListBox->clear();
    rowCount = 0;
    if (!fileIO)
        return;
    fileIO->openLibrary();
    for (int32_t n = 0; n < voiceCount; ++n) {
        const uint32_t mask = fileIO->readCategories(n);
        if (filterMask != 0 && !matchesFilter(mask, filterMask))
            continue;
        std::string name = fileIO->readName(n);
        // A record the file no longer holds (someone shortened it) is not listed.
        if (name.empty())
            continue;
        name.resize(8, ' ');
        dbListBox->addItem(QString::fromLatin1(name.data(), 8));
        rowRecord[static_cast<size_t>(rowCount)] = n;
        ++rowCount;
    }
    fileIO->closeFile();
    if (rowCount > 0)
        dbListBox->setCurrentRow(0);
    ModifyVoice->setEnabled(rowCount > 0);
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
    fillList();
}

void TMainForm::extractVoice()
{
    const int row = dbListBox->currentRow();
    if (row >= 0 && row < rowCount && fileIO && dbListBox->currentItem()
        && dbListBox->currentItem()->isSelected())
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
    // The current row may have been deselected (Ctrl+click): then nothing is replaced.
    const int row = dbListBox->currentRow();
    if (row < 0 || row >= rowCount || !fileIO || !dbListBox->currentItem()
        || !dbListBox->currentItem()->isSelected())
        return;
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
