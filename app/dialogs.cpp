// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs.h"

#include <cstring>

#include <QAbstractItemView>
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "app/pictures.h"
#include "settings/settings.h"
#include "tarvik_version.h"

void centreOnScreen(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

void paintBlack(QWidget* window)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, pictures::black);
    palette.setColor(QPalette::WindowText, pictures::yellow);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

// The message lines are about 16 pixels high; where the desktop's font runs wider
// than the line's room, the line steps down a pixel at a time rather than be cut.
void fitLine(QLabel* label)
{
    QFont font = label->font();
    while (font.pixelSize() > 11 && QFontMetrics(font).horizontalAdvance(label->text()) > label->width() - 4)
        font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
}

void keepWithOwner(QWidget* dialog)
{
    QWidget* owner = QApplication::activeWindow();
    if (!owner || owner == dialog || !owner->isVisible()) {
        owner = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMainWindow*>(w) && w->isVisible()) {
                owner = w;
                break;
            }
    }
    if (!owner || owner == dialog)
        return;
    dialog->winId();   // the native window, so that it can be told its owner
    if (QWindow* window = dialog->windowHandle())
        window->setTransientParent(owner->window()->windowHandle());
}

namespace {

// Brings the open modal dialog back in front (out of a minimised state, its owner
// too), once the window manager has finished with the window the user turned to.
void bringModalBack()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    QTimer::singleShot(0, modal, [modal] {
        if (modal != QApplication::activeModalWidget() || !modal->isVisible())
            return;
        if (modal->isActiveWindow() && !modal->isMinimized())
            return;
        // Its owner first, which the window manager minimised along with it.
        if (QWindow* window = modal->windowHandle())
            if (QWindow* owner = window->transientParent())
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->windowHandle() == owner && w->isMinimized())
                        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        if (modal->isMinimized())
            modal->setWindowState(modal->windowState() & ~Qt::WindowMinimized);
        modal->raise();
        modal->activateWindow();
    });
}

// The windows a modal dialog blocks get neither clicks nor activation from the
// toolkit, so the guard below never hears of them; and a minimised dialog cannot take
// the activation the toolkit hands on to it. The window system's own events tell:
// a button pressed in, or the focus given to, any window of the program while the
// dialog is minimised or not the active window.
class TModalNativeGuard : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t" || message == nullptr)
            return false;
        // The first byte of every X event is its type (the top bit marks a sent one).
        // Pointer events come as the input extension's generic events, whose own
        // type stands at byte 8: 4 a button pressed, 18 a touch begun.
        const auto* bytes = static_cast<const uint8_t*>(message);
        const uint8_t type = bytes[0] & 0x7F;
        constexpr uint8_t buttonPress = 4, focusIn = 9, generic = 35;
        bool turnedTo = type == buttonPress || type == focusIn;
        if (type == generic) {
            uint16_t genericType = 0;
            std::memcpy(&genericType, bytes + 8, sizeof genericType);
            turnedTo = genericType == 4 || genericType == 18;
        }
        if (!turnedTo)
            return false;
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && (modal->isMinimized() || !modal->isActiveWindow()))
            bringModalBack();
        return false;
    }
};

// Watches every window of the program for the moments a user turns to it. It lives
// as a child of the application and takes the window system's events with it (a
// native filter leaves the application as it is destroyed).
class TModalGuard : public QObject {
public:
    static constexpr const char* name = "modalGuard";
    explicit TModalGuard(QCoreApplication* app) : QObject(app)
    {
        setObjectName(QLatin1String(name));
        app->installEventFilter(this);
        app->installNativeEventFilter(&native);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::WindowStateChange && type != QEvent::WindowActivate &&
            type != QEvent::ActivationChange && type != QEvent::MouseButtonPress)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        QWidget* modal = QApplication::activeModalWidget();
        if (!widget || !modal || !widget->isWindow() || widget == modal || modal->isAncestorOf(widget))
            return false;
        // Only a window the user turns to: restored, or made the active one.
        if (widget->isMinimized())
            return false;
        if (type == QEvent::ActivationChange && !widget->isActiveWindow())
            return false;
        if (modal->isActiveWindow() && !modal->isMinimized())
            return false;
        bringModalBack();
        return false;
    }

private:
    TModalNativeGuard native;
};

}   // namespace

namespace {

// The editor windows paint their own colours through style sheets, which a dialog
// opened over them would take on (yellow text on the platform's light grey): a dialog
// shown over such a window gets the platform's palette back, whole.
class TDialogLook : public QObject {
public:
    static constexpr const char* name = "dialogLook";
    explicit TDialogLook(QCoreApplication* app) : QObject(app)
    {
        setObjectName(QLatin1String(name));
        app->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (!dialog || !dialog->parentWidget() || !dialog->styleSheet().isEmpty() ||
            dialog->property("ownLook").toBool())
            return false;
        for (QWidget* w = dialog->parentWidget(); w; w = w->parentWidget())
            if (!w->styleSheet().isEmpty()) {
                dialog->setStyleSheet(QStringLiteral(
                    "QWidget { color: palette(window-text); font-weight: normal; }"
                    "QLineEdit, QAbstractItemView { color: palette(text); background-color: palette(base); }"
                    "QPushButton, QToolButton, QComboBox { color: palette(button-text); "
                    "background-color: palette(button); }"
                    "QComboBox QAbstractItemView { selection-color: palette(highlighted-text); "
                    "selection-background-color: palette(highlight); }"
                    "QToolTip { color: palette(tooltip-text); background-color: palette(tooltip-base); }"));
                break;
            }
        return false;
    }
};

}   // namespace

