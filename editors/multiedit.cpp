// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/multiedit.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/bankdocument.h"
#include "editors/controls.h"
#include "editors/fieldbinder.h"
#include "editors/namebox.h"

QString noteName(int note)
{
    static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    if (note < 0 || note > 127)
        return QString::number(note);
    return QString::fromLatin1(names[note % 12]) + QString::number(note / 12 - 2);
}

namespace {

QString slotVoiceName(const Bank& bank, int value, bool sy35)
{
    const int bankIndex = value / 64;
    if (bankIndex == 0)
        return sy35 ? QString() : QString::fromStdString(presetVoiceName(value));   // the SY-35's are not known
    if (bankIndex == 2)
        return QStringLiteral("card");
    const VoiceDump& d = bank.voices[static_cast<size_t>(value % 64)];
    QString name;
    for (int i = 19; i < 27; ++i)
        name += d[static_cast<size_t>(i)] >= 0x20 && d[static_cast<size_t>(i)] < 0x7F
                    ? QChar(d[static_cast<size_t>(i)])
                    : QChar(' ');
    return name;
}

}   // namespace

TMultiEdit::TMultiEdit(TBankDocument* document, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      document(document), fields(new TFieldBinder(*this, this))
{
    setObjectName(QStringLiteral("MultiEdit"));
    setWindowTitle(QStringLiteral("Tarvik - Multis"));
    setStyleSheet(editorStyleSheet() + QStringLiteral("TMultiEdit { background-color: black; }"));

    QLayout* top = addTop();
    QWidget* parts = addParts();
    lSendNote =
        new QLabel(QStringLiteral("Changes to the multis go to the synthesiser with the next bank send: "
                                  "the synthesiser takes multis only inside a bank."));
    lSendNote->setObjectName(QStringLiteral("lSendNote"));
    lSendNote->setWordWrap(true);
    QLayout* buttons = addButtons();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(parts);
    layout->addWidget(lSendNote);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    bindFields();

    connect(cbMulti, &TPickList::picked, this, [this](int m) { selectMulti(m); });
    connect(tfName, &QLineEdit::textChanged, this, [this] { nameChanged(); });
    tfName->installEventFilter(fields);
    connect(bUndo, &QPushButton::clicked, this, [this] { this->document->undo(); });
    connect(bRedo, &QPushButton::clicked, this, [this] { this->document->redo(); });
    connect(bSendBank, &QPushButton::clicked, this, [this] {
        this->document->finishEdit();
        if (sendBank)
            sendBank();
    });
    connect(bClose, &QPushButton::clicked, this, &QWidget::hide);
    addUndoKeys(
        this, [this] { this->document->undo(); }, [this] { this->document->redo(); });
    closeOnEscape(this);
    connect(document, &TBankDocument::bankChanged, this, &TMultiEdit::refresh);
    connect(document, &TBankDocument::historyChanged, this, &TMultiEdit::showHistory);
    refresh();
    showHistory();
}

QLayout* TMultiEdit::addTop()
{
    cbMulti = new TPickList;
    cbMulti->setObjectName(QStringLiteral("cbMulti"));
    cbMulti->setToolTip(QStringLiteral("Selects the multi to edit"));
    cbMulti->setAccessibleName(QStringLiteral("Multi shown"));
    for (int m = 0; m < multiCount; ++m)
        cbMulti->addItem(QString());
    // Wide enough for "16  " and an 8-character name.
    cbMulti->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbMulti->setMinimumContentsLength(13);
    tfName = new TNameBox;
    tfName->setObjectName(QStringLiteral("tfName"));
    tfName->setToolTip(QStringLiteral("The multi's name (8 characters)"));
    tfName->setAccessibleName(QStringLiteral("Multi name"));
    tfName->setFixedWidth(90);
    cbEffectType = new TPickList(effectTypeNames());
    cbEffectType->setObjectName(QStringLiteral("cbEffectType"));
    tfEffectDepth = new TNumberBox(1);
    tfEffectDepth->setObjectName(QStringLiteral("tfEffectDepth"));
    udEffectDepth = new TUpDown;
    udEffectDepth->setObjectName(QStringLiteral("udEffectDepth"));

    // Each label with its control: Alt and the letter goes there.
    auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    auto* top = new QHBoxLayout;
    top->addWidget(label(QStringLiteral("M&ulti: "), cbMulti));
    top->addWidget(cbMulti);
    top->addSpacing(12);
    top->addWidget(label(QStringLiteral("&Name: "), tfName));
    top->addWidget(tfName);
    top->addSpacing(12);
    top->addWidget(label(QStringLiteral("&Effect: "), cbEffectType));
    top->addWidget(cbEffectType);
    top->addWidget(label(QStringLiteral("&Depth: "), tfEffectDepth));
    top->addWidget(numberWithArrows(tfEffectDepth, udEffectDepth, 24));
    top->addStretch(1);
    return top;
}

QWidget* TMultiEdit::addParts()
{
    auto* parts = new QGroupBox(QStringLiteral(" Parts "));
    auto* grid = new QGridLayout(parts);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(3);
    const char* const headings[] = {"Part",  "Channel", "Voice",      "",       "",
                                    "Level", "Detune",  "Note shift", "Lowest", "Highest"};
    for (int c = 0; c < 10; ++c)
        grid->addWidget(new QLabel(QString::fromLatin1(headings[c])), 0, c);
    QStringList channels;
    for (int c = 1; c <= 16; ++c)
        channels << QString::number(c);
    channels << QStringLiteral("off");
    QStringList notes;
    for (int n = 0; n < 128; ++n)
        notes << noteName(n);
    for (int p = 0; p < multiParts; ++p)
        addPart(grid, p, channels, notes);
    return parts;
}

void TMultiEdit::addPart(QGridLayout* grid, int p, const QStringList& channels, const QStringList& notes)
{
    Part& c = part[p];
    const QString suffix = QString::number(p + 1);
    auto named = [&suffix](QWidget* w, const char* name) {
        w->setObjectName(QLatin1String(name) + suffix);
        return w;
    };
    c.cbChannel = new TPickList(channels);
    c.cbBank = new TPickList({QStringLiteral("P"), QStringLiteral("I"), QStringLiteral("C")});
    c.tfNumber = new TNumberBox(2);
    c.udNumber = new TUpDown;
    c.lVoiceName = new QLabel;
    c.lVoiceName->setMinimumWidth(70);
    c.tfLevel = new TNumberBox(2);
    c.udLevel = new TUpDown;
    c.tfDetune = new TNumberBox(3, TNumberBox::SignedDigits);
    c.udDetune = new TUpDown;
    c.tfNoteShift = new TNumberBox(3, TNumberBox::SignedDigits);
    c.udNoteShift = new TUpDown;
    c.cbNoteLow = new TPickList(notes);
    c.cbNoteHigh = new TPickList(notes);
    c.cbNoteLow->setMaxVisibleItems(16);
    c.cbNoteHigh->setMaxVisibleItems(16);
    const int r = p + 1;
    grid->addWidget(new QLabel(suffix), r, 0, Qt::AlignCenter);
    grid->addWidget(named(c.cbChannel, "cbChannel"), r, 1);
    grid->addWidget(named(c.cbBank, "cbBank"), r, 2);
    grid->addWidget(numberWithArrows(c.tfNumber, c.udNumber, 26), r, 3);
    grid->addWidget(named(c.lVoiceName, "lVoiceName"), r, 4);
    grid->addWidget(numberWithArrows(c.tfLevel, c.udLevel, 26), r, 5);
    grid->addWidget(numberWithArrows(c.tfDetune, c.udDetune, 34), r, 6);
    grid->addWidget(numberWithArrows(c.tfNoteShift, c.udNoteShift, 34), r, 7);
    grid->addWidget(named(c.cbNoteLow, "cbNoteLow"), r, 8);
    grid->addWidget(named(c.cbNoteHigh, "cbNoteHigh"), r, 9);
    const std::pair<QWidget*, const char*> numbers[] = {
        {c.tfNumber, "tfNumber"},       {c.udNumber, "udNumber"},      {c.tfLevel, "tfLevel"},
        {c.udLevel, "udLevel"},         {c.tfDetune, "tfDetune"},      {c.udDetune, "udDetune"},
        {c.tfNoteShift, "tfNoteShift"}, {c.udNoteShift, "udNoteShift"}};
    for (const auto& [w, name] : numbers)
        named(w, name);
}

QLayout* TMultiEdit::addButtons()
{
    bUndo = new QPushButton(QStringLiteral("Undo"));
    bUndo->setObjectName(QStringLiteral("bUndo"));
    bRedo = new QPushButton(QStringLiteral("Redo"));
    bRedo->setObjectName(QStringLiteral("bRedo"));
    bSendBank = new QPushButton(QStringLiteral("Send &bank to synth..."));
    bSendBank->setObjectName(QStringLiteral("bSendBank"));
    bClose = new QPushButton(QStringLiteral("&Close"));
    bClose->setObjectName(QStringLiteral("bClose"));
    // Fixed widths: the captions change with every step, the window should not.
    bUndo->setFixedWidth(230);
    bRedo->setFixedWidth(230);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bUndo);
    buttons->addWidget(bRedo);
    buttons->addStretch(1);
    buttons->addWidget(bSendBank);
    buttons->addWidget(bClose);
    return buttons;
}

