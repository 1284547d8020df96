#include "support/Text.h"

#include "support/GbkCodec.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace text {
namespace {

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsGbkLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

// Whether all eight bytes of `word` lie in the lead range 0x81-0xFE: all have
// the high bit set, none is 0x80 and none is 0xFF.
bool AllGbkLeads(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighs = 0x8080808080808080;
    const auto hasZeroByte = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
    return (word & kHighs) == kHighs && !hasZeroByte(word ^ kHighs) && !hasZeroByte(~word);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string GbkToUtf8(std::string_view gbk) {
    if (IsAscii(gbk))
        return std::string(gbk);
    std::string out;
    codec::AppendGb18030AsUtf8(gbk, out);
    return out;
}

std::string Utf8ToGbk(std::string_view utf8, bool* lossy) {
    if (lossy)
        *lossy = false;
    if (IsAscii(utf8))
        return std::string(utf8);
    std::string out;
    const bool exact = codec::AppendUtf8AsGbk(utf8, out);
    if (lossy)
        *lossy = !exact;
    return out;
}

std::string_view FieldText(const char* field, std::size_t size) {
    const void* nul = std::memchr(field, 0, size);
    return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : size};
}

std::string_view TrimGbk(std::string_view gbk) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(gbk[i]); };
    std::size_t begin = 0;
    while (begin < gbk.size() && IsSpace(byteAt(begin)))
        ++begin;
    std::size_t end = gbk.size();
    // Fixed-width fields are mostly filled out with plain blanks: step over
    // those eight at a time before looking at single bytes.
    constexpr std::uint64_t kEightBlanks = 0x2020202020202020;
    for (std::uint64_t word; end - begin >= 8; end -= 8) {
        std::memcpy(&word, gbk.data() + end - 8, sizeof word);
        if (word != kEightBlanks)
            break;
    }
    while (end > begin && IsSpace(byteAt(end - 1)))
        --end;
    if (end == begin || end == gbk.size())
        return gbk.substr(begin, end - begin);
    // gbk[end] looks like white space, but it is the second byte of a character
    // when gbk[end - 1] starts one. A byte that cannot lead always ends a
    // character, so the run of lead-range bytes before `end` starts on a
    // character boundary and pairs up from there: an odd run leaves the last
    // byte leading. This reads only the tail instead of walking the whole text.
    std::size_t run = 0;
    for (std::uint64_t word; end - run - begin >= 8; run += 8) {
        std::memcpy(&word, gbk.data() + end - run - 8, sizeof word);
        if (!AllGbkLeads(word))
            break;
    }
    while (end - run > begin && IsGbkLead(byteAt(end - run - 1)))
        ++run;
    if (run % 2 == 1)
        ++end;
    return gbk.substr(begin, end - begin);
}

void TrimFieldInPlace(char* field, std::size_t size) {
    if (size == 0)
        return;
    const std::string_view trimmed = TrimGbk(FieldText(field, size));
    const std::size_t length = std::min(trimmed.size(), size - 1);
    std::memmove(field, trimmed.data(), length);
    field[length] = '\0';
}

void CopyToField(char* field, std::size_t size, std::string_view value) {
    if (size == 0)
        return;
    std::size_t length = 0;
    // Cut at whole characters so that no lone lead byte ends the field.
    while (length < value.size()) {
        const std::size_t step =
            IsGbkLead(static_cast<unsigned char>(value[length])) && length + 1 < value.size() ? 2
                                                                                              : 1;
        if (length + step > size - 1)
            break;
        length += step;
    }
    std::memcpy(field, value.data(), length);
    field[length] = '\0';
}

std::int64_t ParseDecimal64(std::string_view digits) {
    std::size_t i = 0;
    while (i < digits.size() && IsSpace(static_cast<unsigned char>(digits[i])))
        ++i;
    bool negative = false;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
        negative = digits[i] == '-';
        ++i;
    }
    // Accumulate as a negative number: its range holds the most negative value.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    bool saturated = false;
    for (; i < digits.size() && IsDigit(digits[i]); ++i) {
        const int digit = digits[i] - '0';
        if (value < (kMin + digit) / 10) {
            saturated = true;
            value = kMin;
        } else if (!saturated) {
            value = value * 10 - digit;
        }
    }
    if (negative)
        return value;
    return value == kMin ? std::numeric_limits<std::int64_t>::max() : -value;
}

std::int32_t ParseDecimal32(std::string_view digits) {
    const std::int64_t value = ParseDecimal64(digits);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (length > 0) {
        out.resize(static_cast<std::size_t>(length));
        std::vsnprintf(out.data(), out.size() + 1, format, args);
    }
    va_end(args);
    return out;
}

} // namespace text
