#include "ui/ReportListModel.h"

#include <QTimer>

#include "ui/DisplayText.h"

#include <QMetaObject>

#include <new>

CReportListModel::CReportListModel(std::vector<ReportColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns)),
      m_cells(static_cast<int>(m_columns.size())) {}

void CReportListModel::SetColumns(std::vector<ReportColumn> columns) {
    beginResetModel();
    m_columns = std::move(columns);
    m_cells = CCellStore(static_cast<int>(m_columns.size()));
    m_shortOfMemory = false;
    m_publishedRows = 0;
    m_changedFirst = m_changedLast = -1;
    endResetModel();
}

void CReportListModel::DeleteAllItems() {
    beginResetModel();
    m_cells.Clear();
    m_shortOfMemory = false;
    m_publishedRows = 0;
    m_changedFirst = m_changedLast = -1;
    endResetModel();
}

int CReportListModel::GetItemCount() const {
    return m_cells.Rows();
}

bool CReportListModel::ReserveItems(int count) {
    return count >= 0 && m_cells.Reserve(static_cast<std::size_t>(count));
}

int CReportListModel::InsertItem(int row, const std::string& text) {
    const int count = m_cells.Rows();
    if (row < 0 || row > count)
        row = count;
    // With room for the row made first, nothing below fails half-way through
    // the views' insert notice.
    if (!m_cells.Reserve(1)) {
        m_shortOfMemory = true;
        return -1;
    }
    if (row < count) {
        // Rare: a row between existing ones. Views must see the rows before it first.
        Publish();
        beginInsertRows(QModelIndex(), row, row);
        m_cells.InsertRow(row);
        StoreText(row, 0, text);
        ++m_publishedRows;
        endInsertRows();
        return row;
    }
    m_cells.InsertRow(row);
    StoreText(row, 0, text);
    SchedulePublish();
    return row;
}

void CReportListModel::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= m_cells.Rows() || column < 0 || column >= m_cells.Columns())
        return;
    StoreText(row, column, text);
    MarkChanged(row);
}

void CReportListModel::StoreText(int row, int column, const std::string& text) {
    try {
        m_cells.Set(row, column, text);
    } catch (const std::bad_alloc&) {
        m_shortOfMemory = true; // the cell keeps its old text
    }
}

std::string CReportListModel::CellText(int row, int column) const {
    if (row < 0 || row >= m_cells.Rows() || column < 0 || column >= m_cells.Columns())
        return {};
    return std::string(m_cells.Get(row, column));
}

void CReportListModel::Publish() {
    m_publishQueued = false;
    m_lastPublish.start();
    const int rows = m_cells.Rows();
    if (rows > m_publishedRows) {
        beginInsertRows(QModelIndex(), m_publishedRows, rows - 1);
        m_publishedRows = rows;
        endInsertRows();
    }
    if (m_changedFirst >= 0) {
        const int first = m_changedFirst;
        const int last = std::min(m_changedLast, m_publishedRows - 1);
        m_changedFirst = m_changedLast = -1;
        if (first <= last)
            emit dataChanged(index(first, 0), index(last, columnCount() - 1), {Qt::DisplayRole});
    }
}

void CReportListModel::SchedulePublish() {
    if (m_publishQueued)
        return;
    m_publishQueued = true;
    // At most about sixty notices a second: a per-record upload writes a row
    // after every record, and each notice repaints the views.
    const qint64 since = m_lastPublish.isValid() ? m_lastPublish.elapsed() : kPublishEveryMs;
    if (since >= kPublishEveryMs)
        QMetaObject::invokeMethod(this, &CReportListModel::Publish, Qt::QueuedConnection);
    else
        QTimer::singleShot(static_cast<int>(kPublishEveryMs - since), Qt::PreciseTimer, this,
                           &CReportListModel::Publish);
}

void CReportListModel::MarkChanged(int row) {
    // Rows not yet published are new to the views anyway.
    if (row >= m_publishedRows)
        return;
    if (m_changedFirst < 0 || row < m_changedFirst)
        m_changedFirst = row;
    if (row > m_changedLast)
        m_changedLast = row;
    SchedulePublish();
}

int CReportListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_publishedRows;
}

int CReportListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant CReportListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_publishedRows || index.column() >= columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return DisplayText(m_cells.Get(index.row(), index.column()));
    case Qt::ToolTipRole: {
        // Long texts are cut off in a narrow column; the tool tip shows them whole.
        const std::string_view cell = m_cells.Get(index.row(), index.column());
        return cell.size() > 20 ? QVariant(DisplayText(cell)) : QVariant();
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return {};
    }
}

QVariant CReportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[static_cast<std::size_t>(section)].title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}
