// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: the program, its version, its licence, and the folder this run keeps
// its settings and library in. It has a system menu with a close box.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutTarvik : public QDialog {
    Q_OBJECT
public:
    explicit TAboutTarvik();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPushButton* bOK;
    QLabel* tfFolder;   // the folder of TARVIK.INI and SOUNDS.SYL
};
