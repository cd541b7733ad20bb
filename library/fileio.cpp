// SPDX-License-Identifier: GPL-3.0-or-later
// The voice library file and single-voice files, on plain POSIX file descriptors so
// that a failed library write can be undone (ftruncate) before anyone counts it.
#include "library/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "files/filewrite.h"
#include "voice/dumpcodec.h"
#include "voice/sysex.h"

namespace {

constexpr char magic[libraryMagicSize] = {'T', 'O', 'R', 'V', 'A'};

// One listing read covers this many records (about 1 MB).
constexpr size_t cacheRecords = 1760;

// A single-voice file is searched in pieces of this size.
constexpr size_t scanChunk = 64 * 1024;

int64_t recordOffset(int32_t n)
{
    return libraryMagicSize + static_cast<int64_t>(libraryRecordSize) * n;
}

// Reads up to size bytes at offset; returns how many were read (fewer only at the end
// of the file), or -1 on an error.
ssize_t readAt(int fd, uint8_t* data, size_t size, int64_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// Writes all of data at offset.
bool writeAt(int fd, const uint8_t* data, size_t size, int64_t offset)
{
    return writeFully(data, size, [&](const uint8_t* p, size_t left, size_t done) {
        return pwrite(fd, p, left, static_cast<off_t>(offset + static_cast<int64_t>(done)));
    });
}

// "path: cannot write the library: No space left on device" -> the part after the
// last ": ", the system's own words.
std::string reasonAfterColon(const std::string& text)
{
    const size_t at = text.rfind(": ");
    return at == std::string::npos ? text : text.substr(at + 2);
}

bool isRegularFile(int fd, int64_t& size)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    size = st.st_size;
    return true;
}

// Writes data at offset into a regular file and makes sure it reached the file. When
// any of it fails, what the write covered is put back and the file cut back to its
// previous length, so that no partial record stays behind.
bool replaceBytes(int fd, const uint8_t* data, size_t size, int64_t offset)
{
    int64_t before = 0;
    if (offset < 0 || !isRegularFile(fd, before))
        return false;
    std::vector<uint8_t> old;
    if (offset < before) {
        old.resize(static_cast<size_t>(std::min<int64_t>(before - offset, static_cast<int64_t>(size))));
        if (readAt(fd, old.data(), old.size(), offset) != static_cast<ssize_t>(old.size()))
            return false;
    }
    if (writeAt(fd, data, size, offset) && fdatasync(fd) == 0)
        return true;
    const int saved = errno;
    if (!old.empty())
        writeAt(fd, old.data(), old.size(), offset);
    if (ftruncate(fd, static_cast<off_t>(before)) == 0)
        fdatasync(fd);
    errno = saved;
    return false;
}

// Mask (bits 16..31 written as 0) and a voice's dump, as one record.
void fillRecord(uint8_t* record, uint32_t mask, const VoiceDump& dump)
{
    mask &= 0xFFFF;
    for (int i = 0; i < 4; ++i)
        record[i] = static_cast<uint8_t>(mask >> (8 * i));
    std::memcpy(record + 4, dump.data(), dumpSize);
}

// Records written together by appendDumps: one write and one flush per batch.
constexpr size_t appendBatch = 64;

uint32_t maskOf(const uint8_t* record)
{
    return static_cast<uint32_t>(record[0]) | static_cast<uint32_t>(record[1]) << 8 |
           static_cast<uint32_t>(record[2]) << 16 | static_cast<uint32_t>(record[3]) << 24;
}

// FNV-1a over a dump: the duplicate search keys its set on this, then compares bytes.
uint64_t dumpHash(const uint8_t* dump)
{
    uint64_t h = 14695981039346656037ULL;
    for (int i = 0; i < dumpSize; ++i) {
        h ^= dump[i];
        h *= 1099511628211ULL;
    }
    return h;
}

std::string reasonOf(int error)
{
    return std::strerror(error);
}

// What checkVoiceDump finds, eight bytes at a time: a listing checks every record of
// the file, and a byte-wise check would take longer than reading the file.
bool damagedRecord(const uint8_t* record)
{
    const uint8_t* d = record + 4;
    if (!hasDumpHead(d, dumpSize) || d[dumpSize - 1] != sysexEnd || !hasVoiceTag(d))
        return true;
    // No status byte in bytes 1..590.
    uint64_t high = 0;
    size_t i = 1;
    for (; i + 8 <= static_cast<size_t>(dumpChecksumOffset) + 1; i += 8) {
        uint64_t w;
        std::memcpy(&w, d + i, 8);
        high |= w;
    }
    for (; i <= static_cast<size_t>(dumpChecksumOffset); ++i)
        high |= d[i];
    if (high & 0x8080808080808080ULL)
        return true;
    // Bytes 6..590 add up to a multiple of 128: summed in 16-bit lanes, which 73
    // words of bytes below 0x80 cannot overflow.
    uint64_t lanes = 0;
    i = 6;
    for (; i + 8 <= static_cast<size_t>(dumpChecksumOffset) + 1; i += 8) {
        uint64_t w;
        std::memcpy(&w, d + i, 8);
        lanes += (w & 0x00FF00FF00FF00FFULL) + ((w >> 8) & 0x00FF00FF00FF00FFULL);
    }
    unsigned sum = static_cast<unsigned>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) +
                                         ((lanes >> 32) & 0xFFFF) + (lanes >> 48));
    for (; i <= static_cast<size_t>(dumpChecksumOffset); ++i)
        sum += d[i];
    return sum % 128 != 0;
}

