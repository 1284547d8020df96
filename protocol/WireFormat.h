#pragma once
// The gateway protocol as the client and the simulator both speak it:
// frames, counted fields, the packet header, the upload reply prefix and the
// limits. docs/protocol.md describes every byte; keep the two in step.

#include "protocol/Codes.h"
#include "protocol/Layouts.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace protocol {

// Every frame: "QMGW", a two-letter type, ten decimal digits of payload length.
inline constexpr std::string_view kMagic = "QMGW";
inline constexpr std::size_t kFrameHeaderLength = 16;

inline constexpr std::string_view kLogin = "LI";
inline constexpr std::string_view kResume = "RS";
inline constexpr std::string_view kLoginReply = "LR";
inline constexpr std::string_view kSerialRequest = "SN";
inline constexpr std::string_view kSerialReply = "SR";
inline constexpr std::string_view kUpload = "UP";
inline constexpr std::string_view kUploadReply = "UR";
inline constexpr std::string_view kLogout = "LO";
inline constexpr std::string_view kError = "ER";

inline constexpr std::string_view kProtocolVersion = "1";

// Record sizes and the largest legal request: beyond six digits the record's
// position (request field 1) would not fit.
inline constexpr std::size_t kRequestRecordLength = requestrecord::kLayout.Length();
inline constexpr std::size_t kResultRecordLength = resultrecord::kLayout.Length();
inline constexpr std::size_t kReplyHeaderLength = replyheader::kLayout.Length();
inline constexpr std::size_t kMaxRecords = 999'999;
static_assert(requestrecord::kLayout.Width(requestrecord::kSeqNo) == 6);

// The packet header that BuildPacketHeader puts before the body.
inline constexpr std::size_t kPacketHeaderLength = packetheader::kLayout.Length();

// The most serials one serial request may ask for, and a serial's length.
inline constexpr std::size_t kMaxSerialBlock = 64;
inline constexpr std::size_t kSerialLength = packetheader::kLayout.Width(packetheader::kSerial);
// A session token's longest length (LR field 6).
inline constexpr std::size_t kMaxTokenLength = 64;
// CommString1 and CommString2 as the login reply hands them out (LR fields 4
// and 5): at most the width of their request record fields.
inline constexpr std::size_t kMaxCommStringLength =
    requestrecord::kLayout.Width(requestrecord::kParticipant);
static_assert(requestrecord::kLayout.Width(requestrecord::kGatewayId) == kMaxCommStringLength);

// Frame size limits: an upload fits kMaxRecords records; everything else is
// small.
inline constexpr std::size_t kMaxControlPayload = 4096;
inline constexpr std::size_t kMaxUploadPayload =
    kPacketHeaderLength + kMaxRecords * kRequestRecordLength;

// ---- Protocol version 2: the gateway's keep-alive frame ----------------
// A session whose login or resume carried version 2 may get keep-alive frames
// before an upload reply: two counted fields, the request's serial and the
// records the gateway has done so far. docs/protocol.md gives the rules.
inline constexpr std::string_view kProtocolVersion2 = "2";
inline constexpr std::string_view kKeepAlive = "KA";
inline constexpr std::size_t kMaxKeepAlivePayload = 64;
// The gateway sends the first after this long at work, then at this pace.
inline constexpr int kKeepAliveIntervalMs = 500;
// A client takes at most this many keep-alives on one connection for one
// request, plus kKeepAlivesPerSecond for every second it has waited there.
inline constexpr int kKeepAliveBurst = 8;
inline constexpr int kKeepAlivesPerSecond = 4;
// ---- end of protocol version 2 -----------------------------------------

struct FrameHeader {
    std::string type;
    std::uint64_t length = 0;
};

std::string EncodeFrameHeader(std::string_view type, std::uint64_t payloadLength);

// False when the 16 bytes are not a frame header (wrong magic, a type that is
// not two capital letters, a length that is not ten digits).
bool DecodeFrameHeader(std::string_view bytes, FrameHeader& header);

// The largest payload a frame of `type` may carry; 0 for an unknown type.
std::size_t MaxPayload(std::string_view type);

// Counted fields of control messages: four decimal digits of length, then the
// bytes. AppendField cuts a value at kMaxFieldLength bytes.
inline constexpr std::size_t kMaxFieldLength = 9999;
void AppendField(std::string& payload, std::string_view value);
std::string Fields(std::initializer_list<std::string_view> values);

// Splits a payload into its fields. False when a count is not four digits, a
// field runs past the end, or there are more than `maxFields` fields.
bool SplitFields(std::string_view payload, std::vector<std::string>& fields,
                 std::size_t maxFields = 16);

// The fields of packetheader::kLayout.
struct PacketHeader {
    std::string system;    // kSystem
    std::string subsystem; // kSubsystem
    std::string kind;      // kKind
    std::string function;  // kFunction
    std::string serial;    // as the gateway issued it
    char flag = '0';
    std::uint64_t bodyLength = 0;
    std::string context; // the login context
};

// False when a value does not fit its field.
bool EncodePacketHeader(const PacketHeader& header, std::string& out);
// False when the bytes are not a packet header (short, a length not digits).
bool DecodePacketHeader(std::string_view bytes, PacketHeader& header);

// The part of an upload reply before the two marker bytes: 9 bytes in header
// mode 0 ('0' and the last 8 characters of the serial), 17 in mode 1 ('1' and
// the whole serial).
inline constexpr std::size_t kPrefixLengthMode0 = 1 + kSerialLength / 2;
inline constexpr std::size_t kPrefixLengthMode1 = 1 + kSerialLength;
std::size_t PrefixLength(int headerMode);
std::string EncodeReplyPrefix(int headerMode, std::string_view serial);

// The two bytes after the prefix: a fresh answer, or one repeated from the
// gateway's record of the serial.
inline constexpr std::string_view kFreshAnswer = "00";
inline constexpr std::string_view kRepeatedAnswer = "01";
inline constexpr std::size_t kMarkerLength = 2;
// The largest upload reply: the longer prefix, the marker, the header and a
// result for each of the most records a request may hold.
inline constexpr std::size_t kMaxUploadReplyPayload =
    kPrefixLengthMode1 + kMarkerLength + kReplyHeaderLength + kMaxRecords * kResultRecordLength;
// Where the reply header of an upload reply in `headerMode` starts.
std::size_t ReplyHeaderAt(int headerMode);

// True when `reply`, an upload reply in `headerMode`, answers the request that
// begins with the packet header `request`: its marker is "00" or "01" and, when
// it accepts the request (return code "0000"), its prefix and its header field
// 1 name the request's serial. A refusal is not asked for the serial: the
// gateway may not have been able to read one.
bool AnswersRequest(std::string_view request, std::string_view reply, int headerMode);

// A fixed field: `value` cut or filled with blanks to `width` bytes.
std::string Pad(std::string_view value, std::size_t width);
// The text of a fixed field without the blanks and NULs that fill it.
std::string_view Unpad(std::string_view field);
// Ten or fewer decimal digits, nothing else; false otherwise.
bool ParseDigits(std::string_view digits, std::uint64_t& value);

} // namespace protocol
