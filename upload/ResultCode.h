#pragma once
// When a result record confirms that the settlement system stored its record.
// Only an explicit zero code does: a blank code confirms nothing, and a code
// such as "+0" or "0A" is something the system chose to say instead of zero.

#include <cstddef>
#include <string_view>

namespace upload {

// True when `code`, with blanks and NULs around it removed, is one or more
// ASCII '0' characters ("0000", "0"); false for anything else, empty included.
bool IsSuccessCode(std::string_view code);

template <std::size_t N> bool IsSuccessCode(const char (&field)[N]) {
    return IsSuccessCode(std::string_view(field, N));
}

} // namespace upload
