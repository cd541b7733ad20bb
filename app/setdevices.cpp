// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setdevices.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "app/dialogs.h"
#include "app/pictures.h"
#include "midi/midiport.h"
#include "midi/syprotocol.h"
#include "settings/settings.h"

namespace {

std::string deviceName(const TMIDIPort* midiPort, bool input, int n)
{
    if (!midiPort)
        return {};
    return input ? midiPort->inDeviceName(n) : midiPort->outDeviceName(n);
}

// Where the device of that name stands in the list now, or -1.
int findDevice(const TMIDIPort* midiPort, bool input, const std::string& name)
{
    const int count = !midiPort ? 0 : input ? midiPort->inCount : midiPort->outCount;
    for (int n = 0; !name.empty() && n < count; ++n)
        if (deviceName(midiPort, input, n) == name)
            return n;
    return -1;
}

// Settles which device of one side to open: by its name when the settings name one;
// false when that one is missing (its number becomes -1). byName alone: a side
// without a name opens nothing.
bool settleDevice(const TMIDIPort* midiPort, TSettings& settings, bool input, bool byName)
{
    int32_t& number = input ? settings.inDevice : settings.outDevice;
    std::string& name = input ? settings.inDeviceName : settings.outDeviceName;
    if (name.empty()) {
        if (byName) {
            number = -1;
            return false;
        }
        const int count = !midiPort ? 0 : input ? midiPort->inCount : midiPort->outCount;
        if (number >= 0 && number < count)
            name = deviceName(midiPort, input, number);
        return true;
    }
    number = findDevice(midiPort, input, name);
    return number >= 0;
}

void openDevices(TMIDIPort* midiPort, TSettings& settings, bool byName)
{
    if (!midiPort)
        return;
    midiPort->closePorts();
    const bool in = settleDevice(midiPort, settings, true, byName);
    const bool out = settleDevice(midiPort, settings, false, byName);
    // One message for what is missing, naming it: nothing else is opened instead.
    const bool inMissing = !in && !settings.inDeviceName.empty();
    const bool outMissing = !out && !settings.outDeviceName.empty();
    std::string missing;
    if (inMissing && outMissing)
        missing = "The MIDI input device \"" + settings.inDeviceName + "\" and the output device \"" +
                  settings.outDeviceName + "\" are not there";
    else if (inMissing)
        missing = "The MIDI input device \"" + settings.inDeviceName + "\" is not there";
    else if (outMissing)
        missing = "The MIDI output device \"" + settings.outDeviceName + "\" is not there";
    if (!missing.empty() && midiPort->events)
        midiPort->events->openError(missing + "; nothing was opened in its place.");
    if (in)
        midiPort->openInput(settings.inDevice);
    if (out)
        midiPort->openOutput(settings.outDevice);
}

// After a pick both ports open again, but a side whose device is gone (or was never
// chosen after a refresh) stays closed: it has nothing to open and nothing to repeat.
void reopenAfterPick(TMIDIPort* midiPort, const TSettings& settings)
{
    if (!midiPort)
        return;
    midiPort->closePorts();
    if (settings.inDevice >= 0)
        midiPort->openInput(settings.inDevice);
    if (settings.outDevice >= 0)
        midiPort->openOutput(settings.outDevice);
}
constexpr int clientWidth = 330;
constexpr int clientHeight = 352;

QGroupBox* group(const QString& caption, const QRect& place, QWidget* parent)
{
    auto* box = new QGroupBox(caption, parent);
    box->setGeometry(place);
    QFont font = box->font();
    font.setBold(true);
    box->setFont(font);
    QPalette palette = box->palette();
    palette.setColor(QPalette::WindowText, pictures::lime);
    box->setPalette(palette);
    return box;
}

void whiteList(QWidget* list)
{
    QFont font = list->font();
    font.setBold(false);
    list->setFont(font);
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    list->setPalette(palette);
}
}   // namespace

