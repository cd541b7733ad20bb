// Takes the picture of the main window for the README (or of another window, to look
// at it): run under Xvfb with the xcb platform, in a scratch directory holding a small
// library.
//   app_screenshot OUT.png [about|devices|overwrite|openerror|awm|fm|common|vectors]
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QCheckBox>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "apptest.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/setdevices.h"
#include "app/startup.h"
#include "app/voicelist.h"
#include "editors/awmedit.h"
#include "editors/fmedit.h"
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
    apptest::writeFile("SOUNDS.SYL", apptest::libraryBytes({
        {0x0001, "Str Pad "}, {0x0003, "BrassEns"}, {0x0002, "Trumpet "}, {0x0400, "E.Piano "},
        {0x0800, "Jazz Org"}, {0x0100, "FingBass"}, {0x0200, "Choir   "}, {0x0021, "Warm Str"},
        {0x0080, "SynBrass"}, {0x2000, "Sweep FX"}, {0x4000, "Thunder "}, {0x0010, "Harp    "},
        {0x0040, "Flute   "}, {0x8000, "Grand Pf"}, {0x1000, "Clavi   "}, {0x0008, "Timpani "}}));
    apptest::ModalAnswerer answerer(apptest::answerFirstButton);
    createObjects();
    createWindows();
    MainForm->show();
    MainForm->move(40, 40);
    MainForm->dbListBox->setCurrentRow(3);
    QWidget* shown = MainForm;
    QDialog* dialog = nullptr;
    if (which == QStringLiteral("about"))
        dialog = AboutTarvik;
    else if (which == QStringLiteral("devices"))
        dialog = SetDevices;
    else if (which == QStringLiteral("overwrite"))
        dialog = OverwriteDlg;
    else if (which == QStringLiteral("openerror")) {
        MIDIOpenError->tfError->setText(QStringLiteral("There is no MIDI output device number 3: 2 output devices."));
        dialog = MIDIOpenError;
    }
    QWidget* editor = which == QStringLiteral("awm")      ? static_cast<QWidget*>(AWMEdit)
                      : which == QStringLiteral("fm")     ? static_cast<QWidget*>(FMEdit)
                      : which == QStringLiteral("common") ? static_cast<QWidget*>(VoiceCommonEdit)
                      : which == QStringLiteral("vectors") ? static_cast<QWidget*>(VectorEdit)
                                                           : nullptr;
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
        QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
            0, frame.x(), frame.y(), frame.width(), frame.height());
        shot.save(out);
        QCoreApplication::exit(0);
    });
    QApplication::exec();
    releaseAll();
    return 0;
}
