// The voice library file and single-voice files, on plain POSIX file descriptors so
// that a failed library write can be undone (ftruncate) before anyone counts it.
#include "library/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "voice/dumpcodec.h"

TFileIO* fileIO = nullptr;

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

// Writes all of data through put (one write or pwrite call); false on an error or
// when the device takes no more.
template <class Put>
bool writeFully(const uint8_t* data, size_t size, Put put)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = put(data + done, size - done, done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes all of data at offset.
bool writeAt(int fd, const uint8_t* data, size_t size, int64_t offset)
{
    return writeFully(data, size, [&](const uint8_t* p, size_t left, size_t done) {
        return pwrite(fd, p, left, static_cast<off_t>(offset + static_cast<int64_t>(done)));
    });
}

// Writes all of data at the file's current position (its end, for a file opened to append).
bool writeAll(int fd, const uint8_t* data, size_t size)
{
    return writeFully(data, size, [&](const uint8_t* p, size_t left, size_t) { return write(fd, p, left); });
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

// Mask (bits 16..31 written as 0) and the current voice's dump, as one record.
void fillRecord(uint8_t* record, uint32_t mask)
{
    mask &= 0xFFFF;
    for (int i = 0; i < 4; ++i)
        record[i] = static_cast<uint8_t>(mask >> (8 * i));
    std::memcpy(record + 4, dumpCodec.encodeVoice(voice), dumpSize);
}

}  // namespace

TFileIO::TFileIO(std::string path) : libraryPath(std::move(path)) {}

TFileIO::~TFileIO() { closeFile(); }

// ---- single-voice files ----

bool TFileIO::saveVoiceFile(const std::string& path)
{
    // Never waits: a pipe nobody reads from is refused at once.
    const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    bool ok = out >= 0;
    if (ok) {
        ok = writeAll(out, dumpCodec.encodeVoice(voice), dumpSize);
        if (close(out) != 0)
            ok = false;
    }
    if (!ok && events)
        events->saveError();
    return ok;
}

bool TFileIO::loadVoiceFile(const std::string& path)
{
    // Only a regular file is read: a device could be read for ever, and opening a
    // pipe would wait for a writer.
    const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    int64_t size = 0;
    bool found = false;
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
                dumpCodec.decodeVoice(data.data() + at, voice);
                found = true;
                break;
            }
            if (data.size() >= dumpSize)
                data.erase(data.begin(), data.end() - (dumpSize - 1));
        }
    }
    if (in >= 0)
        close(in);
    if (!found) {
        if (events)
            events->invalidFile();
        return false;
    }
    if (events)
        events->sendVoice();
    return true;
}

// ---- the library ----

bool TFileIO::openLibraryFile(bool create)
{
    closeFile();
    fd = open(libraryPath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create) {
        // Made on first use: the magic and no record. If the magic cannot be written,
        // no empty file is left behind.
        const int made = open(libraryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (made >= 0) {
            const bool ok = writeAll(made, reinterpret_cast<const uint8_t*>(magic), sizeof magic);
            if (close(made) != 0 || !ok) {
                unlink(libraryPath.c_str());
                return false;
            }
        }
        fd = open(libraryPath.c_str(), O_RDWR | O_CLOEXEC);
    }
    int64_t size = 0;
    if (fd >= 0 && !isRegularFile(fd, size))
        closeFile();
    return fd >= 0;
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

void TFileIO::seekRecord(int32_t n) { position = recordOffset(n); }

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

bool TFileIO::holdsRecord(int32_t n) { return cachedRecord(n) != nullptr; }

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

bool TFileIO::loadRecord(int32_t n)
{
    uint8_t record[libraryRecordSize];
    bool present = false;
    if (n >= 0 && openLibrary())
        present = readAt(fd, record, sizeof record, recordOffset(n)) == libraryRecordSize;
    closeFile();
    if (!present)
        return false;
    dumpCodec.decodeVoice(record + 4, voice);
    if (events)
        events->sendVoice();
    return true;
}

bool TFileIO::writeRecord(uint32_t mask)
{
    if (fd < 0 || position < libraryMagicSize)
        return false;
    dropCache();
    uint8_t record[libraryRecordSize];
    fillRecord(record, mask);
    if (!replaceBytes(fd, record, sizeof record, position))
        return false;
    position += libraryRecordSize;
    return true;
}

bool TFileIO::appendRecord(uint32_t mask)
{
    bool ok = openLibraryFile(true);
    int64_t size = 0;
    if (ok)
        ok = isRegularFile(fd, size);
    if (ok && size < libraryMagicSize) {
        // A file too short to hold even the magic: complete it, or the new record
        // would not be counted.
        uint8_t both[libraryMagicSize + libraryRecordSize];
        std::memcpy(both, magic, libraryMagicSize);
        fillRecord(both + libraryMagicSize, mask);
        ok = replaceBytes(fd, both, sizeof both, 0);
    } else if (ok) {
        // The new record goes right after the last complete one, so that it is the
        // record the count says it is even after a trailing part-record.
        position = libraryMagicSize + (size - libraryMagicSize) / libraryRecordSize * libraryRecordSize;
        ok = writeRecord(mask);
    }
    closeFile();
    if (!ok && events)
        events->saveError();
    return ok;
}

bool TFileIO::overwriteRecord(int32_t n, uint32_t mask)
{
    bool ok = n >= 0 && openLibraryFile(false);
    int64_t size = 0;
    if (ok)
        ok = isRegularFile(fd, size) && recordOffset(n) + libraryRecordSize <= size;
    if (ok) {
        seekRecord(n);
        ok = writeRecord(mask);
    }
    closeFile();
    if (!ok && events)
        events->saveError();
    return ok;
}