TSetDevices::TSetDevices(TMIDIPort* midiPort, TSYProtocol* protocol, TSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      midiPort(midiPort), protocol(protocol), settings(settings)
{
    setWindowTitle(QStringLiteral("Select MIDI Devices"));
    setModal(true);
    setFixedSize(clientWidth, clientHeight);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, pictures::black);
    palette.setColor(QPalette::WindowText, pictures::yellow);
    setPalette(palette);
    setAutoFillBackground(true);

    auto* strip = new QLabel(this);
    strip->setPixmap(pictures::socketStrip(clientHeight));
    strip->setGeometry(0, 0, 60, clientHeight);

    const int left = 68;
    const int width = clientWidth - left - 8;
    auto* inputs = group(QStringLiteral(" Input devices "), QRect(left, 6, width, 120), this);
    lbInputs = new QListWidget(inputs);
    lbInputs->setObjectName(QStringLiteral("lbInputs"));
    lbInputs->setAccessibleName(QStringLiteral("MIDI input devices"));
    lbInputs->setGeometry(8, 22, width - 16, 90);

    auto* outputs = group(QStringLiteral(" Output devices "), QRect(left, 132, width, 120), this);
    lbOutputs = new QListWidget(outputs);
    lbOutputs->setObjectName(QStringLiteral("lbOutputs"));
    lbOutputs->setAccessibleName(QStringLiteral("MIDI output devices"));
    lbOutputs->setGeometry(8, 22, width - 16, 90);

    auto* channel = group(QStringLiteral(" MIDI Channel "), QRect(left, 258, width, 52), this);
    cbMIDIChannel = new QComboBox(channel);
    cbMIDIChannel->setAccessibleName(QStringLiteral("MIDI channel"));
    cbMIDIChannel->setObjectName(QStringLiteral("cbMIDIChannel"));
    cbMIDIChannel->setGeometry(8, 20, 70, 24);
    for (int c = 1; c <= 16; ++c)
        cbMIDIChannel->addItem(QString::number(c));

    for (QWidget* list : {static_cast<QWidget*>(lbInputs), static_cast<QWidget*>(lbOutputs),
                          static_cast<QWidget*>(cbMIDIChannel)})
        whiteList(list);
    lbInputs->setSelectionMode(QAbstractItemView::SingleSelection);
    lbOutputs->setSelectionMode(QAbstractItemView::SingleSelection);

    bOkay = addPictureButton(this, QStringLiteral("&Okay"), pictures::tick(), 1,
                             QRect(left + width / 2 - 45, 318, 90, 27));
    bOkay->setObjectName(QStringLiteral("bOkay"));
    bOkay->setDefault(true);

    // Beside the channel box; made after "&Okay" so that "&Okay" stays the first button.
    bRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    bRefresh->setObjectName(QStringLiteral("bRefresh"));
    bRefresh->setGeometry(left + width - 98, 258 + 19, 90, 26);
    bRefresh->setAutoDefault(false);
    connect(bRefresh, &QPushButton::clicked, this, [this] { bRefreshClick(); });

    // A pick is a change of selection. The current row alone also moves when a list
    // without a selection merely gets the focus, and that must not reopen anything.
    connect(lbInputs, &QListWidget::itemSelectionChanged, this, [this] {
        ++selectionChanges;
        selectInputDevice();
    });
    connect(lbOutputs, &QListWidget::itemSelectionChanged, this, [this] {
        ++selectionChanges;
        selectOutputDevice();
    });
    lbInputs->viewport()->installEventFilter(this);
    lbOutputs->viewport()->installEventFilter(this);
    connect(lbInputs, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (selectionChanges == selectionChangesAtPress && item->isSelected())
            selectInputDevice();
    });
    connect(lbOutputs, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (selectionChanges == selectionChangesAtPress && item->isSelected())
            selectOutputDevice();
    });
    connect(cbMIDIChannel, &QComboBox::currentIndexChanged, this, [this] { setMIDIChannel(); });
}

void TSetDevices::fillDeviceLists()
{
    // Filling is not a pick: nothing reopens while the lists are made.
    const QSignalBlocker blockInputs(lbInputs);
    const QSignalBlocker blockOutputs(lbOutputs);
    const QSignalBlocker blockChannel(cbMIDIChannel);
    lbInputs->clear();
    lbOutputs->clear();
    if (midiPort) {
        for (int n = 0; n < midiPort->inCount; ++n)
            lbInputs->addItem(QString::fromStdString(midiPort->inDeviceName(n)));
        for (int n = 0; n < midiPort->outCount; ++n)
            lbOutputs->addItem(QString::fromStdString(midiPort->outDeviceName(n)));
    }
    // A number outside a list selects nothing there.
    lbInputs->setCurrentRow(
        settings.inDevice >= 0 && settings.inDevice < lbInputs->count() ? settings.inDevice : -1);
    lbOutputs->setCurrentRow(
        settings.outDevice >= 0 && settings.outDevice < lbOutputs->count() ? settings.outDevice : -1);
    // Messages carry the low 4 bits of the channel: show that one.
    cbMIDIChannel->setCurrentIndex(settings.midiChannel & 0x0F);
}

void TSetDevices::bRefreshClick()
{
    if (!midiPort)
        return;
    midiPort->closePorts();
    midiPort->enumerateDevices();
    openDevices(midiPort, settings, true);
    fillDeviceLists();
}

bool TSetDevices::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        selectionChangesAtPress = selectionChanges;
    return QDialog::eventFilter(watched, event);
}

static int selectedRow(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.constFirst());
}

// The device of the list's selected row becomes the setting (its number and name),
// and the ports open anew.
static void pickDevice(const QListWidget* list, TMIDIPort* midiPort, TSettings& settings, bool input)
{
    const int row = selectedRow(list);
    if (row < 0)
        return;
    (input ? settings.inDevice : settings.outDevice) = row;
    (input ? settings.inDeviceName : settings.outDeviceName) = deviceName(midiPort, input, row);
    reopenAfterPick(midiPort, settings);
}

void TSetDevices::selectInputDevice()
{
    pickDevice(lbInputs, midiPort, settings, true);
}

void TSetDevices::selectOutputDevice()
{
    pickDevice(lbOutputs, midiPort, settings, false);
}

void TSetDevices::setMIDIChannel()
{
    const int index = cbMIDIChannel->currentIndex();
    if (index < 0 || index >= 16)
        return;
    settings.midiChannel = index;
    if (protocol)
        protocol->setChannel(index);
}

void openSettingsDevices(TMIDIPort* midiPort, TSettings& settings)
{
    openDevices(midiPort, settings, false);
}

void TSetDevices::showEvent(QShowEvent* event)
{
    keepWithOwner(this);
    centreOnScreen(this);
    QDialog::showEvent(event);
}
