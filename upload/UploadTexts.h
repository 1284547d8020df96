#pragma once
// Texts and small helpers shared by the exchange and the two upload modes.

#include "support/Communication.h"

#include <string>

namespace upload {

inline constexpr const char* kSendingStatus = "正在发送数据,请稍侯...";
inline constexpr const char* kSummaryFormat =
    "上传A股备付金成功%d条,失败%d条;\n上传银行账户成功%d条,失败%d条;\n具体请看列表中结果说明.";

// The communication object is fetched at every use and may be absent; a
// status text with nobody to show it is simply dropped.
inline void ShowStatus(const std::string& text) {
    if (CCommunication* comm = GetGolbalCommunicaHandle())
        comm->ShowStatus(text, 0);
}

// Marks an upload as running for the lifetime of a scope, so that a second
// upload started from a handler run by the pump is turned away.
class UploadingScope {
public:
    explicit UploadingScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~UploadingScope() { m_flag = false; }
    UploadingScope(const UploadingScope&) = delete;
    UploadingScope& operator=(const UploadingScope&) = delete;

private:
    bool& m_flag;
};

} // namespace upload
