#pragma once
// A report list that keeps its rows in memory, for tests.

#include "support/ReportList.h"

#include <string>
#include <vector>

class RecordingReportList : public IReportList {
public:
    explicit RecordingReportList(int columns) : m_columns(columns) {}

    void DeleteAllItems() override { rows.clear(); }
    int GetItemCount() const override { return static_cast<int>(rows.size()); }
    int InsertItem(int row, const std::string& text) override {
        if (row < 0 || row > GetItemCount())
            row = GetItemCount();
        std::vector<std::string> cells(static_cast<std::size_t>(m_columns));
        cells[0] = text;
        rows.insert(rows.begin() + row, std::move(cells));
        return row;
    }
    void SetItemText(int row, int column, const std::string& text) override {
        ++cellWrites;
        if (row < 0 || row >= GetItemCount() || column < 0 || column >= m_columns) {
            ++ignoredWrites;
            return;
        }
        rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
    }

    const std::string& Cell(int row, int column) const {
        return rows.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column));
    }

    std::vector<std::vector<std::string>> rows;
    int cellWrites = 0;
    int ignoredWrites = 0;

private:
    int m_columns;
};
