// SPDX-License-Identifier: GPL-3.0-or-later
// The five user settings, kept in "TARVIK.INI" in the working directory: read once
// at start-up, written once at shutdown. After the five lines the file may name the
// two devices (so that they are found again when the system numbers them otherwise)
// and the folder the file dialogs last showed; a file without those lines reads as
// it always did.
#pragma once

#include <cstdint>
#include <string>

class TSettings {
public:
    // Defaults only, reads nothing.
    TSettings() = default;
    // Defaults, then whatever the file says. Never fails: a missing file leaves the
    // defaults and fileFound false.
    explicit TSettings(const std::string& path);

    // Writes the five lines, each ending CR LF, through a new file renamed over the
    // old one: when anything fails the old file stays as it was. Nothing is reported
    // to the user; false tells a caller that wants to know.
    bool save(const std::string& path = "TARVIK.INI") const;

    // The file's lines as save writes them: the five, then those of the names and
    // the folder that are not empty.
    std::string text() const;

    // Reads settings from text already held in memory. The five keys count in the
    // first 100 bytes; the lines of the names and the folder anywhere (at most
    // textLimit bytes are looked at).
    void parse(const char* text, size_t length);

    int32_t midiChannel = 0;   // 0..15 = channel 1..16
    int32_t inDevice = 0;
    int32_t outDevice = 0;
    int32_t model = 0;   // 0 SY-22, 1 SY-35
    bool autoSend = true;
    bool fileFound = false;
    // The devices' names as the system gave them, "" when not known; the folder the
    // file dialogs last showed. Never longer than valueLimit bytes, never holding a
    // byte below 32.
    std::string inDeviceName;
    std::string outDeviceName;
    std::string lastFolder;
    // Start-up sends the library's first voice to the synthesiser, replacing what
    // its edit buffer holds; "Send at start=0", a line after the others, starts
    // without sending (written only then).
    bool sendAtStart = true;

    static constexpr size_t textLimit = 8192;
    static constexpr size_t valueLimit = 1024;
};

constexpr const char* settingsFileName = "TARVIK.INI";
