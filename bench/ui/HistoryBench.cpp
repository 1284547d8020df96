// The history dialog over a journal holding a 999,999-record run (a thousand
// requests of 1,000 records, one in a hundred not stored): opening it until
// its first screen is painted, a jump to row 900,000 until that screen is
// painted, and searches and the failed-only filter until their first screen is
// painted. The journal is written once, before the benchmarks, by the
// journal's own writer.

#include "journal/JournalWriter.h"
#include "tests/journal/JournalFiles.h"
#include "ui/HistoryDlg.h"
#include "ui/JournalModels.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

constexpr int kRecords = 999'999;
constexpr int kPerRequest = 1'000;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Digits(int i, std::size_t width) {
    std::string digits = std::to_string(i);
    return std::string(width - digits.size(), '0') + digits;
}

const std::string& JournalFile() {
    static const std::string file = [] {
        static JournalDir dir;
        journal::JournalWriter writer(dir.File());
        writer.SetSession({"张三", "127.0.0.1", 7070});
        BeginRun(writer, StartOf("全部上传", "/srv/accounts", 1));
        std::vector<UploadRequestRecord> requests;
        std::vector<UploadResultRecord> results;
        upload::ExchangeFacts facts;
        facts.outcome = 1;
        facts.returnCode = "0000";
        for (int i = 0; i < kRecords;) {
            requests.clear();
            results.clear();
            for (int k = 0; k < kPerRequest && i < kRecords; ++k, ++i) {
                // Reserve accounts first, then bank accounts, as an upload sends them.
                requests.push_back(
                    i < 400'000
                        ? ReserveRequest(Digits(i, 18), "某某证券营业部" + std::to_string(i % 5000))
                        : BankRequest("0102", "6222" + Digits(i, 24),
                                      "上海某某有限公司" + std::to_string(i % 5000), "工商银行"));
                results.push_back(i % 100 == 7 ? ResultFor(requests.back(), "9999", "户名不符")
                                               : ResultFor(requests.back(), "0000", "成功"));
            }
            facts.sent = std::chrono::system_clock::now();
            Exchanged(writer, requests, results, facts);
            writer.Sync(); // keeps the queue, and so the memory, small
        }
        EndRun(writer);
        return dir.File();
    }();
    return file;
}

std::unique_ptr<CHistoryDlg> OpenDialog() {
    std::string error;
    auto reader = journal::JournalReader::Open(JournalFile(), error);
    if (!reader)
        return nullptr;
    auto dlg = std::make_unique<CHistoryDlg>(std::move(reader), nullptr);
    dlg->show();
    // Paints every widget now, the visible rows' data fetched for it.
    dlg->grab();
    return dlg;
}

// Paints the result list's visible rows now, as the screen would show them.
void PaintResults(CHistoryDlg& dlg) {
    dlg.ResultsView()->viewport()->grab();
}

void BM_HistoryOpen999999(benchmark::State& state) {
    JournalFile();
    for (auto _ : state) {
        const auto start = Clock::now();
        auto dlg = OpenDialog();
        const double ms = MillisecondsSince(start);
        if (!dlg || dlg->Results().Count() != kRecords) {
            state.SkipWithError("journal not readable or run incomplete");
            return;
        }
        state.SetIterationTime(ms / 1000);
        state.counters["rows"] = static_cast<double>(dlg->Results().Count());
    }
}

void BM_HistoryJumpToRow900000(benchmark::State& state) {
    auto dlg = OpenDialog();
    if (!dlg) {
        state.SkipWithError("journal not readable");
        return;
    }
    QTableView* view = dlg->ResultsView();
    int target = 900'000;
    for (auto _ : state) {
        const auto start = Clock::now();
        view->scrollTo(view->model()->index(target, 0), QAbstractItemView::PositionAtTop);
        PaintResults(*dlg);
        state.SetIterationTime(MillisecondsSince(start) / 1000);
        // Each jump lands where no page is kept yet.
        target = target == 900'000 ? 100'000 : 900'000;
    }
}

// Search text (or the failed-only filter with no text) and the rows it keeps.
void BM_HistorySearch(benchmark::State& state) {
    const struct {
        std::string search;
        bool failedOnly;
        std::int64_t rows;
    } cases[] = {
        {Digits(123, 15), false, 1000},          // reserve accounts 123000 to 123999
        {"6222" + Digits(90, 20), false, 10000}, // bank accounts 900000 to 909999
        {"某某证券营业部4999", false, 80},       // reserve account names
        {"", true, 10000},                       // every hundredth record
    };
    const auto& c = cases[state.range(0)];
    auto dlg = OpenDialog();
    if (!dlg) {
        state.SkipWithError("journal not readable");
        return;
    }
    auto* search = dlg->findChild<QLineEdit*>("searchEdit");
    auto* failedOnly = dlg->findChild<QCheckBox*>("failedOnlyCheck");
    for (auto _ : state) {
        search->clear();
        failedOnly->setChecked(false);
        dlg->ApplyFilter();
        PaintResults(*dlg);

        const auto start = Clock::now();
        search->setText(QString::fromStdString(c.search));
        failedOnly->setChecked(c.failedOnly); // applies the filter when it changes
        dlg->ApplyFilter();
        PaintResults(*dlg);
        state.SetIterationTime(MillisecondsSince(start) / 1000);
        state.counters["rows"] = static_cast<double>(dlg->Results().Count());
        if (dlg->Results().Count() != c.rows)
            state.SkipWithError("unexpected number of rows");
    }
    state.SetLabel(c.failedOnly ? std::string("failed only") : c.search);
}

} // namespace

BENCHMARK(BM_HistoryOpen999999)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryJumpToRow900000)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistorySearch)
    ->DenseRange(0, 3)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
