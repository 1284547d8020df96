#pragma once
// Results that leave the window: a table of UTF-8 cells written to a .csv file
// (for programs) or a .xlsx workbook (for people), chosen by the file name's
// extension. The file appears whole or not at all.

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One list as it is exported: its kind ("A股备付金账户", "银行账户"), the
// column titles and the cells exactly as the list shows them.
struct ExportTable {
    std::string kind;
    std::vector<std::string> titles;
    std::size_t rows = 0;
    // The text of a cell, row and column counted from 0.
    std::function<std::string(std::size_t row, std::size_t column)> cell;
};

enum class ExportFormat { Csv, Xlsx };

// The format a file name asks for by its extension (any letter case), or none.
std::optional<ExportFormat> ExportFormatOf(std::string_view path);

// What a caller follows and steers of an export under way; both optional.
struct ExportControl {
    // Rows written so far of all the tables' rows, from the exporting thread
    // every few thousand rows and once at the end of the rows. `packing` is
    // set once a workbook's rows are all written and the file is being packed:
    // that step cannot be stopped, so a cancel given then takes effect when
    // it ends.
    std::function<void(std::size_t done, std::size_t total, bool packing)> progress;
    // Set from any thread to stop the export; checked after every row.
    const std::atomic<bool>* cancel = nullptr;
};

// What ExportTables returns for an export that `cancel` stopped.
inline constexpr const char* kExportCancelled = "导出已取消";

// Writes `tables` to `path`, replacing a file of that name only once the new
// one is complete. In a CSV file several tables share one header and are told
// apart by a kind column; a workbook gets one sheet per table. Returns an empty
// string, kExportCancelled, or the message for the operator naming the path
// and the reason. A failed or cancelled export leaves neither the target nor
// a temporary file.
std::string ExportTables(const std::string& path, const std::vector<ExportTable>& tables,
                         const ExportControl& control = {});

// The title of the CSV column that holds each row's kind.
inline constexpr const char* kExportKindTitle = "账户类别";
