// SPDX-License-Identifier: GPL-3.0-or-later
// The voice library "SOUNDS.SYL" and single-voice .SYX files. Free of Qt: voices come
// and go as their 592-byte dumps, and what the user must see (the "Invalid file" and
// "Save error" dialogs) goes through TFileIOEvents.
//
// Library layout: the 5 bytes "TORVA", then 596-byte records, record n at 5 + 596·n:
// the category mask (4 bytes, lowest first; bits 16..31 written as 0) and the voice's
// 592-byte bulk dump with byte 2 = 0x00. Records count only when complete: a trailing
// part-record is neither counted, listed nor read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/voiceimport.h"

class TFileIOEvents {
public:
    virtual ~TFileIOEvents() = default;
    // "Invalid file": a single-voice file could not be read or holds no voice dump.
    virtual void invalidFile() = 0;
    // "Save error" ("Error saving file"): a file or a library record was not written;
    // reason is the system's (or the library's) word for why, e.g. "No space left on
    // device".
    virtual void saveError(const std::string& reason) = 0;
};

constexpr const char* libraryFileName = "SOUNDS.SYL";
constexpr int libraryMagicSize = 5;         // "TORVA"
constexpr int libraryRecordSize = 596;      // mask + dump
constexpr int libraryNameOffset = 4 + 19;   // the voice name inside a record

// A record's identity: a hash of its 596 bytes. What a window listed is compared by
// it with what the file holds when the window acts on the record.
uint64_t libraryRecordHash(const uint8_t* record);

// The masks and names of every complete record of the library, read in one pass, so
// that a list can be filtered and searched again without touching the file. stamp
// tells whether the file may have changed since.
struct LibraryListing {
    std::vector<uint32_t> masks;
    std::vector<char> names;        // 8 characters per record, blank where not plain text
    std::vector<uint64_t> hashes;   // libraryRecordHash of each record
    std::vector<uint8_t> damaged;   // 1 where the dump fails its frame, header or checksum
    // Why nothing is listed from a file that is there, e.g. one that is no library;
    // empty when the list is what the file holds.
    std::string problem;
    int32_t count() const { return static_cast<int32_t>(masks.size()); }
    const char* name(int32_t n) const { return names.data() + 8 * static_cast<size_t>(n); }
    bool isDamaged(int32_t n) const { return n >= 0 && n < count() && damaged[static_cast<size_t>(n)] != 0; }

    struct Stamp {
        int64_t size = -1, inode = 0, mtime = 0, ctime = 0;
        uint64_t writes = 0;
        bool operator==(const Stamp&) const = default;
    } stamp;
};

// What `library check` finds in a library file.
struct LibraryCheck {
    std::string problem;   // the file cannot be read, or is no library
    int32_t records = 0;
    struct Damage {
        int32_t record;
        std::string reason;
    };
    std::vector<Damage> damaged;   // the first keptRefusals damaged records
    int64_t damagedCount = 0;      // all of them
    // Where the records lose their step (bytes inserted or lost): the first record
    // that is damaged while a voice begins off the record grid after it, and by how
    // many bytes it is off. -1 when the records keep their step.
    int32_t misalignedFrom = -1;
    int64_t misalignedAt = 0;   // file offset of that voice
    int64_t shift = 0;
    int64_t tailBytes = 0;   // a trailing part-record
};

class TFileIO {
public:
    explicit TFileIO(std::string libraryPath = libraryFileName);
    ~TFileIO();
    TFileIO(const TFileIO&) = delete;
    TFileIO& operator=(const TFileIO&) = delete;

