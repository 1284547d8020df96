#pragma once
// Table-driven conversion of fixed-width records between their in-memory form
// (text fields with a terminator) and their wire form (fields of exactly their
// width). A table lists a record's fields in wire order and ends with an
// all-zero descriptor.

#include <cstddef>
#include <cstdint>

struct struct_comfmt {
    std::int32_t width;    // bytes the field takes on the wire
    std::int32_t reserved; // always 0
    char type[4];          // source form then destination form: "CA", "AC" or "AA"
};

static_assert(sizeof(struct_comfmt) == 12);

namespace comfmt {

// "C": a NUL-terminated text of at most width bytes in width+1 bytes of memory.
// "A": exactly width bytes, no terminator.
constexpr struct_comfmt Field(std::int32_t width, const char (&type)[3]) {
    return {width, 0, {type[0], type[1], 0, 0}};
}
constexpr struct_comfmt kEnd{0, 0, {0, 0, 0, 0}};

constexpr bool IsEnd(const struct_comfmt& f) {
    return f.width == 0 && f.reserved == 0 && f.type[0] == 0 && f.type[1] == 0 && f.type[2] == 0 &&
           f.type[3] == 0;
}

// Bytes a record takes in its source and in its destination form.
struct Sizes {
    std::size_t source = 0;
    std::size_t destination = 0;
    std::size_t fields = 0;
};

constexpr std::size_t SideSize(char form, std::int32_t width) {
    return static_cast<std::size_t>(width) + (form == 'C' ? 1 : 0);
}

template <std::size_t N> constexpr Sizes Measure(const struct_comfmt (&table)[N]) {
    Sizes sizes;
    for (std::size_t i = 0; i < N && !IsEnd(table[i]); ++i) {
        sizes.source += SideSize(table[i].type[0], table[i].width);
        sizes.destination += SideSize(table[i].type[1], table[i].width);
        ++sizes.fields;
    }
    return sizes;
}

} // namespace comfmt

class CGlobalClass {
public:
    // Converts one record from `source` into `destination` as `table` says.
    // "CA": the text before the terminator (at most width bytes), the rest of the
    // wire field filled with zero bytes. "AC": width bytes and a terminator.
    // "AA": width bytes. Returns the destination bytes written, or -1 at a
    // descriptor it does not know (negative width, another type code), where it
    // stops.
    static int Convert(void* destination, const void* source, const struct_comfmt* table);
};
