#pragma once
// The operator's messages that several tests expect, written out once.

#include "support/Text.h"

#include <string>

// What an upload of what is new says at its end: stored, held and failed
// records of each list, and the requests it sent.
inline std::string UploadNewSummary(int reserveStored, int reserveHeld, int reserveFailed,
                                    int bankStored, int bankHeld, int bankFailed, int requests) {
    return text::Format("上传A股备付金:新增%d条,已存在%d条,失败%d条;\n上传银行账户:新增%d条,"
                        "已存在%d条,失败%d条;\n共发送请求%d次,具体请看列表中结果说明.",
                        reserveStored, reserveHeld, reserveFailed, bankStored, bankHeld, bankFailed,
                        requests);
}