    // Single-voice files. Each opens, uses and closes a file of its own.
    // Writes the dump through a new file renamed over any old one: a failed write
    // leaves an old file whole. False (and saveError) when the file cannot be created
    // or not all of it was written.
    bool saveVoiceFile(const std::string& path, const VoiceDump& dump);
    // The first well-formed voice dump in the file (a 592-byte run from an F0 byte to
    // an F7 byte with the header, byte count and checksum right, trying each F0 in
    // turn). None (and invalidFile) when there is none or the path is not a regular
    // file (a device or a pipe is never read).
    std::optional<VoiceDump> loadVoiceFile(const std::string& path);

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
    // Writes mask and dump at the current position of the open file. On failure the
    // file is put back to its previous length and content and false comes back (no
    // dialog here; appendRecord and overwriteRecord show it).
    bool writeRecord(uint32_t mask, const VoiceDump& dump);
    // Adds the dump as a new last record (creating a missing library with its magic
    // first). False (and saveError) when nothing was added; the file is then as it
    // was.
    bool appendRecord(uint32_t mask, const VoiceDump& dump);
    // Replaces record n, mask and dump together. False (and saveError) when the file
    // holds no record n or the write failed; the file is then as it was.
    // expected: the record's libraryRecordHash as listed; when the file holds another
    // record there now, nothing is written, stale is set and false comes back (no
    // dialog).
    bool overwriteRecord(int32_t n, uint32_t mask, const VoiceDump& dump,
                         std::optional<uint64_t> expected = {});

    // ---- many records at once, and housekeeping ----
    // Every write takes the library's lock (an advisory flock shared with every other
    // program that writes it this way) and holds it until the file is whole again;
    // a rewrite holds it from its read to its rename. When the lock is not had within
    // lockWaitMs nothing is written and lastError says the library is in use. A file
    // that does not begin with the library header is never written as a library.
    // Where an expected hash is given and the record there is not the one listed,
    // nothing is written and stale is set.
    // Each opens and closes the library itself. On failure false comes back, lastError
    // says why and, where a write failed, saveError is shown; the file is then as it was
    // (or, for appendDumps, holds the whole records appended before the failure).

    // Appends the dumps as records under mask, in order. A dump the library already
    // holds (the same 592 bytes once both are normalised), or one appended earlier in
    // the same call, is skipped unless keepDuplicates. progress is asked once before
    // anything is written and after each batch of 64 dumps; when it returns false the
    // appending stops there, and whole records only stay. Fills added, duplicates,
    // cancelled and writeFailed (then saveError is shown and lastError says why).
    // converted (when given) flags the dumps converted from TG33 voices (1 each; past its
    // end, none), counted in converted when added.
    ImportSummary appendDumps(const std::vector<VoiceDump>& dumps, uint32_t mask, bool keepDuplicates,
                              const ImportProgress& progress = {},
                              const std::vector<uint8_t>* converted = nullptr);

    // Record n's dump as stored, into 592 bytes. False when the library holds no
    // record n, the file is no library or record n is damaged: no dialog; lastError
    // says why. expected: the record's libraryRecordHash as listed; when the file holds
    // another record there now, stale is set and false comes back.
    bool readDump(int32_t n, uint8_t* dump, std::optional<uint64_t> expected = {});
    // The dumps of the records, in order, as stored, read under one shared lock of the
    // library (no write comes between them). False, with lastError naming the first
    // record that cannot be used and why (none there, damaged and how), otherwise.
    bool readDumps(const std::vector<int32_t>& records, std::vector<VoiceDump>& dumps);
    // Whether a name may go into a record: at most 8 characters from 0x20..0x7E.
    static bool validRecordName(const std::string& name);
    // Sets the voice name inside record n's dump (blank-padded to 8 characters) and
    // its inner and outer checksums; the mask and the rest of the dump stay. Written in place.
    // A damaged record is not renamed (that would give junk a good checksum).
    bool renameRecord(int32_t n, const std::string& name, std::optional<uint64_t> expected = {});
    // Sets record n's category mask (bits 16..31 written as 0). Written in place.
    bool setRecordCategories(int32_t n, uint32_t mask, std::optional<uint64_t> expected = {});
    // The same for several records under one lock; expected (when given) holds one
    // hash per record and all are checked before anything is written.
    bool setRecordsCategories(const std::vector<int32_t>& records, const std::vector<uint32_t>& masks,
                              const std::vector<uint64_t>* expected = nullptr);
    // Removes the records (any order, repeats allowed). The file is rewritten safely:
    // a new file beside it, flushed, then renamed over the old one.
    bool deleteRecords(const std::vector<int32_t>& records, const std::vector<uint64_t>* expected = nullptr);
    // Moves record from to position to (0..count-1), the others keeping their order;
    // rewritten safely as deleteRecords. expected: the hashes of records from and to.
    bool moveRecord(int32_t from, int32_t to, const std::vector<uint64_t>* expected = nullptr);
    // The records whose mask holds every bit of mask (all when mask is 0).
    std::vector<int32_t> recordsWithMask(uint32_t mask);
    // Writes the records' dumps, normalised (byte 2 = 0) and with a wrong inner
    // checksum mended, one after the other to path,
    // through a new file renamed over any old one: on failure path is as it was.
    // Damaged records are left out and counted in skippedDamaged; when every record
    // is damaged nothing is written and false comes back.
    bool exportRecords(const std::vector<int32_t>& records, const std::string& path);
    bool exportRecord(int32_t n, const std::string& path) { return exportRecords({n}, path); }

