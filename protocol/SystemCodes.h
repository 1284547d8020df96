#pragma once
// The codes that name the settlement system and its business on the wire:
// in the login, the serial request, the packet header, the reply header and
// the fields of a reserve account's request record.

#include <string_view>

namespace protocol {

// The login's system identifier and login code.
inline constexpr const char* kSystemId = "ZANTHO00";
inline constexpr const char* kLoginCode = "E0";

// Serial request, packet header and reply header: system, subsystem, kind
// and function of an account upload.
inline constexpr const char* kSystem = "SSCCRC";
inline constexpr const char* kSubsystem = "JSXT";
inline constexpr const char* kKind = "99";
inline constexpr const char* kFunction = "40";

// Request record fields.
inline constexpr const char* kRecordVersion = "01"; // field 9
inline constexpr const char* kReserveRecord = "01"; // field 10
inline constexpr const char* kBankRecord = "02";    // field 10
inline constexpr const char* kReserveScope = "*";   // field 5 of a reserve account
inline constexpr const char* kReserveKind = "01";   // field 13 of a reserve account
inline constexpr const char* kBusinessKind = "70";  // field 23 of a reserve account
// Field 21 of a reserve account is kSystem; field 22 is kSubsystem, which the
// client sends filled with blanks to the field's 16 bytes.

} // namespace protocol
