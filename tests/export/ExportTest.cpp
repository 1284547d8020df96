// Exported files read back the way other programs read them: Python's csv
// module for .csv, zipfile and an XML parser for .xlsx (tests/export/read_table.py).

#include "../cli/CliTempDir.h"
#include "cli/TerminalReportList.h"
#include "export/TableExport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

namespace {

using Rows = std::vector<std::vector<std::string>>;

ExportTable MakeTable(std::string kind, std::vector<std::string> titles, const Rows& rows) {
    ExportTable table;
    table.kind = std::move(kind);
    table.titles = std::move(titles);
    table.rows = rows.size();
    table.cell = [&rows](std::size_t row, std::size_t column) { return rows[row][column]; };
    return table;
}

// Cells a spreadsheet or a parser tends to change: quotes, commas, line breaks,
// leading zeros, long digit strings, formula starts, Chinese, blanks.
const Rows kReserveRows = {
    {"1", "0", "成功", "000123456789012345", "他说\"好\",走"},
    {"2", "3", "第一行\n第二行\r\n第三行", "1234567890123456789012345678", "=SUM(A1:A2)"},
    {"3", "", "", "+86", "-1"},
    {"4", "007", "a\tb\\c\x01", "@home", "  前后空格  "},
};
const Rows kBankRows = {
    {"1", "0", "成功", "0102", "6222020200112233445566778899", "上海某某有限公司", "中国工商银行"},
};
const std::vector<std::string> kReserveTitles = {"序号", "结果代码", "结果说明", "备付金账户",
                                                 "账户名称"};
const std::vector<std::string> kBankTitles = {"序号",     "结果代码", "结果说明", "银行代码",
                                              "银行账户", "账户全称", "银行全称"};

// A row as read_table.py prints it, its cells escaped as the terminal front end's lists are.
std::string RowLine(const std::vector<std::string>& cells) {
    std::string line = "row ";
    for (std::size_t i = 0; i < cells.size(); ++i)
        line += (i > 0 ? "\t" : "") + EscapeCell(cells[i]);
    return line + "\n";
}

std::string Sheet(const std::vector<std::string>& titles, const Rows& rows) {
    std::string text = RowLine(titles);
    for (const auto& row : rows)
        text += RowLine(row);
    return text;
}

std::string ReadBack(const std::string& path) {
    const std::string command =
        std::string(QUILLMARK_PYTHON) + " " + QUILLMARK_READ_TABLE + " '" + path + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "popen failed";
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> DirectoryNames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Export, FormatComesFromTheExtension) {
    EXPECT_EQ(ExportFormatOf("a/b.csv"), ExportFormat::Csv);
    EXPECT_EQ(ExportFormatOf("结果.XLSX"), ExportFormat::Xlsx);
    EXPECT_EQ(ExportFormatOf("b.xls"), std::nullopt);
    EXPECT_EQ(ExportFormatOf("csv"), std::nullopt);
}

TEST(Export, FilesReadBackAsTheListShowsThem) {
    const std::string reserveSheet = Sheet(kReserveTitles, kReserveRows);
    const std::string bankSheet = Sheet(kBankTitles, kBankRows);
    // Both lists in one CSV: the kind column first, then every title once.
    std::string combinedCsv =
        "sheet -\n" + RowLine({"账户类别", "序号", "结果代码", "结果说明", "备付金账户", "账户名称",
                               "银行代码", "银行账户", "账户全称", "银行全称"});
    for (const auto& row : kReserveRows)
        combinedCsv +=
            RowLine({"A股备付金账户", row[0], row[1], row[2], row[3], row[4], "", "", "", ""});
    for (const auto& row : kBankRows)
        combinedCsv +=
            RowLine({"银行账户", row[0], row[1], row[2], "", "", row[3], row[4], row[5], row[6]});

    const struct {
        const char* name;
        bool bothLists;
        std::string expected;
    } cases[] = {
        {"reserve.csv", false, "sheet -\n" + reserveSheet},
        {"both.csv", true, combinedCsv},
        // Widths fit the longest text, wide characters counted twice, plus a margin.
        {"reserve.xlsx", false,
         "sheet A股备付金账户 frozen=1 widths=7,11,24,31,15\n" + reserveSheet},
        {"both.xlsx", true,
         "sheet A股备付金账户 frozen=1 widths=7,11,24,31,15\n" + reserveSheet +
             "sheet 银行账户 frozen=1 widths=7,11,11,11,31,19,15\n" + bankSheet},
    };
    CliTempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ExportTable> tables{MakeTable("A股备付金账户", kReserveTitles, kReserveRows)};
        if (c.bothLists)
            tables.push_back(MakeTable("银行账户", kBankTitles, kBankRows));
        const std::string path = (dir.Path() / c.name).string();
        ASSERT_EQ(ExportTables(path, tables), "");
        EXPECT_EQ(ReadBack(path), c.expected);
    }
    // Nothing but the files asked for: no temporary file is left beside them.
    EXPECT_EQ(DirectoryNames(dir.Path()),
              (std::vector<std::string>{"both.csv", "both.xlsx", "reserve.csv", "reserve.xlsx"}));
}