void installDialogLook()
{
    if (!qApp->findChild<QObject*>(QLatin1String(TDialogLook::name), Qt::FindDirectChildrenOnly))
        new TDialogLook(qApp);
}

void installModalGuard()
{
    if (!qApp->findChild<QObject*>(QLatin1String(TModalGuard::name), Qt::FindDirectChildrenOnly))
        new TModalGuard(qApp);
}

TFileDialog::TFileDialog(QWidget* parent, const QString& caption) : QFileDialog(parent, caption)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);
}

void TFileDialog::hidePopups()
{
    for (QCompleter* completer : findChildren<QCompleter*>())
        if (completer->popup() && completer->popup()->isVisible())
            completer->popup()->hide();
}

void TFileDialog::accept()
{
    hidePopups();
    const QStringList files = selectedFiles();
    if (acceptMode() == QFileDialog::AcceptSave && !files.isEmpty()) {
        const QFileInfo file(files.constFirst());
        if (!file.isDir() && !file.absoluteDir().exists()) {
            warnUser(this, windowTitle(),
                     QStringLiteral("%1\nFolder not found.\nPlease verify the correct folder name was given.")
                         .arg(QDir::toNativeSeparators(file.absolutePath())));
            return;
        }
    }
    QFileDialog::accept();
}

TFileDialog* makeSyxDialog(QWidget* parent, const char* name, const QString& caption,
                           QFileDialog::AcceptMode mode, bool withAllFiles)
{
    auto* dialog = new TFileDialog(parent, caption);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The file system is case-sensitive here: the pattern takes both spellings.
    QStringList filters{QStringLiteral("System Exclusive files (*.SYX *.syx)")};
    if (withAllFiles)
        filters << QStringLiteral("All files (*)");
    dialog->setNameFilters(filters);
    if (mode == QFileDialog::AcceptSave)
        dialog->setDefaultSuffix(QStringLiteral("SYX"));
    return dialog;
}

void TFileDialog::done(int result)
{
    hidePopups();
    QFileDialog::done(result);
}

TMessageDialog::TMessageDialog(const QString& caption, int clientWidth, int clientHeight, QPoint place)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), designedPlace(place)
{
    setWindowTitle(caption);
    setModal(true);
    setFixedSize(clientWidth, clientHeight);
    paintBlack(this);
    if (!designedPlace.isNull())
        move(designedPlace);
}

QLabel* TMessageDialog::addLine(const QString& text, int top)
{
    auto* label = new QLabel(text, this);
    label->setFont(pictures::pixelFont(16, true));
    pictures::setTextColour(label, pictures::red);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setGeometry(0, top, width(), 20);
    fitLine(label);
    return label;
}

QPushButton* addPictureButton(QDialog* dialog, const QString& caption, const QPixmap& picture, int result,
                              const QRect& place)
{
    auto* button = new QPushButton(QIcon(picture), caption, dialog);
    button->setGeometry(place);
    button->setIconSize(QSize(20, 20));
    QObject::connect(button, &QPushButton::clicked, dialog, [dialog, result] { dialog->done(result); });
    return button;
}

QPushButton* TMessageDialog::addButton(const QString& caption, Picture picture, int result,
                                       const QRect& place)
{
    QPushButton* button = addPictureButton(
        this, caption, picture == Tick ? pictures::tick() : pictures::cross(), result, place);
    button->setAutoDefault(false);
    return button;
}

void TMessageDialog::showEvent(QShowEvent* event)
{
    keepWithOwner(this);
    if (designedPlace.isNull())
        centreOnScreen(this);
    QDialog::showEvent(event);
}

// Escape, the window manager's close request and the like end up here: only a button
// closes a message dialog.
void TMessageDialog::reject()
{
}

TInvFile::TInvFile() : TMessageDialog(QStringLiteral("Invalid file"), 388, 85)
{
    addLine(QStringLiteral("Selected file does not contain a valid"), 6);
    addLine(QStringLiteral("SY-22 or SY-35 System Exclusive dump"), 26);
    bOkay = addButton(QStringLiteral("Okay"), Tick, ResultConfirm, QRect(154, 52, 80, 27));
    bOkay->setObjectName(QStringLiteral("bOkay"));
    bOkay->setDefault(true);
}

TSaveErrDlg::TSaveErrDlg() : TMessageDialog(QStringLiteral("Save error"), 427, 75, QPoint(296, 262))
{
    lError = addLine(QStringLiteral("Error saving file"), 10);
    lError->setObjectName(QStringLiteral("lError"));
    saveErrDlg = addButton(QStringLiteral("Okay"), Tick, ResultConfirm, QRect(173, 40, 80, 27));
    saveErrDlg->setObjectName(QStringLiteral("saveErrDlg"));
    saveErrDlg->setDefault(true);
}

