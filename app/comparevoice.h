// SPDX-License-Identifier: GPL-3.0-or-later
// "Compare with...": the voice being edited beside another, a library voice, a voice
// file or the synthesiser's current voice, as a table of the fields that differ
// (caption, this voice, the other) in the editors' shown form. Double-clicking a row
// takes the other's value into the voice being edited as one undo step; the table
// follows every change of the voice. Caption "Tarvik - Compare".
#pragma once

#include <QString>
#include <QWidget>

#include <vector>

#include "voice/bankdiff.h"
#include "voice/voice.h"

class QLabel;
class QTableWidget;
class TEditCommands;
class TFileIO;
class TMIDIFetch;

class TCompareVoice : public QWidget {
    Q_OBJECT
public:
    // fileIO: the library (null: none); fetch: the synthesiser's (null: none).
    TCompareVoice(TEditCommands& commands, TFileIO* fileIO, TMIDIFetch* fetch, QWidget* parent);
    ~TCompareVoice() override;

    // The other voice, named by where it came from; the table shows the differences.
    void setOther(const Voice& other, const QString& origin);
    // Takes the other's value of the table's row into the voice (one undo step).
    void takeRow(int row);

    // Asks for the other: a library voice, a voice file, the synthesiser's voice.
    void askLibrary();
    void askFile();
    void fetchSynth();

    QTableWidget* twDiff;

private:
    void showDifferences();

    TEditCommands& commands;
    TFileIO* fileIO;
    TMIDIFetch* fetch;
    QLabel* lOther;
    Voice other{};
    bool haveOther = false;
    bool fetching = false;
    std::vector<VoiceFieldDifference> shown;
};
