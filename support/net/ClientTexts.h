#pragma once
// What the network client says in LastErrorText (UTF-8). The %s in a text is
// filled with the gateway's address, its own message, or a value.

namespace clienttext {
inline constexpr const char* kUnreachable =
    "无法连接网关[%s],请检查网关地址和端口是否正确、网关是否已启动";
inline constexpr const char* kConnectTimeout = "连接网关[%s]超时";
inline constexpr const char* kTimeout = "等待网关应答超时(%d毫秒)";
inline constexpr const char* kLost = "与网关的连接已断开";
inline constexpr const char* kInsecure = "无法与网关[%s]建立加密连接:%s";
inline constexpr const char* kMalformed = "网关应答格式错误";
inline constexpr const char* kLoginRefused = "网关拒绝登录:%s";
inline constexpr const char* kResumeRefused = "网关会话已失效,请重新登录:%s";
inline constexpr const char* kSerialRefused = "网关拒绝分配交易序号:%s";
inline constexpr const char* kGatewayError = "网关报告错误:%s";
inline constexpr const char* kNotLoggedIn = "尚未登录网关";
inline constexpr const char* kBadPort = "网关端口号不正确[%s]";
inline constexpr const char* kBadAddress = "网关地址不正确";
inline constexpr const char* kLoginTooLong = "登录信息过长";
inline constexpr const char* kBadArguments = "通讯参数错误";
inline constexpr const char* kRequestTooLarge = "请求数据超过长度上限";
} // namespace clienttext
