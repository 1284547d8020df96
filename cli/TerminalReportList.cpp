#include "cli/TerminalReportList.h"

CTerminalReportList::CTerminalReportList(int columnCount)
    : m_columnCount(columnCount > 0 ? columnCount : 1) {}

void CTerminalReportList::DeleteAllItems() {
    m_rows.clear();
}

int CTerminalReportList::GetItemCount() const {
    return static_cast<int>(m_rows.size());
}

int CTerminalReportList::InsertItem(int row, const std::string& text) {
    // Like the window's list: a row index past the end appends.
    if (row < 0 || row > GetItemCount())
        row = GetItemCount();
    std::vector<std::string> cells(static_cast<std::size_t>(m_columnCount));
    cells[0] = text;
    m_rows.insert(m_rows.begin() + row, std::move(cells));
    return row;
}

void CTerminalReportList::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= GetItemCount() || column < 0 || column >= m_columnCount)
        return;
    m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
}

const std::string& CTerminalReportList::Cell(int row, int column) const {
    return m_rows.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column));
}

void CTerminalReportList::Print(std::ostream& out, std::string_view name) const {
    for (const auto& row : m_rows) {
        out << name;
        for (const auto& cell : row)
            out << '\t' << EscapeCell(cell);
        out << '\n';
    }
}

std::string EscapeCell(std::string_view cell) {
    std::string out;
    out.reserve(cell.size());
    for (const char c : cell) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}