void TSaveErrDlg::setReason(const QString& reason)
{
    lError->setText(reason.isEmpty() ? QStringLiteral("Error saving file")
                                     : QStringLiteral("Error saving file: %1").arg(reason));
    lError->setFont(pictures::pixelFont(16, true));
    lError->setWordWrap(false);
    lError->setGeometry(0, 10, width(), 20);
    fitLine(lError);
    // A long reason takes two lines above the button.
    if (QFontMetrics(lError->font()).horizontalAdvance(lError->text()) > lError->width() - 4) {
        lError->setWordWrap(true);
        lError->setGeometry(4, 2, width() - 8, 36);
    }
}

TOverwriteDlg::TOverwriteDlg() : TMessageDialog(QStringLiteral("Overwrite voice"), 427, 113, QPoint(296, 254))
{
    addLine(QStringLiteral("Are you sure you wish to overwrite the selected"), 6);
    addLine(QStringLiteral("voice in the database?"), 26);
    lVoiceName = addLine(QString(), 46);
    lVoiceName->setObjectName(QStringLiteral("lVoiceName"));
    pictures::setTextColour(lVoiceName, pictures::yellow);
    bNo = addButton(QStringLiteral("&No"), Cross, ResultNo, QRect(118, 78, 80, 27));
    bNo->setObjectName(QStringLiteral("bNo"));
    bYes = addButton(QStringLiteral("&Yes"), Tick, ResultConfirm, QRect(229, 78, 80, 27));
    bYes->setObjectName(QStringLiteral("bYes"));
    // Enter answers No, wherever the focus stands.
    bNo->setDefault(true);
    bNo->setFocus();
    bYes->setFocusPolicy(Qt::TabFocus);
}

void TOverwriteDlg::setVoiceName(const QString& name)
{
    lVoiceName->setText(QStringLiteral("\u201C%1\u201D").arg(name));
}

TnoMIDIData::TnoMIDIData() : TMessageDialog(QStringLiteral("No data"), 295, 65)
{
    addLine(QStringLiteral("No data received"), 6);
    bBummer = addButton(QStringLiteral("Bummer!"), Cross, ResultConfirm, QRect(100, 32, 95, 27));
    bBummer->setObjectName(QStringLiteral("bBummer"));
    bBummer->setDefault(true);
}

TDataReceivedForm::TDataReceivedForm() : TMessageDialog(QStringLiteral("MIDI Received"), 348, 65)
{
    addLine(QStringLiteral("MIDI dump received"), 6);
    bOkay = addButton(QStringLiteral("Okay"), Tick, ResultConfirm, QRect(134, 32, 80, 27));
    bOkay->setObjectName(QStringLiteral("bOkay"));
    bOkay->setDefault(true);
}

TMIDIOpenError::TMIDIOpenError() : TMessageDialog(QStringLiteral("MIDI Open Error"), 427, 117)
{
    addLine(QStringLiteral("Error opening MIDI port"), 6);
    tfError = new QLabel(this);
    tfError->setObjectName(QStringLiteral("tfError"));
    QFont font;
    font.setPixelSize(11);
    tfError->setFont(font);
    pictures::setTextColour(tfError, pictures::aqua);
    tfError->setAlignment(Qt::AlignCenter);
    tfError->setWordWrap(true);
    tfError->setGeometry(8, 30, 411, 44);
    bNuts = addButton(QStringLiteral("Nuts!"), Cross, ResultConfirm, QRect(173, 82, 80, 27));
    bNuts->setObjectName(QStringLiteral("bNuts"));
    bNuts->setDefault(true);
}

bool runFileDialog(QFileDialog* dialog, TSettings& settings, const QString& proposed)
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

QString shownName(const QString& name)
{
    QString shown = name;
    while (shown.endsWith(QLatin1Char(' ')))
        shown.chop(1);
    return shown;
}

static void showMessage(QMessageBox::Icon icon, QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void tellUser(QWidget* parent, const QString& caption, const QString& text)
{
    showMessage(QMessageBox::Information, parent, caption, text);
}

void warnUser(QWidget* parent, const QString& caption, const QString& text)
{
    showMessage(QMessageBox::Warning, parent, caption, text);
}

void TMIDIOpenError::setError(const QString& text)
{
    tfError->setText(text);
}

TUnsavedAnswer askUnsaved(QWidget* parent, const char* name, const QString& caption, const QString& text,
                          const QString& leaveText)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
    box.setObjectName(QString::fromLatin1(name));
    QPushButton* save = box.addButton(QStringLiteral("&Save"), QMessageBox::AcceptRole);
    QPushButton* leave = box.addButton(leaveText, QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    save->setObjectName(QStringLiteral("bSave"));
    leave->setObjectName(QStringLiteral("bLeave"));
    cancel->setObjectName(QStringLiteral("bCancel"));
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return TUnsavedAnswer::save;
    return box.clickedButton() == leave ? TUnsavedAnswer::leave : TUnsavedAnswer::cancel;
}
