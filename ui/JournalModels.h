#pragma once
// Table models over the operator's journal for the history dialog: the runs,
// one run's requests, and one run's results. Results are fetched from SQLite a
// page at a time as the view asks for rows, so a run of a million records
// opens, scrolls and searches without being loaded.

#include "journal/JournalReader.h"

#include <QAbstractTableModel>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <list>
#include <optional>
#include <unordered_map>
#include <vector>

// A read-only table under fixed column titles (UTF-8).
class CTitledTableModel : public QAbstractTableModel {
public:
    CTitledTableModel(std::vector<const char*> titles, QObject* parent);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<const char*> m_titles;
};

// Rows held whole, few enough to read at once: the runs, a run's requests.
template <class Row> class CRowListModel : public CTitledTableModel {
public:
    using CTitledTableModel::CTitledTableModel;

    void SetRows(std::vector<Row> rows) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    const Row* RowAt(int row) const {
        return row >= 0 && row < rowCount() ? &m_rows[static_cast<std::size_t>(row)] : nullptr;
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0
                                : static_cast<int>(std::min<std::size_t>(m_rows.size(), INT_MAX));
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        const Row* row = RowAt(index.row());
        return row != nullptr ? RowData(*row, index.column(), role) : QVariant();
    }

protected:
    virtual QVariant RowData(const Row& row, int column, int role) const = 0;

private:
    std::vector<Row> m_rows;
};

class CRunListModel : public CRowListModel<journal::RunInfo> {
    Q_OBJECT

public:
    explicit CRunListModel(QObject* parent = nullptr);

private:
    QVariant RowData(const journal::RunInfo& run, int column, int role) const override;
};

class CRequestListModel : public CRowListModel<journal::Request> {
    Q_OBJECT

public:
    explicit CRequestListModel(QObject* parent = nullptr);

private:
    QVariant RowData(const journal::Request& request, int column, int role) const override;
};

// A run's filtered results, read a page at a time and a few pages kept.
class CResultPager {
public:
    CResultPager(journal::JournalReader& reader, std::int64_t runId, journal::ResultFilter filter,
                 std::int64_t pageSize, std::size_t pagesKept);
    std::int64_t Count() const { return m_count; }
    // The result at `row` of the filtered list; null past its end.
    const journal::Result* At(std::int64_t row);

private:
    journal::JournalReader& m_reader;
    std::int64_t m_runId;
    journal::ResultFilter m_filter;
    std::int64_t m_pageSize;
    std::size_t m_pagesKept;
    std::int64_t m_count;
    std::unordered_map<std::int64_t, std::vector<journal::Result>> m_pages;
    std::list<std::int64_t> m_recent; // page numbers, most recently used first
};

// The result list's columns and their texts, shared by the view and the export.
std::vector<std::string> ResultColumnTitles();
std::string ResultCell(const journal::Result& result, int column);

class CResultListModel : public CTitledTableModel {
    Q_OBJECT

public:
    explicit CResultListModel(QObject* parent = nullptr);
    // Shows a run's results (none: no run) through `filter`; the reader must
    // outlive the model's use of it.
    void SetRun(journal::JournalReader* reader, std::optional<std::int64_t> runId,
                journal::ResultFilter filter);
    std::int64_t Count() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    mutable std::optional<CResultPager> m_pager;
};
