// A 999,999-row reserve list exported to .xlsx, as "导出结果..." writes it.
//
// BM_ExportXlsx999999: the list's rows written by the exporter alone on the
// calling thread, no window and no progress. Counter: rows_per_s.
// BM_ExportXlsxWindow999999: the same list from the shown window's context
// menu item: a worker thread writes while a progress dialog follows it.
// Counters: rows_per_s and longest_gap_ms (the longest the event loop went
// without running: the longest the window went unpainted).

#include "EventLoopProbe.h"

#include "accounts/ListColumns.h"
#include "export/TableExport.h"
#include "support/Prompt.h"
#include "ui/FileDialog.h"
#include "ui/ReportListView.h"
#include "ui/ReserveUploadDlg.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 999'999;
using Clock = std::chrono::steady_clock;

class NoPrompt : public IPrompt {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// A window whose reserve list holds kRows rows after an upload.
struct FilledWindow {
    QTemporaryDir m_state;
    NoPrompt prompt;
    CReserveUploadDlg dlg{&prompt};

    FilledWindow() {
        // The export remembers its folder: in a directory of the run's own.
        qputenv("XDG_STATE_HOME", m_state.path().toUtf8());
        CReportListModel& model = dlg.m_listReserve->Model();
        for (int i = 0; i < kRows; ++i) {
            const std::string no = std::to_string(1'000'000'000'000LL + i);
            model.InsertItem(i, std::to_string(i + 1));
            model.SetItemText(i, 1, "0000");
            model.SetItemText(i, 2, "处理成功");
            model.SetItemText(i, 3, no);
            model.SetItemText(i, 4, "上海某某证券股份有限公司客户备付金");
        }
        dlg.show();
        QCoreApplication::processEvents();
    }
};

void BM_ExportXlsx999999(benchmark::State& state) {
    FilledWindow window;
    const CReportListModel& model = window.dlg.m_listReserve->Model();
    ExportTable table;
    table.kind = kReserveListKind;
    for (const ReportColumn& column : model.Columns())
        table.titles.push_back(column.title.toStdString());
    table.rows = static_cast<std::size_t>(model.GetItemCount());
    table.cell = [&model](std::size_t row, std::size_t column) {
        return model.CellText(static_cast<int>(row), static_cast<int>(column));
    };
    for (auto _ : state) {
        QTemporaryDir dir;
        const auto start = Clock::now();
        const std::string failure = ExportTables(dir.filePath("list.xlsx").toStdString(), {table});
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        if (!failure.empty())
            state.SkipWithError(failure.c_str());
        state.SetIterationTime(took);
        state.counters["rows_per_s"] = kRows / took;
    }
}

void BM_ExportXlsxWindow999999(benchmark::State& state) {
    FilledWindow window;
    QAction* exportAction = nullptr;
    for (QAction* action : window.dlg.m_listReserve->actions())
        if (action->objectName() == QStringLiteral("exportResultsAction"))
            exportAction = action;
    for (auto _ : state) {
        QTemporaryDir dir;
        CFileDialog::SetNextAnswer({dir.filePath("list.xlsx"), QString()});
        EventLoopProbe probe;
        const auto start = Clock::now();
        probe.Start();
        exportAction->trigger();
        const double longestGap = probe.Stop();
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        if (!window.prompt.messages.empty() || !QFile::exists(dir.filePath("list.xlsx")))
            state.SkipWithError(window.prompt.messages.empty()
                                    ? "no file written"
                                    : window.prompt.messages.front().c_str());
        state.SetIterationTime(took);
        state.counters["rows_per_s"] = kRows / took;
        state.counters["longest_gap_ms"] = longestGap;
        state.counters["gap_end_s"] = probe.LongestGapEndS();
    }
}

} // namespace

BENCHMARK(BM_ExportXlsx999999)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportXlsxWindow999999)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
