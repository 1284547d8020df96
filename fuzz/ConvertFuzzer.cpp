// Any bytes as the source of each of the three record conversions. The source
// and destination are heap blocks of exactly the record's size, so a read or
// write past a record is caught; the result is compared with a byte-by-byte
// model of the conversion rules.

#include "FuzzCheck.h"
#include "support/ComFormat.h"
#include "upload/RecordFormats.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// The rules written the slow, obvious way.
void ModelConvert(char* dst, const char* src, const struct_comfmt* table) {
    for (const struct_comfmt* f = table; !comfmt::IsEnd(*f); ++f) {
        const auto width = static_cast<std::size_t>(f->width);
        if (f->type[0] == 'C') {
            std::size_t n = 0;
            while (n < width && src[n] != '\0')
                ++n;
            std::memcpy(dst, src, n);
            std::memset(dst + n, 0, width - n);
            src += width + 1;
            dst += width;
        } else if (f->type[1] == 'C') {
            std::memcpy(dst, src, width);
            dst[width] = '\0';
            src += width;
            dst += width + 1;
        } else {
            std::memcpy(dst, src, width);
            src += width;
            dst += width;
        }
    }
}

template <std::size_t N>
void CheckTable(const struct_comfmt (&table)[N], const std::uint8_t* data, std::size_t size) {
    const comfmt::Sizes sizes = comfmt::Measure(table);
    auto source = std::make_unique<char[]>(sizes.source);
    std::memset(source.get(), 0, sizes.source);
    std::memcpy(source.get(), data, std::min(size, sizes.source));

    auto expected = std::make_unique<char[]>(sizes.destination);
    ModelConvert(expected.get(), source.get(), table);

    // Every destination byte is written whatever it held before: the result
    // work area is reused from one record to the next.
    for (const int stale : {0x00, 0xFF}) {
        auto destination = std::make_unique<char[]>(sizes.destination);
        std::memset(destination.get(), stale, sizes.destination);
        const int written = CGlobalClass::Convert(destination.get(), source.get(), table);
        FUZZ_CHECK(written == static_cast<int>(sizes.destination));
        FUZZ_CHECK(std::memcmp(destination.get(), expected.get(), sizes.destination) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckTable(UploadRequestFormat, data, size);
    CheckTable(ResponseHeaderFormat, data, size);
    CheckTable(UploadResultFormat, data, size);
    return 0;
}
