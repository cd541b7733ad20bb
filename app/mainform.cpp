// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainform.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "app/dialogs.h"
#include "app/librarycommands.h"
#include "app/librarylist.h"
#include "app/pictures.h"
#include "app/tarvik.h"
#include "app/voicelist.h"
#include "document/autosender.h"
#include "document/voicedocument.h"
#include "editors/editcommands.h"
#include "library/fileio.h"
#include "midi/midiport.h"
#include "settings/settings.h"
#include "tarvik_version.h"
#include "voice/dumpcodec.h"

namespace {

constexpr int clientWidth = 317;
constexpr int clientHeight = 409;

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

using pictures::pixelFont;
using pictures::setTextColour;

}   // namespace

TMainForm::TMainForm(TTarvik& run, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      settings(run.settings), document(run.document), commands(*run.commands), midiPort(run.port.get()),
      fileIO(run.fileIO.get())
{
    // 1. The window and its controls.
    setWindowTitle(QStringLiteral("Tarvik"));
    buildControls();
    library = new TLibraryCommands(run, *list, *this);
    watchList();
    setFixedSize(clientWidth, clientHeight + menuBar()->sizeHint().height());

    // 2. The auto-send buttons take the setting.
    (settings.autoSend ? bAutoSend : bNoAutoSend)->setChecked(true);

    // 3.-6. Count the library, list it unfiltered.
    list->recount();
    list->fillList();

    // 7. The first listed voice becomes the voice and goes to the synthesiser. The
    // editors are brought in line once start-up has made them.
    // A setting keeps the synthesiser's edit buffer as it is.
    if (list->voiceCount() > 0 && list->rowCount() > 0 && fileIO)
        loadRecord(list->recordAt(0), settings.sendAtStart);

    // The synthesiser's devices, watched: one that comes back is connected again.
    deviceTimer = new QTimer(this);
    deviceTimer->setInterval(1000);
    connect(deviceTimer, &QTimer::timeout, this, &TMainForm::watchDevices);
    deviceTimer->start();

    // Back from another program, which may have changed the library.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            list->syncLibrary();
    });
}

TMainForm::~TMainForm() = default;

void TMainForm::setBankKeeper(std::function<std::string(const std::vector<uint8_t>& bank)> keeper)
{
    library->keepBank = std::move(keeper);
}

void TMainForm::setBankGuard(std::function<bool(const QString& caption)> guard)
{
    library->mayReplaceBank = std::move(guard);
}

void TMainForm::getBank(QWidget& over)
{
    library->getBank(over);
}

std::vector<int32_t> TMainForm::chosenRecords() const
{
    return list->selectedRecords();
}

void TMainForm::importFiles(const QStringList& paths)
{
    library->importFiles(paths);
}

bool TMainForm::syncLibrary()
{
    return list->syncLibrary();
}

uint32_t TMainForm::filterMask() const
{
    return list->filterMask();
}

int32_t TMainForm::voiceCount() const
{
    return list->voiceCount();
}

int32_t TMainForm::rowCount() const
{
    return list->rowCount();
}

void TMainForm::watchDevices()
{
    if (!midiPort)
        return;
    const TDeviceWatch now = midiPort->watchDevices();
    const QString out = QString::fromStdString(settings.outDeviceName);
    const QString in = QString::fromStdString(settings.inDeviceName);
    if (now.outputAway || now.inputAway) {
        const QString name = now.outputAway ? out : in;
        showDeviceLine(QStringLiteral("The synthesiser\u2019s port \u201C%1\u201D is not there: "
                                      "it is connected again when it comes back.")
                           .arg(name));
    } else if (now.reconnected) {
        showDeviceLine(QStringLiteral("The synthesiser\u2019s port \u201C%1\u201D is back: connected again.")
                           .arg(out.isEmpty() ? in : out));
    } else if (lDevice && lDevice->isVisible() && lDevice->text().contains(QStringLiteral("is not there"))) {
        showDeviceLine(QString());
    }
}

QString TMainForm::deviceLine() const
{
    return lDevice && !lDevice->isHidden() ? lDevice->text() : QString();
}

void TMainForm::showDeviceLine(const QString& text)
{
    if (!lDevice) {
        lDevice = new QLabel(this);
        lDevice->setObjectName(QStringLiteral("lDevice"));
        lDevice->setWordWrap(true);
        lDevice->setFont(pixelFont(11, true));
        lDevice->setAutoFillBackground(true);
        QPalette palette = lDevice->palette();
        palette.setColor(QPalette::Window, pictures::black);
        palette.setColor(QPalette::WindowText, pictures::yellow);
        lDevice->setPalette(palette);
        lDevice->setContentsMargins(6, 2, 6, 2);
        lDevice->setFixedHeight(34);
        statusBar()->setSizeGripEnabled(false);
        statusBar()->addWidget(lDevice, 1);
    }
    const int top = clientHeight + menuBar()->sizeHint().height();
    if (text.isEmpty()) {
        statusBar()->hide();
        setFixedSize(clientWidth, top);
        return;
    }
    lDevice->setText(text);
    statusBar()->show();
    setFixedSize(clientWidth, top + statusBar()->sizeHint().height());
    // A "back" line stays a few seconds.
    if (!text.contains(QStringLiteral("is not there")))
        QTimer::singleShot(5000, lDevice, [this] {
            if (!lDevice->text().contains(QStringLiteral("is not there")))
                showDeviceLine(QString());
        });
}

