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

std::string Failure(const std::string& path, const std::string& reason) {
    return "导出结果失败：" + path + "\n" + reason;
}

} // namespace

std::optional<ExportFormat> ExportFormatOf(std::string_view path) {
    if (EndsWithNoCase(path, ".csv"))
        return ExportFormat::Csv;
    if (EndsWithNoCase(path, ".xlsx"))
        return ExportFormat::Xlsx;
    return std::nullopt;
}

std::string ExportTables(const std::string& path, const std::vector<ExportTable>& tables) {
    const auto format = ExportFormatOf(path);
    if (!format)
        return Failure(path, "文件名须以 .csv 或 .xlsx 结尾");
    CAtomicFile file;
    std::string reason = file.Create(path);
    if (reason.empty())
        reason = *format == ExportFormat::Csv ? WriteCsv(file.TempPath(), tables)
                                              : WriteXlsx(file.TempPath(), tables);
    if (reason.empty())
        reason = file.Commit();
    if (!reason.empty()) {
        file.Discard();
        return Failure(path, reason);
    }
    return {};
}
