#pragma once
// Plain file access for the account files: the only place that talks to the
// operating system's file calls, so another platform needs new code here only.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace fileaccess {

// True when `path` names an existing entry of any kind, a directory included.
// A symbolic link counts as itself, so one that leads nowhere is an entry
// whose open fails, not a missing file.
bool Exists(const char* path);

// A file opened for reading only, held under an exclusive lock so that a second
// reader (another copy of the tool) is refused while this one reads.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens `path` and takes the lock without waiting. Returns 0, or the
    // operating system's error code: a directory gives EISDIR; a FIFO, a
    // character or block device or a socket (directly or through a link)
    // gives ENODEV and is not opened at all; a file another holder has locked
    // gives EWOULDBLOCK.
    int Open(const char* path);

    // The length of the open file at the moment it was opened.
    std::uint64_t Length() const { return m_length; }
    // Its last modification, as the open found it.
    std::chrono::system_clock::time_point Modified() const { return m_modified; }

    // Reads up to `count` bytes, retrying after interruptions and partial reads,
    // and returns how many arrived: fewer only at the end of the file or on a
    // read error.
    std::size_t Read(void* buffer, std::size_t count);

    void Close();

private:
    int m_fd = -1;
    std::uint64_t m_length = 0;
    std::chrono::system_clock::time_point m_modified;
};

} // namespace fileaccess