MultiRecord& TMultiEdit::record()
{
    return document->edit().multis[static_cast<size_t>(shown)];
}

void TMultiEdit::bindFields()
{
    // A row of the multi field table, read and written in the shown multi; the
    // record's checksum follows every change.
    auto row = [this](const MultiField& f) {
        TFieldRow r;
        r.caption = QString::fromStdString(f.caption);
        r.minimum = f.minimum;
        r.maximum = f.maximum;
        const MultiField* field = &f;
        r.get = [this, field] { return field->get(record(), field->part); };
        r.set = [this, field](int value) {
            field->set(record(), field->part, value);
            setMultiChecksum(record());
        };
        return r;
    };
    fields->bindList(cbEffectType, row(multiField(MultiFieldId::EffectType)),
                     QStringLiteral("Selects the effect type"));
    fields->bindNumber(tfEffectDepth, udEffectDepth, row(multiField(MultiFieldId::EffectDepth)),
                       QStringLiteral("Sets the amount of effect"));
    for (int p = 0; p < multiParts; ++p) {
        Part& c = part[p];
        fields->bindList(c.cbChannel, row(multiField(MultiFieldId::Channel, p)),
                         QStringLiteral("The MIDI channel the part receives on, or off"));
        // One field, two controls: the bank (P, I, C) and the number in it (1..64).
        const TFieldRow voice = row(multiField(MultiFieldId::Voice, p));
        TFieldRow bankRow = voice;
        bankRow.caption += QStringLiteral(" bank");
        bankRow.minimum = 0;
        bankRow.maximum = 2;
        bankRow.get = [get = voice.get] { return get() / 64; };
        bankRow.set = [get = voice.get, set = voice.set](int b) { set(b * 64 + get() % 64); };
        fields->bindList(c.cbBank, bankRow, QStringLiteral("The voice's bank: P preset, I internal, C card"));
        TFieldRow numberRow = voice;
        numberRow.caption += QStringLiteral(" number");
        numberRow.minimum = 1;
        numberRow.maximum = 64;
        numberRow.get = [get = voice.get] { return get() % 64 + 1; };
        numberRow.set = [get = voice.get, set = voice.set](int n) { set(get() / 64 * 64 + n - 1); };
        fields->bindNumber(c.tfNumber, c.udNumber, numberRow,
                           QStringLiteral("The voice's number in its bank"));
        fields->bindNumber(c.tfLevel, c.udLevel, row(multiField(MultiFieldId::Level, p)),
                           QStringLiteral("Sets the part's level"));
        fields->bindNumber(c.tfDetune, c.udDetune, row(multiField(MultiFieldId::Detune, p)),
                           QStringLiteral("Detunes the part"));
        fields->bindNumber(c.tfNoteShift, c.udNoteShift, row(multiField(MultiFieldId::NoteShift, p)),
                           QStringLiteral("Shifts the part's notes in semitones"));
        fields->bindList(c.cbNoteLow, row(multiField(MultiFieldId::NoteLow, p)),
                         QStringLiteral("The lowest note the part plays"));
        fields->bindList(c.cbNoteHigh, row(multiField(MultiFieldId::NoteHigh, p)),
                         QStringLiteral("The highest note the part plays"));
    }
}

