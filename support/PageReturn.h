#pragma once
// Hands the memory pages of a large buffer back to the system while the
// buffer itself stays allocated: for a half-gigabyte reply that has been read
// front to back, the part already read need not stay resident while the rest
// is converted. Pages handed back read as zero afterwards; only bytes that
// will never be read again may go back.

#include <cstddef>

namespace pages {

// Returns the whole pages inside [begin, end), a slice at a time, letting the
// front end paint in between.
void Return(const char* begin, const char* end);

// Returns the pages of a buffer read in order, as the reading moves on.
class ReturnBehind {
public:
    explicit ReturnBehind(const char* begin) : m_returnedTo(begin) {}
    // Everything before `readTo` has been read for the last time.
    void ReadUpTo(const char* readTo);

private:
    const char* m_returnedTo;
};

} // namespace pages
