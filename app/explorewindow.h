// SPDX-License-Identifier: GPL-3.0-or-later
// The Explore window: sixteen bred candidates to audition on the synthesiser, up to
// three favourites to breed the next round from, locks and a strength for breeding, a
// pad that morphs between two to four corner voices live, and six archive places that
// keep candidates across rounds. Nothing becomes the voice being edited until "Keep",
// and nothing reaches the library until "Add to library".
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "voice/explore.h"
#include "voice/voice.h"

class QCheckBox;
class QLabel;
class QMimeData;
class QPushButton;
class QSlider;
struct TTarvik;

class TExploreWindow : public QWidget {
    Q_OBJECT
public:
    explicit TExploreWindow(TTarvik& run);

    const std::vector<Voice>& candidates() const { return round.candidates; }
    // The voice last sent to be heard (a candidate, an archive place or the pad's).
    const std::optional<Voice>& auditioned() const { return heard; }
    // Candidate indices (0..15) in rank order.
    const std::vector<int>& favourites() const { return round.favourites; }
    GroupLocks locks() const;

    void audition(int cell);
    // Marks the cell the next favourite, or unmarks it; false when a fourth is refused.
    bool toggleFavourite(int cell);
    void nextRound();
    void again();
    void back();
    void keep();
    // The voice being edited moved toward (1) or away from (-1) the voice heard last
    // by the strength, keeping the locked groups; heard, not yet kept.
    void nudge(int direction);
    void addToLibrary();
    // A corner of the pad (0..3) from the current voice, the voice last heard, a
    // library record or a slot of the Bank window's bank. A record that cannot be read
    // is named in a warning and leaves the corner as it was.
    void setCornerFromCurrent(int corner);
    void setCornerFromAudition(int corner);
    bool setCornerFromRecord(int corner, int32_t record);
    bool setCornerFromBankSlot(int corner, int slot);
    const std::optional<Voice>& corner(int c) const { return corners[c]; }
    // The pad's point (x, y in 0..1): the morph there, sent live.
    void morphAt(double x, double y);
    void archive(int place, int cell);
    void auditionArchive(int place);

private:
    struct Round {
        BreedInput input;
        std::vector<Voice> candidates;
        std::vector<int> favourites;
    };
    void breed(BreedInput input);
    void showRound();
    void hear(const Voice& v);
    void setCorner(int corner, const Voice& v);
    // A candidate, an archive place, library records or a bank slot dropped on a corner.
    bool dropOnCorner(int corner, const QMimeData* data, QObject* source);

    TTarvik& run;
    Round round;
    std::vector<Round> earlier;   // the rounds before, the last one last
    std::optional<Voice> lastPick;
    uint32_t nextSeed = 1;
    std::optional<Voice> heard;
    int heardCell = -1;   // the candidate heard last in this round, shown bold
    std::optional<Voice> corners[4];
    std::optional<Voice> archived[6];

    QPushButton* cells[breedCount];
    QCheckBox* cbLock[fieldGroupCount];
    QCheckBox* cbPlayOnAudition;
    QSlider* tbStrength;
    QPushButton* bNextRound;
    QPushButton* bAgain;
    QPushButton* bBack;
    QPushButton* bKeep;
    QPushButton* bAddToLibrary;
    QPushButton* bNudgeToward;
    QPushButton* bNudgeAway;
    QLabel* lbCorner[4];
    QPushButton* bCornerCurrent[4];
    QPushButton* bCornerFromAudition[4];
    QWidget* padMorph;
    QPushButton* archivePlaces[6];
};
