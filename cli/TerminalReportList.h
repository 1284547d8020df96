#pragma once
// A report list for the terminal: rows kept in memory and printed once the
// commands have run, one tab-separated line per row. The cells of all rows
// lie in one array, row after row, so that room for a whole load is one
// reservation that either succeeds or fails before the first row goes in.

#include "support/ReportList.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

class CTerminalReportList : public IReportList {
public:
    explicit CTerminalReportList(int columnCount);

    void DeleteAllItems() override;
    int GetItemCount() const override;
    int InsertItem(int row, const std::string& text) override;
    void SetItemText(int row, int column, const std::string& text) override;
    bool ReserveItems(int count) override;
    bool IsShortOfMemory() const override { return m_shortOfMemory; }

    const std::string& Cell(int row, int column) const;

    // Writes "<name>\t<cell 0>\t...\t<last cell>\n" for every row in row order.
    void Print(std::ostream& out, std::string_view name) const;

private:
    std::size_t CellIndex(int row, int column) const;

    int m_columnCount;
    std::vector<std::string> m_cells; // row-major, m_columnCount a row
    bool m_shortOfMemory = false;
};

// A cell as it goes into a tab-separated line: tab, line feed, carriage return
// and backslash are written as \t, \n, \r and \\ so a row stays one line.
std::string EscapeCell(std::string_view cell);