void TMainForm::buildControls()
{
    QWidget* client = buildClient();
    // The grey panel with the library, the list and its categories; the search and
    // the count in the strip beside it.
    QWidget* box = buildPanel(client);
    list = new TLibraryList(fileIO, box, *this);
    buildAudition(client);
    list->buildSearch(client);
    buildAutoSend(client);
    // Tab: the list, its categories as the screen shows them and Audition beside
    // them, the search, the auto-send switch.
    std::vector<QWidget*> order = list->tabOrder();
    order.insert(order.end() - 1, cbAudition);
    order.push_back(bAutoSend);
    order.push_back(bNoAutoSend);
    for (size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

QWidget* TMainForm::buildClient()
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
    setTextColour(lVersion, pictures::textTeal);
    lVersion->setAlignment(Qt::AlignCenter);
    lVersion->setGeometry(0, 384, pictures::stripWidth, 18);
    return client;
}

QWidget* TMainForm::buildPanel(QWidget* client)
{
    pnDatabase = new QWidget(client);
    pnDatabase->setObjectName(QStringLiteral("pnDatabase"));
    pnDatabase->setGeometry(pictures::stripWidth, 0, clientWidth - pictures::stripWidth, 372);
    QPalette grey = pnDatabase->palette();
    grey.setColor(QPalette::Window, pictures::grey);
    grey.setColor(QPalette::WindowText, Qt::black);
    pnDatabase->setPalette(grey);
    pnDatabase->setAutoFillBackground(true);

    auto* gbDatabase = new QGroupBox(QStringLiteral(" Database "), pnDatabase);
    gbDatabase->setObjectName(QStringLiteral("gbDatabase"));
    gbDatabase->setGeometry(4, 2, pnDatabase->width() - 8, 366);
    gbDatabase->setFont(pixelFont(12, true));
    setTextColour(gbDatabase, pictures::textGreen);
    return gbDatabase;
}

void TMainForm::buildAudition(QWidget* client)
{
    // At the head of the strip, above the name: hearing a voice by choosing it.
    cbAudition = new QCheckBox(QStringLiteral("Audition"), client);
    cbAudition->setObjectName(QStringLiteral("cbAudition"));
    cbAudition->setGeometry(6, 8, pictures::stripWidth - 10, 20);
    cbAudition->setFont(pixelFont(11, true));
    setTextColour(cbAudition, pictures::yellow);
    cbAudition->setToolTip(QStringLiteral("Send a voice to the synthesiser when you click it in the list or "
                                          "move onto it with the arrow keys; space plays the test note"));
    cbAudition->setFocusPolicy(Qt::TabFocus);
}

void TMainForm::buildAutoSend(QWidget* client)
{
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
    bAutoSend->setAccessibleName(QStringLiteral("Send voice on change: on"));
    bNoAutoSend->setAccessibleName(QStringLiteral("Send voice on change: off"));
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
    connect(bAutoSend, &QPushButton::clicked, this, [this] { settings.autoSend = true; });
    connect(bNoAutoSend, &QPushButton::clicked, this, [this] { settings.autoSend = false; });
}

void TMainForm::watchList()
{
    TVoiceListView* view = list->view();
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    view->viewport()->setAcceptDrops(true);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
        // A click on a row outside the selection chooses that row alone; within it,
        // the menu acts on every selected row.
        const QModelIndex index = view->indexAt(at);
        if (index.isValid() && !view->selectionModel()->isSelected(index))
            view->setCurrentRow(index.row());
        library->popupListMenu(view->viewport()->mapToGlobal(at));
    });
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                // Moves of the keys; a click is heard once, as it is pressed.
                if (!list->refilling() && !pressing && current.isValid())
                    auditionRow(current.row());
            });
    connect(view, &QAbstractItemView::pressed, this, [this](const QModelIndex& index) {
        if (index.isValid())
            auditionRow(index.row());
    });
}

