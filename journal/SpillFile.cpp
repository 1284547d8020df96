#include "journal/SpillFile.h"

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace journal {

SpillFile::~SpillFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SpillFile::Append(const std::string& journalPath, const std::string& bytes, Span& where) {
    if (m_fd < 0) {
        std::filesystem::path dir = std::filesystem::path(journalPath).parent_path();
        if (dir.empty())
            dir = std::filesystem::current_path();
        m_fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (m_fd < 0)
            return false;
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::pwrite(m_fd, bytes.data() + written, bytes.size() - written,
                                   static_cast<off_t>(m_end + written));
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    where = {m_end, bytes.size()};
    m_end += bytes.size();
    return true;
}

bool SpillFile::Read(const Span& where, std::string& bytes) const {
    bytes.resize(where.size);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(m_fd, bytes.data() + done, bytes.size() - done,
                                  static_cast<off_t>(where.offset + done));
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace journal
