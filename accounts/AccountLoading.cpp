#include "accounts/AccountUploader.h"

int CAccountUploader::Load() { return 0; }
int CAccountUploader::LoadBankAccounts() { return 0; }
int CAccountUploader::LoadReserveAccounts() { return 0; }
int CAccountUploader::ReadReserveFile(const std::string&, std::vector<ReserveAccountRecord>&) {
    return 0;
}
int CAccountUploader::FileExists(const char*) { return 0; }
