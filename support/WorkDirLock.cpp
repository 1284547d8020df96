#include "support/WorkDirLock.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace workdir {

namespace {

// FNV-1a: a stable short name for a path; collisions only make two
// directories share a lock, which is safe.
std::uint64_t Hash(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string LockDirectory() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/quillmark";
    return "/tmp/quillmark-" + std::to_string(getuid());
}

} // namespace

std::string LockPath(const std::string& workDir) {
    std::error_code error;
    std::string real = std::filesystem::weakly_canonical(workDir, error).string();
    if (error || real.empty())
        real = std::filesystem::absolute(workDir, error).lexically_normal().string();
    while (real.size() > 1 && real.back() == '/')
        real.pop_back();
    char name[40];
    std::snprintf(name, sizeof name, "workdir-%016llx.lock",
                  static_cast<unsigned long long>(Hash(real)));
    return LockDirectory() + "/" + name;
}

Lock::Lock(std::string workDir, std::string holder)
    : m_path(LockPath(workDir)), m_holder(std::move(holder)) {}

Lock::~Lock() {
    Release();
}

bool Lock::Open() {
    if (m_fd >= 0)
        return true;
    const std::string directory = std::filesystem::path(m_path).parent_path().string();
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        m_error = "cannot make " + directory + ": " + std::strerror(errno);
        return false;
    }
    m_fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        m_error = "cannot open " + m_path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool Lock::TryOnce() {
    while (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        return false;
    }
    m_held = true;
    const std::string who = m_holder + " (pid " + std::to_string(getpid()) + ")\n";
    // The holder's name only informs whoever waits; the lock holds without it.
    [[maybe_unused]] const bool named =
        ftruncate(m_fd, 0) == 0 &&
        pwrite(m_fd, who.data(), who.size(), 0) == static_cast<ssize_t>(who.size());
    return true;
}

Lock::Result Lock::Acquire(std::chrono::milliseconds wait,
                           const std::function<void(const std::string&)>& onWait,
                           std::chrono::milliseconds poll) {
    if (Held())
        return Result::Acquired;
    if (!Open())
        return Result::Unavailable;
    if (TryOnce())
        return Result::Acquired;
    if (onWait)
        onWait(Holder());
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            poll, deadline - std::chrono::steady_clock::now()));
        if (TryOnce())
            return Result::Acquired;
    }
    return Result::Busy;
}

void Lock::Release() {
    if (m_fd < 0)
        return;
    if (m_held) {
        // Cleared first: a reader never takes a gone holder for the present one.
        [[maybe_unused]] const bool cleared = ftruncate(m_fd, 0) == 0;
        flock(m_fd, LOCK_UN);
        m_held = false;
    }
    close(m_fd);
    m_fd = -1;
}

std::string Lock::Holder() const {
    const int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return "";
    char text[256];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0)
        return "";
    std::string who(text, static_cast<std::size_t>(n));
    while (!who.empty() && (who.back() == '\n' || who.back() == '\r'))
        who.pop_back();
    return who;
}

} // namespace workdir