TEST(Export, CsvIsUtf8WithByteOrderMarkAndCrLfRecords) {
    CliTempDir dir;
    const Rows rows = {{"1", "中"}};
    const std::string path = (dir.Path() / "a.csv").string();
    ASSERT_EQ(ExportTables(path, {MakeTable("k", {"序号", "名"}, rows)}), "");
    EXPECT_EQ(FileText(path), "\xEF\xBB\xBF序号,名\r\n1,中\r\n");
}

TEST(Export, AFailedWriteNamesThePathAndLeavesNothingHalfWritten) {
    CliTempDir dir;
    std::filesystem::create_directory(dir.Path() / "taken.csv");
    std::ofstream(dir.Path() / "file") << "x";
    std::ofstream(dir.Path() / "old.csv") << "old";
    std::ofstream(dir.Path() / "old.xlsx") << "old";
    const auto before = DirectoryNames(dir.Path());

    // A big table, so that a file-size limit stops the writing midway.
    const Rows bigRows(20000, {"1", "0", "成功", "000123456789012345", "某某证券营业部"});
    const struct {
        const char* path;
        const char* reason; // part of the message
        bool sizeLimit;
    } cases[] = {
        {"missing/out.csv", "No such file or directory", false},
        {"file/out.xlsx", "Not a directory", false},
        {"taken.csv", "Is a directory", false},
        {"out.txt", ".csv 或 .xlsx", false},
        {"old.csv", "File too large", true},
        {"old.xlsx", "没有完整写入", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string path = (dir.Path() / c.path).string();
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        if (c.sizeLimit) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit = saved;
            limit.rlim_cur = 64 * 1024;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        const std::string message =
            ExportTables(path, {MakeTable("A股备付金账户", kReserveTitles, bigRows)});
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(message.rfind("导出结果失败：" + path + "\n", 0), 0u) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_EQ(DirectoryNames(dir.Path()), before);
    }
    EXPECT_EQ(FileText(dir.Path() / "old.csv"), "old");
    EXPECT_EQ(FileText(dir.Path() / "old.xlsx"), "old");
}

int OpenDescriptors() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}