void TMainForm::buildMenus(const std::vector<TMenuEntry>& hosted)
{
    // The library's own entries, then the hosted ones.
    std::vector<TMenuEntry> entries = library->menuEntries();
    entries.insert(entries.end(), hosted.begin(), hosted.end());
    // The entries of a place, in the order handed over.
    auto host = [this, &entries](QMenu* menu, TMenuPlace place) {
        int added = 0;
        for (const TMenuEntry& entry : entries) {
            if (entry.place != place)
                continue;
            QAction* action = menu ? menu->addAction(entry.caption) : menuBar()->addAction(entry.caption);
            action->setObjectName(QString::fromLatin1(entry.name));
            if (!entry.shortcuts.isEmpty()) {
                action->setShortcuts(entry.shortcuts);
                // The menu's shortcuts win over the list's own keys (Ctrl+A, Ctrl+C).
                action->setShortcutContext(Qt::WindowShortcut);
            }
            connect(action, &QAction::triggered, this, entry.run);
            if (entry.made)
                entry.made(*action);
            ++added;
        }
        return added;
    };

    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    host(FileMenu, TMenuPlace::fileVoice);
    FileMenu->addSeparator()->setObjectName(QStringLiteral("sepDatabase"));
    host(FileMenu, TMenuPlace::fileRecord);
    FileMenu->addSeparator();
    host(FileMenu, TMenuPlace::fileExchange);
    FileMenu->addSeparator();
    host(FileMenu, TMenuPlace::fileEntry);
    // The bank's files beside the voice's own, before "Exit".
    if (host(FileMenu, TMenuPlace::fileBank) > 0)
        FileMenu->addSeparator();
    FileMenu->addSeparator()->setObjectName(QStringLiteral("sepExit"));
    host(FileMenu, TMenuPlace::fileExit);

    EditMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    host(EditMenu, TMenuPlace::editWindows);
    EditMenu->addSeparator();
    host(EditMenu, TMenuPlace::editHistory);
    connect(EditMenu, &QMenu::aboutToShow, this, [this] { document.finishEdit(); });

    MidiMenu = menuBar()->addMenu(QStringLiteral("&MIDI"));
    MidiMenu->setObjectName(QStringLiteral("MidiMenu"));
    host(MidiMenu, TMenuPlace::midiDevices);
    host(MidiMenu, TMenuPlace::midiVoice);
    host(MidiMenu, TMenuPlace::midiLibrary);
    host(MidiMenu, TMenuPlace::midiBank);

    // Entries of the bar itself ("&About") act when chosen.
    host(nullptr, TMenuPlace::bar);
    setFixedSize(clientWidth, clientHeight + menuBar()->sizeHint().height());
}

void TMainForm::extractVoice()
{
    if (!fileIO || !list->chosenStillThere(QStringLiteral("Load voice")))
        return;
    const int row = list->view()->selectedRow();
    if (row < 0 || row >= list->rowCount())
        return;
    const int32_t n = list->recordAt(row);
    // A damaged record would reach the synthesiser as if it were a voice.
    if (list->listing().isDamaged(n))
        tellUser(this, QStringLiteral("Load voice"),
                 QStringLiteral("The voice \u201C%1\u201D is damaged: its stored dump fails its check, "
                                "so it is neither loaded nor sent.")
                     .arg(shownName(list->view()->text(row))));
    else
        loadRecord(n);
}

bool TMainForm::loadRecord(int32_t n, bool send)
{
    VoiceDump dump;
    if (!fileIO || !fileIO->readDump(n, dump.data()))
        return false;
    document.loadDump(dump.data(), "Load voice",
                      send ? TVoiceDocument::Send::always : TVoiceDocument::Send::never);
    return true;
}

void TMainForm::auditionRow(int row)
{
    if (!cbAudition->isChecked() || !fileIO || !midiPort || row < 0 || row >= list->rowCount())
        return;
    uint8_t dump[dumpSize];
    if (!fileIO->readDump(list->recordAt(row), dump))
        return;
    // Heard, not loaded: the voice being edited stays as it is. The sender keeps only
    // the newest voice waiting, so a quick run down the list ends on the last one.
    Voice heard = document.voice;
    decodeVoice(dump, heard);
    commands.sender.sendHeard(heard);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    TVoiceListView* view = list->view();
    if (watched == view && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease))
        if (listKey(static_cast<QKeyEvent*>(event), event->type() == QEvent::KeyPress))
            return true;
    if (watched == view->viewport() && listViewportEvent(event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::listKey(QKeyEvent* key, bool press)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    // Space plays the test note while held, as in the editors.
    if (key->key() == Qt::Key_Space && mods == Qt::NoModifier) {
        if (!key->isAutoRepeat())
            commands.playNote(press);
        return true;
    }
    if (!press)
        return false;
    pressing = false;   // a button let go outside the list
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
        extractVoice();
        return true;
    }
    if (key->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
        library->deleteVoices();
        return true;
    }
    if ((key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) && mods == Qt::AltModifier) {
        library->moveSelected(key->key() == Qt::Key_Up ? -1 : 1);
        return true;
    }
    return false;
}

bool TMainForm::listViewportEvent(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        pressing = true;
    else if (event->type() == QEvent::MouseButtonRelease)
        pressing = false;
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!localFiles(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList files = localFiles(drop->mimeData());
        if (!files.isEmpty()) {
            drop->acceptProposedAction();
            // Once the drop is over: the import asks questions of its own.
            QTimer::singleShot(0, this, [this, files] { library->importFiles(files); });
        }
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        extractVoice();
        return true;
    }
    return false;
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program; shutdown follows the event loop.
    if (mayLeave && !mayLeave()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::exit(0);
}
