// The voice library "SOUNDS.SYL" and single-voice .SYX files. Free of Qt: what the
// user must see (the "Invalid file" and "Save error" dialogs) and the send that follows
// every load go through TFileIOEvents.
//
// Library layout: the 5 bytes "TORVA", then 596-byte records, record n at 5 + 596·n:
// the category mask (4 bytes, lowest first; bits 16..31 written as 0) and the voice's
// 592-byte bulk dump with byte 2 = 0x00. Records count only when complete: a trailing
// part-record is neither counted, listed nor read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TFileIOEvents {
public:
    virtual ~TFileIOEvents() = default;
    // "Invalid file": a single-voice file could not be read or holds no voice dump.
    virtual void invalidFile() = 0;
    // "Save error" ("Error saving file"): a file or a library record was not written.
    virtual void saveError() = 0;
    // A voice was just loaded into voice (from a file or the library): send it to the
    // synthesiser at once, whatever the auto-send switch says.
    virtual void sendVoice() = 0;
};

constexpr const char* libraryFileName = "SOUNDS.SYL";
constexpr int libraryMagicSize = 5;        // "TORVA"
constexpr int libraryRecordSize = 596;     // mask + dump
constexpr int libraryNameOffset = 4 + 19;  // the voice name inside a record

class TFileIO {
public:
    explicit TFileIO(std::string libraryPath = libraryFileName);
    ~TFileIO();
    TFileIO(const TFileIO&) = delete;
    TFileIO& operator=(const TFileIO&) = delete;

    // Single-voice files. Each opens, uses and closes a file of its own.
    // Writes the 592 bytes of the current voice. False (and saveError) when the file
    // cannot be created or not all of it was written.
    bool saveVoiceFile(const std::string& path);
    // Loads the first well-formed voice dump in the file (a 592-byte run from an F0
    // byte to an F7 byte with the header, byte count and checksum right, trying each
    // F0 in turn) into voice and sends it. False
    // (and invalidFile) when there is none or the path is not a regular file (a
    // device or a pipe is never read): voice unchanged, nothing sent.
    bool loadVoiceFile(const std::string& path);

    // The library.
    // Opens the library for reading and writing, creating it with its magic when it
    // is missing; a library that cannot be written opens for reading only. False when
    // it can neither be opened nor created (then no file is open).
    bool openLibrary();
    void closeFile();
    void seekRecord(int32_t n);
    // Complete records in the file by its size; 0 when it is missing or not a file.
    int32_t countRecords() const;
    // A record the open file does not hold (completely) reads as absent: mask 0,
    // name "" (empty, where a present record always gives 8 characters).
    uint32_t readCategories(int32_t n);
    std::string readName(int32_t n);
    // Whether the open file holds record n completely.
    bool holdsRecord(int32_t n);
    // Decodes record n into voice and sends it. False when the library holds no
    // record n (or cannot be opened): voice unchanged, nothing sent, no dialog.
    bool loadRecord(int32_t n);
    // Writes mask and the encoded voice at the current position of the open file.
    // On failure the file is put back to its previous length and content and false
    // comes back (no dialog here; appendRecord and overwriteRecord show it).
    bool writeRecord(uint32_t mask);
    // Adds the current voice as a new last record (creating a missing library with its
    // magic first). False (and saveError) when nothing was added; the file is then
    // as it was.
    bool appendRecord(uint32_t mask);
    // Replaces record n, mask and voice together. False (and saveError) when the file
    // holds no record n or the write failed; the file is then as it was.
    bool overwriteRecord(int32_t n, uint32_t mask);

    TFileIOEvents* events = nullptr;
    std::string libraryPath;

private:
    // A window of whole records read with one large read; a listing pass reads the
    // file once instead of seeking and reading a few bytes per record.
    const uint8_t* cachedRecord(int32_t n);
    void dropCache();
    bool openLibraryFile(bool create);

    int fd = -1;
    int64_t position = 0;
    std::vector<uint8_t> cache;
    int64_t cacheStart = 0;   // file offset of cache[0]
    size_t cacheFill = 0;     // bytes of cache read from the file
};

// The process-wide voice file object.
extern TFileIO* fileIO;