    // Fills listing from the library (created with its magic when missing) unless it
    // is already current: the file's size, inode and times are as when it was read and
    // nothing was written through this object since. True when it was read again.
    // progress, when given, is called with the records read so far and the count.
    bool refreshListing(LibraryListing& listing,
                        const std::function<void(int32_t done, int32_t total)>& progress = {});

    // Whether the file at libraryPath begins with the library header (an empty or a
    // missing file counts as one); why not, in words for the user.
    bool isLibrary(std::string& why);

    // Every record checked: the header, each damaged record, a lost step, the tail.
    LibraryCheck checkLibrary();

    // The files "<library>.XXXXXX" beside the library, in name order: what a rewrite
    // killed before its rename left behind.
    std::vector<std::string> temporaries() const;
    // Removes, under the library's lock (so that no rewrite of this kind is under way),
    // those temporaries no running program has open; removed lists them. False with
    // lastError set when the lock is not had or one cannot be removed.
    bool removeTemporaries(std::vector<std::string>& removed);

    // Why the last of the calls above failed, in words for the user.
    std::string lastError;
    // The last write found that the record it was to act on is no longer the one
    // listed: the file changed meanwhile. Nothing was written.
    bool stale = false;
    int skippedDamaged = 0;
    // The record number appendRecord gave the voice it added.
    int32_t lastAppended = -1;
    // How long a write waits for another program's lock.
    int lockWaitMs = 5000;

    TFileIOEvents* events = nullptr;
    std::string libraryPath;

private:
    // A window of whole records read with one large read; a listing pass reads the
    // file once instead of seeking and reading a few bytes per record.
    const uint8_t* cachedRecord(int32_t n);
    void dropCache();
    bool openLibraryFile(bool create);
    // Opens the library for writing and takes its lock: the file at libraryPath (not
    // one renamed away meanwhile), a regular file that begins with the library header,
    // or an empty one that gets it now. False, with lastError set and nothing open,
    // otherwise. The lock goes with closeFile.
    bool openLocked(bool create, int64_t& size);
    // Whether the open file begins with the library header (or is empty).
    bool headerHolds(std::string& why);
    // Record n of the open file when it is the one expected (or nothing is expected);
    // else false with stale or lastError set.
    bool recordAsListed(int32_t n, int64_t size, std::optional<uint64_t> expected, uint8_t* record);
    // Writes the records of the open library in the given order to a new file and
    // renames it over the library.
    bool rewriteLibrary(const std::vector<int32_t>& order);
    bool failWith(const std::string& reason, bool writeFailed);
    bool failStale();

    LibraryListing::Stamp fileStamp() const;

    int fd = -1;
    int64_t position = 0;
    // Counts the writes to the library (every attempt): a listing read before is stale.
    uint64_t writes = 0;
    std::vector<uint8_t> cache;
    int64_t cacheStart = 0;   // file offset of cache[0]
    size_t cacheFill = 0;     // bytes of cache read from the file
};
