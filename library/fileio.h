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

#include "library/voiceimport.h"

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

// The masks and names of every complete record of the library, read in one pass, so
// that a list can be filtered and searched again without touching the file. stamp
// tells whether the file may have changed since.
struct LibraryListing {
    std::vector<uint32_t> masks;
    std::vector<char> names;   // 8 characters per record, blank where not plain text
    int32_t count() const { return static_cast<int32_t>(masks.size()); }
    const char* name(int32_t n) const { return names.data() + 8 * static_cast<size_t>(n); }

    struct Stamp {
        int64_t size = -1, inode = 0, mtime = 0, ctime = 0;
        uint64_t writes = 0;
        bool operator==(const Stamp&) const = default;
    } stamp;
};

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

    // ---- many records at once, and housekeeping ----
    // Each opens and closes the library itself. On failure false comes back, lastError
    // says why and, where a write failed, saveError is shown; the file is then as it was
    // (or, for appendDumps, holds the whole records appended before the failure).

    // Appends the dumps as records under mask, in order. A dump the library already
    // holds (the same 592 bytes once both are normalised), or one appended earlier in
    // the same call, is skipped unless keepDuplicates. progress is asked once before
    // anything is written and after each batch of 64 dumps; when it returns false the
    // appending stops there, and whole records only stay. Fills added, duplicates,
    // cancelled and writeFailed (then saveError is shown and lastError says why).
    ImportSummary appendDumps(const std::vector<VoiceDump>& dumps, uint32_t mask, bool keepDuplicates,
                              const ImportProgress& progress = {});

    // Record n's dump as stored, into 592 bytes. False when the file holds no record n.
    bool readDump(int32_t n, uint8_t* dump);
    // Whether a name may go into a record: at most 8 characters from 0x20..0x7E.
    static bool validRecordName(const std::string& name);
    // Sets the voice name inside record n's dump (blank-padded to 8 characters) and
    // its inner and outer checksums; the mask and the rest of the dump stay. Written in place.
    bool renameRecord(int32_t n, const std::string& name);
    // Sets record n's category mask (bits 16..31 written as 0). Written in place.
    bool setRecordCategories(int32_t n, uint32_t mask);
    // Removes the records (any order, repeats allowed). The file is rewritten safely:
    // a new file beside it, flushed, then renamed over the old one.
    bool deleteRecords(const std::vector<int32_t>& records);
    // Moves record from to position to (0..count-1), the others keeping their order;
    // rewritten safely as deleteRecords.
    bool moveRecord(int32_t from, int32_t to);
    // The records whose mask holds every bit of mask (all when mask is 0).
    std::vector<int32_t> recordsWithMask(uint32_t mask);
    // Writes the records' dumps, normalised (byte 2 = 0) and with a wrong inner
    // checksum mended, one after the other to path,
    // through a new file renamed over any old one: on failure path is as it was.
    bool exportRecords(const std::vector<int32_t>& records, const std::string& path);
    bool exportRecord(int32_t n, const std::string& path) { return exportRecords({n}, path); }

    // Fills listing from the library (created with its magic when missing) unless it
    // is already current: the file's size, inode and times are as when it was read and
    // nothing was written through this object since. True when it was read again.
    bool refreshListing(LibraryListing& listing);

    // Why the last of the calls above failed, in words for the user.
    std::string lastError;

    TFileIOEvents* events = nullptr;
    std::string libraryPath;

private:
    // A window of whole records read with one large read; a listing pass reads the
    // file once instead of seeking and reading a few bytes per record.
    const uint8_t* cachedRecord(int32_t n);
    void dropCache();
    bool openLibraryFile(bool create);
    // Writes the records of the open library in the given order to a new file and
    // renames it over the library.
    bool rewriteLibrary(const std::vector<int32_t>& order);
    bool failWith(const std::string& reason, bool writeFailed);

    LibraryListing::Stamp fileStamp() const;

    int fd = -1;
    int64_t position = 0;
    // Counts the writes to the library (every attempt): a listing read before is stale.
    uint64_t writes = 0;
    std::vector<uint8_t> cache;
    int64_t cacheStart = 0;   // file offset of cache[0]
    size_t cacheFill = 0;     // bytes of cache read from the file
};

// The process-wide voice file object.
extern TFileIO* fileIO;
