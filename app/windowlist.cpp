// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/windowlist.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

#include <algorithm>

#include "app/aboutbox.h"
#include "app/bankwindow.h"
#include "app/dialogs.h"
#include "app/comparevoice.h"
#include "app/explorewindow.h"
#include "app/mainform.h"
#include "app/setdevices.h"
#include "app/storevoice.h"
#include "app/tarvik.h"
#include "document/voicefetch.h"
#include "editors/awmedit.h"
#include "editors/editcommands.h"
#include "editors/fmedit.h"
#include "editors/multiedit.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"

namespace {

using Made = TWindowEntry::Made;

template <class Editor> std::unique_ptr<QWidget> makeEditor(TTarvik& run)
{
    return std::make_unique<Editor>(*run.commands);
}

std::unique_ptr<QWidget> makeDevices(TTarvik& run)
{
    return std::make_unique<TSetDevices>(run.port.get(), run.protocol.get(), run.settings);
}

std::unique_ptr<QWidget> makeExplore(TTarvik& run)
{
    return std::make_unique<TExploreWindow>(run);
}

// The synthesiser's fetch object, shared with "Get voice" (null without a transport).
TMIDIFetch* fetchOf(TTarvik& run)
{
    return run.voiceFetch ? run.voiceFetch->bankFetch() : nullptr;
}

std::unique_ptr<QWidget> makeStore(TTarvik& run)
{
    return std::make_unique<TStoreVoice>(run.document, run.protocol.get(), fetchOf(run), run.mainForm.get());
}

std::unique_ptr<QWidget> makeCompare(TTarvik& run)
{
    return std::make_unique<TCompareVoice>(*run.commands, run.fileIO.get(), fetchOf(run), run.mainForm.get());
}

std::unique_ptr<QWidget> makeAbout(TTarvik&)
{
    return std::make_unique<TAboutTarvik>();
}

// The Bank window stays with the main window; its "Get" button receives the bank over
// it (into the library only from the main window's menu), its "Multis..." is the
// Multi editor's entry.
std::unique_ptr<QWidget> makeBank(TTarvik& run)
{
    TBankWindow::Needs needs{run.document, run.protocol.get(), run.fileIO.get(), run.settings};
    needs.fetch = fetchOf(run);
    needs.getAllVoices = [&run] {
        if (QWidget* bank = run.windows->made("BankWindow"))
            run.mainForm->getBank(*bank);
    };
    needs.showMultis = [&run] { TWindowList::bringUp(*run.windows->window("MultiEdit")); };
    needs.chosenRecords = [&run] { return run.mainForm->chosenRecords(); };
    needs.reachSynth = [&run](const QString& caption) {
        return run.synthReachable(run.windows->made("BankWindow"), caption, false);
    };
    auto window = std::make_unique<TBankWindow>(needs, run.mainForm.get());
    // It opens on the bank the last run left.
    window->startFromKept(QString::fromLatin1(keptBankFileName));
    return window;
}

// The Multi editor edits the Bank window's current bank and sits beside it, owned by
// the same owner, so that hiding one leaves the other.
std::unique_ptr<QWidget> makeMultis(TTarvik& run)
{
    auto* bank = run.windows->window<TBankWindow>("BankWindow");
    auto editor = std::make_unique<TMultiEdit>(bank->document(), run.mainForm.get());
    editor->sendBank = [bank] { bank->sendBank(); };
    editor->isSY35 = [&run] { return run.settings.model == 1; };
    return editor;
}

TBankWindow& bankOf(QWidget& window)
{
    return static_cast<TBankWindow&>(window);
}

void openBank(QWidget& w)
{
    TWindowList::bringUp(w);
    bankOf(w).askOpen();
}
void saveBank(QWidget& w)
{
    bankOf(w).askSave();
}
void sendBank(QWidget& w)
{
    bankOf(w).sendBank();
}

std::vector<TWindowEntry> windowTable()
{
    const auto show = &TWindowList::bringUp;
    const auto dialog = &TWindowList::runDialog;
    // clang-format off
    // Each row: key, menu place, action, caption, shortcut, when made, how made, how opened.
    return {
        {"SetDevices",      TMenuPlace::midiDevices,   "SelectMidiDevices", "&Select MIDI devices",   {},                                 Made::atStart,    makeDevices,                   dialog},
        {"AWMEdit",         TMenuPlace::editWindows,   "ElementsAC",        "Elements &A && C",       QKeySequence(Qt::CTRL | Qt::Key_A), Made::atStart,    makeEditor<TAWMEdit>,          show},
        {"FMEdit",          TMenuPlace::editWindows,   "ElementsBD",        "Elements &B && D",       QKeySequence(Qt::CTRL | Qt::Key_B), Made::atStart,    makeEditor<TFMEdit>,           show},
        {"VoiceCommonEdit", TMenuPlace::editWindows,   "VoiceCommon",       "Voice &common",          QKeySequence(Qt::CTRL | Qt::Key_C), Made::atStart,    makeEditor<TVoiceCommonEdit>,  show},
        {"VectorEdit",      TMenuPlace::editWindows,   "Vectors",           "&Vectors",               QKeySequence(Qt::CTRL | Qt::Key_V), Made::atStart,    makeEditor<TVectorEdit>,       show},
        {"AboutTarvik",     TMenuPlace::bar,           "About",             "&About",                 {},                                 Made::atStart,    makeAbout,                     dialog},
        {"BankWindow",      TMenuPlace::editWindows,   "ShowBank",          "Ban&k",                  {},                                 Made::atFirstUse, makeBank,                      show},
        {"BankWindow",      TMenuPlace::fileBank,      "OpenBank",          "Open &bank...",          {},                                 Made::atFirstUse, makeBank,                      openBank},
        {"BankWindow",      TMenuPlace::fileBank,      "SaveBank",          "Save ban&k as...",       {},                                 Made::atFirstUse, makeBank,                      saveBank},
        {"BankWindow",      TMenuPlace::midiBank,      "SendBank",          "Send &bank to synth...", {},                                 Made::atFirstUse, makeBank,                      sendBank},
        {"MultiEdit",       TMenuPlace::editWindows,   "ShowMultis",        "Mul&tis",                {},                                 Made::atFirstUse, makeMultis,                    show},
        {"ExploreWindow",   TMenuPlace::editWindows,   "Explore",           "E&xplore...",            TEditCommands::exploreKey(),        Made::atFirstUse, makeExplore,                   show},
        {"StoreVoice",      TMenuPlace::midiVoice,     "StoreVoice",        "S&tore voice in synth...", {},                               Made::atFirstUse, makeStore,                     dialog},
        {"CompareVoice",    TMenuPlace::editHistory,   "CompareWith",       "Compare &with...",       {},                                 Made::atFirstUse, makeCompare,                   show},
    };
    // clang-format on
}

}   // namespace

