// The main window: the voice library listed by name and filtered by sixteen sound
// categories, and the menu of every command. Closing it ends the program.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <vector>

class QAction;
class QButtonGroup;
class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    // Library list.
    QListWidget* dbListBox;
    // The category boxes, indexed by their bit in a record's category mask.
    QCheckBox* categoryBox[16];
    QCheckBox *cbStrings, *cbBrass, *cbWoodwind, *cbPercussion, *cbPlucked, *cbPad, *cbSolo,
        *cbSynthetic, *cbBass, *cbVocal, *cbPiano, *cbOrgan, *cbKeyboard, *cbMusicalFX,
        *cbUntunedFX, *cbRealistic;
    QPushButton* bAutoSend;
    QPushButton* bNoAutoSend;
    QLabel* Image1;
    QLabel* Label13;
    QLabel* Label1;
    QGroupBox* GroupBox1;
    QWidget* Panel1;

    // Menu entries.
    QAction *Open1, *Save1, *ModifyVoice, *Addvoicetodatabase1, *Exit1;
    QAction *ElementA1, *ElementB1, *Voicecommon1, *Vector1;
    QAction *Undo1, *Redo1, *Compare1, *Mutate1;
    QAction *SelectMIDIdevices1, *Getsoundfromsynth1, *About1;
    QMenu *File1, *Edit1, *MIDI1;

    QFileDialog* fileOpenDlg;
    QFileDialog* fileSaveDlg;

    // Handlers, one per command.
    void Open1Click();
    void Save1Click();
    void ModifyVoiceClick();
    void Addvoicetodatabase1Click();
    void Exit1Click();
    void ElementA1Click();
    void ElementB1Click();
    void Voicecommon1Click();
    void Vector1Click();
    void SelectMIDIdevices1Click();
    void Getsoundfromsynth1Click();
    void About1Click();
    void Undo1Click();
    void Redo1Click();
    void Compare1Click();
    void Mutate1Click();
    void bAutoSendClick();
    void bNoAutoSendClick();
    void changeFilter(QCheckBox* sender);
    void extractVoice();
    void extravtVoiceKP(int key);

    static bool matchesFilter(uint32_t mask, uint32_t filter);

    uint32_t filterMask = 0;
    int32_t voiceCount = 0;
    std::vector<int32_t> rowRecord;
    int32_t rowCount = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillList();
    void buildMenus();
    void buildControls();
    void showHistory();
};

extern TMainForm* MainForm;

// FM, AWM, voice common, vector: the order in which the editors reload after a
// command replaced the voice.
void refreshEditors();
