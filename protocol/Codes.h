#pragma once
// Every code the gateway answers with, and the text that goes with it: a
// result code for each record (result field 27), return codes of a request
// (reply header field 6), of a login or resume (LR), of a serial request (SR)
// and of an error frame (ER). Texts are UTF-8; they go out as GBK.

#include <cstdint>
#include <string>

namespace protocol {

// The return code of anything accepted: a login, a serial request, a request.
inline constexpr const char* kAccepted = "0000";

// A refusal: its code and the message that goes with it.
struct Refusal {
    const char* code;
    const char* text;
};

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

// The result text of `code`; `badField` is the first wrong field of a 9715.
std::string ResultText(std::uint16_t code, int badField);

// What the reply header says when the request was accepted.
inline constexpr const char* kProcessedText = "处理完成";

// Request-level return codes (reply header field 6).
namespace returncode {
inline constexpr Refusal kNotLoggedIn{"2001", "尚未登录网关"};
inline constexpr Refusal kUnknownSerial{"2002", "交易序号未知或已过期"};
inline constexpr Refusal kSerialReused{"2003", "交易序号已用于其他请求"};
inline constexpr Refusal kBadPacketHeader{"2004", "包头格式错误"};
inline constexpr Refusal kBadBodyLength{"2005", "包体长度错误"};
inline constexpr Refusal kStoreFailure{"2007", "结算系统存储失败,请稍后重试"};
// The message of a return code a test's fault injects.
inline constexpr const char* kFaultText = "网关模拟故障";
} // namespace returncode

// Login and resume (LR field 1).
namespace logincode {
inline constexpr const char* kAcceptedText = "登录成功";
inline constexpr Refusal kBadCredentials{"1001", "操作员名称或密码错误"};
inline constexpr Refusal kLocked{"1002", "登录失败次数过多,操作员已被锁定,请稍后再试"};
inline constexpr Refusal kBadSystem{"1003", "系统标识或登录代码错误"};
inline constexpr Refusal kSessionGone{"1004", "会话已失效,请重新登录"};
inline constexpr Refusal kMalformed{"1008", "登录报文格式错误"};
inline constexpr Refusal kBadVersion{"1009", "协议版本不支持"};
inline constexpr Refusal kStoreFailure{"1010", "网关存储失败,请稍后重试"};
} // namespace logincode

// Serial requests (SR field 1).
namespace serialcode {
inline constexpr Refusal kNotLoggedIn{"1005", "尚未登录网关"};
inline constexpr Refusal kBadRequest{"1006", "交易序号申请参数错误"};
inline constexpr Refusal kUsedUp{"1007", "交易序号已用尽,请重新登录"};
} // namespace serialcode

// Error frames (ER field 1); the gateway closes the connection after one.
namespace errorcode {
inline constexpr Refusal kNotAFrame{"3001", "报文格式错误"};
inline constexpr Refusal kTooLong{"3002", "报文长度超过上限"};
inline constexpr Refusal kBusy{"3003", "网关繁忙,请稍后重试"};
inline constexpr Refusal kFull{"3004", "网关连接数已满"};
inline constexpr Refusal kUnknownType{"3005", "不支持的报文类型"};
inline constexpr Refusal kNotLoggedIn{"3006", "尚未登录网关"};
} // namespace errorcode

} // namespace protocol
