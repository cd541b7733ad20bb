#include "library/filewrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string reasonOf(int error) { return std::strerror(error); }

}  // namespace

bool TSafeFile::open(const std::string& path)
{
    // Through a symbolic link the file it points to is replaced, not the link.
    char resolved[PATH_MAX];
    target = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    temporary = target + ".new";
    struct stat st {};
    if (lstat(temporary.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        unlink(temporary.c_str());   // left by an earlier run that was cut short
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        error = "cannot create " + temporary + ": " + reasonOf(errno);
        return false;
    }
    // The new file keeps the old one's permissions.
    if (stat(target.c_str(), &st) == 0)
        fchmod(fd, st.st_mode & 07777);
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
        error = "cannot write " + temporary + ": " + reasonOf(errno);
        return false;
    }
    const int closing = fd;
    fd = -1;
    if (close(closing) != 0) {
        error = "cannot write " + temporary + ": " + reasonOf(errno);
        unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        error = "cannot replace " + target + ": " + reasonOf(errno);
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
        error = "cannot write " + temporary + ": " + reasonOf(errno ? errno : ENOSPC);
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
