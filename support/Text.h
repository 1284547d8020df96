#pragma once
// The one place where text changes form. Record fields and wire/file buffers
// hold GBK bytes; every other std::string holds UTF-8. Conversions happen only
// where record text becomes display text or display text goes onto the wire.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace text {

// GBK (decoded as its superset GB18030) to UTF-8. A byte sequence that does not
// decode becomes U+FFFD, one per offending byte; nothing is dropped.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 to GBK. A character GBK cannot hold, or a malformed UTF-8 sequence,
// becomes '?'. `lossy` (optional) reports whether that happened.
std::string Utf8ToGbk(std::string_view utf8, bool* lossy = nullptr);

// The text of a fixed NUL-terminated field: the bytes before the first NUL,
// never more than `size` of them.
std::string_view FieldText(const char* field, std::size_t size);

template <std::size_t N> std::string_view FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}

// Removes leading, then trailing single-byte white space (space, \t \n \v \f \r).
// A GBK double-byte character is one unit and is never removed; a lead byte in
// the last position stands alone, so the scan never steps past the text.
std::string_view TrimGbk(std::string_view gbk);

// Trims the NUL-terminated text held in `field` (size bytes) and writes it back
// with its terminator at the start of the same field.
void TrimFieldInPlace(char* field, std::size_t size);

template <std::size_t N> void TrimFieldInPlace(char (&field)[N]) {
    TrimFieldInPlace(field, N);
}

// Copies `value` into a fixed field of `size` bytes (size-1 bytes of text and a
// terminator), cutting it at size-1 bytes without splitting a GBK character.
void CopyToField(char* field, std::size_t size, std::string_view value);

template <std::size_t N> void CopyToField(char (&field)[N], std::string_view value) {
    CopyToField(field, N, value);
}

// Decimal numbers read the way atoi/atoll read them: leading white space, an
// optional sign, digits up to the first non-digit; no digits give 0. A value out
// of range saturates instead of overflowing.
std::int64_t ParseDecimal64(std::string_view digits);
std::int32_t ParseDecimal32(std::string_view digits);

// printf-style formatting into a std::string (UTF-8 formats and arguments).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace text
