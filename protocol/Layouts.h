#pragma once
// The fixed-width layouts of the wire: the packet header, the request record,
// the reply header and the result record. Each is a table of field widths in
// wire order, numbered from 1 as docs/protocol.md numbers them; offsets follow
// from the widths. Fields are read and written in place in the bytes that
// carry them, so no record is copied to be looked at.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace protocol {

struct FieldSpan {
    std::size_t offset = 0;
    std::size_t width = 0;
};

template <std::size_t N> class Layout {
public:
    constexpr explicit Layout(const std::array<std::size_t, N>& widths) {
        std::size_t offset = 0;
        for (std::size_t i = 0; i < N; ++i) {
            m_spans[i] = {offset, widths[i]};
            offset += widths[i];
        }
        m_length = offset;
    }

    static constexpr std::size_t Fields() { return N; }
    // Bytes the whole layout takes.
    constexpr std::size_t Length() const { return m_length; }
    // Field `number` (1..N).
    constexpr FieldSpan Field(std::size_t number) const { return m_spans[number - 1]; }
    constexpr std::size_t Offset(std::size_t number) const { return Field(number).offset; }
    constexpr std::size_t Width(std::size_t number) const { return Field(number).width; }
    // Bytes from the start of field `first` to the end of field `last`.
    constexpr std::size_t Span(std::size_t first, std::size_t last) const {
        return Offset(last) + Width(last) - Offset(first);
    }
    constexpr std::array<std::size_t, N> Widths() const {
        std::array<std::size_t, N> widths{};
        for (std::size_t i = 0; i < N; ++i)
            widths[i] = m_spans[i].width;
        return widths;
    }

    // The bytes of field `number` in `record`; empty when `record` is too
    // short to hold the field.
    constexpr std::string_view Of(std::string_view record, std::size_t number) const {
        const FieldSpan span = Field(number);
        if (record.size() < span.offset + span.width)
            return {};
        return record.substr(span.offset, span.width);
    }
    constexpr char* At(char* record, std::size_t number) const { return record + Offset(number); }

    // Writes `value` at the start of field `number` and fills the rest of the
    // field with `fill`; false (nothing written) when it does not fit.
    constexpr bool Put(char* record, std::size_t number, std::string_view value,
                       char fill = ' ') const {
        const FieldSpan span = Field(number);
        if (value.size() > span.width)
            return false;
        char* at = record + span.offset;
        for (std::size_t i = 0; i < span.width; ++i)
            at[i] = i < value.size() ? value[i] : fill;
        return true;
    }
    // Writes `value` as zero-padded decimal digits over the whole field; false
    // (nothing written) when it has more digits than the field has room for.
    constexpr bool PutDigits(char* record, std::size_t number, std::uint64_t value) const {
        const FieldSpan span = Field(number);
        std::uint64_t rest = value;
        char* at = record + span.offset;
        for (std::size_t i = span.width; i-- > 0;) {
            at[i] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        }
        if (rest == 0)
            return true;
        for (std::size_t i = 0; i < span.width; ++i)
            at[i] = ' ';
        return false;
    }

private:
    std::array<FieldSpan, N> m_spans{};
    std::size_t m_length = 0;
};

template <std::size_t A, std::size_t B>
constexpr std::array<std::size_t, A + B> Join(const std::array<std::size_t, A>& first,
                                              const std::array<std::size_t, B>& second) {
    std::array<std::size_t, A + B> joined{};
    for (std::size_t i = 0; i < A; ++i)
        joined[i] = first[i];
    for (std::size_t i = 0; i < B; ++i)
        joined[A + i] = second[i];
    return joined;
}

// The 64 bytes before an upload's body, filled with blanks.
namespace packetheader {
enum : std::size_t {
    kSystem = 1,
    kSubsystem,
    kKind,
    kFunction,
    kSerial,
    kSerialFlag,
    kBodyLength,
    kContext,
    kSpare,
};
inline constexpr Layout<9> kLayout({8, 8, 2, 2, 16, 1, 10, 8, 9});
} // namespace packetheader

// One request record: 26 fields, each value at the start of its field and the
// rest zero bytes.
namespace requestrecord {
enum : std::size_t {
    kSeqNo = 1,
    kParticipant = 3, // CommString1 of the login
    kScopeMark = 5,   // "*" for a reserve account
    kGatewayId = 7,   // CommString2 of the login
    kVersion = 9,     // kRecordVersion
    kRecordKind = 10, // kReserveRecord or kBankRecord
    kReserveAccountNo = 11,
    kReserveAccountName = 12,
    kReserveKind = 13,
    kBankCode = 14,
    kBankAccountNo = 15,
    kAccountFullName = 16,
    kBankFullName = 17,
    kSystemCode = 21,
    kSubsystemCode = 22,
    kBusinessKind = 23,
    kLast = 26,
};
inline constexpr std::array<std::size_t, 26> kWidths = {
    6, 16, 8, 8, 8, 40, 8, 40, 2, 2, 25, 80, 2, 4, 28, 80, 80, 25, 4, 28, 16, 16, 2, 2, 2, 40};
inline constexpr Layout<26> kLayout(kWidths);
} // namespace requestrecord

// The header of an upload reply, after the prefix and the marker.
namespace replyheader {
enum : std::size_t {
    kSerial = 1,
    kRecordCount,
    kSystem,
    kSubsystem,
    kFunction,
    kReturnCode,
    kDataLength,
    kSerialFlag,
    kMessage,
};
inline constexpr Layout<9> kLayout({16, 10, 16, 16, 2, 4, 9, 1, 52});
} // namespace replyheader

// One result record: the request record it answers, its code and its text.
namespace resultrecord {
enum : std::size_t {
    kResultCode = 27,
    kResultText = 28,
};
inline constexpr Layout<28> kLayout(Join(requestrecord::kWidths,
                                         std::array<std::size_t, 2>{4, 40}));
} // namespace resultrecord

static_assert(packetheader::kLayout.Length() == 64);
static_assert(requestrecord::kLayout.Length() == 572);
static_assert(replyheader::kLayout.Length() == 126);
static_assert(resultrecord::kLayout.Length() == 616);

} // namespace protocol
