#pragma once
// The account records as the store holds them: NUL-terminated GBK text fields,
// zero-filled before they are built, trimmed of white space at both ends.

#include <cstddef>

struct BankAccountRecord {
    char BankCode[5];         // bank code, up to 4 bytes
    char BankAccountNo[29];   // bank account number, up to 28 bytes
    char AccountFullName[31]; // full name of the account, up to 30 bytes
    char BankFullName[31];    // full name of the bank, up to 30 bytes
};

struct ReserveAccountRecord {
    char ReserveAccountNo[19];   // settlement-reserve account number, up to 18 bytes
    char ReserveAccountName[31]; // account name, up to 30 bytes
};

static_assert(sizeof(BankAccountRecord) == 96);
static_assert(offsetof(BankAccountRecord, BankAccountNo) == 5);
static_assert(offsetof(BankAccountRecord, AccountFullName) == 34);
static_assert(offsetof(BankAccountRecord, BankFullName) == 65);
static_assert(sizeof(ReserveAccountRecord) == 50);
static_assert(offsetof(ReserveAccountRecord, ReserveAccountName) == 19);

// Record lengths in the account files.
inline constexpr std::size_t kBankFileRecordLength = 122;
inline constexpr std::size_t kReserveFileRecordLength = 48;
