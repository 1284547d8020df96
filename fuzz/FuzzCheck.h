#pragma once
// What the fuzz targets share: a check that stops the run with a readable
// reason (libFuzzer then saves the input that broke it), and plain models of
// the text rules that the code under test implements in faster ways.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzzcheck {

inline bool IsSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool IsLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

// Length of the GBK unit starting at `i`: a lead byte with a byte after it
// makes a pair, anything else stands alone.
inline std::size_t UnitLength(std::string_view s, std::size_t i) {
    return IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

inline bool IsSpaceUnit(std::string_view s, std::size_t i) {
    return UnitLength(s, i) == 1 && IsSpace(static_cast<unsigned char>(s[i]));
}

// The trim rule unit by unit: drop white-space units at the front, then at the back.
inline std::string_view ModelTrim(std::string_view s) {
    std::size_t begin = s.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < s.size(); i += UnitLength(s, i)) {
        if (IsSpaceUnit(s, i))
            continue;
        if (begin == s.size())
            begin = i;
        end = i + UnitLength(s, i);
    }
    return begin == s.size() ? s.substr(0, 0) : s.substr(begin, end - begin);
}

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
inline bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        unsigned long cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size())
            return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

} // namespace fuzzcheck
