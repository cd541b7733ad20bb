// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/comparevoice.h"

#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstring>

#include "app/dialogs.h"
#include "document/voicedocument.h"
#include "editors/editcommands.h"
#include "library/fileio.h"
#include "midi/fetch.h"
#include "voice/dumpcodec.h"

namespace {

QString compareCaption()
{
    return QStringLiteral("Compare with");
}

// A voice file's first well-formed voice; false when it holds none.
bool readVoiceFile(const QString& path, Voice& voice)
{
    QFile file(path);
    // Far more than any voice file: a larger one is not read at all.
    if (file.size() > (1 << 20) || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    const long at = findWellFormedVoiceDump(bytes, static_cast<size_t>(data.size()));
    if (at < 0)
        return false;
    voice = decodedVoice(bytes + at);
    return true;
}

}   // namespace

TCompareVoice::TCompareVoice(TEditCommands& commands, TFileIO* fileIO, TMIDIFetch* fetch, QWidget* parent)
    : QWidget(parent, Qt::Window), commands(commands), fileIO(fileIO), fetch(fetch)
{
    setObjectName(QStringLiteral("CompareVoice"));
    setWindowTitle(QStringLiteral("Tarvik - Compare"));
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    QPushButton* bLibrary = button("bLibrary", QStringLiteral("Library voice..."));
    QPushButton* bFile = button("bFile", QStringLiteral("File..."));
    QPushButton* bSynth = button("bSynth", QStringLiteral("Synth's voice"));
    bLibrary->setEnabled(fileIO != nullptr);
    bSynth->setEnabled(fetch != nullptr);
    lOther = new QLabel(QStringLiteral("Choose the voice to compare with."), this);
    lOther->setObjectName(QStringLiteral("lOther"));
    twDiff = new QTableWidget(0, 3, this);
    twDiff->setObjectName(QStringLiteral("twDiff"));
    twDiff->setAccessibleName(QStringLiteral("Differing fields"));
    twDiff->setHorizontalHeaderLabels(
        {QStringLiteral("Field"), QStringLiteral("This voice"), QStringLiteral("The other")});
    twDiff->setEditTriggers(QAbstractItemView::NoEditTriggers);
    twDiff->setSelectionBehavior(QAbstractItemView::SelectRows);
    twDiff->horizontalHeader()->setStretchLastSection(true);
    twDiff->setToolTip(QStringLiteral("Double-click a row to take the other's value"));
    twDiff->setMinimumSize(520, 360);
    auto* top = new QHBoxLayout;
    for (QPushButton* b : {bLibrary, bFile, bSynth})
        top->addWidget(b);
    top->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lOther);
    layout->addWidget(twDiff);

    connect(bLibrary, &QPushButton::clicked, this, &TCompareVoice::askLibrary);
    connect(bFile, &QPushButton::clicked, this, &TCompareVoice::askFile);
    connect(bSynth, &QPushButton::clicked, this, &TCompareVoice::fetchSynth);
    connect(twDiff, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { takeRow(row); });
    TVoiceDocument& document = commands.document;
    connect(&document, &TVoiceDocument::voiceReplaced, this, &TCompareVoice::showDifferences);
    connect(&document, &TVoiceDocument::fieldChanged, this, &TCompareVoice::showDifferences);
    if (fetch) {
        connect(fetch, &TMIDIFetch::voiceReceived, this, [this](const std::vector<uint8_t>& dump) {
            if (!fetching)
                return;
            fetching = false;
            setOther(decodedVoice(dump.data()), QStringLiteral("the synthesiser's voice"));
        });
        connect(fetch, &TMIDIFetch::noAnswer, this, [this] {
            if (!fetching)
                return;
            fetching = false;
            warnUser(this, compareCaption(), QStringLiteral("No data received: the synthesiser did not answer."));
        });
    }
}

TCompareVoice::~TCompareVoice() = default;

void TCompareVoice::setOther(const Voice& v, const QString& origin)
{
    other = v;
    haveOther = true;
    lOther->setText(QStringLiteral("This voice against %1:").arg(origin));
    showDifferences();
}

void TCompareVoice::showDifferences()
{
    if (!haveOther)
        return;
    shown = voiceDifferences(commands.document.voice, other);
    twDiff->setRowCount(static_cast<int>(shown.size()));
    for (size_t i = 0; i < shown.size(); ++i) {
        const VoiceFieldDifference& d = shown[i];
        const int row = static_cast<int>(i);
        auto* field = new QTableWidgetItem(QString::fromStdString(d.field->caption));
        field->setToolTip(QString::fromStdString(d.field->path));
        twDiff->setItem(row, 0, field);
        twDiff->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(d.a)));
        twDiff->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(d.b)));
    }
}

void TCompareVoice::takeRow(int row)
{
    if (!haveOther || row < 0 || row >= static_cast<int>(shown.size()))
        return;
    const VoiceField* f = shown[static_cast<size_t>(row)].field;
    const Voice from = other;
    commands.runVoiceCommand(f->caption, [f, from](Voice& v) {
        if (f->type == FieldType::Name)
            std::memcpy(v.name, from.name, sizeof v.name);
        else
            setFieldValue(v, *f, fieldValue(from, *f));
    });
}

void TCompareVoice::askLibrary()
{
    if (!fileIO)
        return;
    QStringList items;
    const int32_t count = fileIO->countRecords();
    for (int32_t n = 0; n < count; ++n)
        items << QStringLiteral("%1  %2").arg(n).arg(QString::fromStdString(fileIO->readName(n)));
    if (items.isEmpty()) {
        tellUser(this, compareCaption(), QStringLiteral("The library holds no voice."));
        return;
    }
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, compareCaption(), QStringLiteral("Library voice:"), items,
                                                 0, false, &ok);
    if (!ok)
        return;
    const int32_t n = static_cast<int32_t>(items.indexOf(chosen));
    VoiceDump dump;
    if (n < 0)
        return;
    if (!fileIO->readDump(n, dump.data())) {
        warnUser(this, compareCaption(), QString::fromStdString(fileIO->lastError));
        return;
    }
    setOther(decodedVoice(dump.data()), QStringLiteral("library voice %1").arg(chosen));
}

void TCompareVoice::askFile()
{
    const QString path = QFileDialog::getOpenFileName(this, compareCaption(), QString(),
                                                      QStringLiteral("Voice files (*.syx *.SYX);;All files (*)"));
    if (path.isEmpty())
        return;
    Voice v;
    if (!readVoiceFile(path, v)) {
        warnUser(this, compareCaption(), QStringLiteral("%1 holds no well-formed voice dump.").arg(path));
        return;
    }
    setOther(v, QFileInfo(path).fileName());
}

void TCompareVoice::fetchSynth()
{
    if (!fetch || fetching)
        return;
    if (!fetch->startVoice()) {
        tellUser(this, compareCaption(), QStringLiteral("A fetch is under way: try again when it is over."));
        return;
    }
    fetching = true;
}