const char* const danglingLink = "a symbolic link to a file that is not there";
const char* const notALibrary = "not a library file (it does not begin with the library header)";

}   // namespace

uint64_t libraryRecordHash(const uint8_t* record)
{
    // Eight bytes at a time in four independent lanes: a listing hashes every record
    // of the file. 596 bytes are 18 rounds of 32 bytes, two words and four bytes.
    uint64_t lane[4] = {0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL, 0xA4093822299F31D0ULL,
                        0x082EFA98EC4E6C89ULL};
    size_t i = 0;
    for (; i + 32 <= static_cast<size_t>(libraryRecordSize); i += 32)
        for (int k = 0; k < 4; ++k) {
            uint64_t w;
            std::memcpy(&w, record + i + 8 * k, 8);
            lane[k] = (lane[k] ^ w) * 0x9E3779B97F4A7C15ULL;
            lane[k] ^= lane[k] >> 29;
        }
    uint64_t w0, w1;
    uint32_t w2;
    std::memcpy(&w0, record + i, 8);
    std::memcpy(&w1, record + i + 8, 8);
    std::memcpy(&w2, record + i + 16, 4);
    lane[0] = (lane[0] ^ w0) * 0x9E3779B97F4A7C15ULL;
    lane[1] = (lane[1] ^ w1) * 0x9E3779B97F4A7C15ULL;
    lane[2] = (lane[2] ^ w2) * 0x9E3779B97F4A7C15ULL;
    uint64_t h = lane[0] ^ (lane[1] >> 7) ^ (lane[2] * 5) ^ (lane[3] * 7) ^ (lane[1] << 13);
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ULL;
    return h ^ (h >> 29);
}

TFileIO::TFileIO(std::string path) : libraryPath(std::move(path))
{
}

TFileIO::~TFileIO()
{
    closeFile();
}

// ---- single-voice files ----

bool TFileIO::saveVoiceFile(const std::string& path, const VoiceDump& dump)
{
    // A new file beside the old one, renamed over it once it is whole: a full disk
    // leaves the old file as it was. A pipe or a device is refused at once.
    TSafeFile out;
    lastError.clear();
    const bool ok = out.open(path) && out.write(dump.data(), dumpSize) && out.commit();
    if (!ok) {
        lastError = out.error;
        if (events)
            events->saveError(reasonAfterColon(out.error));
    }
    return ok;
}