void TMultiEdit::selectMulti(int m)
{
    if (m < 0 || m >= multiCount)
        return;
    document->finishEdit();
    shown = m;
    refresh();
}

void TMultiEdit::refresh()
{
    const TFieldBinder::Refreshing guard(*fields);
    fields->refresh();
    const std::string name = multiName(record());
    tfName->showName(name.c_str());
    showNames();
}

void TMultiEdit::fieldEdited(QObject* control, bool held)
{
    document->edited(control, held);
    showNames();
}

void TMultiEdit::editOver()
{
    document->finishEdit();
}

void TMultiEdit::showNames()
{
    const Bank& bank = document->bank();
    for (int m = 0; m < multiCount; ++m)
        cbMulti->setItemText(m, QStringLiteral("%1  %2").arg(m + 1, 2).arg(
                                    QString::fromStdString(multiName(bank.multis[static_cast<size_t>(m)]))));
    cbMulti->select(shown);
    const MultiField& voice = multiField(MultiFieldId::Voice, 0);
    for (int p = 0; p < multiParts; ++p)
        part[p].lVoiceName->setText(
            slotVoiceName(bank, voice.get(bank.multis[static_cast<size_t>(shown)], p), isSY35 && isSY35()));
}

void TMultiEdit::nameChanged()
{
    if (!fields->ready())
        return;
    const QByteArray name = tfName->name();
    setMultiName(record(), std::string(name.constData(), static_cast<size_t>(name.size())));
    setMultiChecksum(record());
    fields->report(tfName);
}

void TMultiEdit::showHistory()
{
    // The step is named in the tooltip: the buttons keep a short caption that fits.
    bUndo->setText(QStringLiteral("&Undo"));
    bUndo->setToolTip(undoText(*document) + QStringLiteral(" (Ctrl+Z)"));
    bUndo->setEnabled(document->canUndo());
    bRedo->setText(QStringLiteral("&Redo"));
    bRedo->setToolTip(redoText(*document) + QStringLiteral(" (Ctrl+Shift+Z, Ctrl+Y)"));
    bRedo->setEnabled(document->canRedo());
}

void TMultiEdit::closeEvent(QCloseEvent* event)
{
    document->finishEdit();
    hide();
    event->accept();
}
