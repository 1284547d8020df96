#pragma once
// Request records made by the tool's own builders, from account records as the
// store would hold them. Texts are UTF-8.

#include "support/Text.h"
#include "uploader/AccountUploader.h"

#include <string>

inline UploadRequestRecord ReserveRequest(const std::string& account, const std::string& nameUtf8) {
    ReserveAccountRecord record{};
    text::CopyToField(record.ReserveAccountNo, account);
    text::CopyToField(record.ReserveAccountName, text::Utf8ToGbk(nameUtf8));
    return CAccountUploader::BuildReserveRequest(record);
}

inline UploadRequestRecord BankRequest(const std::string& code, const std::string& account,
                                       const std::string& nameUtf8, const std::string& bankUtf8) {
    BankAccountRecord record{};
    text::CopyToField(record.BankCode, code);
    text::CopyToField(record.BankAccountNo, account);
    text::CopyToField(record.AccountFullName, text::Utf8ToGbk(nameUtf8));
    text::CopyToField(record.BankFullName, text::Utf8ToGbk(bankUtf8));
    return CAccountUploader::BuildBankRequest(record);
}
