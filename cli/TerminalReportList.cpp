#include "cli/TerminalReportList.h"

#include <new>
#include <stdexcept>

CTerminalReportList::CTerminalReportList(int columnCount)
    : m_columnCount(columnCount > 0 ? columnCount : 1) {}

void CTerminalReportList::DeleteAllItems() {
    m_cells.clear();
    m_shortOfMemory = false;
}

int CTerminalReportList::GetItemCount() const {
    return static_cast<int>(m_cells.size() / static_cast<std::size_t>(m_columnCount));
}

std::size_t CTerminalReportList::CellIndex(int row, int column) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(m_columnCount) +
           static_cast<std::size_t>(column);
}

bool CTerminalReportList::ReserveItems(int count) {
    if (count < 0)
        return false;
    const std::size_t columns = static_cast<std::size_t>(m_columnCount);
    const std::size_t rows =
        static_cast<std::size_t>(GetItemCount()) + static_cast<std::size_t>(count);
    if (rows > m_cells.max_size() / columns)
        return false;
    try {
        m_cells.reserve(rows * columns);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

int CTerminalReportList::InsertItem(int row, const std::string& text) {
    // Like the window's list: a row index past the end appends.
    if (row < 0 || row > GetItemCount())
        row = GetItemCount();
    try {
        const auto at = m_cells.begin() + static_cast<std::ptrdiff_t>(CellIndex(row, 0));
        m_cells.insert(at, static_cast<std::size_t>(m_columnCount), std::string());
    } catch (const std::bad_alloc&) {
        m_shortOfMemory = true;
        return -1;
    }
    SetItemText(row, 0, text);
    return row;
}

void CTerminalReportList::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= GetItemCount() || column < 0 || column >= m_columnCount)
        return;
    try {
        m_cells[CellIndex(row, column)] = text;
    } catch (const std::bad_alloc&) {
        m_shortOfMemory = true; // the cell keeps its old text
    }
}

const std::string& CTerminalReportList::Cell(int row, int column) const {
    if (row < 0 || row >= GetItemCount() || column < 0 || column >= m_columnCount)
        throw std::out_of_range("CTerminalReportList::Cell");
    return m_cells[CellIndex(row, column)];
}

void CTerminalReportList::Print(std::ostream& out, std::string_view name) const {
    for (int row = 0; row < GetItemCount(); ++row) {
        out << name;
        for (int column = 0; column < m_columnCount; ++column)
            out << '\t' << EscapeCell(m_cells[CellIndex(row, column)]);
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
