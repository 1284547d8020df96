#include "uploader/NewAccountsUpload.h"

#include "protocol/Codes.h"
#include "support/Text.h"
#include "upload/ResultCode.h"
#include "upload/UploadRun.h"
#include "upload/UploadTexts.h"
#include "uploader/AccountUploader.h"

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

} // namespace

int NewAccountsUpload::Run() {
    if (!ResendLost()) {
        m_run.End(m_ending);
        ShowStatus("");
        return 0;
    }
    std::vector<RowRef> pending = RowsToSend();
    m_total = pending.size();
    BlankResults(pending);

    std::vector<RowRef> resend;
    std::vector<RowRef> oneByOne;
    const std::size_t limit = m_uploader.Runs().RecordLimit();
    bool going = true;
    for (int round = 1; going && !pending.empty() && round <= kMaxRounds; ++round) {
        resend.clear();
        for (std::size_t first = 0; going && first < pending.size(); first += limit) {
            const std::size_t count = std::min(limit, pending.size() - first);
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
        std::sort(pending.begin(), pending.end(), [](const RowRef& a, const RowRef& b) {
            return a.kind != b.kind ? a.kind < b.kind : a.index < b.index;
        });
    }
    for (std::size_t i = 0; going && i < pending.size(); ++i) {
        if (i % kOneByOneStatusEvery == 0)
            ShowStatus(text::Format(kOneByOneStatus, m_sent + 1));
        going = Send(std::span(pending).subspan(i, 1), nullptr, nullptr);
    }

    m_run.End(going ? RunEnding::Completed : m_ending);
    ShowStatus("");
    if (!going)
        return 0;
    const OutcomeCounts& reserve = m_run.Counts(RowKind::Reserve);
    const OutcomeCounts& bank = m_run.Counts(RowKind::Bank);
    if (reserve.unknown == 0 && bank.unknown == 0) {
        m_run.Tell(text::Format(
            kNewSummaryFormat, static_cast<int>(reserve.stored), static_cast<int>(reserve.held),
            static_cast<int>(reserve.Failed(false)), static_cast<int>(bank.stored),
            static_cast<int>(bank.held), static_cast<int>(bank.Failed(false)), m_requests));
    } else {
        // Rows nobody knows the fate of are neither failed nor stored.
        const auto line = [](const char* kind, const OutcomeCounts& counts) {
            return text::Format("%s:新增%d条,已存在%d条,失败%d条", kind,
                                static_cast<int>(counts.stored), static_cast<int>(counts.held),
                                static_cast<int>(counts.Failed(false) - counts.unknown)) +
                   text::Format(kUnknownCountFormat, static_cast<int>(counts.unknown)) + ";";
        };
        m_run.Tell(line("上传A股备付金", reserve) + "\n" + line("上传银行账户", bank) +
                   text::Format("\n共发送请求%d次,具体请看列表中结果说明.", m_requests));
    }
    ShowStatus("");
    return 1;
}

bool NewAccountsUpload::ResendLost() {
    std::vector<LostRequest> lost = m_run.TakeLost();
    for (std::size_t i = 0; i < lost.size(); ++i) {
        LostRequest& request = lost[i];
        if (!m_run.RowsStillLoaded()) {
            m_ending = RunEnding::Failed;
            return false;
        }
        // Rows that later requests settled keep what they learnt; a request
        // none of whose rows is still unknown need not be asked about.
        const RowOutcomes& known = m_uploader.Runs().Outcomes();
        std::vector<bool> open(request.rows.size());
        for (std::size_t k = 0; k < request.rows.size(); ++k)
            open[k] = known.Get(request.rows[k].kind, request.rows[k].index) == RowOutcome::Unknown;
        if (std::find(open.begin(), open.end(), true) == open.end())
            continue;
        ShowStatus(kSendingStatus);
        const std::span<const RowRef> rows(request.rows);
        auto buffers = std::make_shared<RowBuffers>();
        // A large request's records went once its body was built; the
        // journal has them again from its bytes.
        if (!request.records)
            request.records = RecordsOf(*request.bytes);
        m_run.Sending(*request.records, request.records);
        ExchangeFacts facts;
        const int rc = m_uploader.Resend(*request.bytes, rows.size(), buffers->results, facts);
        ++m_requests;
        const bool answered = rc >= 0 || rc == -2 || rc == -3;
        const bool matched = answered && buffers->results.size() == rows.size();
        buffers->outcomes.assign(rows.size(), OutcomeOfUnmatched(facts));
        for (std::size_t k = 0; k < rows.size(); ++k) {
            if (matched)
                buffers->outcomes[k] = DecideRow(buffers->results[k], rc != -2);
            if (!open[k])
                continue;
            m_run.Settle(rows[k], buffers->outcomes[k]);
            if (matched)
                m_writer.Show(rows[k], buffers->results[k]);
            else if (buffers->outcomes[k] == RowOutcome::Unknown)
                m_writer.ShowUnknown(rows[k]);
        }
        const std::span<const UploadResultRecord> results =
            matched ? std::span<const UploadResultRecord>(buffers->results)
                    : std::span<const UploadResultRecord>();
        const std::span<const UploadRequestRecord> records =
            request.records ? std::span<const UploadRequestRecord>(*request.records)
                            : std::span<const UploadRequestRecord>();
        auto keepAlive =
            std::make_shared<std::pair<std::shared_ptr<const void>, std::shared_ptr<const void>>>(
                request.records, buffers);
        m_run.Reported({facts, records, results, rows, buffers->outcomes, std::move(keepAlive)});
        if (std::shared_ptr<CDataBuf> again = m_uploader.TakeLostRequest()) {
            // Still no reply: the gateway does not answer. This request and
            // those not yet asked about wait for the next run.
            request.bytes = std::move(again);
            for (std::size_t j = i; j < lost.size(); ++j)
                m_run.Lost(std::move(lost[j]));
            m_ending = RunEnding::Failed;
            return false;
        }
    }
    return true;
}

void NewAccountsUpload::ShowUnknown(std::span<const RowRef> rows,
                                    std::span<const RowOutcome> outcomes) {
    for (std::size_t k = 0; k < rows.size() && k < outcomes.size(); ++k)
        if (outcomes[k] == RowOutcome::Unknown)
            m_writer.ShowUnknown(rows[k]);
}

std::vector<RowRef> NewAccountsUpload::RowsToSend() const {
    const RowOutcomes& outcomes = m_uploader.Runs().Outcomes();
    std::vector<RowRef> rows;
    for (const RowKind kind : {RowKind::Reserve, RowKind::Bank}) {
        for (std::size_t i = 0; i < outcomes.Rows(kind); ++i) {
            const RowOutcome outcome = outcomes.Get(kind, i);
            if (outcome != RowOutcome::Stored && outcome != RowOutcome::Held)
                rows.push_back({kind, static_cast<std::uint32_t>(i)});
        }
    }
    return rows;
}

// The rows about to go up lose their old results, as the other modes' lists
// do; the rows left alone keep theirs. A row not sent since the load shows none.
void NewAccountsUpload::BlankResults(std::span<const RowRef> rows) {
    const RowOutcomes& outcomes = m_uploader.Runs().Outcomes();
    for (const RowRef& row : rows) {
        if (outcomes.Get(row.kind, row.index) != RowOutcome::NotSent)
            m_writer.Blank(row);
    }
}

bool NewAccountsUpload::Send(std::span<const RowRef> rows, std::vector<RowRef>* resend,
                             std::vector<RowRef>* oneByOne) {
    // A load during the run (through the window's events) replaced the rows.
    if (!m_run.RowsStillLoaded()) {
        m_ending = RunEnding::Failed;
        return false;
    }
    const int rc = SendRows(m_uploader, m_run, rows, m_work);
    ++m_requests;
    m_sent += rows.size();
    if (!m_work.matched) {
        // Nothing can be put beside its record: the rows stay as decided
        // (unknown, or not stored when the gateway refused the request).
        ShowUnknown(rows, m_work.Outcomes());
        m_ending = RunEnding::Failed;
        const bool answered = rc >= 0 || rc == -2 || rc == -3;
        if (answered) {
            ShowStatus("");
            m_run.End(m_ending);
            m_run.Tell(kWrongResultCount);
        }
        return false;
    }

    for (std::size_t k = 0; k < rows.size(); ++k) {
        const RowRef& row = rows[k];
        const UploadResultRecord& result = m_work.Results()[k];
        if (rc == -2 && resend != nullptr && m_work.Outcomes()[k] == RowOutcome::NotStored) {
            // A refused request stores nothing: a 9701 row goes again in the
            // next round, a row whose code claimed success in a request of its own.
            if (CodeNumber(result.ResultCode) == protocol::result::kNotStored) {
                m_writer.Show(row, result);
                resend->push_back(row);
            } else {
                oneByOne->push_back(row);
            }
            continue;
        }
        m_writer.Show(row, result);
        ++m_settled;
    }
    m_work.ReleaseResultsIfLarge();
    m_run.Progress(static_cast<int>(m_settled), static_cast<int>(m_total));
    if (m_run.StopRequested()) {
        m_ending = RunEnding::Stopped;
        return false;
    }
    return true;
}

} // namespace upload
