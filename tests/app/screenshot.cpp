// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the picture of the main window for the README (or of another window, to look
// at it): run under Xvfb with the xcb platform, in a scratch directory holding a small
// library.
//   app_screenshot OUT.png [about|devices|overwrite|openerror|awm|fm|common|vectors|bank|multis|explore]
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include "app/aboutbox.h"
#include "app/bankwindow.h"
#include "app/dialogs.h"
#include "app/explorewindow.h"
#include "app/mainform.h"
#include "app/setdevices.h"
#include "app/startup.h"
#include "app/voicelist.h"
#include "apptest.h"
#include "document/bankdocument.h"
#include "editors/awmedit.h"
#include "editors/fmedit.h"
#include "editors/multiedit.h"
#include "editors/vectoredit.h"
#include "editors/voicecommonedit.h"

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3)
        return 2;
    const QString which = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString out = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
    TApplication app(argc, argv);
    apptest::ScratchDir scratch;
    apptest::writeText("TARVIK.INI", "MIDI channel=0\r\nIn device=0\r\nOut device=0\r\n"
                                     "Model=0\r\nAuto send=1\r\n");
    apptest::writeFile("SOUNDS.SYL", apptest::libraryBytes({{0x0001, "Str Pad "},
                                                            {0x0003, "BrassEns"},
                                                            {0x0002, "Trumpet "},
                                                            {0x0400, "E.Piano "},
                                                            {0x0800, "Jazz Org"},
                                                            {0x0100, "FingBass"},
                                                            {0x0200, "Choir   "},
                                                            {0x0021, "Warm Str"},
                                                            {0x0080, "SynBrass"},
                                                            {0x2000, "Sweep FX"},
                                                            {0x4000, "Thunder "},
                                                            {0x0010, "Harp    "},
                                                            {0x0040, "Flute   "},
                                                            {0x8000, "Grand Pf"},
                                                            {0x1000, "Clavi   "},
                                                            {0x0008, "Timpani "}}));
    apptest::ModalAnswerer answerer(apptest::answerFirstButton);
    using namespace apptest;
    createObjects();
    createWindows();
    mainForm()->show();
    mainForm()->move(40, 40);
    dbList()->setCurrentRow(3);
    QWidget* shown = mainForm();
    QDialog* dialog = nullptr;
    if (which == QStringLiteral("about"))
        dialog = window<TAboutTarvik>("AboutTarvik");
    else if (which == QStringLiteral("devices"))
        dialog = window<TSetDevices>("SetDevices");
    else if (which == QStringLiteral("overwrite"))
        dialog = topLevel<TOverwriteDlg>();
    else if (which == QStringLiteral("openerror")) {
        run->openErrorDialog->setError(
            QStringLiteral("There is no MIDI output device number 3: 2 output devices."));
        dialog = run->openErrorDialog.get();
    }
    QWidget* editor = which == QStringLiteral("awm")  ? static_cast<QWidget*>(window<TAWMEdit>("AWMEdit"))
                      : which == QStringLiteral("fm") ? static_cast<QWidget*>(window<TFMEdit>("FMEdit"))
                      : which == QStringLiteral("common")
                          ? static_cast<QWidget*>(window<TVoiceCommonEdit>("VoiceCommonEdit"))
                      : which == QStringLiteral("vectors")
                          ? static_cast<QWidget*>(window<TVectorEdit>("VectorEdit"))
                          : nullptr;
    if (which == QStringLiteral("bank") || which == QStringLiteral("multis")) {
        // A bank of the library's voices and a split multi over four of them.
        TBankWindow* bank = window<TBankWindow>("BankWindow");
        std::vector<int32_t> records;
        for (int32_t n = 0; n < 16; ++n)
            records.push_back(n);
        bank->dropRecords(0, records);
        bank->dropRecords(16, {2, 4, 7});
        bank->document()->command("Split", [](Bank& b) {
            MultiRecord& m = b.multis[0];
            setMultiName(m, "Split Pf");
            auto set = [&m](const std::string& path, int value) {
                for (const MultiField& f : multiFields())
                    if (f.path == path)
                        f.set(m, f.part, value);
            };
            const int voices[8] = {64 + 13, 64 + 0, 64 + 5, 64 + 1, 2, 10, 64 + 9, 128 + 3};
            const int lows[8] = {60, 0, 0, 36, 0, 0, 0, 0};
            const int highs[8] = {127, 59, 59, 96, 127, 127, 127, 127};
            for (int p = 0; p < 8; ++p) {
                const std::string part = "part[" + std::to_string(p + 1) + "].";
                set(part + "voice", voices[p]);
                set(part + "channel", p < 4 ? 1 : p + 1);
                set(part + "noteLow", lows[p]);
                set(part + "noteHigh", highs[p]);
                set(part + "level", p < 4 ? 90 - 6 * p : 80);
            }
            set("part[3].detune", 4);
            set("part[4].noteShift", -12);
            set("effectType", 1);
            set("effectDepth", 4);
            setMultiChecksum(m);
        });
        child<TBankSlotView>(bank, "lvSlots")
            ->setCurrentIndex(child<TBankSlotView>(bank, "lvSlots")->model()->index(13, 0));
        if (which == QStringLiteral("bank")) {
            editor = bank;
        } else {
            window<TMultiEdit>("MultiEdit")->refresh();
            editor = window<TMultiEdit>("MultiEdit");
        }
    }
    if (which == QStringLiteral("explore")) {
        // A round bred from the current voice, two favourites, three corners filled, a
        // candidate archived and one heard.
        auto* explore = window<TExploreWindow>("ExploreWindow");
        explore->toggleFavourite(2);
        explore->toggleFavourite(10);
        explore->setCornerFromCurrent(0);
        explore->audition(2);
        explore->setCornerFromAudition(1);
        explore->audition(10);
        explore->setCornerFromAudition(2);
        explore->archive(0, 10);
        QWidget* pad = child<QWidget>(explore, "padMorph");
        const QPointF at(0.3 * pad->width(), 0.4 * pad->height());
        QMouseEvent press(QEvent::MouseButtonPress, at, pad->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          {});
        QApplication::sendEvent(pad, &press);
        child<QAbstractButton>(explore, "cell6")->click();
        editor = explore;
    }
    if (editor) {
        editor->show();
        editor->move(60, 60);
        shown = editor;
    }
    if (dialog) {
        dialog->setModal(false);
        dialog->show();
        shown = dialog;
    }
    QTimer::singleShot(800, [&] {
        const QRect frame = shown->frameGeometry();
        QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                                                    frame.height());
        shot.save(out);
        QCoreApplication::exit(0);
    });
    QApplication::exec();
    releaseAll();
    return 0;
}
