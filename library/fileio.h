// The voice library "SOUNDS.SYL" and single-voice .SYX files. Free of Qt: what the
// user must see (the "Invalid file" and "Save error" dialogs) and the send that follows
// every load go through TFileIOEvents.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class TFileIOEvents {
public:
    virtual ~TFileIOEvents() = default;
    virtual void invalidFile() = 0;   // "Invalid file"
    virtual void saveError() = 0;     // "Save error"
    virtual void sendVoice() = 0;     // a loaded voice goes to the synthesiser at once
};

constexpr const char* libraryFileName = "SOUNDS.SYL";

class TFileIO {
public:
    explicit TFileIO(std::string libraryPath = libraryFileName);
    ~TFileIO();

    // Single-voice files.
    void saveVoiceFile(const std::string& path);
    void loadVoiceFile(const std::string& path);

    // The library.
    void openLibrary();
    void closeFile();
    void seekRecord(int32_t n);
    int32_t countRecords() const;
    uint32_t readCategories(int32_t n);
    std::string readName(int32_t n);
    void loadRecord(int32_t n);
    bool writeRecord(uint32_t mask);
    bool appendRecord(uint32_t mask);            // false: nothing added, file unchanged
    bool overwriteRecord(int32_t n, uint32_t mask);

    TFileIOEvents* events = nullptr;
    std::string libraryPath;

private:
    FILE* file = nullptr;
};

// The process-wide voice file object.
extern TFileIO* fileIO;
