#pragma once
// What the simulated settlement system answers: a result code for each record
// (result field 27) and request-level return codes (header field 6).

#include <cstdint>

namespace result {
inline constexpr std::uint16_t kStored = 0;
// Valid and new, but not stored: the request carried a duplicate-record code.
inline constexpr std::uint16_t kNotStored = 9701;
inline constexpr std::uint16_t kSameAccountTwice = 9706;
inline constexpr std::uint16_t kOtherParticipant = 9709;
inline constexpr std::uint16_t kInvalidRecord = 9715;
inline constexpr std::uint16_t kReserveHeld = 9720;
inline constexpr std::uint16_t kBankHeld = 9721;
} // namespace result

// Header return codes of a refused request (the header's field 6).
namespace returncode {
inline constexpr const char* kAccepted = "0000";
inline constexpr const char* kNotLoggedIn = "2001";
inline constexpr const char* kUnknownSerial = "2002";
inline constexpr const char* kSerialReused = "2003";
inline constexpr const char* kBadPacketHeader = "2004";
inline constexpr const char* kBadBodyLength = "2005";
inline constexpr const char* kStoreFailure = "2007";
} // namespace returncode
