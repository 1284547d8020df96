#pragma once
// The three local account files: their names and the reading of their
// fixed-length records into account records.

#include "accounts/AccountRecords.h"
#include "accounts/LoadedFiles.h"
#include "support/ReportList.h"

#include <cstddef>
#include <string>
#include <vector>

namespace accounts {

// Under the work directory's localconfig/.
inline constexpr const char* kBankFileName = "yhzh.dat";
inline constexpr const char* kReserveAFileName = "agbfj.dat";
inline constexpr const char* kReserveBFileName = "bgbfj.dat";

// Reads one file and appends a record built from each of its records to
// `target`. A missing file is a success with no records. Returns 1, or 0 with
// `error` set (UTF-8); records read before a failure stay in `target`. With
// `facts`, the file's size, time and the SHA-256 of the bytes read go there.
int ReadBankFile(const std::string& path, std::vector<BankAccountRecord>& target,
                 std::string& error, FileFacts* facts);
int ReadReserveFile(const std::string& path, std::vector<ReserveAccountRecord>& target,
                    std::string& error, FileFacts* facts);

// What a file too large for the memory or its list is reported as.
std::string OutOfMemoryText(const std::string& path);

// Makes room in `list` for `rows` rows before the first goes in, so that a
// file too large for the list fails here like one too large to read. False
// with `error` set.
bool ReserveListRows(IReportList* list, std::size_t rows, const std::string& path,
                     std::string& error);

} // namespace accounts
