#pragma once
// The rows of one account list as the core fills them (IReportList) and as Qt
// views show them (a table model). Rows and cell changes reach the views in
// batches from the event loop, so a load of a million rows costs one insert
// notice, not a million.

#include "support/ReportList.h"
#include "ui/CellStore.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QString>

#include <string>
#include <vector>

struct ReportColumn {
    QString title;
    int width; // pixels
};

class CReportListModel : public QAbstractTableModel, public IReportList {
    Q_OBJECT

public:
    explicit CReportListModel(std::vector<ReportColumn> columns = {}, QObject* parent = nullptr);

    // Replaces the columns; the rows are emptied.
    void SetColumns(std::vector<ReportColumn> columns);

    // IReportList, as the core sees the list: the rows it has written, published or not.
    void DeleteAllItems() override;
    int GetItemCount() const override;
    int InsertItem(int row, const std::string& text) override;
    void SetItemText(int row, int column, const std::string& text) override;
    bool ReserveItems(int count) override;
    bool IsShortOfMemory() const override { return m_shortOfMemory; }

    // A cell exactly as the core wrote it (UTF-8).
    std::string CellText(int row, int column) const;
    const std::vector<ReportColumn>& Columns() const { return m_columns; }

    // Tells the views about the rows and cells changed since the last call.
    // Runs by itself once control is back in the event loop.
    void Publish();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void SchedulePublish();
    void MarkChanged(int row);
    // Sets a cell; a text that finds no memory leaves the list short of memory.
    void StoreText(int row, int column, const std::string& text);

    std::vector<ReportColumn> m_columns;
    CCellStore m_cells;
    int m_publishedRows = 0;
    int m_changedFirst = -1;
    int m_changedLast = -1;
    bool m_publishQueued = false;
    bool m_shortOfMemory = false;
    QElapsedTimer m_lastPublish;
    static constexpr qint64 kPublishEveryMs = 16;
};
