#pragma once
// What a result code says, read the way the operator reads it: the text the
// row's code cell shows (the field up to its first NUL, trimmed as the cell
// trims it). Only that text decides, so a row never shows one code and is
// counted by another.

#include <cstddef>
#include <string_view>

namespace upload {

// The GBK text a code cell shows for `code`.
std::string_view ShownCode(std::string_view code);

template <std::size_t N> std::string_view ShownCode(const char (&field)[N]) {
    return ShownCode(std::string_view(field, N));
}

// True when the shown code is one or more ASCII '0' ("0000", "0"); a cell
// that shows nothing, blanks, a sign or anything else is not a success.
bool IsSuccessCode(std::string_view code);

template <std::size_t N> bool IsSuccessCode(const char (&field)[N]) {
    return IsSuccessCode(std::string_view(field, N));
}

// The shown code read as a decimal number (0 when it has no digits).
int CodeNumber(std::string_view code);

template <std::size_t N> int CodeNumber(const char (&field)[N]) {
    return CodeNumber(std::string_view(field, N));
}

} // namespace upload
