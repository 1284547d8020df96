// A workbook for people: one sheet per table named after its kind, a bold
// header row that stays in view, columns wide enough for their texts, and every
// cell a text cell. Text cells keep 28-digit account numbers and leading zeros
// intact, and a text that starts with = + - @ is never taken for a formula.

#include "export/ExportWriters.h"

#include <minizip/unzip.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

// The most rows below the header one sheet holds.
constexpr std::size_t kMaxSheetRows = 1048575;
constexpr double kMaxColumnWidth = 80;

// The length of the UTF-8 sequence a byte starts (1 for a stray byte).
std::size_t SequenceLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

bool IsWide(std::uint32_t code) {
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
           (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
           (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
           (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
}

// The width of a UTF-8 text in character cells: East Asian wide characters
// take two, everything else one.
double TextWidth(std::string_view text) {
    double width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = SequenceLength(lead);
        std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        i += length;
        width += IsWide(code) ? 2 : 1;
    }
    return width;
}

// A sheet name Excel accepts: at most 31 characters, none of []:*?/\.
std::string SheetName(const std::string& kind, std::size_t index) {
    std::string name;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < kind.size() && characters < 31; ++characters) {
        const std::size_t length = SequenceLength(static_cast<unsigned char>(kind[i]));
        const std::string_view piece = std::string_view(kind).substr(i, length);
        name += piece.find_first_of("[]:*?/\\") == std::string_view::npos ? std::string(piece)
                                                                          : std::string("_");
        i += length;
    }
    if (name.empty() || name.front() == '\'' || name.back() == '\'')
        name = "Sheet" + std::to_string(index + 1);
    return name;
}

// The library does not see a failed write to its temporary sheet files (a full
// disk), and would package a truncated sheet. So the finished workbook is read
// back: each sheet must be whole and hold every row that was written.
bool SheetsComplete(const std::string& path, const std::vector<std::size_t>& rowsWritten) {
    unzFile zip = unzOpen64(path.c_str());
    if (zip == nullptr)
        return false;
    bool complete = true;
    std::vector<char> buffer(1 << 16);
    for (std::size_t i = 0; i < rowsWritten.size() && complete; ++i) {
        const std::string entry = "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml";
        if (unzLocateFile(zip, entry.c_str(), 1) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK) {
            complete = false;
            break;
        }
        constexpr std::string_view kRowStart = "<row ";
        std::size_t rows = 0;
        std::string tail; // the end of the previous chunk, for matches across chunks
        for (int n; (n = unzReadCurrentFile(zip, buffer.data(),
                                            static_cast<unsigned>(buffer.size()))) != 0;) {
            if (n < 0) {
                complete = false;
                break;
            }
            std::string text = tail;
            text.append(buffer.data(), static_cast<std::size_t>(n));
            for (auto at = text.find(kRowStart); at != std::string::npos;
                 at = text.find(kRowStart, at + 1))
                ++rows;
            const std::size_t keep = std::min<std::size_t>(text.size(), 16);
            tail = text.substr(text.size() - keep);
            // A match inside the kept tail is counted again with the next chunk.
            for (auto at = tail.find(kRowStart); at != std::string::npos;
                 at = tail.find(kRowStart, at + 1))
                --rows;
        }
        if (unzCloseCurrentFile(zip) != UNZ_OK || rows != rowsWritten[i] ||
            tail.find("</worksheet>") == std::string::npos)
            complete = false;
    }
    unzClose(zip);
    return complete;
}

// Drops a workbook without packing it. The library frees it but leaves the
// sheets' temporary files open (they have no name on disk): close them first.
void DiscardWorkbook(lxw_workbook* workbook) {
    lxw_worksheet* sheet = nullptr;
    LXW_FOREACH_WORKSHEET(sheet, workbook) {
        if (sheet->optimize_tmpfile != nullptr) {
            std::fclose(sheet->optimize_tmpfile);
            sheet->optimize_tmpfile = nullptr;
        }
    }
    lxw_workbook_free(workbook);
}

std::string ErrorText(lxw_error error) {
    return lxw_strerror(error);
}

} // namespace

