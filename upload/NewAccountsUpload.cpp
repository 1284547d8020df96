#include "upload/NewAccountsUpload.h"

#include "accounts/AccountUploader.h"
#include "accounts/ListColumns.h"
#include "journal/Journal.h"
#include "support/Text.h"
#include "upload/JournalRun.h"
#include "upload/ResultCode.h"
#include "upload/UploadTexts.h"

#include <algorithm>

namespace upload {

namespace {

constexpr const char* kRoundStatus = "正在发送数据,第%d轮,已发送%zu条,请稍侯...";
constexpr const char* kOneByOneStatus = "正在逐笔发送数据,已发送%zu条,请稍侯...";
constexpr const char* kWrongResultCount = "上传失败,接收数据不正确!";
constexpr const char* kNewSummaryFormat =
    "上传A股备付金:新增%d条,已存在%d条,失败%d条;\n上传银行账户:新增%d条,已存在%d条,失败%d条;"
    "\n共发送请求%d次,具体请看列表中结果说明.";
// One by one the status follows every this many records, not each one.
constexpr std::size_t kOneByOneStatusEvery = 100;
constexpr int kNotStoredForOthers = 9701;

int CodeNumber(const UploadResultRecord& result) {
    return text::ParseDecimal32(text::TrimGbk(text::FieldText(result.ResultCode)));
}

} // namespace

int CNewAccountsUpload::Run() {
    m_generation = m_ctx.outcomes.Generation();
    std::vector<Row> pending = RowsToSend();
    m_total = pending.size();
    BlankResults(pending);

    std::vector<Row> resend;
    std::vector<Row> oneByOne;
    bool going = true;
    for (int round = 1; going && !pending.empty() && round <= kMaxRounds; ++round) {
        resend.clear();
        for (std::size_t first = 0; going && first < pending.size();
             first += kMaxRecordsPerRequest) {
            const std::size_t count = std::min(kMaxRecordsPerRequest, pending.size() - first);
            ShowStatus(text::Format(kRoundStatus, round, m_sent + count));
            going = Send(std::span(pending).subspan(first, count), &resend, &oneByOne);
        }
        // A round that settles nothing would repeat itself: one by one instead.
        if (resend.size() == pending.size())
            break;
        pending.swap(resend);
    }

    if (going && !oneByOne.empty()) {
        pending.insert(pending.end(), oneByOne.begin(), oneByOne.end());
        std::sort(pending.begin(), pending.end(), [](const Row& a, const Row& b) {
            return a.kind != b.kind ? a.kind < b.kind : a.index < b.index;
        });
    }
    for (std::size_t i = 0; going && i < pending.size(); ++i) {
        if (i % kOneByOneStatusEvery == 0)
            ShowStatus(text::Format(kOneByOneStatus, m_sent + 1));
        going = Send(std::span(pending).subspan(i, 1), nullptr, nullptr);
    }

    ShowStatus("");
    if (!going)
        return 0;
    if (m_ctx.prompt != nullptr)
        m_ctx.prompt->ShowMessage(text::Format(kNewSummaryFormat, m_reserve.stored, m_reserve.held,
                                               m_reserve.failed, m_bank.stored, m_bank.held,
                                               m_bank.failed, m_requests));
    ShowStatus("");
    return 1;
}

std::vector<CNewAccountsUpload::Row> CNewAccountsUpload::RowsToSend() const {
    std::vector<Row> rows;
    for (const RowKind kind : {RowKind::Reserve, RowKind::Bank}) {
        for (std::size_t i = 0; i < m_ctx.outcomes.Rows(kind); ++i) {
            const RowOutcome outcome = m_ctx.outcomes.Get(kind, i);
            if (outcome != RowOutcome::Stored && outcome != RowOutcome::Held)
                rows.push_back({kind, i});
        }
    }
    return rows;
}

// The rows about to go up lose their old results, as the other modes' lists
// do; the rows left alone keep theirs. A row not sent since the load shows none.
void CNewAccountsUpload::BlankResults(std::span<const Row> rows) {
    for (const Row& row : rows) {
        if (m_ctx.outcomes.Get(row.kind, row.index) == RowOutcome::NotSent)
            continue;
        if (IReportList* list = ListOf(row.kind)) {
            const int index = static_cast<int>(row.index);
            list->SetItemText(index, kColumnResultCode, row.kind == RowKind::Bank ? " " : "");
            list->SetItemText(index, kColumnResultText, "");
        }
    }
}

bool CNewAccountsUpload::Send(std::span<const Row> rows, std::vector<Row>* resend,
                              std::vector<Row>* oneByOne) {
    // A load during the run (through the window's events) replaced the rows.
    if (m_ctx.outcomes.Generation() != m_generation)
        return false;
    const auto& reserves = m_ctx.uploader.ReserveAccountsA();
    const auto& banks = m_ctx.uploader.BankAccounts();
    m_requestRecords.clear();
    m_requestRecords.reserve(rows.size());
    m_results.clear();
    for (const Row& row : rows) {
        if (row.kind == RowKind::Reserve)
            m_requestRecords.push_back(CAccountUploader::BuildReserveRequest(reserves[row.index]));
        else
            m_requestRecords.push_back(CAccountUploader::BuildBankRequest(banks[row.index]));
    }

    if (journal::IJournal* journal = m_ctx.uploader.Journal()) {
        std::vector<std::size_t> indexes;
        indexes.reserve(rows.size());
        for (const Row& row : rows)
            indexes.push_back(row.index);
        journal->NextRows(indexes);
    }
    const int rc = m_ctx.uploader.Exchange(m_requestRecords, m_results);
    ++m_requests;
    m_sent += rows.size();
    const bool answered = rc >= 0 || rc == -2 || rc == -3;
    if (!answered || m_results.size() != rows.size()) {
        // The gateway may have stored any of them, or none.
        for (const Row& row : rows)
            m_ctx.outcomes.Set(row.kind, row.index, RowOutcome::Unknown);
        if (answered && m_ctx.prompt != nullptr) {
            ShowStatus("");
            m_ctx.prompt->ShowMessage(kWrongResultCount);
        }
        return false;
    }

    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Row& row = rows[k];
        const UploadResultRecord& result = m_results[k];
        if (rc == -2 && resend != nullptr) {
            if (CodeNumber(result) == kNotStoredForOthers) {
                WriteResult(row, result);
                m_ctx.outcomes.Set(row.kind, row.index, RowOutcome::Refused);
                resend->push_back(row);
                continue;
            }
            // A refused request stores nothing: a success code in it is not
            // believed, and its own request will tell.
            if (IsSuccessCode(result.ResultCode)) {
                m_ctx.outcomes.Set(row.kind, row.index, RowOutcome::Unknown);
                oneByOne->push_back(row);
                continue;
            }
        }
        Settle(row, result);
    }
    if (m_ctx.progress)
        m_ctx.progress(static_cast<int>(m_settled), static_cast<int>(m_total));
    return !m_ctx.stopRequested;
}

