#include "gateway/RecordCheck.h"

#include "support/Text.h"
#include "support/net/WireFormat.h"
#include "upload/RecordFormats.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

bool IsKey(std::string_view value) {
    // Account numbers and bank codes: printable ASCII without blanks.
    return !value.empty() &&
           std::all_of(value.begin(), value.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

bool IsText(std::string_view value) {
    // A name: GBK that decodes, no control bytes (DEL is one too).
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
        return false;
    return text::GbkToUtf8(value).find("\xEF\xBF\xBD") == std::string::npos;
}

} // namespace

// Where each field (1..26) starts in a record; [27] is the record's end.
constexpr std::array<std::size_t, 28> kFieldStart = [] {
    std::array<std::size_t, 28> start{};
    for (std::size_t i = 0; i < 26; ++i)
        start[i + 2] = start[i + 1] + static_cast<std::size_t>(UploadRequestFormat[i].width);
    return start;
}();

RequestFields SplitRequestRecord(const char* wire) {
    RequestFields record;
    for (std::size_t i = 1; i <= 26; ++i)
        record.field[i] = RequestField(wire, i);
    return record;
}

std::string_view RequestField(const char* wire, std::size_t number) {
    const std::string_view raw(wire + kFieldStart[number],
                               kFieldStart[number + 1] - kFieldStart[number]);
    return wire::Unpad(raw.substr(0, raw.find('\0')));
}

int FirstBadField(const RequestFields& r, std::size_t position, std::string_view participant,
                  std::string_view gatewayId) {
    const auto& f = r.field;
    if (f[1] != std::to_string(position + 1))
        return 1;
    if (f[3] != participant)
        return 3;
    if (f[9] != "01")
        return 9;
    if (f[10] != "01" && f[10] != "02")
        return 10;
    if (f[7] != gatewayId)
        return 7;
    if (r.IsReserve()) {
        if (f[5] != "*")
            return 5;
        if (!IsKey(f[11]))
            return 11;
        if (f[12].empty() || !IsText(f[12]))
            return 12;
        if (f[13] != "01")
            return 13;
        for (int i : {14, 15, 16, 17})
            if (!f[static_cast<std::size_t>(i)].empty())
                return i;
        if (f[21] != "SSCCRC")
            return 21;
        if (f[22] != "JSXT")
            return 22;
        if (f[23] != "70")
            return 23;
        return 0;
    }
    if (!f[5].empty())
        return 5;
    for (int i : {11, 12, 13})
        if (!f[static_cast<std::size_t>(i)].empty())
            return i;
    if (!IsKey(f[14]) || f[14].size() > 4)
        return 14;
    if (!IsKey(f[15]))
        return 15;
    if (f[16].empty() || !IsText(f[16]))
        return 16;
    if (!IsText(f[17]))
        return 17;
    for (int i : {21, 22, 23})
        if (!f[static_cast<std::size_t>(i)].empty())
            return i;
    return 0;
}
