#include "support/Text.h"

#include "support/GbkCodec.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace text {
namespace {

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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
    std::size_t begin = 0;
    while (begin < gbk.size() && IsSpace(static_cast<unsigned char>(gbk[begin])))
        ++begin;
    // Walk forward by characters so that a trail byte is never taken for white
    // space; remember where the last non-space character ended.
    std::size_t end = begin;
    for (std::size_t i = begin; i < gbk.size();) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        if (IsGbkLead(c) && i + 1 < gbk.size()) {
            i += 2;
            end = i;
        } else {
            ++i;
            if (!IsSpace(c))
                end = i;
        }
    }
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
            IsGbkLead(static_cast<unsigned char>(value[length])) && length + 1 < value.size() ? 2 : 1;
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
