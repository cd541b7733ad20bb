// SPDX-License-Identifier: GPL-3.0-or-later
// Writing files so that nothing is ever half-written: a write loop that carries on
// until every byte is taken, and a file written whole beside its target and renamed
// over it only once all of it is on the disk. Free of Qt; the library and the
// settings file both write through it.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes all of data through put (one write or pwrite call); false on an error or
// when the device takes no more.
template <class Put> bool writeFully(const uint8_t* data, size_t size, Put put)
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

// Until commit the target is untouched, and a failure (or destruction before commit)
// leaves it so and removes the new file.
class TSafeFile {
public:
    ~TSafeFile() { abandon(); }

    // Creates a new file of a name no one else uses ("<target>.XXXXXX") beside the
    // file (through a symbolic link, beside the file it points to), keeping the old
    // file's permissions. Refused when the target is a folder, a pipe or a device, or
    // a file the user may not write. error then gives the system's reason.
    bool open(const std::string& path);
    bool write(const uint8_t* data, size_t size);
    bool commit();
    void abandon();

    std::string error;   // why the last call failed

private:
    bool flush();

    int fd = -1;
    std::string target;
    std::string temporary;
    std::vector<uint8_t> buffer;
};

// What came of waiting for a file's advisory lock (flock, which every writer of the
// library and of bank files takes).
enum class LockOutcome {
    Held,      // held, and fd is still the file that bears the name
    Renamed,   // held, but another holder renamed a new file over it meanwhile: open the name again
    Busy,      // another holder kept it past the deadline
    Failed,    // flock itself failed; errno says why
};
// Takes the lock on fd (shared or exclusive), waiting until deadlineMs of the steady
// clock, then checks that path still names the file locked.
LockOutcome lockNamedFile(int fd, const std::string& path, bool shared, int64_t deadlineMs);
// Milliseconds of the steady clock, for the deadline above.
int64_t steadyMs();

// The lock of a file that is read, changed and renamed over (a bank file): held from
// the read to the rename, so that two such changes never lose one another. Released
// when the object goes.
class TFileLock {
public:
    ~TFileLock() { release(); }
    // Locks the file at path, exclusively unless shared, waiting up to waitMs for
    // another holder. A missing file is nothing to lock: true with fd -1. False with
    // error set (the system's reason, or that another program holds it) otherwise.
    bool lock(const std::string& path, bool shared = false, int waitMs = 5000);
    void release();

    int fd = -1;   // the file locked, open for reading
    std::string error;
};

// Writes data to a new file beside path, flushes it to the disk and renames it over
// path. False, with path untouched and no new file left, when any step fails.
bool replaceFileAtomically(const std::string& path, const void* data, size_t size);
