#include "journal/LiveRuns.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace journal {

namespace {

// 1 TiB: SQLite locks bytes near 1 GiB; a journal never grows this far.
constexpr off_t kCatalogByte = off_t{1} << 40;

struct flock LockOf(short type, off_t at) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = at;
    lock.l_len = 1;
    return lock;
}

off_t RunByte(std::int64_t runId) {
    return kCatalogByte + 1 + static_cast<off_t>(runId);
}

} // namespace

LiveRuns::~LiveRuns() {
    Close();
}

bool LiveRuns::Open(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    return m_fd >= 0;
}

void LiveRuns::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool LiveRuns::ShareCatalog() {
    if (m_fd < 0)
        return false;
    struct flock lock = LockOf(F_RDLCK, kCatalogByte);
    int rc;
    do
        rc = ::fcntl(m_fd, F_OFD_SETLKW, &lock);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool LiveRuns::TryOwnCatalog() {
    if (m_fd < 0)
        return false;
    struct flock lock = LockOf(F_WRLCK, kCatalogByte);
    return ::fcntl(m_fd, F_OFD_SETLK, &lock) == 0;
}

void LiveRuns::ReleaseCatalog() {
    if (m_fd < 0)
        return;
    struct flock lock = LockOf(F_UNLCK, kCatalogByte);
    ::fcntl(m_fd, F_OFD_SETLK, &lock);
}

void LiveRuns::Hold(std::int64_t runId) {
    if (m_fd < 0)
        return;
    struct flock lock = LockOf(F_RDLCK, RunByte(runId));
    ::fcntl(m_fd, F_OFD_SETLK, &lock);
}

void LiveRuns::Release(std::int64_t runId) {
    if (m_fd < 0)
        return;
    struct flock lock = LockOf(F_UNLCK, RunByte(runId));
    ::fcntl(m_fd, F_OFD_SETLK, &lock);
}

bool LiveRuns::IsLive(std::int64_t runId) const {
    if (m_fd < 0)
        return false;
    struct flock probe = LockOf(F_WRLCK, RunByte(runId));
    return ::fcntl(m_fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

} // namespace journal
