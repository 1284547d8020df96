#pragma once
// Where the journal's writer keeps packed results it cannot write yet, when
// more of them wait than memory should hold: an unnamed file in the journal's
// directory (private, gone when the program ends however it ends).

#include <cstdint>
#include <string>

namespace journal {

class SpillFile {
public:
    struct Span {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
    };
    SpillFile() = default;
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    // Appends `bytes`, making the file beside `journalPath` on first use.
    // False when it cannot be written; the caller keeps the bytes in memory.
    bool Append(const std::string& journalPath, const std::string& bytes, Span& where);
    bool Read(const Span& where, std::string& bytes) const;

private:
    int m_fd = -1;
    std::uint64_t m_end = 0;
};

} // namespace journal
