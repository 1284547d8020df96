#include "cli/PasswordFile.h"

#include "cli/PasswordInput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor however the read ends.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0)
            close(fd);
    }
};

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

} // namespace

PasswordFileResult ReadPasswordFile(const std::string& path) {
    PasswordFileResult result;
    auto fail = [&](const std::string& why) {
        result.error = "password file '" + path + "' " + why;
        return result;
    };
    // O_NOFOLLOW is not used: a credential may well be a link the service
    // manager made; the checks below are on what the descriptor reads.
    const FileDescriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0)
        return fail(std::string("cannot be opened: ") + std::strerror(errno));
    struct stat facts {};
    if (fstat(file.fd, &facts) != 0)
        return fail(std::string("cannot be examined: ") + std::strerror(errno));
    if (!S_ISREG(facts.st_mode))
        return fail("is not a regular file");
    if (facts.st_uid != geteuid())
        return fail("is not owned by this user (uid " + std::to_string(geteuid()) + ")");
    if ((facts.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return fail("can be used by others (mode " + OctalMode(facts.st_mode) +
                    "): make it readable by its owner only, as with chmod 600");

    std::string content;
    char chunk[512];
    for (;;) {
        const ssize_t n = read(file.fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(std::string("cannot be read: ") + std::strerror(errno));
        }
        if (n == 0)
            break;
        content.append(chunk, static_cast<std::size_t>(n));
        // Room for one line end after the longest password.
        if (content.size() > kMaxPasswordLength + 2)
            return fail("is longer than " + std::to_string(kMaxPasswordLength) + " bytes");
    }
    if (!content.empty() && content.back() == '\n') {
        content.pop_back();
        if (!content.empty() && content.back() == '\r')
            content.pop_back();
    }
    if (content.empty())
        return fail("holds no password");
    if (content.size() > kMaxPasswordLength)
        return fail("is longer than " + std::to_string(kMaxPasswordLength) + " bytes");
    result.password = std::move(content);
    return result;
}
