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

// Writes data to a new file beside path, flushes it to the disk and renames it over
// path. False, with path untouched and no new file left, when any step fails.
bool replaceFileAtomically(const std::string& path, const void* data, size_t size);
