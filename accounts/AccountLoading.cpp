// Loading the three local account files into the account store.

#include "accounts/AccountUploader.h"
#include "support/Common.h"
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

namespace {

constexpr const char* kBankFileName = "yhzh.dat";
constexpr const char* kReserveAFileName = "agbfj.dat";
constexpr const char* kReserveBFileName = "bgbfj.dat";

constexpr const char* kBankOpenFailed = "打开银行账户配置文件[%s]失败，失败原因[%d]！";
constexpr const char* kReserveOpenFailed = "打开资金账户配置文件[%s]失败，失败原因[%d]！";
constexpr const char* kFileDamaged = "资金账户配置文件[%s]已经损坏！";
constexpr const char* kBankShortRead =
    "读取银行账户文件失败，长度不一致，银行账户配置文件[%s]已经损坏！";
constexpr const char* kReserveShortRead =
    "读取账户文件失败，长度不一致，资金账户配置文件[%s]已经损坏！";
constexpr const char* kNothingToLoad = "没有需要加载的数据!";
constexpr const char* kNoWorkPath = "无法取得工作目录，账户配置文件未加载！";
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
    if (!CAccountUploader::FileExists(path.c_str()))
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

// Makes room in `list` for `rows` rows before the first goes in, so that a
// file too large for the list fails here like one too large to read. False
// with `error` set.
bool ReserveListRows(IReportList* list, std::size_t rows, const std::string& path,
                     std::string& error) {
    if (list == nullptr ||
        (rows <= static_cast<std::size_t>(INT_MAX) && list->ReserveItems(static_cast<int>(rows))))
        return true;
    error = text::Format(kOutOfMemory, path.c_str());
    return false;
}

} // namespace

int CAccountUploader::Load() {
    return Load(nullptr);
}

int CAccountUploader::Load(LoadedFiles* files) {
    m_strLastError.clear();
    m_runs.Outcomes().Reset(0, 0);
    if (m_pBankList)
        m_pBankList->DeleteAllItems();
    if (m_pReserveList)
        m_pReserveList->DeleteAllItems();

    // Without a work directory the paths below would point at the root of the
    // file system; refuse instead of reading from there.
    if (!CCommon::GetWorkPath(m_strWorkPath)) {
        m_strLastError = kNoWorkPath;
        return 0;
    }
    // The files' facts are taken only when asked for: hashing costs time.
    if (files != nullptr)
        *files = LoadedFiles();
    if (!LoadBankAccounts(files != nullptr ? &files->bank : nullptr))
        return 0;
    if (!LoadReserveAccounts(files != nullptr ? &files->reserveA : nullptr,
                             files != nullptr ? &files->reserveB : nullptr))
        return 0;
    // The B-share records are never shown or uploaded, so they alone are no load.
    if (m_reserveAccountsA.empty() && m_bankAccounts.empty()) {
        m_strLastError = kNothingToLoad;
        return 0;
    }
    const std::string bankPath = m_strWorkPath + "/localconfig/" + kBankFileName;
    const std::string reservePath = m_strWorkPath + "/localconfig/" + kReserveAFileName;
    std::vector<UploadResultRecord> noResults;
    if (ReserveListRows(m_pBankList, m_bankAccounts.size(), bankPath, m_strLastError) &&
        ReserveListRows(m_pReserveList, m_reserveAccountsA.size(), reservePath, m_strLastError))
        UpdateLists(0, noResults, nullptr, nullptr);
    if (m_strLastError.empty() && m_pBankList && m_pBankList->IsShortOfMemory())
        m_strLastError = text::Format(kOutOfMemory, bankPath.c_str());
    if (m_strLastError.empty() && m_pReserveList && m_pReserveList->IsShortOfMemory())
        m_strLastError = text::Format(kOutOfMemory, reservePath.c_str());
    if (!m_strLastError.empty()) {
        // Nothing half-shown stays behind, and the memory is free for the next load.
        for (IReportList* list : {m_pBankList, m_pReserveList})
            if (list)
                list->DeleteAllItems();
        std::vector<BankAccountRecord>().swap(m_bankAccounts);
        std::vector<ReserveAccountRecord>().swap(m_reserveAccountsA);
        std::vector<ReserveAccountRecord>().swap(m_reserveAccountsB);
        return 0;
    }
    m_runs.Outcomes().Reset(m_reserveAccountsA.size(), m_bankAccounts.size());
    return 1;
}

int CAccountUploader::LoadBankAccounts(FileFacts* facts) {
    m_bankAccounts.clear();
    const std::string path = m_strWorkPath + "/localconfig/" + kBankFileName;
    return ReadRecordFile<BankAccountRecord, kBankFileRecordLength, BuildBankRecord>(
        path, m_bankAccounts, FileKind::Bank, m_strLastError, facts);
}

int CAccountUploader::LoadReserveAccounts(FileFacts* factsA, FileFacts* factsB) {
    m_reserveAccountsA.clear();
    m_reserveAccountsB.clear();
    if (!ReadReserveFile(m_strWorkPath + "/localconfig/" + kReserveAFileName, m_reserveAccountsA,
                         factsA))
        return 0;
    if (!ReadReserveFile(m_strWorkPath + "/localconfig/" + kReserveBFileName, m_reserveAccountsB,
                         factsB))
        return 0;
    return 1;
}

int CAccountUploader::ReadReserveFile(const std::string& path,
                                      std::vector<ReserveAccountRecord>& target, FileFacts* facts) {
    return ReadRecordFile<ReserveAccountRecord, kReserveFileRecordLength, BuildReserveRecord>(
        path, target, FileKind::Reserve, m_strLastError, facts);
}

int CAccountUploader::FileExists(const char* path) {
    return fileaccess::Exists(path) ? 1 : 0;
}
