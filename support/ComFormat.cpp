#include "support/ComFormat.h"

#include <cstring>

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

std::uint64_t Load8(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

void Store8(char* p, std::uint64_t v) {
    std::memcpy(p, &v, 8);
}

// Text field to wire field: copies eight bytes at a time until the word that
// holds the terminator, keeps the bytes before it and zero-fills the rest. This
// runs once per field of every record sent, so it avoids a library call per field.
void TextToFixed(char* dst, const char* src, std::size_t width) {
    std::size_t i = 0;
    for (; i + 8 <= width; i += 8) {
        const std::uint64_t v = Load8(src + i);
        const std::uint64_t zero = (v - kOnes) & ~v & kHighs;
        if (zero != 0) {
            // The lowest flagged byte is the first NUL (little-endian order).
            const unsigned keep = static_cast<unsigned>(__builtin_ctzll(zero)) >> 3;
            Store8(dst + i, keep == 0 ? 0 : v & (~0ULL >> (64 - 8 * keep)));
            i += 8;
            std::memset(dst + i, 0, width - i);
            return;
        }
        Store8(dst + i, v);
    }
    for (; i < width && src[i] != '\0'; ++i)
        dst[i] = src[i];
    for (; i < width; ++i)
        dst[i] = '\0';
}

} // namespace

int CGlobalClass::Convert(void* destination, const void* source, const struct_comfmt* table) {
    auto* dst = static_cast<char*>(destination);
    const auto* src = static_cast<const char*>(source);
    std::size_t written = 0;
    for (const struct_comfmt* f = table; !comfmt::IsEnd(*f); ++f) {
        if (f->width < 0)
            return -1;
        const auto width = static_cast<std::size_t>(f->width);
        const char from = f->type[0];
        const char to = f->type[1];
        if (from == 'C' && to == 'A') {
            TextToFixed(dst, src, width);
            src += width + 1;
            dst += width;
        } else if (from == 'A' && to == 'C') {
            std::memcpy(dst, src, width);
            dst[width] = '\0';
            src += width;
            dst += width + 1;
        } else if (from == 'A' && to == 'A') {
            std::memcpy(dst, src, width);
            src += width;
            dst += width;
        } else {
            return -1;
        }
        written = static_cast<std::size_t>(dst - static_cast<char*>(destination));
    }
    return static_cast<int>(written);
}
