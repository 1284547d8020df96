// A million bank rows into a list behind a shown view, the way a load fills it
// (one row at a time: the row number, then four record cells) and the way a
// batch upload then writes a result code and text into every row. Our model
// against QStandardItemModel with whole rows appended, in the same run.
//
// Counters: fill_s and results_s (seconds of each phase, the views' updates
// included), peak_MiB (peak resident memory of the run, the process's base
// included) and rss_MiB (resident memory with the full list in place).

#include "ProcessMemory.h"

#include "accounts/ListColumns.h"
#include "ui/ReportListView.h"

#include <QApplication>
#include <QStandardItemModel>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

constexpr int kRows = 1'000'000;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<ReportColumn> BankColumns() {
    std::vector<ReportColumn> columns;
    for (const ListColumn& column : BankListColumns())
        columns.push_back({QString::fromUtf8(column.title), column.width});
    return columns;
}

// The cells of bank record i, as the load writes them (UTF-8).
std::string AccountNo(int i) {
    std::string digits = std::to_string(i);
    return "6222" + std::string(16 - digits.size(), '0') + digits;
}
const std::string kBankCode = "0102";
const std::string kAccountName = "上海某某证券股份有限公司";
const std::string kBankName = "中国工商银行上海分行营业部";
const std::string kResultCode = "0000";
const std::string kResultText = "处理成功";

void ShowAndSettle(QWidget& view) {
    view.resize(900, 400);
    view.show();
    QCoreApplication::processEvents();
}

void BM_ListFill1M(benchmark::State& state) {
    for (auto _ : state) {
        ResetPeakResident();
        CReportListView view;
        view.SetColumns(BankColumns());
        ShowAndSettle(view);
        IReportList& list = view.Model();

        const auto fillStart = Clock::now();
        for (int i = 0; i < kRows; ++i) {
            const int n = list.GetItemCount();
            list.InsertItem(n, std::to_string(n + 1));
            list.SetItemText(n, kColumnBankCode, kBankCode);
            list.SetItemText(n, kColumnBankAccountNo, AccountNo(i));
            list.SetItemText(n, kColumnAccountFullName, kAccountName);
            list.SetItemText(n, kColumnBankFullName, kBankName);
        }
        QCoreApplication::processEvents();
        const double fill = SecondsSince(fillStart);

        const auto resultsStart = Clock::now();
        for (int i = 0; i < kRows; ++i) {
            list.SetItemText(i, kColumnResultCode, kResultCode);
            list.SetItemText(i, kColumnResultText, kResultText);
        }
        QCoreApplication::processEvents();
        const double results = SecondsSince(resultsStart);

        state.SetIterationTime(fill + results);
        state.counters["fill_s"] = fill;
        state.counters["results_s"] = results;
        state.counters["rss_MiB"] = ResidentMiB();
        state.counters["peak_MiB"] = PeakResidentMiB();
        if (view.model()->rowCount() != kRows)
            state.SkipWithError("rows missing");
    }
}

void BM_ListFill1MStandardModel(benchmark::State& state) {
    for (auto _ : state) {
        ResetPeakResident();
        QStandardItemModel model(0, static_cast<int>(BankListColumns().size()));
        int c = 0;
        for (const ListColumn& column : BankListColumns())
            model.setHeaderData(c++, Qt::Horizontal, QString::fromUtf8(column.title));
        QTableView view;
        view.setModel(&model);
        ShowAndSettle(view);

        const auto fillStart = Clock::now();
        for (int i = 0; i < kRows; ++i) {
            const int n = model.rowCount();
            QList<QStandardItem*> row = {
                new QStandardItem(QString::fromStdString(std::to_string(n + 1))),
                new QStandardItem(),
                new QStandardItem(),
                new QStandardItem(QString::fromStdString(kBankCode)),
                new QStandardItem(QString::fromStdString(AccountNo(i))),
                new QStandardItem(QString::fromStdString(kAccountName)),
                new QStandardItem(QString::fromStdString(kBankName)),
            };
            model.appendRow(row);
        }
        QCoreApplication::processEvents();
        const double fill = SecondsSince(fillStart);

        const auto resultsStart = Clock::now();
        for (int i = 0; i < kRows; ++i) {
            model.item(i, kColumnResultCode)->setText(QString::fromStdString(kResultCode));
            model.item(i, kColumnResultText)->setText(QString::fromStdString(kResultText));
        }
        QCoreApplication::processEvents();
        const double results = SecondsSince(resultsStart);

        state.SetIterationTime(fill + results);
        state.counters["fill_s"] = fill;
        state.counters["results_s"] = results;
        state.counters["rss_MiB"] = ResidentMiB();
        state.counters["peak_MiB"] = PeakResidentMiB();
    }
}

} // namespace

BENCHMARK(BM_ListFill1M)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFill1MStandardModel)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
