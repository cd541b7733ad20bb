// SPDX-License-Identifier: GPL-3.0-or-later
// The main window at scale: builds a library of 100,000 records in a scratch folder
// and times, offscreen, the start-up to a shown window against an empty library, and
// a category tick and a name search against the floor (one sequential read of the
// file plus the same tick in an empty list). Median of several runs, file in the cache.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "app/appevents.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "app/tarvik.h"
#include "bench/benchlibrary.h"
#include "document/autosender.h"
#include "library/fileio.h"
#include "midi/midiport.h"
#include "midi/syprotocol.h"
#include "settings/settings.h"
#include "voice/dumpcodec.h"

namespace {

// The run being timed, one at a time.
std::unique_ptr<TTarvik> run;

constexpr int recordCount = 100000;
// Each figure is the median of this many runs: a single fast or slow run moves
// neither the figure nor the floor it is compared with.
constexpr int runs = 21;

double seconds(const std::function<void()>& work)
{
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void writeLibrary(int records)
{
    writeBenchLibrary(libraryFileName, records);
}

// Start-up's first steps without opening the ports: there is no synthesiser here,
// and the open error's dialog would wait for a click.
void createObjectsQuietly()
{
    run = std::make_unique<TTarvik>();
    run->settings = TSettings(settingsFileName);
    run->openErrorDialog = std::make_unique<TMIDIOpenError>();
    run->port = std::make_unique<TMIDIPort>();
    run->port->events = &run->midiEvents;
    run->protocol = std::make_unique<TSYProtocol>(*run->port);
    resetVoice(run->document.voice);
    run->sender = std::make_unique<TAutoSender>(run->document, run->settings, run->protocol.get());
    run->fileIO = std::make_unique<TFileIO>();
    run->fileIO->events = &run->fileEvents;
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// Start-up to a shown, painted window.
double startUp()
{
    const double s = seconds([] {
        createObjectsQuietly();
        createWindows(*run);
        run->mainForm->show();
        settle();
    });
    run.reset();
    return s;
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A tick of "Brass" and its untick, each with its repaint; the slower of the two.
double tick()
{
    double worst = 0;
    for (int i = 0; i < 2; ++i)
        worst = std::max(worst, seconds([] {
                             run->mainForm->findChild<QCheckBox*>(QStringLiteral("cbBrass"))->click();
                             settle();
                         }));
    return worst;
}

double search()
{
    double worst = 0;
    for (const char* text : {"V00012", ""})
        worst = std::max(worst, seconds([text] {
                             run->mainForm->findChild<QLineEdit*>(QStringLiteral("edSearch"))
                                 ->setText(QString::fromLatin1(text));
                             settle();
                         }));
    return worst;
}

double sequentialRead()
{
    return seconds([] {
        const int fd = open(libraryFileName, O_RDONLY);
        std::vector<uint8_t> buffer(1 << 20);
        unsigned long sink = 0;
        ssize_t got;
        while ((got = read(fd, buffer.data(), buffer.size())) > 0)
            sink += buffer[static_cast<size_t>(got) - 1];
        close(fd);
        if (sink == 1)
            std::puts("");
    });
}

}   // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The ports look for a JACK server that is not there: nothing leaves the bench.
    setenv("JACK_DEFAULT_SERVER", "tarvik-bench-none", 1);
    TApplication app(argc, argv);
    // An empty library and a full one side by side; the runs alternate between them,
    // so that whatever else the machine does weighs on both figures of a ratio alike.
    QTemporaryDir dir;
    const QString emptyDir = dir.filePath(QStringLiteral("empty"));
    const QString fullDir = dir.filePath(QStringLiteral("full"));
    for (const QString& path : {emptyDir, fullDir}) {
        QDir().mkpath(path);
        QDir::setCurrent(path);
        FILE* ini = std::fopen("TARVIK.INI", "wb");
        std::fputs("MIDI channel=0\r\nIn device=0\r\nOut device=0\r\nModel=0\r\nAuto send=0\r\n", ini);
        std::fclose(ini);
        writeLibrary(path == emptyDir ? 0 : recordCount);
    }

    std::vector<double> startsEmpty, startsFull;
    for (int i = 0; i < runs; ++i) {
        QDir::setCurrent(emptyDir);
        startsEmpty.push_back(startUp());
        QDir::setCurrent(fullDir);
        startsFull.push_back(startUp());
    }
    const double startEmpty = median(startsEmpty);
    const double startFull = median(startsFull);

    QDir::setCurrent(emptyDir);
    createObjectsQuietly();
    createWindows(*run);
    run->mainForm->show();
    settle();
    std::vector<double> ticksEmpty;
    for (int i = 0; i < runs; ++i)
        ticksEmpty.push_back(tick());
    const double tickEmpty = median(ticksEmpty);
    run.reset();

    QDir::setCurrent(fullDir);
    createObjectsQuietly();
    createWindows(*run);
    run->mainForm->show();
    settle();
    std::vector<double> reads, ticksFull, searches;
    for (int i = 0; i < runs; ++i) {
        reads.push_back(sequentialRead());
        ticksFull.push_back(tick());
        searches.push_back(search());
    }
    const double floorRead = median(reads);
    const double tickFull = median(ticksFull);
    const double searchFull = median(searches);
    run.reset();

    const double floor = floorRead + tickEmpty;
    std::printf("library: %d records\n", recordCount);
    std::printf("start-up to a shown window, empty:        %8.1f ms\n", startEmpty * 1e3);
    std::printf("start-up to a shown window, %d:      %8.1f ms  (%.2f x empty, aim <= 1.5)\n", recordCount,
                startFull * 1e3, startFull / startEmpty);
    std::printf("floor: sequential read %.1f ms + tick in an empty list %.1f ms = %.1f ms\n", floorRead * 1e3,
                tickEmpty * 1e3, floor * 1e3);
    std::printf("category tick at %d:                 %8.1f ms  (%.2f x floor, aim <= 2)\n", recordCount,
                tickFull * 1e3, tickFull / floor);
    std::printf("name search at %d:                   %8.1f ms  (%.2f x floor, aim <= 2)\n", recordCount,
                searchFull * 1e3, searchFull / floor);
    return 0;
}
