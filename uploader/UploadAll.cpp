// The batch upload: every A-share reserve record, then every bank record, in
// one request. Results are matched to records by position only, so they reach
// the lists only when exactly one came back per record.

#include "support/BusyTicker.h"
#include "support/Text.h"
#include "upload/UploadTexts.h"
#include "uploader/AccountUploader.h"
#include "uploader/RowRequest.h"

namespace {
constexpr const char* kWrongResultCount = "上传失败,接收数据不正确!";
constexpr const char* kUploaded = "上传数据成功!";
constexpr const char* kDuplicates =
    "上传失败,失败原因:服务器存在重复记录;\n建议通过[逐笔上传]按钮上传列表中数据!";

// Every reserve row, then every bank row: the order of the request's records.
std::vector<upload::RowRef> AllRows(std::size_t reserveCount, std::size_t bankCount) {
    std::vector<upload::RowRef> rows;
    rows.reserve(reserveCount + bankCount);
    CBusyTicker busy;
    for (std::size_t i = 0; i < reserveCount; ++i) {
        busy.Tick();
        rows.push_back({upload::RowKind::Reserve, static_cast<std::uint32_t>(i)});
    }
    for (std::size_t i = 0; i < bankCount; ++i) {
        busy.Tick();
        rows.push_back({upload::RowKind::Bank, static_cast<std::uint32_t>(i)});
    }
    return rows;
}
} // namespace

int CAccountUploader::UploadAll() {
    upload::Run run(m_runServices, m_hMainWnd, upload::kUploadAllMode, m_strWorkPath, true);
    if (!run.Claimed())
        return 0;
    return upload::WithinMemory(run, [&] { return UploadAllRows(run); });
}

int CAccountUploader::UploadAllRows(upload::Run& run) {
    ClearResults();
    upload::ShowStatus(upload::kSendingStatus);

    const std::size_t reserveCount = m_arrReserveAccountsA.size();
    const std::size_t bankCount = m_arrBankAccounts.size();
    upload::RowRequest work;
    {
        const std::vector<upload::RowRef> rows = AllRows(reserveCount, bankCount);
        upload::SendRows(*this, run, rows, work);
    }
    const int rc = work.rc;
    // The request records are no longer needed while the lists are written.
    work.ReleaseRequests();

    if (rc < 0 && rc != -2 && rc != -3) {
        run.End(upload::RunEnding::Failed);
        upload::ShowStatus("");
        return 0;
    }
    if (!work.matched) {
        run.End(upload::RunEnding::Failed);
        upload::ShowStatus("");
        run.Tell(kWrongResultCount);
        return 0;
    }
    if (rc == -2) {
        run.End(upload::RunEnding::Completed);
        upload::ShowStatus("");
        run.Tell(kDuplicates);
        upload::ShowStatus("");
        return 0;
    }

    int reserveSuccesses = 0;
    int bankSuccesses = 0;
    UpdateLists(1, work.ResultsForLists(), &reserveSuccesses, &bankSuccesses);
    run.End(upload::RunEnding::Completed);
    upload::ShowStatus("");
    // The plain success message only when every record was stored; anything
    // else gets the counts, whatever the exchange made of the codes.
    const auto stored = [&](upload::RowKind kind) {
        return static_cast<int>(run.Counts(kind).stored);
    };
    const int reserveStored = stored(upload::RowKind::Reserve);
    const int bankStored = stored(upload::RowKind::Bank);
    const bool allStored = reserveStored == static_cast<int>(reserveCount) &&
                           bankStored == static_cast<int>(bankCount);
    if (rc == -3 || !allStored) {
        run.Tell(text::Format(upload::kSummaryFormat, reserveStored,
                              static_cast<int>(reserveCount) - reserveStored, bankStored,
                              static_cast<int>(bankCount) - bankStored));
    } else {
        run.Tell(kUploaded);
    }
    return 1;
}
