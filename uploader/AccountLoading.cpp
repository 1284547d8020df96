// Loading the three local account files into the account store.

#include "accounts/RecordFiles.h"
#include "support/Common.h"
#include "support/FileAccess.h"
#include "support/Text.h"
#include "uploader/AccountUploader.h"

namespace {
constexpr const char* kNothingToLoad = "没有需要加载的数据!";
constexpr const char* kNoWorkPath = "无法取得工作目录，账户配置文件未加载！";
} // namespace

using accounts::kBankFileName;
using accounts::kReserveAFileName;
using accounts::kReserveBFileName;

int CAccountUploader::Load() {
    return Load(nullptr);
}

int CAccountUploader::Load(LoadedFiles* files) {
    m_strLastError.clear();
    m_runServices.Outcomes().Reset(0, 0);
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
    if (m_arrReserveAccountsA.empty() && m_arrBankAccounts.empty()) {
        m_strLastError = kNothingToLoad;
        return 0;
    }
    const std::string bankPath = m_strWorkPath + "/localconfig/" + kBankFileName;
    const std::string reservePath = m_strWorkPath + "/localconfig/" + kReserveAFileName;
    std::vector<UploadResultRecord> noResults;
    if (accounts::ReserveListRows(m_pBankList, m_arrBankAccounts.size(), bankPath,
                                  m_strLastError) &&
        accounts::ReserveListRows(m_pReserveList, m_arrReserveAccountsA.size(), reservePath,
                                  m_strLastError))
        UpdateLists(0, noResults, nullptr, nullptr);
    if (m_strLastError.empty() && m_pBankList && m_pBankList->IsShortOfMemory())
        m_strLastError = accounts::OutOfMemoryText(bankPath);
    if (m_strLastError.empty() && m_pReserveList && m_pReserveList->IsShortOfMemory())
        m_strLastError = accounts::OutOfMemoryText(reservePath);
    if (!m_strLastError.empty()) {
        // Nothing half-shown stays behind, and the memory is free for the next load.
        for (IReportList* list : {m_pBankList, m_pReserveList})
            if (list)
                list->DeleteAllItems();
        std::vector<BankAccountRecord>().swap(m_arrBankAccounts);
        std::vector<ReserveAccountRecord>().swap(m_arrReserveAccountsA);
        std::vector<ReserveAccountRecord>().swap(m_arrReserveAccountsB);
        return 0;
    }
    m_runServices.Outcomes().Reset(m_arrReserveAccountsA.size(), m_arrBankAccounts.size());
    return 1;
}

int CAccountUploader::LoadBankAccounts(FileFacts* facts) {
    m_arrBankAccounts.clear();
    const std::string path = m_strWorkPath + "/localconfig/" + kBankFileName;
    return accounts::ReadBankFile(path, m_arrBankAccounts, m_strLastError, facts);
}

int CAccountUploader::LoadReserveAccounts(FileFacts* factsA, FileFacts* factsB) {
    m_arrReserveAccountsA.clear();
    m_arrReserveAccountsB.clear();
    if (!ReadReserveFile(m_strWorkPath + "/localconfig/" + kReserveAFileName, m_arrReserveAccountsA,
                         factsA))
        return 0;
    if (!ReadReserveFile(m_strWorkPath + "/localconfig/" + kReserveBFileName, m_arrReserveAccountsB,
                         factsB))
        return 0;
    return 1;
}

int CAccountUploader::ReadReserveFile(const std::string& path,
                                      std::vector<ReserveAccountRecord>& target, FileFacts* facts) {
    return accounts::ReadReserveFile(path, target, m_strLastError, facts);
}

int CAccountUploader::FileExists(const char* path) {
    return fileaccess::Exists(path) ? 1 : 0;
}