void CNewAccountsUpload::Settle(const Row& row, const UploadResultRecord& result) {
    WriteResult(row, result);
    const RowOutcome outcome = OutcomeOf(result);
    m_ctx.outcomes.Set(row.kind, row.index, outcome);
    ++m_settled;
    Counts& counts = row.kind == RowKind::Reserve ? m_reserve : m_bank;
    if (outcome == RowOutcome::Stored)
        ++counts.stored;
    else if (outcome == RowOutcome::Held)
        ++counts.held;
    else
        ++counts.failed;
}

void CNewAccountsUpload::WriteResult(const Row& row, const UploadResultRecord& result) {
    IReportList* list = ListOf(row.kind);
    if (list == nullptr)
        return;
    const int index = static_cast<int>(row.index);
    list->SetItemText(index, kColumnResultCode,
                      text::GbkToUtf8(text::TrimGbk(text::FieldText(result.ResultCode))));
    list->SetItemText(index, kColumnResultText,
                      text::GbkToUtf8(text::TrimGbk(text::FieldText(result.ResultText))));
}

IReportList* CNewAccountsUpload::ListOf(RowKind kind) const {
    return kind == RowKind::Reserve ? m_ctx.reserveList : m_ctx.bankList;
}

} // namespace upload

int CAccountUploader::UploadNew() {
    if (m_bUploading)
        return 0;
    upload::UploadingScope uploading(m_bUploading);
    upload::JournalRun journalled(*this, "只上传新增账户");
    m_bStopRequested = false;
    upload::CNewAccountsUpload run({*this, m_rowOutcomes, m_pReserveList, m_pBankList, m_hMainWnd,
                                    m_bStopRequested, m_progressListener});
    return run.Run();
}
