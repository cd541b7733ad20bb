// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/filewrite.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

std::string reasonOf(int error)
{
    return std::strerror(error);
}

}   // namespace

bool TSafeFile::open(const std::string& path)
{
    // Through a symbolic link the file it points to is replaced, not the link.
    char resolved[PATH_MAX];
    target = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        error = "cannot write " + target + ": " + reasonOf(EISDIR);
        return false;
    }
    // A pipe or a device is never replaced by a plain file.
    if (exists && !S_ISREG(st.st_mode)) {
        error = "cannot write " + target + ": not a regular file";
        return false;
    }
    // A file the user may not write stays as it is, although the folder would let
    // a new one take its place.
    if (exists && access(target.c_str(), W_OK) != 0) {
        error = "cannot write " + target + ": " + reasonOf(errno);
        return false;
    }
    // A name of its own, so that two programs writing the same file at once never
    // write into one new file.
    temporary = target + ".XXXXXX";
    fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        const int saved = errno;
        temporary.clear();
        error = "cannot write " + target + ": " + reasonOf(saved);
        return false;
    }
    // The new file keeps the old one's permissions; a file made anew gets those any
    // new file gets.
    if (exists) {
        fchmod(fd, st.st_mode & 07777);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    return true;
}

bool TSafeFile::write(const uint8_t* data, size_t size)
{
    buffer.insert(buffer.end(), data, data + size);
    return buffer.size() < (1 << 20) || flush();
}

bool TSafeFile::commit()
{
    if (!flush())
        return false;
    if (fsync(fd) != 0) {
        error = "cannot write " + target + ": " + reasonOf(errno);
        abandon();
        return false;
    }
    const int closing = fd;
    fd = -1;
    if (close(closing) != 0) {
        error = "cannot write " + target + ": " + reasonOf(errno);
        unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        error = "cannot write " + target + ": " + reasonOf(errno);
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

void TSafeFile::abandon()
{
    if (fd < 0)
        return;
    close(fd);
    fd = -1;
    unlink(temporary.c_str());
}

bool TSafeFile::flush()
{
    if (fd < 0)
        return false;
    const bool ok = writeFully(buffer.data(), buffer.size(),
                               [&](const uint8_t* p, size_t left, size_t) { return ::write(fd, p, left); });
    if (!ok) {
        error = "cannot write " + target + ": " + reasonOf(errno ? errno : ENOSPC);
        abandon();
        return false;
    }
    buffer.clear();
    return true;
}

bool replaceFileAtomically(const std::string& path, const void* data, size_t size)
{
    TSafeFile out;
    return out.open(path) && out.write(static_cast<const uint8_t*>(data), size) && out.commit();
}

int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

LockOutcome lockNamedFile(int fd, const std::string& path, bool shared, int64_t deadlineMs)
{
    while (flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return LockOutcome::Failed;
        if (steadyMs() >= deadlineMs)
            return LockOutcome::Busy;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // A change by another holder renamed a new file over the one locked here: the
    // lock must be on the file that bears the name now.
    struct stat held {};
    struct stat named {};
    if (fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino)
        return LockOutcome::Held;
    return LockOutcome::Renamed;
}

bool TFileLock::lock(const std::string& path, bool shared, int waitMs)
{
    release();
    error.clear();
    const int64_t deadline = steadyMs() + waitMs;
    for (;;) {
        // Never waits for a pipe's writer; a folder or a device is no file to lock.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            if (errno == ENOENT)
                return true;
            error = "cannot open " + path + ": " + reasonOf(errno);
            return false;
        }
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            release();
            error = "cannot open " + path + ": not a regular file";
            return false;
        }
        switch (lockNamedFile(fd, path, shared, deadline)) {
        case LockOutcome::Held: return true;
        case LockOutcome::Renamed: release(); break;
        case LockOutcome::Busy:
            release();
            error = path + ": in use by another program (waited " + std::to_string((waitMs + 999) / 1000) +
                    " s); nothing was written";
            return false;
        case LockOutcome::Failed: {
            const int saved = errno;
            release();
            error = "cannot lock " + path + ": " + reasonOf(saved);
            return false;
        }
        }
        if (steadyMs() >= deadline) {
            error = path + ": in use by another program; nothing was written";
            return false;
        }
    }
}

void TFileLock::release()
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}
