// Any bytes through the text module: decoding both ways, trimming, copying
// into a field and reading numbers, each checked against a plain model.

#include "FuzzCheck.h"
#include "support/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace {

using namespace fuzzcheck;

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void CheckDecoding(std::string_view bytes) {
    const std::string utf8 = text::GbkToUtf8(bytes);
    FUZZ_CHECK(IsValidUtf8(utf8));
    if (IsAscii(bytes))
        FUZZ_CHECK(utf8 == bytes);
    // Every byte ends up in the text, at worst as one replacement character.
    FUZZ_CHECK(bytes.empty() == utf8.empty());

    bool lossy = true;
    const std::string gbk = text::Utf8ToGbk(bytes, &lossy);
    if (IsAscii(bytes))
        FUZZ_CHECK(gbk == bytes && !lossy);
    if (!lossy) {
        // Text that went out to GBK unharmed must read back as it was.
        FUZZ_CHECK(IsValidUtf8(bytes));
        FUZZ_CHECK(text::GbkToUtf8(gbk) == bytes);
    }
}

void CheckTrim(std::string_view bytes) {
    const std::string_view trimmed = text::TrimGbk(bytes);
    FUZZ_CHECK(trimmed == ModelTrim(bytes));
    FUZZ_CHECK(trimmed.empty() || (trimmed.data() >= bytes.data() &&
                                   trimmed.data() + trimmed.size() <= bytes.data() + bytes.size()));
    FUZZ_CHECK(text::TrimGbk(trimmed) == trimmed);

    // The same bytes as a fixed field of exactly their size, so that a read or
    // write past its end is caught.
    if (bytes.empty())
        return;
    const std::size_t size = bytes.size();
    auto field = std::make_unique<char[]>(size);
    std::memcpy(field.get(), bytes.data(), size);
    const std::string_view before = ModelTrim(text::FieldText(bytes.data(), size));
    const std::string expected(before.substr(0, std::min(before.size(), size - 1)));
    text::TrimFieldInPlace(field.get(), size);
    FUZZ_CHECK(std::memchr(field.get(), 0, size) != nullptr);
    FUZZ_CHECK(text::FieldText(field.get(), size) == expected);
}

void CheckCopyToField(std::string_view bytes) {
    if (bytes.empty())
        return;
    const std::size_t size = 1 + static_cast<unsigned char>(bytes[0]) % 48;
    const std::string_view value = bytes.substr(1);
    auto field = std::make_unique<char[]>(size);
    text::CopyToField(field.get(), size, value);
    // The longest run of whole units that fits before the terminator.
    std::size_t fits = 0;
    while (fits < value.size() && fits + UnitLength(value, fits) <= size - 1)
        fits += UnitLength(value, fits);
    FUZZ_CHECK(field[fits] == '\0');
    FUZZ_CHECK(std::memcmp(field.get(), value.data(), fits) == 0);
}

void CheckNumbers(std::string_view bytes) {
    // The C library reads the same grammar and saturates the same way.
    const std::string terminated(bytes);
    errno = 0;
    const long long expected = std::strtoll(terminated.c_str(), nullptr, 10);
    FUZZ_CHECK(text::ParseDecimal64(bytes) == expected);
    const long long clamped =
        std::clamp<long long>(expected, std::numeric_limits<std::int32_t>::min(),
                              std::numeric_limits<std::int32_t>::max());
    FUZZ_CHECK(text::ParseDecimal32(bytes) == clamped);
}

void CheckFormat(std::string_view bytes) {
    const std::string terminated(bytes);
    FUZZ_CHECK(text::Format("[%s]", terminated.c_str()) ==
               "[" + std::string(text::FieldText(terminated.c_str(), terminated.size())) + "]");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckDecoding(bytes);
    CheckTrim(bytes);
    CheckCopyToField(bytes);
    CheckNumbers(bytes);
    CheckFormat(bytes);
    return 0;
}
