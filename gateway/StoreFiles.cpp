#include "gateway/StoreFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kDirectoryMode = 0700;
constexpr mode_t kFileMode = 0600;

std::string Failure(const char* what, const std::string& path, int code) {
    return std::string(what) + " " + path + ": " + std::strerror(code);
}

// Makes every missing directory above `path`, each 0700.
bool MakeParents(const std::string& path, std::string& error) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string directory = path.substr(0, slash);
        if (::mkdir(directory.c_str(), kDirectoryMode) != 0 && errno != EEXIST) {
            error = Failure("cannot open store", path, errno) + " (making " + directory + ")";
            return false;
        }
    }
    return true;
}

// Tightens an existing regular file of ours to 0600; a missing one, or one
// another user owns, is left as it is.
bool Tighten(const std::string& path, std::string& error) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT || (error = Failure("cannot read store", path, errno), false);
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 0777) == kFileMode)
        return true;
    if (::chmod(path.c_str(), kFileMode) != 0) {
        error = Failure("cannot make private", path, errno);
        return false;
    }
    return true;
}

} // namespace

bool PrepareStoreFiles(const std::string& path, std::string& error) {
    if (path.empty() || path == ":memory:")
        return true;
    if (!MakeParents(path, error))
        return false;
    // Made here, 0600 from its first byte, so there is no moment in which it
    // is readable by others.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, kFileMode);
    if (fd < 0) {
        error = Failure("cannot open store", path, errno);
        return false;
    }
    ::close(fd);
    for (const char* suffix : {"", "-wal", "-shm"})
        if (!Tighten(path + suffix, error))
            return false;
    return true;
}
