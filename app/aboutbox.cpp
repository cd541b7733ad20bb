// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/aboutbox.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

#include "app/dialogs.h"
#include "app/pictures.h"
#include "tarvik_version.h"

TAboutTarvik::TAboutTarvik()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("About Tarvik"));
    setModal(true);
    setFixedSize(427, 453);
    paintBlack(this);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("imNameStrip"));
    image->setPixmap(pictures::nameStrip(pictures::green));
    image->setAlignment(Qt::AlignCenter);
    image->setGeometry(0, 0, pictures::stripWidth, 420);
    auto* version = new QLabel(QStringLiteral("Version " TARVIK_VERSION), this);
    version->setFont(pictures::pixelFont(10, true));
    pictures::setTextColour(version, pictures::textTeal);
    version->setAlignment(Qt::AlignCenter);
    version->setGeometry(0, 425, pictures::stripWidth, 16);

    const int left = pictures::stripWidth + 8;
    const int width = 427 - left - 8;
    int top = 18;
    for (const char* line : {"Voice editor for the Yamaha", "SY-22 and SY-35 Vector Synthesisers."}) {
        auto* label = new QLabel(QString::fromLatin1(line), this);
        label->setFont(pictures::pixelFont(16, true));
        pictures::setTextColour(label, pictures::yellow);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(left - 6, top, width + 12, 22);
        fitLine(label);
        top += 22;
    }

    // A paragraph, wrapped and centred, in plain type of that size.
    const auto paragraph = [this](const char* name, int pixels, const QColor& colour) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        QFont font;
        font.setPixelSize(pixels);
        label->setFont(font);
        pictures::setTextColour(label, colour);
        return label;
    };
    auto* notice = paragraph("notice", 12, pictures::yellow);
    notice->setText(
        QStringLiteral("Tarvik is free software: you may use, copy, share and change it under the "
                       "terms of the licence that comes with it. It comes with no warranty of any kind."
                       "<br><br>"
                       "Tarvik holds one voice and lets you edit every parameter of it in four windows: "
                       "the AWM elements, the FM elements, the voice's common settings and the vectors. "
                       "Each change can go to the synthesiser at once. It fetches the voice the "
                       "synthesiser is playing, saves and loads single voices as System Exclusive "
                       "files, and keeps your voices in a library sorted by sixteen sound categories."
                       "<br><br>"
                       "Version " TARVIK_VERSION " brings the editor to today's desktops, with its own MIDI "
                       "layer and a library that never loses a record."
                       "<br><br>"
                       "Questions, bug reports and ideas are welcome on the Tarvik project's "
                       "issue tracker."));
    notice->setTextFormat(Qt::RichText);
    notice->setGeometry(left, top + 20, width, 290);

    // Where this run keeps its settings and library (filled in when shown).
    tfFolder = paragraph("tfFolder", 11, pictures::aqua);
    tfFolder->setGeometry(left, top + 314, width, 34);

    bOK = addPictureButton(this, QStringLiteral("OK"), pictures::tick(), 1,
                           QRect(left + width / 2 - 40, 412, 80, 27));
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setDefault(true);
}

void TAboutTarvik::showEvent(QShowEvent* event)
{
    tfFolder->setText(QStringLiteral("Settings and library are kept in %1")
                          .arg(QDir::toNativeSeparators(QDir::currentPath())));
    keepWithOwner(this);
    centreOnScreen(this);
    QDialog::showEvent(event);
}
