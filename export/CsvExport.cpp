// CSV for programs: RFC 4180 (CRLF records, fields quoted when they hold a
// quote, comma or line break, quotes doubled), UTF-8 with a byte-order mark so
// spreadsheet programs pick the right encoding. Cells are written as they are:
// no formula escaping, so a program reads the true value.

#include "export/ExportWriters.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

class CsvFile {
public:
    explicit CsvFile(const std::string& path) : m_file(std::fopen(path.c_str(), "wb")) {
        if (m_file == nullptr)
            m_error = errno;
        else
            std::setvbuf(m_file, nullptr, _IOFBF, 1 << 20);
    }
    ~CsvFile() {
        if (m_file != nullptr)
            std::fclose(m_file);
    }
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    void Raw(std::string_view bytes) {
        if (m_error == 0 && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
            m_error = errno != 0 ? errno : EIO;
    }

    void Field(std::string_view text, bool first) {
        if (!first)
            Raw(",");
        if (text.find_first_of("\",\r\n") == std::string_view::npos) {
            Raw(text);
            return;
        }
        Raw("\"");
        std::size_t start = 0;
        for (auto quote = text.find('"'); quote != std::string_view::npos;
             quote = text.find('"', start)) {
            Raw(text.substr(start, quote + 1 - start));
            Raw("\"");
            start = quote + 1;
        }
        Raw(text.substr(start));
        Raw("\"");
    }

    void EndRecord() { Raw("\r\n"); }

    // Returns 0 or the error of the first write that failed, the final flush included.
    int Close() {
        if (m_file == nullptr)
            return m_error;
        if (std::fclose(m_file) != 0 && m_error == 0)
            m_error = errno != 0 ? errno : EIO;
        m_file = nullptr;
        return m_error;
    }

private:
    std::FILE* m_file;
    int m_error = 0;
};

} // namespace

std::string WriteCsv(const std::string& path, const std::vector<ExportTable>& tables,
                     ExportTicker& ticker) {
    // Several tables share one header: the kind column, then every title in
    // the order it first appears. Each row fills the columns of its own table.
    const bool withKind = tables.size() > 1;
    std::vector<std::string> header;
    std::map<std::string, std::size_t> positionOf;
    if (withKind)
        header.push_back(kExportKindTitle);
    std::vector<std::vector<std::size_t>> positions;
    for (const ExportTable& table : tables) {
        auto& tablePositions = positions.emplace_back();
        for (const std::string& title : table.titles) {
            auto [it, added] = positionOf.try_emplace(title, header.size());
            if (added)
                header.push_back(title);
            tablePositions.push_back(it->second);
        }
    }

    CsvFile file(path);
    file.Raw("\xEF\xBB\xBF");
    for (std::size_t i = 0; i < header.size(); ++i)
        file.Field(header[i], i == 0);
    file.EndRecord();

    std::vector<std::string> record(header.size());
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const ExportTable& table = tables[t];
        for (std::size_t row = 0; row < table.rows; ++row) {
            for (std::string& field : record)
                field.clear();
            if (withKind)
                record[0] = table.kind;
            for (std::size_t column = 0; column < table.titles.size(); ++column)
                record[positions[t][column]] = table.cell(row, column);
            for (std::size_t i = 0; i < record.size(); ++i)
                file.Field(record[i], i == 0);
            file.EndRecord();
            if (!ticker.Row())
                return kExportCancelled;
        }
    }
    const int error = file.Close();
    ticker.RowsDone(false);
    return error == 0 ? std::string() : std::strerror(error);
}
