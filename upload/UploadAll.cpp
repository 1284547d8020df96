// The batch upload: every A-share reserve record, then every bank record, in
// one request. Results are matched to records by position only, so they reach
// the lists only when exactly one came back per record.

#include "accounts/AccountUploader.h"
#include "support/Text.h"
#include "upload/JournalRun.h"
#include "upload/UploadTexts.h"

namespace {
constexpr const char* kWrongResultCount = "上传失败,接收数据不正确!";
constexpr const char* kUploaded = "上传数据成功!";
constexpr const char* kDuplicates =
    "上传失败,失败原因:服务器存在重复记录;\n建议通过[逐笔上传]按钮上传列表中数据!";
} // namespace

bool CAccountUploader::IsUploading() const {
    return m_bUploading;
}

int CAccountUploader::UploadAll() {
    if (m_bUploading)
        return 0;
    upload::UploadingScope uploading(m_bUploading);
    upload::JournalRun journalled(*this, "全部上传");

    auto tell = [this](const std::string& message) {
        if (m_hMainWnd != nullptr)
            m_hMainWnd->ShowMessage(message);
    };

    ClearResults();
    upload::ShowStatus(upload::kSendingStatus);

    const std::size_t reserveCount = m_reserveAccountsA.size();
    const std::size_t bankCount = m_bankAccounts.size();
    std::vector<UploadRequestRecord> requests;
    requests.reserve(reserveCount + bankCount);
    for (const ReserveAccountRecord& account : m_reserveAccountsA)
        requests.push_back(BuildReserveRequest(account));
    for (const BankAccountRecord& account : m_bankAccounts)
        requests.push_back(BuildBankRequest(account));

    std::vector<UploadResultRecord> results;
    const int rc = Exchange(requests, results);
    // A refused batch (-2) stored nothing and shows no result, so every row is
    // still to be sent, even one whose code claimed success; a failed or
    // unmatched one leaves every row in doubt.
    const bool matched = results.size() == reserveCount + bankCount;
    if (rc == -2 && matched)
        m_rowOutcomes.SetAll(upload::RowOutcome::Refused);
    else if ((rc >= 0 || rc == -3) && matched)
        m_rowOutcomes.SetFromBatch(results);
    else
        m_rowOutcomes.SetAll(upload::RowOutcome::Unknown);
    // The request records are no longer needed while the lists are written.
    std::vector<UploadRequestRecord>().swap(requests);

    if (rc < 0 && rc != -2 && rc != -3) {
        upload::ShowStatus("");
        return 0;
    }
    if (results.size() != reserveCount + bankCount) {
        upload::ShowStatus("");
        tell(kWrongResultCount);
        return 0;
    }
    if (rc == -2) {
        upload::ShowStatus("");
        tell(kDuplicates);
        upload::ShowStatus("");
        return 0;
    }

    int reserveSuccesses = 0;
    int bankSuccesses = 0;
    UpdateLists(1, results, &reserveSuccesses, &bankSuccesses);
    upload::ShowStatus("");
    // A code that does not confirm storage gets the same account as a
    // rejection, whatever the exchange made of it.
    const bool allStored = reserveSuccesses == static_cast<int>(reserveCount) &&
                           bankSuccesses == static_cast<int>(bankCount);
    if (rc == -3 || !allStored) {
        tell(text::Format(upload::kSummaryFormat, reserveSuccesses,
                          static_cast<int>(reserveCount) - reserveSuccesses, bankSuccesses,
                          static_cast<int>(bankCount) - bankSuccesses));
    } else {
        tell(kUploaded);
    }
    return 1;
}
