#pragma once
// The conversion tables of the three wire records, one descriptor per field in
// wire order, each closed by the all-zero descriptor.

#include "protocol/Layouts.h"
#include "support/ComFormat.h"
#include "upload/UploadRecords.h"

#define QM_REQUEST_FIELDS(T)                                                                       \
    comfmt::Field(6, T), comfmt::Field(16, T), comfmt::Field(8, T), comfmt::Field(8, T),           \
        comfmt::Field(8, T), comfmt::Field(40, T), comfmt::Field(8, T), comfmt::Field(40, T),      \
        comfmt::Field(2, T), comfmt::Field(2, T), comfmt::Field(25, T), comfmt::Field(80, T),      \
        comfmt::Field(2, T), comfmt::Field(4, T), comfmt::Field(28, T), comfmt::Field(80, T),      \
        comfmt::Field(80, T), comfmt::Field(25, T), comfmt::Field(4, T), comfmt::Field(28, T),     \
        comfmt::Field(16, T), comfmt::Field(16, T), comfmt::Field(2, T), comfmt::Field(2, T),      \
        comfmt::Field(2, T), comfmt::Field(40, T)

inline constexpr struct_comfmt UploadRequestFormat[] = {QM_REQUEST_FIELDS("CA"), comfmt::kEnd};
// The other way: a request record read back from its wire image.
inline constexpr struct_comfmt UploadRequestFromWire[] = {QM_REQUEST_FIELDS("AC"), comfmt::kEnd};

inline constexpr struct_comfmt ResponseHeaderFormat[] = {
    comfmt::Field(16, "AC"), comfmt::Field(10, "AC"),
    comfmt::Field(16, "AC"), comfmt::Field(16, "AC"),
    comfmt::Field(2, "AC"),  comfmt::Field(4, "AC"),
    comfmt::Field(9, "AC"),  comfmt::Field(1, "AA"),
    comfmt::Field(52, "AC"), comfmt::kEnd};

inline constexpr struct_comfmt UploadResultFormat[] = {
    QM_REQUEST_FIELDS("AC"), comfmt::Field(4, "AC"), comfmt::Field(40, "AC"), comfmt::kEnd};

#undef QM_REQUEST_FIELDS

// Each table's fields are the wire layout's fields, one for one.
template <std::size_t N, std::size_t M>
constexpr bool LaysOut(const struct_comfmt (&table)[N], const protocol::Layout<M>& layout) {
    if (N != M + 1)
        return false;
    for (std::size_t i = 0; i < M; ++i)
        if (static_cast<std::size_t>(table[i].width) != layout.Width(i + 1))
            return false;
    return true;
}
static_assert(LaysOut(UploadRequestFormat, protocol::requestrecord::kLayout));
static_assert(LaysOut(ResponseHeaderFormat, protocol::replyheader::kLayout));
static_assert(LaysOut(UploadResultFormat, protocol::resultrecord::kLayout));

static_assert(comfmt::Measure(UploadRequestFormat).fields == 26);
static_assert(comfmt::Measure(UploadRequestFormat).source == sizeof(UploadRequestRecord));
static_assert(comfmt::Measure(UploadRequestFormat).destination == kRequestWireLength);
static_assert(comfmt::Measure(ResponseHeaderFormat).fields == 9);
static_assert(comfmt::Measure(ResponseHeaderFormat).source == kResponseHeaderWireLength);
static_assert(comfmt::Measure(ResponseHeaderFormat).destination == sizeof(ResponseHeader));
static_assert(comfmt::Measure(UploadResultFormat).fields == 28);
static_assert(comfmt::Measure(UploadResultFormat).source == kResultWireLength);
static_assert(comfmt::Measure(UploadResultFormat).destination == sizeof(UploadResultRecord));