std::string WriteXlsx(const std::string& path, const std::vector<ExportTable>& tables,
                      ExportTicker& ticker) {
    for (const ExportTable& table : tables)
        if (table.rows > kMaxSheetRows)
            return "“" + table.kind + "”有 " + std::to_string(table.rows) +
                   " 行，超过一张工作表能容纳的 " + std::to_string(kMaxSheetRows) + " 行";

    // The sheets' data waits in temporary files beside the target rather than
    // in memory or in a /tmp that may be small.
    const auto slash = path.rfind('/');
    std::string tmpdir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpdir.data();
    options.use_zip64 = LXW_TRUE;
    lxw_workbook* workbook = workbook_new_opt(path.c_str(), &options);
    if (workbook == nullptr)
        return "无法创建工作簿";

    lxw_format* headerFormat = workbook_add_format(workbook);
    format_set_bold(headerFormat);
    format_set_num_format(headerFormat, "@");
    lxw_format* textFormat = workbook_add_format(workbook);
    format_set_num_format(textFormat, "@");

    lxw_error error = LXW_NO_ERROR;
    std::vector<std::string> usedNames;
    std::vector<std::size_t> rowsWritten; // rows with a cell in them, the header's included
    for (std::size_t t = 0; t < tables.size() && error == LXW_NO_ERROR; ++t) {
        const ExportTable& table = tables[t];
        std::string name = SheetName(table.kind, t);
        if (std::find(usedNames.begin(), usedNames.end(), name) != usedNames.end())
            name = "Sheet" + std::to_string(t + 1);
        usedNames.push_back(name);
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, name.c_str());
        if (sheet == nullptr) {
            error = LXW_ERROR_SHEETNAME_ALREADY_USED;
            break;
        }

        worksheet_freeze_panes(sheet, 1, 0);

        const std::size_t columns = table.titles.size();
        std::vector<double> widths(columns);
        std::size_t& written = rowsWritten.emplace_back(columns > 0 ? 1 : 0);
        for (std::size_t c = 0; c < columns && error == LXW_NO_ERROR; ++c) {
            widths[c] = TextWidth(table.titles[c]);
            error = worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c),
                                           table.titles[c].c_str(), headerFormat);
        }
        for (std::size_t row = 0; row < table.rows && error == LXW_NO_ERROR; ++row) {
            bool any = false;
            for (std::size_t c = 0; c < columns && error == LXW_NO_ERROR; ++c) {
                const std::string text = table.cell(row, c);
                if (text.empty())
                    continue;
                any = true;
                widths[c] = std::max(widths[c], TextWidth(text));
                error = worksheet_write_string(sheet, static_cast<lxw_row_t>(row + 1),
                                               static_cast<lxw_col_t>(c), text.c_str(), textFormat);
            }
            written += any ? 1 : 0;
            if (!ticker.Row()) {
                DiscardWorkbook(workbook);
                return kExportCancelled;
            }
        }
        // The columns go into the sheet when the workbook closes, so each
        // cell is read once, not again for a pass of widths before the rows.
        for (std::size_t c = 0; c < columns && error == LXW_NO_ERROR; ++c)
            error =
                worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                     std::min(widths[c] + 2, kMaxColumnWidth), textFormat);
    }

    if (error == LXW_NO_ERROR)
        ticker.RowsDone(true);
    const lxw_error closeError = workbook_close(workbook);
    if (error == LXW_NO_ERROR)
        error = closeError;
    if (error != LXW_NO_ERROR)
        return ErrorText(error);
    if (!SheetsComplete(path, rowsWritten))
        return "工作簿没有完整写入（磁盘已满？）";
    return {};
}
