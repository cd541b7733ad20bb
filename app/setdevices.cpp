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
#include "app/settings.h"
#include "midi/midiport.h"

TSetDevices* SetDevices = nullptr;

namespace {
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
} // namespace

TSetDevices::TSetDevices(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
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
    lbInputs->setGeometry(8, 22, width - 16, 90);

    auto* outputs = group(QStringLiteral(" Output devices "), QRect(left, 132, width, 120), this);
    lbOutputs = new QListWidget(outputs);
    lbOutputs->setObjectName(QStringLiteral("lbOutputs"));
    lbOutputs->setGeometry(8, 22, width - 16, 90);

    auto* channel = group(QStringLiteral(" MIDI Channel "), QRect(left, 258, width, 52), this);
    cbMIDIChannel = new QComboBox(channel);
    cbMIDIChannel->setObjectName(QStringLiteral("cbMIDIChannel"));
    cbMIDIChannel->setGeometry(8, 20, 70, 24);
    for (int c = 1; c <= 16; ++c)
        cbMIDIChannel->addItem(QString::number(c));

    for (QWidget* list : {static_cast<QWidget*>(lbInputs), static_cast<QWidget*>(lbOutputs),
                          static_cast<QWidget*>(cbMIDIChannel)})
        whiteList(list);
    lbInputs->setSelectionMode(QAbstractItemView::SingleSelection);
    lbOutputs->setSelectionMode(QAbstractItemView::SingleSelection);

    BitBtn1 = new QPushButton(QIcon(pictures::tick()), QStringLiteral("&Okay"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setIconSize(QSize(20, 20));
    BitBtn1->setGeometry(left + width / 2 - 45, 318, 90, 27);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(1); });

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
    lbInputs->setCurrentRow(settings.inDevice >= 0 && settings.inDevice < lbInputs->count()
                                ? settings.inDevice : -1);
    lbOutputs->setCurrentRow(settings.outDevice >= 0 && settings.outDevice < lbOutputs->count()
                                 ? settings.outDevice : -1);
    // Messages carry the low 4 bits of the channel: show that one.
    cbMIDIChannel->setCurrentIndex(settings.midiChannel & 0x0F);
}

void TSetDevices::bRefreshClick()
{
    if (!midiPort)
        return;
    const std::string inName = midiPort->inDeviceName(settings.inDevice);
    const std::string outName = midiPort->outDeviceName(settings.outDevice);
    midiPort->closePorts();
    midiPort->enumerateDevices();
    auto find = [](const std::string& name, int count, auto nameOf) {
        for (int n = 0; !name.empty() && n < count; ++n)
            if (nameOf(n) == name)
                return n;
        return -1;
    };
    const int in = find(inName, midiPort->inCount, [](int n) { return midiPort->inDeviceName(n); });
    const int out = find(outName, midiPort->outCount, [](int n) { return midiPort->outDeviceName(n); });
    if (in >= 0)
        settings.inDevice = in;
    if (out >= 0)
        settings.outDevice = out;
    fillDeviceLists();
    midiPort->openPorts(settings.inDevice, settings.outDevice);
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

void TSetDevices::selectInputDevice()
{
    const int row = selectedRow(lbInputs);
    if (row < 0)
        return;
    settings.inDevice = row;
    if (midiPort) {
        midiPort->closePorts();
        midiPort->openPorts(settings.inDevice, settings.outDevice);
    }
}

void TSetDevices::selectOutputDevice()
{
    const int row = selectedRow(lbOutputs);
    if (row < 0)
        return;
    settings.outDevice = row;
    if (midiPort) {
        midiPort->closePorts();
        midiPort->openPorts(settings.inDevice, settings.outDevice);
    }
}

void TSetDevices::setMIDIChannel()
{
    const int index = cbMIDIChannel->currentIndex();
    if (index >= 0 && index < 16)
        settings.midiChannel = index;
}

void TSetDevices::showEvent(QShowEvent* event)
{
    keepWithOwner(this);
    centreOnScreen(this);
    QDialog::showEvent(event);
}