TEST(Export, ProgressCountsEveryRowAndACancelLeavesNothing) {
    CliTempDir dir;
    std::ofstream(dir.Path() / "old.csv") << "old";
    std::ofstream(dir.Path() / "old.xlsx") << "old";
    const auto before = DirectoryNames(dir.Path());
    const Rows rows(10000, {"1", "0", "成功", "000123456789012345", "某某证券营业部"});
    constexpr std::size_t kTotal = 20000;
    // A cancel may come at any row, not only when progress is reported: the
    // cells count the rows read and give the cancel at the row a case names.
    std::atomic<bool> cancel = false;
    std::size_t rowsRead = 0;
    std::size_t cancelAtRow = 0;
    ExportTable counted = MakeTable("A股备付金账户", kReserveTitles, rows);
    counted.cell = [&](std::size_t row, std::size_t column) {
        if (column == 0 && ++rowsRead == cancelAtRow)
            cancel = true;
        return rows[row][column];
    };
    const std::vector<ExportTable> tables{counted, counted};

    enum class CancelAt { Never, Half, NinetyNine, Packing };
    const struct {
        const char* name;
        CancelAt at;
    } cases[] = {
        {"old.csv", CancelAt::Never},      {"old.xlsx", CancelAt::Never},
        {"old.csv", CancelAt::Half},       {"old.xlsx", CancelAt::Half},
        {"old.csv", CancelAt::NinetyNine}, {"old.xlsx", CancelAt::NinetyNine},
        {"old.xlsx", CancelAt::Packing},   {"new.xlsx", CancelAt::Packing},
        {"new.csv", CancelAt::NinetyNine},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " cancel " + std::to_string(static_cast<int>(c.at)));
        const std::string path = (dir.Path() / c.name).string();
        cancel = false;
        rowsRead = 0;
        cancelAtRow = c.at == CancelAt::Half         ? kTotal / 2
                      : c.at == CancelAt::NinetyNine ? kTotal * 99 / 100
                                                     : 0;
        std::vector<std::size_t> reports;
        bool sawPacking = false;
        ExportControl control;
        control.cancel = &cancel;
        control.progress = [&](std::size_t done, std::size_t total, bool packing) {
            EXPECT_EQ(total, kTotal);
            reports.push_back(done);
            sawPacking = sawPacking || packing;
            if (c.at == CancelAt::Packing && packing)
                cancel = true;
        };
        const int descriptors = OpenDescriptors();
        const std::string result = ExportTables(path, tables, control);
        EXPECT_EQ(OpenDescriptors(), descriptors) << "a descriptor left open";
        ASSERT_FALSE(reports.empty());
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
        if (c.at == CancelAt::Never) {
            EXPECT_EQ(result, "");
            EXPECT_EQ(reports.back(), kTotal);
            EXPECT_EQ(sawPacking, std::string(c.name).ends_with(".xlsx"));
            EXPECT_NE(FileText(path), "old");
            std::ofstream(path, std::ios::trunc) << "old";
        } else {
            EXPECT_EQ(result, kExportCancelled);
            EXPECT_EQ(rowsRead, c.at == CancelAt::Packing ? kTotal : cancelAtRow)
                << "rows read after the cancel";
            EXPECT_EQ(DirectoryNames(dir.Path()), before) << "a file left behind";
        }
    }
    EXPECT_EQ(FileText(dir.Path() / "old.csv"), "old");
    EXPECT_EQ(FileText(dir.Path() / "old.xlsx"), "old");
}

TEST(Export, AFolderThatDisappearsDuringTheExportIsAMessage) {
    CliTempDir dir;
    const Rows rows(5000, {"1", "0", "成功", "000123456789012345", "某某证券营业部"});
    for (const char* name : {"out.csv", "out.xlsx"}) {
        SCOPED_TRACE(name);
        const auto folder = dir.Path() / "gone";
        std::filesystem::create_directory(folder);
        ExportTable table = MakeTable("A股备付金账户", kReserveTitles, rows);
        table.cell = [&](std::size_t row, std::size_t column) {
            if (row == 2500 && column == 0)
                std::filesystem::remove_all(folder);
            return rows[row][column];
        };
        const std::string path = (folder / name).string();
        const std::string message = ExportTables(path, {table});
        EXPECT_EQ(message.rfind("导出结果失败：" + path + "\n", 0), 0u) << message;
        EXPECT_FALSE(std::filesystem::exists(folder));
        EXPECT_TRUE(DirectoryNames(dir.Path()).empty());
    }
}

TEST(Export, ASheetHoldsNoMoreRowsThanASpreadsheetCan) {
    CliTempDir dir;
    ExportTable table;
    table.kind = "银行账户";
    table.titles = {"序号"};
    table.rows = 1048576;
    table.cell = [](std::size_t, std::size_t) { return std::string("1"); };
    const std::string path = (dir.Path() / "big.xlsx").string();
    EXPECT_NE(ExportTables(path, {table}).find("1048575"), std::string::npos);
    EXPECT_TRUE(DirectoryNames(dir.Path()).empty());
}

} // namespace