std::optional<VoiceDump> TFileIO::loadVoiceFile(const std::string& path)
{
    // Only a regular file is read: a device could be read for ever, and opening a
    // pipe would wait for a writer.
    const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    int64_t size = 0;
    std::optional<VoiceDump> found;
    if (in >= 0 && isRegularFile(in, size)) {
        // Read piece by piece; between pieces keep the last 591 bytes, where a dump
        // may begin that the next piece completes.
        std::vector<uint8_t> data;
        std::vector<uint8_t> piece(scanChunk);
        for (;;) {
            const ssize_t got = read(in, piece.data(), piece.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            data.insert(data.end(), piece.begin(), piece.begin() + got);
            // Only a well-formed dump is taken: a damaged one would reach the
            // synthesiser as if it were a voice.
            const long at = findWellFormedVoiceDump(data.data(), data.size());
            if (at >= 0) {
                found.emplace();
                std::memcpy(found->data(), data.data() + at, dumpSize);
                break;
            }
            if (data.size() >= dumpSize)
                data.erase(data.begin(), data.end() - (dumpSize - 1));
        }
    }
    if (in >= 0)
        close(in);
    if (!found && events)
        events->invalidFile();
    return found;
}

// ---- the library ----

bool TFileIO::openLibraryFile(bool create)
{
    closeFile();
    fd = open(libraryPath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create) {
        // Made on first use, under the lock, with its magic. A library that cannot be
        // made is no save error: nothing was being saved.
        int64_t size = 0;
        TFileIOEvents* const told = events;
        events = nullptr;
        const bool made = openLocked(true, size);
        events = told;
        if (!made)
            return false;
        flock(fd, LOCK_UN);
        return true;
    }
    int64_t size = 0;
    if (fd >= 0 && !isRegularFile(fd, size))
        closeFile();
    return fd >= 0;
}

bool TFileIO::openLocked(bool create, int64_t& size)
{
    closeFile();
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(lockWaitMs);
    const int64_t lockDeadline = steadyMs() + lockWaitMs;
    bool made = false;
    for (;;) {
        made = false;
        fd = open(libraryPath.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0 && errno == ENOENT && create) {
            fd = open(libraryPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            made = fd >= 0;
            if (fd < 0 && errno == EEXIST) {
                // A symbolic link to nowhere is there and is not: it is never retried.
                struct stat link {};
                if (lstat(libraryPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
                    return failWith(libraryPath + ": cannot open the library for writing: " + danglingLink,
                                    true);
                if (Clock::now() >= deadline)
                    return failWith(
                        libraryPath + ": cannot open the library for writing: " + reasonOf(EEXIST), true);
                continue;   // another program made it just now
            }
        }
        if (fd < 0) {
            const int saved = errno;
            return failWith(libraryPath + ": cannot open the library for writing: " + reasonOf(saved), true);
        }
        if (!isRegularFile(fd, size))
            return failWith(libraryPath + ": cannot open the library for writing: not a regular file", true);
        const LockOutcome locked = lockNamedFile(fd, libraryPath, false, lockDeadline);
        if (locked == LockOutcome::Failed) {
            const int saved = errno;
            return failWith(libraryPath + ": cannot lock the library: " + reasonOf(saved), true);
        }
        if (locked == LockOutcome::Busy)
            return failWith(libraryPath + ": the library is in use by another program (waited " +
                                std::to_string((lockWaitMs + 999) / 1000) + " s); nothing was written",
                            true);
        if (locked == LockOutcome::Held)
            break;
        closeFile();
        if (Clock::now() >= deadline)
            return failWith(libraryPath + ": the library is in use by another program; nothing was written",
                            true);
    }
    isRegularFile(fd, size);
    if (size == 0) {
        // New, or left empty: it gets its magic first.
        if (!replaceBytes(fd, reinterpret_cast<const uint8_t*>(magic), sizeof magic, 0)) {
            const int saved = errno ? errno : ENOSPC;
            struct stat st {};
            if (made && fstat(fd, &st) == 0 && st.st_size == 0)
                unlink(libraryPath.c_str());   // no empty library left behind
            return failWith(libraryPath + ": cannot write the library: " + reasonOf(saved), true);
        }
        size = libraryMagicSize;
        return true;
    }
    std::string why;
    if (!headerHolds(why))
        return failWith(libraryPath + ": " + why + "; nothing was written", true);
    return true;
}

bool TFileIO::headerHolds(std::string& why)
{
    int64_t size = 0;
    if (fd < 0 || !isRegularFile(fd, size)) {
        why = "cannot be read";
        return false;
    }
    if (size == 0)
        return true;
    uint8_t head[libraryMagicSize];
    if (readAt(fd, head, sizeof head, 0) != libraryMagicSize || std::memcmp(head, magic, sizeof head) != 0) {
        why = notALibrary;
        return false;
    }
    return true;
}

bool TFileIO::recordAsListed(int32_t n, int64_t size, std::optional<uint64_t> expected, uint8_t* record)
{
    if (n < 0 || recordOffset(n) + libraryRecordSize > size) {
        if (expected)
            return failStale();
        return failWith(libraryPath + ": no record " + std::to_string(n), false);
    }
    if (readAt(fd, record, libraryRecordSize, recordOffset(n)) != libraryRecordSize) {
        const int saved = errno ? errno : EIO;
        return failWith(libraryPath + ": cannot read the library: " + reasonOf(saved), false);
    }
    if (expected && libraryRecordHash(record) != *expected)
        return failStale();
    return true;
}

bool TFileIO::failStale()
{
    stale = true;
    return failWith(
        libraryPath + ": the library was changed by another program since it was listed; nothing was written",
        false);
}

bool TFileIO::openLibrary()
{
    if (openLibraryFile(true))
        return true;
    // A library we may not write can still be listed and loaded from. Opening a pipe
    // for reading would wait for a writer: it is refused at once instead.
    fd = open(libraryPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    int64_t size = 0;
    if (fd >= 0 && !isRegularFile(fd, size))
        closeFile();
    return fd >= 0;
}

void TFileIO::closeFile()
{
    if (fd >= 0)
        close(fd);
    fd = -1;
    position = 0;
    dropCache();
}

void TFileIO::dropCache()
{
    cacheStart = 0;
    cacheFill = 0;
}

void TFileIO::seekRecord(int32_t n)
{
    position = recordOffset(n);
}

int32_t TFileIO::countRecords() const
{
    struct stat st {};
    if (stat(libraryPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < libraryMagicSize)
        return 0;
    const int64_t count = (st.st_size - libraryMagicSize) / libraryRecordSize;
    return static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
}

const uint8_t* TFileIO::cachedRecord(int32_t n)
{
    if (fd < 0 || n < 0)
        return nullptr;
    const int64_t offset = recordOffset(n);
    const int64_t end = offset + libraryRecordSize;
    if (offset < cacheStart || end > cacheStart + static_cast<int64_t>(cacheFill)) {
        cache.resize(cacheRecords * libraryRecordSize);
        const ssize_t got = readAt(fd, cache.data(), cache.size(), offset);
        cacheStart = offset;
        cacheFill = got > 0 ? static_cast<size_t>(got) : 0;
        if (end > cacheStart + static_cast<int64_t>(cacheFill))
            return nullptr;
    }
    return cache.data() + (offset - cacheStart);
}

LibraryListing::Stamp TFileIO::fileStamp() const
{
    LibraryListing::Stamp stamp;
    stamp.writes = writes;
    struct stat st {};
    if (stat(libraryPath.c_str(), &st) != 0)
        return stamp;
    stamp.size = st.st_size;
    stamp.inode = static_cast<int64_t>(st.st_ino);
    stamp.mtime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.ctime = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

bool TFileIO::refreshListing(LibraryListing& listing, const std::function<void(int32_t, int32_t)>& progress)
{
    if (listing.stamp.size >= 0 && listing.stamp == fileStamp())
        return false;
    listing.masks.clear();
    listing.names.clear();
    listing.hashes.clear();
    listing.damaged.clear();
    listing.problem.clear();
    std::string why;
    if (openLibrary() && !headerHolds(why)) {
        // Stamped before reading: a change made meanwhile shows at the next look.
        listing.stamp = fileStamp();
        listing.problem = libraryPath + ": " + why;
    } else if (fd >= 0) {
        listing.stamp = fileStamp();
        int64_t size = 0;
        isRegularFile(fd, size);
        const int32_t count =
            size < libraryMagicSize
                ? 0
                : static_cast<int32_t>(std::min<int64_t>((size - libraryMagicSize) / libraryRecordSize,
                                                         std::numeric_limits<int32_t>::max()));
        listing.masks.resize(static_cast<size_t>(count));
        listing.names.resize(8 * static_cast<size_t>(count));
        listing.hashes.resize(static_cast<size_t>(count));
        listing.damaged.resize(static_cast<size_t>(count));
        int32_t n = 0;
        for (; n < count; ++n) {
            const uint8_t* record = cachedRecord(n);
            // The file was shortened since it was counted: the rest is not listed.
            if (!record)
                break;
            if (progress && n % 8192 == 0)
                progress(n, count);
            const size_t at = static_cast<size_t>(n);
            listing.masks[at] = maskOf(record);
            listing.hashes[at] = libraryRecordHash(record);
            listing.damaged[at] = damagedRecord(record) ? 1 : 0;
            char* name = listing.names.data() + 8 * at;
            for (int i = 0; i < voiceNameLength; ++i) {
                const uint8_t b = record[libraryNameOffset + i];
                name[i] = b >= 0x20 && b < 0x80 ? static_cast<char>(b) : ' ';
            }
        }
        listing.masks.resize(static_cast<size_t>(n));
        listing.names.resize(8 * static_cast<size_t>(n));
        listing.hashes.resize(static_cast<size_t>(n));
        listing.damaged.resize(static_cast<size_t>(n));
    } else {
        const int saved = errno;
        listing.stamp = fileStamp();
        struct stat st {};
        if (stat(libraryPath.c_str(), &st) == 0)
            listing.problem = libraryPath + ": cannot be read: " +
                              (S_ISREG(st.st_mode) ? reasonOf(saved) : std::string("not a regular file"));
        else if (lstat(libraryPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            listing.problem = libraryPath + ": cannot be read: " + danglingLink;
    }
    closeFile();
    return true;
}

bool TFileIO::holdsRecord(int32_t n)
{
    return cachedRecord(n) != nullptr;
}

uint32_t TFileIO::readCategories(int32_t n)
{
    seekRecord(n);
    const uint8_t* record = cachedRecord(n);
    if (!record)
        return 0;
    position += 4;
    return static_cast<uint32_t>(record[0]) | static_cast<uint32_t>(record[1]) << 8 |
           static_cast<uint32_t>(record[2]) << 16 | static_cast<uint32_t>(record[3]) << 24;
}

std::string TFileIO::readName(int32_t n)
{
    seekRecord(n);
    const uint8_t* record = cachedRecord(n);
    if (!record)
        return {};
    std::string name(voiceNameLength, ' ');
    for (int i = 0; i < voiceNameLength; ++i) {
        const uint8_t b = record[libraryNameOffset + i];
        if (b >= 0x20 && b < 0x80)
            name[i] = static_cast<char>(b);
    }
    position += libraryNameOffset + voiceNameLength;
    return name;
}

bool TFileIO::writeRecord(uint32_t mask, const VoiceDump& dump)
{
    ++writes;
    if (fd < 0 || position < libraryMagicSize)
        return false;
    dropCache();
    uint8_t record[libraryRecordSize];
    fillRecord(record, mask, dump);
    if (!replaceBytes(fd, record, sizeof record, position))
        return false;
    position += libraryRecordSize;
    return true;
}

bool TFileIO::appendRecord(uint32_t mask, const VoiceDump& dump)
{
    ++writes;
    lastError.clear();
    int64_t size = 0;
    if (!openLocked(true, size))
        return false;
    // The new record goes right after the last complete one, so that it is the
    // record the count says it is even after a trailing part-record.
    position = libraryMagicSize + (size - libraryMagicSize) / libraryRecordSize * libraryRecordSize;
    lastAppended = static_cast<int32_t>((position - libraryMagicSize) / libraryRecordSize);
    if (!writeRecord(mask, dump))
        return failWith(libraryPath + ": cannot write the library: " + reasonOf(errno ? errno : ENOSPC),
                        true);
    closeFile();
    return true;
}

bool TFileIO::overwriteRecord(int32_t n, uint32_t mask, const VoiceDump& dump,
                              std::optional<uint64_t> expected)
{
    ++writes;
    lastError.clear();
    stale = false;
    int64_t size = 0;
    if (!openLocked(false, size))
        return false;
    uint8_t record[libraryRecordSize];
    if (!recordAsListed(n, size, expected, record)) {
        if (!stale && events)
            events->saveError(reasonAfterColon(lastError));
        return false;
    }
    seekRecord(n);
    if (!writeRecord(mask, dump))
        return failWith(libraryPath + ": cannot write the library: " + reasonOf(errno ? errno : ENOSPC),
                        true);
    closeFile();
    return true;
}

// ---- many records at once, and housekeeping ----

bool TFileIO::failWith(const std::string& reason, bool writeFailed)
{
    closeFile();
    lastError = reason;
    if (writeFailed && events)
        events->saveError(reasonAfterColon(reason));
    return false;
}

ImportSummary TFileIO::appendDumps(const std::vector<VoiceDump>& dumps, uint32_t mask, bool keepDuplicates,
                                   const ImportProgress& progress, const std::vector<uint8_t>* converted)
{
    ++writes;
    ImportSummary s;
    lastError.clear();
    if (dumps.empty())
        return s;
    int64_t size = 0;
    if (!openLocked(true, size)) {
        s.writeFailed = true;
        return s;
    }
    const int32_t count =
        size < libraryMagicSize ? 0 : static_cast<int32_t>((size - libraryMagicSize) / libraryRecordSize);

    // What the library holds already, by hash: a record number, or -(i + 1) for
    // dumps[i] appended in this call. Equal hashes are confirmed byte by byte.
    std::unordered_multimap<uint64_t, int64_t> held;
    auto normalised = [](const uint8_t* dump) {
        VoiceDump d;
        std::memcpy(d.data(), dump, dumpSize);
        normaliseDump(d.data());
        return d;
    };
    if (!keepDuplicates) {
        held.reserve(static_cast<size_t>(count) + dumps.size());
        for (int32_t n = 0; n < count; ++n)
            if (const uint8_t* record = cachedRecord(n))
                held.emplace(dumpHash(normalised(record + 4).data()), n);
    }
    auto alreadyHeld = [&](const VoiceDump& d, uint64_t hash) {
        const auto range = held.equal_range(hash);
        for (auto it = range.first; it != range.second; ++it) {
            const uint8_t* other = nullptr;
            VoiceDump stored;
            if (it->second >= 0) {
                const uint8_t* record = cachedRecord(static_cast<int32_t>(it->second));
                if (!record)
                    continue;
                stored = normalised(record + 4);
                other = stored.data();
            } else {
                stored = normalised(dumps[static_cast<size_t>(-it->second - 1)].data());
                other = stored.data();
            }
            if (std::memcmp(other, d.data(), dumpSize) == 0)
                return true;
        }
        return false;
    };

    // New records go right after the last complete one.
    int64_t at = recordOffset(count);
    std::vector<uint8_t> batch;
    int pending = 0;
    int pendingConverted = 0;
    auto flush = [&]() {
        if (!replaceBytes(fd, batch.data(), batch.size(), at)) {
            lastError = libraryPath + ": cannot write the library: " + reasonOf(errno ? errno : ENOSPC);
            return false;
        }
        dropCache();
        at += static_cast<int64_t>(batch.size());
        s.added += pending;
        s.converted += pendingConverted;
        pending = 0;
        pendingConverted = 0;
        batch.clear();
        return true;
    };
    if (progress && !progress(0, dumps.size()))
        s.cancelled = true;
    for (size_t i = 0; i < dumps.size() && !s.cancelled; ++i) {
        const VoiceDump d = normalised(dumps[i].data());
        const uint64_t hash = keepDuplicates ? 0 : dumpHash(d.data());
        if (!keepDuplicates && alreadyHeld(d, hash)) {
            ++s.duplicates;
        } else {
            uint8_t record[libraryRecordSize];
            const uint32_t low = mask & 0xFFFF;
            for (int b = 0; b < 4; ++b)
                record[b] = static_cast<uint8_t>(low >> (8 * b));
            std::memcpy(record + 4, d.data(), dumpSize);
            batch.insert(batch.end(), record, record + libraryRecordSize);
            ++pending;
            if (converted && i < converted->size() && (*converted)[i])
                ++pendingConverted;
            if (!keepDuplicates)
                held.emplace(hash, -static_cast<int64_t>(i) - 1);
        }
        if ((i + 1) % appendBatch == 0 || i + 1 == dumps.size()) {
            if (pending > 0 && !flush()) {
                s.writeFailed = true;
                break;
            }
            if (progress && !progress(i + 1, dumps.size()))
                s.cancelled = true;
        }
    }
    closeFile();
    if (s.writeFailed && events)
        events->saveError(reasonAfterColon(lastError));
    return s;
}

bool TFileIO::readDump(int32_t n, uint8_t* dump, std::optional<uint64_t> expected)
{
    lastError.clear();
    stale = false;
    uint8_t record[libraryRecordSize];
    std::string why;
    bool present = false;
    if (!openLibrary())
        lastError = libraryPath + ": cannot open the library: " + reasonOf(errno);
    else if (!headerHolds(why))
        lastError = libraryPath + ": " + why;
    else if (n < 0 || readAt(fd, record, sizeof record, recordOffset(n)) != libraryRecordSize) {
        lastError = libraryPath + ": no record " + std::to_string(n);
        stale = expected.has_value();
    } else if (expected && libraryRecordHash(record) != *expected) {
        lastError = libraryPath + ": record " + std::to_string(n) + " is no longer the voice listed";
        stale = true;
    } else if (const char* wrong = checkVoiceDump(record + 4); *wrong)
        lastError = libraryPath + ": record " + std::to_string(n) + " is damaged (" + wrong +
                    "): it is neither loaded nor sent";
    else
        present = true;
    closeFile();
    if (present)
        std::memcpy(dump, record + 4, dumpSize);
    return present;
}

bool TFileIO::readDumps(const std::vector<int32_t>& records, std::vector<VoiceDump>& dumps)
{
    lastError.clear();
    closeFile();
    TFileLock lock;
    if (!lock.lock(libraryPath, true, lockWaitMs))
        return failWith(lock.error, false);
    if (lock.fd < 0)
        return failWith(libraryPath + ": no such library file", false);
    fd = lock.fd;   // lent for the reads; the lock keeps it and closes it
    std::string why;
    const bool holds = headerHolds(why);
    int64_t size = 0;
    isRegularFile(fd, size);
    fd = -1;
    if (!holds)
        return failWith(libraryPath + ": " + why, false);
    const int64_t count = size < libraryMagicSize ? 0 : (size - libraryMagicSize) / libraryRecordSize;
    dumps.clear();
    uint8_t record[libraryRecordSize];
    for (int32_t n : records) {
        if (n < 0 || n >= count)
            return failWith(libraryPath + ": no record " + std::to_string(n) + " (the library holds " +
                                std::to_string(count) + (count == 1 ? " record)" : " records)"),
                            false);
        if (readAt(lock.fd, record, sizeof record, recordOffset(n)) != libraryRecordSize)
            return failWith(libraryPath + ": cannot read record " + std::to_string(n) + ": " +
                                reasonOf(errno ? errno : EIO),
                            false);
        if (const char* wrong = checkVoiceDump(record + 4); *wrong)
            return failWith(libraryPath + ": record " + std::to_string(n) + " is damaged (" + wrong + ")",
                            false);
        dumps.emplace_back();
        std::memcpy(dumps.back().data(), record + 4, dumpSize);
    }
    return true;
}

bool TFileIO::validRecordName(const std::string& name)
{
    if (name.size() > static_cast<size_t>(voiceNameLength))
        return false;
    // As the voice name box takes them: blank to "~" but the backslash, which the
    // synthesiser's display does not show as one, and never only blanks.
    bool blank = true;
    for (char c : name) {
        if (c < 0x20 || c > 0x7E || c == '\\')
            return false;
        blank = blank && c == ' ';
    }
    return !blank;
}

bool TFileIO::renameRecord(int32_t n, const std::string& name, std::optional<uint64_t> expected)
{
    ++writes;
    lastError.clear();
    stale = false;
    if (!validRecordName(name))
        return failWith("a voice name is 1 to 8 characters from space to ~, not all blanks and no backslash",
                        false);
    int64_t size = 0;
    if (!openLocked(false, size))
        return false;
    uint8_t record[libraryRecordSize];
    if (!recordAsListed(n, size, expected, record))
        return false;
    if (damagedRecord(record))
        return failWith(libraryPath + ": record " + std::to_string(n) + " is damaged; it is not renamed",
                        false);
    uint8_t* dump = record + 4;
    for (int i = 0; i < voiceNameLength; ++i)
        dump[dumpNameOffset + i] = i < static_cast<int>(name.size()) ? static_cast<uint8_t>(name[i]) : ' ';
    setInnerChecksum(dump);
    dropCache();
    if (!replaceBytes(fd, record, sizeof record, recordOffset(n)))
        return failWith(libraryPath + ": cannot write the library: " + reasonOf(errno ? errno : ENOSPC),
                        true);
    closeFile();
    return true;
}

bool TFileIO::setRecordCategories(int32_t n, uint32_t mask, std::optional<uint64_t> expected)
{
    const std::vector<uint64_t> hashes =
        expected ? std::vector<uint64_t>{*expected} : std::vector<uint64_t>{};
    return setRecordsCategories({n}, {mask}, expected ? &hashes : nullptr);
}

bool TFileIO::setRecordsCategories(const std::vector<int32_t>& records, const std::vector<uint32_t>& masks,
                                   const std::vector<uint64_t>* expected)
{
    ++writes;
    lastError.clear();
    stale = false;
    if (masks.size() != records.size() || (expected && expected->size() != records.size()))
        return failWith("one mask (and hash) per record", false);
    int64_t size = 0;
    if (!openLocked(false, size))
        return false;
    uint8_t record[libraryRecordSize];
    for (size_t i = 0; i < records.size(); ++i)
        if (!recordAsListed(records[i], size,
                            expected ? std::optional<uint64_t>((*expected)[i]) : std::nullopt, record))
            return false;
    dropCache();
    for (size_t i = 0; i < records.size(); ++i) {
        uint8_t bytes[4];
        const uint32_t mask = masks[i] & 0xFFFF;
        for (int b = 0; b < 4; ++b)
            bytes[b] = static_cast<uint8_t>(mask >> (8 * b));
        if (!replaceBytes(fd, bytes, sizeof bytes, recordOffset(records[i])))
            return failWith(libraryPath + ": cannot write the library: " + reasonOf(errno ? errno : ENOSPC),
                            true);
    }
    closeFile();
    return true;
}

bool TFileIO::rewriteLibrary(const std::vector<int32_t>& order)
{
    ++writes;
    // The lock taken for the read is held through to the rename: no other write can
    // come between them and be lost.
    TSafeFile out;
    if (!out.open(libraryPath))
        return failWith(out.error, true);
    bool ok = out.write(reinterpret_cast<const uint8_t*>(magic), sizeof magic);
    for (size_t i = 0; ok && i < order.size(); ++i) {
        const uint8_t* record = cachedRecord(order[i]);
        ok = record && out.write(record, libraryRecordSize);
    }
    if (!ok || !out.commit())
        return failWith(out.error.empty() ? libraryPath + ": cannot read the library" : out.error, true);
    closeFile();
    return true;
}

bool TFileIO::deleteRecords(const std::vector<int32_t>& records, const std::vector<uint64_t>* expected)
{
    lastError.clear();
    stale = false;
    if (expected && expected->size() != records.size())
        return failWith("one hash per record", false);
    int64_t size = 0;
    if (!openLocked(false, size))
        return false;
    const int32_t count = static_cast<int32_t>((size - libraryMagicSize) / libraryRecordSize);
    std::vector<bool> gone(static_cast<size_t>(count), false);
    uint8_t record[libraryRecordSize];
    for (size_t i = 0; i < records.size(); ++i) {
        const int32_t n = records[i];
        if (!recordAsListed(n, size, expected ? std::optional<uint64_t>((*expected)[i]) : std::nullopt,
                            record))
            return false;
        gone[static_cast<size_t>(n)] = true;
    }
    if (records.empty()) {
        closeFile();
        return true;
    }
    std::vector<int32_t> order;
    order.reserve(static_cast<size_t>(count));
    for (int32_t n = 0; n < count; ++n)
        if (!gone[static_cast<size_t>(n)])
            order.push_back(n);
    return rewriteLibrary(order);
}

bool TFileIO::moveRecord(int32_t from, int32_t to, const std::vector<uint64_t>* expected)
{
    lastError.clear();
    stale = false;
    if (expected && expected->size() != 2)
        return failWith("two hashes: the record moved and the one at its new place", false);
    int64_t size = 0;
    if (!openLocked(false, size))
        return false;
    const int32_t count = static_cast<int32_t>((size - libraryMagicSize) / libraryRecordSize);
    uint8_t record[libraryRecordSize];
    if (!recordAsListed(from, size, expected ? std::optional<uint64_t>((*expected)[0]) : std::nullopt,
                        record))
        return false;
    if (expected && !recordAsListed(to, size, (*expected)[1], record))
        return false;
    if (to < 0 || to >= count)
        return failWith(libraryPath + ": no position " + std::to_string(to), false);
    if (from == to) {
        closeFile();
        return true;
    }
    std::vector<int32_t> order;
    order.reserve(static_cast<size_t>(count));
    for (int32_t n = 0; n < count; ++n)
        if (n != from)
            order.push_back(n);
    order.insert(order.begin() + to, from);
    return rewriteLibrary(order);
}

std::vector<int32_t> TFileIO::recordsWithMask(uint32_t mask)
{
    std::vector<int32_t> found;
    std::string why;
    if (!openLibrary() || !headerHolds(why)) {
        closeFile();
        return found;
    }
    const int32_t count = countRecords();
    for (int32_t n = 0; n < count; ++n) {
        const uint8_t* record = cachedRecord(n);
        if (!record)
            break;
        if ((maskOf(record) & mask) == mask)
            found.push_back(n);
    }
    closeFile();
    return found;
}

bool TFileIO::exportRecords(const std::vector<int32_t>& records, const std::string& path)
{
    lastError.clear();
    skippedDamaged = 0;
    struct stat st {};
    struct stat library {};
    // Written over the library itself, the export would put dumps where the records were.
    if (stat(path.c_str(), &st) == 0 && stat(libraryPath.c_str(), &library) == 0 &&
        st.st_dev == library.st_dev && st.st_ino == library.st_ino)
        return failWith(path + ": is the library itself", true);
    std::string why;
    if (!openLibrary())
        return failWith(libraryPath + ": cannot open the library: " + reasonOf(errno), false);
    if (!headerHolds(why))
        return failWith(libraryPath + ": " + why, false);
    // A damaged record would leave here with a checksum made good: it stays out.
    std::vector<const uint8_t*> chosen;
    for (int32_t n : records) {
        const uint8_t* record = cachedRecord(n);
        if (!record)
            return failWith(libraryPath + ": no record " + std::to_string(n), false);
        if (damagedRecord(record))
            ++skippedDamaged;
    }
    if (!records.empty() && skippedDamaged == static_cast<int>(records.size()))
        return failWith(libraryPath + ": every chosen voice is damaged; nothing was written", false);
    TSafeFile out;
    if (!out.open(path))
        return failWith(out.error, true);
    for (int32_t n : records) {
        const uint8_t* record = cachedRecord(n);
        if (!record)
            return failWith(libraryPath + ": no record " + std::to_string(n), false);
        if (damagedRecord(record))
            continue;
        const VoiceDump dump = writtenDump(record + 4);
        if (!out.write(dump.data(), dumpSize))
            return failWith(out.error, true);
    }
    if (!out.commit())
        return failWith(out.error, true);
    closeFile();
    return true;
}

bool TFileIO::isLibrary(std::string& why)
{
    closeFile();
    fd = open(libraryPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT)
        return true;
    const bool holds = headerHolds(why);
    closeFile();
    return holds;
}

LibraryCheck TFileIO::checkLibrary()
{
    LibraryCheck c;
    std::string why;
    if (!openLibrary()) {
        c.problem = libraryPath + ": cannot be read: " + reasonOf(errno);
        return c;
    }
    int64_t size = 0;
    isRegularFile(fd, size);
    if (!headerHolds(why)) {
        c.problem = libraryPath + ": " + why;
        closeFile();
        return c;
    }
    c.records =
        size < libraryMagicSize ? 0 : static_cast<int32_t>((size - libraryMagicSize) / libraryRecordSize);
    c.tailBytes = size < libraryMagicSize ? 0 : (size - libraryMagicSize) % libraryRecordSize;
    for (int32_t n = 0; n < c.records; ++n) {
        const uint8_t* record = cachedRecord(n);
        if (!record) {
            c.records = n;
            break;
        }
        const char* wrong = checkVoiceDump(record + 4);
        if (!*wrong)
            continue;
        if (c.damaged.size() < keptRefusals)
            c.damaged.push_back({n, wrong});
        ++c.damagedCount;
        if (c.misalignedFrom >= 0)
            continue;
        // Bytes inserted or lost: a voice begins in the next records off the grid.
        constexpr int64_t window = 4 * libraryRecordSize;
        std::vector<uint8_t> near(static_cast<size_t>(window) + dumpSize);
        const int64_t from = recordOffset(n);
        const ssize_t got = readAt(fd, near.data(), near.size(), from);
        for (ssize_t i = 0; got > 0 && i + 16 <= got; ++i) {
            // Looser than hasDumpHead: byte 2 and the count bytes of a damaged record
            // may be what is wrong with it.
            if (near[static_cast<size_t>(i)] != sysexStart ||
                near[static_cast<size_t>(i) + 1] != sysexManufacturer ||
                near[static_cast<size_t>(i) + 3] != sysexFormat ||
                std::memcmp(&near[static_cast<size_t>(i) + 6], dumpHeaderText, 10) != 0)
                continue;
            const int64_t at = from + i;
            const int64_t off = (at - 4 - libraryMagicSize) % libraryRecordSize;
            if (off != 0) {
                c.misalignedFrom = n;
                c.misalignedAt = at;
                c.shift = off;
            }
            break;
        }
    }
    closeFile();
    return c;
}

namespace {

// The six characters mkostemp puts after "<target>.".
bool temporarySuffix(const std::string& name, size_t from)
{
    if (name.size() != from + 6)
        return false;
    for (size_t i = from; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// Whether any process this user may look at has the file open.
bool openedByAnyProcess(const struct stat& file)
{
    DIR* proc = opendir("/proc");
    if (!proc)
        return true;   // cannot tell: kept
    bool open = false;
    while (const dirent* p = readdir(proc)) {
        if (open)
            break;
        if (p->d_name[0] < '0' || p->d_name[0] > '9')
            continue;
        const std::string fds = std::string("/proc/") + p->d_name + "/fd";
        DIR* dir = opendir(fds.c_str());
        if (!dir)
            continue;
        while (const dirent* f = readdir(dir)) {
            struct stat st {};
            if (f->d_name[0] != '.' && stat((fds + "/" + f->d_name).c_str(), &st) == 0 &&
                st.st_dev == file.st_dev && st.st_ino == file.st_ino) {
                open = true;
                break;
            }
        }
        closedir(dir);
    }
    closedir(proc);
    return open;
}

}   // namespace

std::vector<std::string> TFileIO::temporaries() const
{
    std::vector<std::string> found;
    const size_t slash = libraryPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : libraryPath.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? libraryPath : libraryPath.substr(slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return found;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, base.size() + 1, base + ".") != 0 || !temporarySuffix(name, base.size() + 1))
            continue;
        const std::string path = slash == std::string::npos ? name : folder + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            found.push_back(path);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

bool TFileIO::removeTemporaries(std::vector<std::string>& removed)
{
    lastError.clear();
    removed.clear();
    int64_t size = 0;
    if (!openLocked(false, size))
        return false;
    for (const std::string& path : temporaries()) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || openedByAnyProcess(st))
            continue;
        if (unlink(path.c_str()) != 0)
            return failWith(path + ": cannot remove it: " + reasonOf(errno), false);
        removed.push_back(path);
    }
    closeFile();
    return true;
}
