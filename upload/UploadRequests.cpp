#include "accounts/AccountUploader.h"

UploadRequestRecord CAccountUploader::BuildReserveRequest(const ReserveAccountRecord& /*account*/) {
    return UploadRequestRecord{};
}

UploadRequestRecord CAccountUploader::BuildBankRequest(const BankAccountRecord& /*account*/) {
    return UploadRequestRecord{};
}
