#pragma once
// The gateway protocol's byte layouts, shared by the client and the simulator:
// frames, counted fields, the packet header and the upload reply prefix.
// docs/protocol.md describes every byte; keep the two in step.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace wire {

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
inline constexpr std::string_view kAccepted = "0000";

// Record sizes and the largest legal request.
inline constexpr std::size_t kRequestRecordLength = 572;
inline constexpr std::size_t kResultRecordLength = 616;
inline constexpr std::size_t kReplyHeaderLength = 126;
inline constexpr std::size_t kMaxRecords = 999'999;

// The packet header that BuildPacketHeader puts before the body.
inline constexpr std::size_t kPacketHeaderLength = 64;

// The most serials one serial request may ask for.
inline constexpr std::size_t kMaxSerialBlock = 64;

// Frame size limits: an upload fits 999,999 records; everything else is small.
inline constexpr std::size_t kMaxControlPayload = 4096;
inline constexpr std::size_t kMaxUploadPayload =
    kPacketHeaderLength + kMaxRecords * kRequestRecordLength;
inline constexpr std::size_t kMaxUploadReplyPayload =
    17 + 2 + kReplyHeaderLength + kMaxRecords * kResultRecordLength;

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
// bytes. AppendField cuts a value at 9999 bytes.
void AppendField(std::string& payload, std::string_view value);
std::string Fields(std::initializer_list<std::string_view> values);

// Splits a payload into its fields. False when a count is not four digits, a
// field runs past the end, or there are more than `maxFields` fields.
bool SplitFields(std::string_view payload, std::vector<std::string>& fields,
                 std::size_t maxFields = 16);

struct PacketHeader {
    std::string system;    // 8 bytes, e.g. "SSCCRC"
    std::string subsystem; // 8 bytes, e.g. "JSXT"
    std::string kind;      // 2 bytes, e.g. "99"
    std::string function;  // 2 bytes, e.g. "40"
    std::string serial;    // 16 bytes, as the gateway issued it
    char flag = '0';
    std::uint64_t bodyLength = 0; // 10 digits
    std::string context;          // 8 bytes, the login context
};

// False when a value does not fit its field.
bool EncodePacketHeader(const PacketHeader& header, std::string& out);
// False when the bytes are not a packet header (short, a length not digits).
bool DecodePacketHeader(std::string_view bytes, PacketHeader& header);

// The part of an upload reply before the two marker bytes: 9 bytes in header
// mode 0 ('0' and the last 8 characters of the serial), 17 in mode 1 ('1' and
// the whole serial).
std::size_t PrefixLength(int headerMode);
std::string EncodeReplyPrefix(int headerMode, std::string_view serial);

// The two bytes after the prefix: a fresh answer, or one repeated from the
// gateway's record of the serial.
inline constexpr std::string_view kFreshAnswer = "00";
inline constexpr std::string_view kRepeatedAnswer = "01";

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

} // namespace wire
