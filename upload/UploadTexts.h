#pragma once
// Texts and small helpers shared by the exchange and the two upload modes.

#include "support/Communication.h"

#include <string>

namespace upload {

// The modes as their buttons name them; the journal records runs by them.
inline constexpr const char* kUploadAllMode = "全部上传";
inline constexpr const char* kUploadEachMode = "逐笔上传";
inline constexpr const char* kUploadNewMode = "只上传新增账户";

inline constexpr const char* kSendingStatus = "正在发送数据,请稍侯...";
// A row of "upload new" whose request got no reply: stored or not, nobody knows.
inline constexpr const char* kUnknownResult = "结果未知";
// What "upload new" adds to each line of its summary when rows are unknown.
inline constexpr const char* kUnknownCountFormat = ",结果未知%d条";
inline constexpr const char* kSummaryFormat =
    "上传A股备付金成功%d条,失败%d条;\n上传银行账户成功%d条,失败%d条;\n具体请看列表中结果说明.";

// The communication object is fetched at every use and may be absent; a
// status text with nobody to show it is simply dropped.
inline void ShowStatus(const std::string& text) {
    if (CCommunication* comm = GetGolbalCommunicaHandle())
        comm->ShowStatus(text, 0);
}

} // namespace upload
