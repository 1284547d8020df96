// Reading the local account files: fixed-length records, trimmed, into
// account records.

#include "accounts/RecordFiles.h"

#include "support/FileAccess.h"
#include "support/IsoTime.h"
#include "support/Sha256.h"
#include "support/Text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>

namespace accounts {

namespace {

constexpr const char* kBankOpenFailed = "打开银行账户配置文件[%s]失败，失败原因[%d]！";
constexpr const char* kReserveOpenFailed = "打开资金账户配置文件[%s]失败，失败原因[%d]！";
constexpr const char* kFileDamaged = "资金账户配置文件[%s]已经损坏！";
constexpr const char* kBankShortRead =
    "读取银行账户文件失败，长度不一致，银行账户配置文件[%s]已经损坏！";
constexpr const char* kReserveShortRead =
    "读取账户文件失败，长度不一致，资金账户配置文件[%s]已经损坏！";
constexpr const char* kOutOfMemory = "账户配置文件[%s]过大，内存不足，无法加载！";

// Files are read a chunk of whole records at a time. The buffer lives on the
// stack, so repeated loads reuse the same warm pages and a file of any size
// needs no more memory than its records.
constexpr std::size_t kChunkBytes = 64 * 1024;

// Stores the trimmed text of a raw file field of N-1 bytes in a zero-filled
// record field: the text ends at the first NUL (when the record holds one at
// all), loses its white space at both ends, and the terminator after it is
// already in place.
template <std::size_t N> void StoreTrimmed(char (&field)[N], const char* raw, bool recordHasNul) {
    const std::string_view whole =
        recordHasNul ? text::FieldText(raw, N - 1) : std::string_view(raw, N - 1);
    const std::string_view value = text::TrimGbk(whole);
    std::memcpy(field, value.data(), value.size());
}

// Fields are filled out with blanks far more often than with NULs, so one
// search over the stored part of the record spares one search per field.
bool HasNul(const char* raw, std::size_t length) {
    return std::memchr(raw, 0, length) != nullptr;
}

void BuildBankRecord(BankAccountRecord& record, const char* raw) {
    const bool nul = HasNul(raw, 92); // bytes 92-121 carry nothing the tool uses
    StoreTrimmed(record.BankCode, raw + 0, nul);
    StoreTrimmed(record.BankAccountNo, raw + 4, nul);
    StoreTrimmed(record.AccountFullName, raw + 32, nul);
    StoreTrimmed(record.BankFullName, raw + 62, nul);
}

void BuildReserveRecord(ReserveAccountRecord& record, const char* raw) {
    const bool nul = HasNul(raw, kReserveFileRecordLength);
    StoreTrimmed(record.ReserveAccountNo, raw + 0, nul);
    StoreTrimmed(record.ReserveAccountName, raw + 18, nul);
}

enum class FileKind { Bank, Reserve };

std::string OpenFailedText(FileKind kind, const std::string& path, int code) {
    return kind == FileKind::Bank ? text::Format(kBankOpenFailed, path.c_str(), code)
                                  : text::Format(kReserveOpenFailed, path.c_str(), code);
}

std::string ShortReadText(FileKind kind, const std::string& path) {
    return kind == FileKind::Bank ? text::Format(kBankShortRead, path.c_str())
                                  : text::Format(kReserveShortRead, path.c_str());
}

// Reads one file of fixed-length records and appends a record built from each
// to `target`. A missing file is a success with no records. Returns 1, or 0
// with `error` set; records read before a failure stay in `target`. With
// `facts`, the file's size, time and the SHA-256 of the bytes read go there.
template <class Record, std::size_t RecordLength, void (*Build)(Record&, const char*)>
int ReadRecordFile(const std::string& path, std::vector<Record>& target, FileKind kind,
                   std::string& error, FileFacts* facts) {
    if (!fileaccess::Exists(path.c_str()))
        return 1;

    fileaccess::ReadOnlyFile file;
    if (const int code = file.Open(path.c_str()); code != 0) {
        error = OpenFailedText(kind, path, code);
        return 0;
    }
    const std::uint64_t length = file.Length();
    std::optional<Sha256> digest;
    if (facts != nullptr) {
        facts->present = true;
        facts->size = static_cast<std::int64_t>(length);
        facts->modified = text::IsoTime(file.Modified());
        digest.emplace();
    }
    if (length % RecordLength != 0) {
        error = text::Format(kFileDamaged, path.c_str());
        return 0;
    }
    const std::uint64_t count = length / RecordLength;

    try {
        // One allocation for the whole file; a reload into an array that
        // already has the room allocates nothing.
        if (count > target.max_size() - target.size())
            throw std::length_error("record count");
        target.reserve(target.size() + static_cast<std::size_t>(count));
    } catch (const std::exception&) {
        error = text::Format(kOutOfMemory, path.c_str());
        return 0;
    }

    constexpr std::size_t kChunkRecords = kChunkBytes / RecordLength;
    char chunk[kChunkRecords * RecordLength];
    std::uint64_t remaining = count;
    while (remaining > 0) {
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kChunkRecords));
        const std::size_t got = file.Read(chunk, wanted * RecordLength);
        if (digest)
            digest->Update(chunk, got);
        const std::size_t whole = got / RecordLength;
        const std::size_t first = target.size();
        target.resize(first + whole); // value-initialised: every record starts zero-filled
        for (std::size_t i = 0; i < whole; ++i)
            Build(target[first + i], chunk + i * RecordLength);
        if (whole < wanted) {
            // The file shrank under us: keep what arrived whole and say so.
            error = ShortReadText(kind, path);
            return 0;
        }
        remaining -= wanted;
    }
    if (digest)
        facts->sha256 = digest->HexDigest();
    return 1;
}

} // namespace

int ReadBankFile(const std::string& path, std::vector<BankAccountRecord>& target,
                 std::string& error, FileFacts* facts) {
    return ReadRecordFile<BankAccountRecord, kBankFileRecordLength, BuildBankRecord>(
        path, target, FileKind::Bank, error, facts);
}

int ReadReserveFile(const std::string& path, std::vector<ReserveAccountRecord>& target,
                    std::string& error, FileFacts* facts) {
    return ReadRecordFile<ReserveAccountRecord, kReserveFileRecordLength, BuildReserveRecord>(
        path, target, FileKind::Reserve, error, facts);
}

std::string OutOfMemoryText(const std::string& path) {
    return text::Format(kOutOfMemory, path.c_str());
}

bool ReserveListRows(IReportList* list, std::size_t rows, const std::string& path,
                     std::string& error) {
    if (list == nullptr ||
        (rows <= static_cast<std::size_t>(INT_MAX) && list->ReserveItems(static_cast<int>(rows))))
        return true;
    error = OutOfMemoryText(path);
    return false;
}

} // namespace accounts
