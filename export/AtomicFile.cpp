#include "export/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// The directory part of `path` with its final slash, or "" for a bare name.
std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int SyncPath(const char* path, int flags) {
    const int fd = ::open(path, flags | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

} // namespace

AtomicFile::~AtomicFile() {
    Discard();
}

std::string AtomicFile::Create(const std::string& path) {
    Discard();
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return "不是文件名";
    std::string pattern = DirectoryOf(path) + "." + name + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return ErrnoText(errno);
    ::close(fd);
    m_path = path;
    m_tempPath = std::move(pattern);
    return {};
}

std::string AtomicFile::Commit() {
    if (m_tempPath.empty())
        return "没有临时文件";
    int error = SyncPath(m_tempPath.c_str(), O_RDONLY);
    if (error == 0 && ::rename(m_tempPath.c_str(), m_path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        Discard();
        return ErrnoText(error);
    }
    m_tempPath.clear();
    // The rename itself lasts only once the directory is on disk too.
    const std::string directory = DirectoryOf(m_path);
    SyncPath(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    return {};
}

void AtomicFile::Discard() {
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}
