// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the editor application's widget tests: a scratch working directory,
// library files built byte by byte, and an answerer for modal dialogs.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/mainform.h"
#include "app/startup.h"
#include "app/tarvik.h"
#include "app/voicelist.h"
#include "app/voiceverbs.h"
#include "app/windowlist.h"
#include "document/autosender.h"
#include "document/voicefetch.h"
#include "editors/editcommands.h"
#include "library/fileio.h"
#include "midi/midiport.h"
#include "voice/dumpcodec.h"
#include "voice/voice.h"

namespace apptest {

// The run under test, as start-up makes it (one at a time), and the voices its sender
// sent while it lived.
inline std::unique_ptr<TTarvik> run;
inline unsigned long voiceSends = 0;

// Start-up's steps on a new run; backend, when given, stands in for the MIDI system.
inline void createObjects(std::unique_ptr<TMIDIBackend> backend = nullptr)
{
    run = std::make_unique<TTarvik>();
    ::createObjects(*run, std::move(backend));
    voiceSends = 0;
    QObject::connect(run->sender.get(), &TAutoSender::voiceSent, [] { ++voiceSends; });
}
inline void createWindows()
{
    ::createWindows(*run);
}
inline void shutDown()
{
    ::shutDown(*run);
}
// Takes the run down as the program does at its end.
inline void releaseAll()
{
    run.reset();
}

inline TMainForm* mainForm()
{
    return run ? run->mainForm.get() : nullptr;
}
// A window of the run's window list, by its key ("AWMEdit", "BankWindow"), made now
// when it is made at first use; null without a run.
template <class T> T* window(const char* key)
{
    return run && run->windows ? run->windows->window<T>(key) : nullptr;
}

// The control of that object name inside w; the test fails when there is none.
template <class T> T* child(const QObject* w, const char* name)
{
    T* found = w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    EXPECT_NE(found, nullptr) << "no " << name;
    return found;
}

// The library list of the main window.
inline TVoiceListView* dbList()
{
    return child<TVoiceListView>(mainForm(), "dbListBox");
}

// The first top-level window of that class.
template <class T> T* topLevel()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(w))
            return found;
    return nullptr;
}

// The main window's menu action of that object name.
inline QAction* action(const char* name)
{
    return child<QAction>(mainForm(), name);
}

inline Voice& voice()
{
    return run->document.voice;
}

// The editor opens its ports at start-up. Unless a test brings a JACK server of its
// own, those ports look for a server that does not exist, so that nothing a test
// sends can reach a synthesiser that another test, running alongside, is counting.
#ifndef APPTEST_OWN_JACK
inline const bool jackNowhere = [] {
    setenv("JACK_DEFAULT_SERVER", "tarvik-app-tests-none", 1);
    return true;
}();
#endif

// Makes a fresh directory the working directory for as long as it lives.
class ScratchDir {
public:
    ScratchDir() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~ScratchDir() { QDir::setCurrent(previous); }
    std::string path(const char* name) const { return (dir.path() + "/" + name).toStdString(); }

private:
    QTemporaryDir dir;
    QString previous;
};

inline std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string readText(const std::string& path)
{
    const std::vector<uint8_t> bytes = readFile(path);
    return {bytes.begin(), bytes.end()};
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void writeText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// The dump of an initial voice carrying the given 8-character name and element A
// waveform, so that records tell themselves apart after loading.
inline std::vector<uint8_t> dumpNamed(const char* name, uint8_t waveform = 0)
{
    Voice v{};
    resetVoice(v);
    std::memset(v.name, ' ', voiceNameLength);
    std::memcpy(v.name, name, std::min<size_t>(std::strlen(name), voiceNameLength));
    v.name[voiceNameLength] = 0;
    v.element[0].waveform = waveform;
    const VoiceDump dump = encodeVoice(v);
    return {dump.begin(), dump.end()};
}

struct Record {
    uint32_t mask;
    const char* name;
};

// "TORVA", then mask (lowest byte first) and dump for each record.
inline std::vector<uint8_t> libraryBytes(const std::vector<Record>& records)
{
    std::vector<uint8_t> bytes = {'T', 'O', 'R', 'V', 'A'};
    uint8_t waveform = 0;
    for (const Record& r : records) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(r.mask >> (8 * i)));
        const std::vector<uint8_t> dump = dumpNamed(r.name, waveform++);
        bytes.insert(bytes.end(), dump.begin(), dump.end());
    }
    return bytes;
}

inline uint32_t recordMask(const std::vector<uint8_t>& library, int n)
{
    const size_t at = 5 + 596 * size_t(n);
    return uint32_t(library.at(at)) | uint32_t(library.at(at + 1)) << 8 | uint32_t(library.at(at + 2)) << 16 |
           uint32_t(library.at(at + 3)) << 24;
}

inline std::string recordName(const std::vector<uint8_t>& library, int n)
{
    const size_t at = 5 + 596 * size_t(n) + 4 + 19;
    return std::string(library.begin() + long(at), library.begin() + long(at + 8));
}

inline std::string voiceName()
{
    return std::string(voice().name, voiceNameLength);
}

// Answers every modal dialog that comes up while it lives, one at a time, with the
// given handler; remembers the captions it saw, in order. A handler that returns
// false leaves the dialog for a later tick.
class ModalAnswerer {
public:
    using Handler = std::function<bool(QWidget* dialog)>;
    explicit ModalAnswerer(Handler handler) : handle(std::move(handler))
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || busy)
                return;
            busy = true;
            if (seenLast != modal) {
                seen.push_back(modal->windowTitle().toStdString());
                if (auto* box = qobject_cast<QMessageBox*>(modal))
                    lastText = box->text();
                seenLast = modal;
            }
            if (handle(modal))
                seenLast = nullptr;
            busy = false;
        });
        timer.start();
    }
    std::vector<std::string> seen;
    QString lastText;   // of the last message box seen

private:
    Handler handle;
    QTimer timer;
    QWidget* seenLast = nullptr;
    bool busy = false;
};

// Clicks the dialog's button with the given object name.
inline bool clickButton(QWidget* dialog, const char* name)
{
    auto* button = dialog->findChild<QAbstractButton*>(QString::fromLatin1(name));
    if (!button)
        return false;
    button->click();
    return true;
}

// Closes whatever comes up by its first button: the "everything is fine" answer.
inline bool answerFirstButton(QWidget* dialog)
{
    const auto buttons = dialog->findChildren<QAbstractButton*>();
    for (QAbstractButton* b : buttons) {
        if (b->isVisible() && b->isEnabled() && !b->text().isEmpty()) {
            b->click();
            return true;
        }
    }
    return false;
}

}   // namespace apptest
