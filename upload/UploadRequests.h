#pragma once
// How an account record becomes an upload request record. Fields 1, 3 and 7
// are left for the exchange; every field not named here stays empty.

#include "accounts/AccountRecords.h"
#include "upload/UploadRecords.h"

namespace upload {

UploadRequestRecord ReserveRequest(const ReserveAccountRecord& account);
UploadRequestRecord BankRequest(const BankAccountRecord& account);

} // namespace upload