TWindowList::TWindowList(TTarvik& run) : run(run), table(windowTable())
{
}

TWindowList::~TWindowList()
{
    // The last made first: the Multi editor edits the Bank window's bank.
    while (!windows.empty())
        windows.pop_back();
}

void TWindowList::createStartWindows()
{
    for (const TWindowEntry& entry : table)
        if (entry.made == Made::atStart)
            window(entry.window);
}

QWidget* TWindowList::made(const std::string& key) const
{
    for (const auto& [name, made] : windows)
        if (name == key)
            return made.get();
    return nullptr;
}

QWidget* TWindowList::window(const std::string& key)
{
    if (QWidget* w = made(key))
        return w;
    for (const TWindowEntry& entry : table) {
        if (entry.window != key)
            continue;
        std::unique_ptr<QWidget> w = entry.make(run);
        QWidget* shown = w.get();
        placeWindow(*shown, QString::fromLatin1(entry.window));
        windows.emplace_back(key, std::move(w));
        return shown;
    }
    return nullptr;
}

void TWindowList::open(const TWindowEntry& entry)
{
    if (QWidget* w = window(entry.window))
        entry.open(*w);
}

std::vector<TMenuEntry> TWindowList::menuEntries()
{
    std::vector<TMenuEntry> entries;
    for (const TWindowEntry& entry : table) {
        QList<QKeySequence> shortcuts;
        if (!entry.shortcut.isEmpty())
            shortcuts << entry.shortcut;
        entries.push_back({entry.place, entry.action, QString::fromUtf8(entry.caption), shortcuts,
                           [this, &entry] { open(entry); }});
    }
    return entries;
}

namespace {

QSettings placesFile()
{
    return QSettings(QDir::current().absoluteFilePath(QStringLiteral("WINDOWS.INI")), QSettings::IniFormat);
}

}   // namespace

void TWindowList::placeWindow(QWidget& window, const QString& key)
{
    const QSettings places = placesFile();
    const QVariant kept = places.value(key);
    if (!kept.isValid())
        return;
    QPoint at = kept.toPoint();
    // Inside the available area of the screen it falls on (the nearest one else).
    QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = window.frameGeometry().size().expandedTo(window.sizeHint());
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - size.width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - size.height())));
    window.move(at);
}

void TWindowList::keepPlaces() const
{
    QSettings places = placesFile();
    if (run.mainForm)
        places.setValue(QStringLiteral("MainForm"), run.mainForm->pos());
    for (const auto& [key, w] : windows)
        // Only a window that was shown has a place of its own.
        if (w && w->testAttribute(Qt::WA_WState_ExplicitShowHide))
            places.setValue(QString::fromStdString(key), w->pos());
    places.sync();
}

void TWindowList::bringUp(QWidget& window)
{
    window.show();
    window.raise();
    window.activateWindow();
}

void TWindowList::runDialog(QWidget& window)
{
    if (auto* dialog = qobject_cast<QDialog*>(&window))
        dialog->exec();
}
