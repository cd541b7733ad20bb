// The five user settings, kept in "TARVIK.INI" in the working directory: read once
// at start-up, written once at shutdown.
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

    // The file's five lines as save writes them.
    std::string text() const;

    // Reads settings from text already held in memory (at most the first 100 bytes).
    void parse(const char* text, size_t length);

    int32_t midiChannel = 0;   // 0..15 = channel 1..16
    int32_t inDevice = 0;
    int32_t outDevice = 0;
    int32_t model = 0;         // 0 SY-22, 1 SY-35
    bool autoSend = true;
    bool fileFound = false;
};

constexpr const char* settingsFileName = "TARVIK.INI";

// The process-wide settings; start-up replaces them with the ones read from the file.
extern TSettings settings;
