#include "export/TableExport.h"

#include "export/AtomicFile.h"
#include "export/ExportWriters.h"

#include <algorithm>
#include <cctype>

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<long>(suffix.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

// Progress goes out this often: often enough for a bar, rarely enough to cost nothing.
constexpr std::size_t kReportEveryRows = 4096;

std::string Failure(const std::string& path, const std::string& reason) {
    return "导出结果失败：" + path + "\n" + reason;
}

} // namespace

ExportTicker::ExportTicker(const ExportControl& control, const std::vector<ExportTable>& tables)
    : m_control(control) {
    for (const ExportTable& table : tables)
        m_total += table.rows;
}

bool ExportTicker::Row() {
    ++m_done;
    if (m_control.progress && m_done % kReportEveryRows == 0)
        m_control.progress(m_done, m_total, false);
    return !Cancelled();
}

void ExportTicker::RowsDone(bool packing) {
    if (m_control.progress)
        m_control.progress(m_done, m_total, packing);
}

bool ExportTicker::Cancelled() const {
    return m_control.cancel != nullptr && m_control.cancel->load(std::memory_order_relaxed);
}

std::optional<ExportFormat> ExportFormatOf(std::string_view path) {
    if (EndsWithNoCase(path, ".csv"))
        return ExportFormat::Csv;
    if (EndsWithNoCase(path, ".xlsx"))
        return ExportFormat::Xlsx;
    return std::nullopt;
}

std::string ExportTables(const std::string& path, const std::vector<ExportTable>& tables,
                         const ExportControl& control) {
    const auto format = ExportFormatOf(path);
    if (!format)
        return Failure(path, "文件名须以 .csv 或 .xlsx 结尾");
    ExportTicker ticker(control, tables);
    AtomicFile file;
    std::string reason = file.Create(path);
    if (reason.empty())
        reason = *format == ExportFormat::Csv ? WriteCsv(file.TempPath(), tables, ticker)
                                              : WriteXlsx(file.TempPath(), tables, ticker);
    // A cancel given while a workbook was packed takes effect now.
    if (reason.empty() && ticker.Cancelled())
        reason = kExportCancelled;
    if (reason.empty())
        reason = file.Commit();
    if (!reason.empty()) {
        file.Discard();
        return reason == kExportCancelled ? reason : Failure(path, reason);
    }
    return {};
}
