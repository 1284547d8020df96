#include "support/FileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileaccess {

bool Exists(const char* path) {
    struct stat info;
    return path != nullptr && ::lstat(path, &info) == 0;
}

ReadOnlyFile::~ReadOnlyFile() {
    Close();
}

namespace {

// 0 for a regular file; EISDIR for a directory (readable on this system, but
// never a file of records); ENODEV for a FIFO, a device or a socket, whose
// contents are not a file's.
int TypeError(const struct stat& info) {
    if (S_ISREG(info.st_mode))
        return 0;
    return S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
}

} // namespace

int ReadOnlyFile::Open(const char* path) {
    Close();
    // The type is checked before the open: opening a device or a FIFO can
    // have effects of its own (a FIFO's writer sees a reader, a tape rewinds).
    struct stat info;
    if (::stat(path, &info) != 0)
        return errno;
    if (const int error = TypeError(info); error != 0)
        return error;
    // O_NONBLOCK keeps a FIFO swapped in after the check from stalling the
    // open; the check after the open catches it.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    int error = ::fstat(fd, &info) != 0 ? errno : TypeError(info);
    if (error == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        return error;
    }
    m_fd = fd;
    m_length = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    m_modified = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(info.st_mtim.tv_sec) +
            std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
    return 0;
}

std::size_t ReadOnlyFile::Read(void* buffer, std::size_t count) {
    if (m_fd < 0)
        return 0;
    auto* out = static_cast<char*>(buffer);
    std::size_t total = 0;
    while (total < count) {
        const ssize_t got = ::read(m_fd, out + total, count - total);
        if (got > 0)
            total += static_cast<std::size_t>(got);
        else if (got < 0 && errno == EINTR)
            continue;
        else
            break; // end of file, or an error such as EAGAIN on a FIFO
    }
    return total;
}

void ReadOnlyFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd); // releases the lock too
        m_fd = -1;
    }
    m_length = 0;
}

} // namespace fileaccess
