#include "gateway/RecordCheck.h"

#include "protocol/SystemCodes.h"
#include "protocol/WireFormat.h"
#include "support/Text.h"

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

using protocol::FieldSpan;
using namespace protocol::requestrecord;

RequestFields SplitRequestRecord(const char* wire) {
    RequestFields record;
    for (std::size_t i = 1; i <= kLast; ++i)
        record.field[i] = RequestField(wire, i);
    return record;
}

std::string_view RequestField(const char* wire, std::size_t number) {
    const FieldSpan span = kLayout.Field(number);
    const std::string_view raw(wire + span.offset, span.width);
    return protocol::Unpad(raw.substr(0, raw.find('\0')));
}

int FirstBadField(const RequestFields& r, std::size_t position, std::string_view participant,
                  std::string_view gatewayId) {
    const auto& f = r.field;
    if (f[kSeqNo] != std::to_string(position + 1))
        return kSeqNo;
    if (f[kParticipant] != participant)
        return kParticipant;
    if (f[kVersion] != protocol::kRecordVersion)
        return kVersion;
    if (f[kRecordKind] != protocol::kReserveRecord && f[kRecordKind] != protocol::kBankRecord)
        return kRecordKind;
    if (f[kGatewayId] != gatewayId)
        return kGatewayId;
    if (r.IsReserve()) {
        if (f[kScopeMark] != protocol::kReserveScope)
            return kScopeMark;
        if (!IsKey(f[kReserveAccountNo]))
            return kReserveAccountNo;
        if (f[kReserveAccountName].empty() || !IsText(f[kReserveAccountName]))
            return kReserveAccountName;
        if (f[kReserveKind] != protocol::kReserveKind)
            return kReserveKind;
        for (std::size_t i : {kBankCode, kBankAccountNo, kAccountFullName, kBankFullName})
            if (!f[i].empty())
                return static_cast<int>(i);
        if (f[kSystemCode] != protocol::kSystem)
            return kSystemCode;
        if (f[kSubsystemCode] != protocol::kSubsystem)
            return kSubsystemCode;
        if (f[kBusinessKind] != protocol::kBusinessKind)
            return kBusinessKind;
        return 0;
    }
    if (!f[kScopeMark].empty())
        return kScopeMark;
    for (std::size_t i : {kReserveAccountNo, kReserveAccountName, kReserveKind})
        if (!f[i].empty())
            return static_cast<int>(i);
    if (!IsKey(f[kBankCode]) || f[kBankCode].size() > kLayout.Width(kBankCode))
        return kBankCode;
    if (!IsKey(f[kBankAccountNo]))
        return kBankAccountNo;
    if (f[kAccountFullName].empty() || !IsText(f[kAccountFullName]))
        return kAccountFullName;
    if (!IsText(f[kBankFullName]))
        return kBankFullName;
    for (std::size_t i : {kSystemCode, kSubsystemCode, kBusinessKind})
        if (!f[i].empty())
            return static_cast<int>(i);
    return 0;
}
