#include "protocol/Codes.h"

namespace protocol {

std::string ResultText(std::uint16_t code, int badField) {
    switch (code) {
    case result::kStored:
        return "上传成功";
    case result::kNotStored:
        return "未入库:同一请求中有重复记录";
    case result::kSameAccountTwice:
        return "同一请求中账户重复";
    case result::kOtherParticipant:
        return "账户已登记在其他参与人名下";
    case result::kInvalidRecord:
        return "记录无效:第" + std::to_string(badField) + "字段错误";
    case result::kReserveHeld:
        return "备付金账户已存在";
    case result::kBankHeld:
        return "银行账户已存在";
    default:
        return "";
    }
}

} // namespace protocol
