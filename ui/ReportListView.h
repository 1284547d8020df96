#pragma once
// A report-style list: grid lines, whole rows selected, left-aligned columns of
// fixed pixel widths that the operator may drag, a zero-width column included.
// Selected rows copy to the clipboard as tab-separated text.

#include "ui/ReportListModel.h"

#include <QTableView>

#include <vector>

class QAction;

class CReportListView : public QTableView {
    Q_OBJECT

public:
    explicit CReportListView(QWidget* parent = nullptr);

    // Sets the columns with their titles and pixel widths; the rows are emptied.
    void SetColumns(std::vector<ReportColumn> columns);

    CReportListModel& Model() { return m_model; }
    const CReportListModel& Model() const { return m_model; }

    // The selected rows, top to bottom, one line each, cells joined by tabs.
    QString SelectedRowsText() const;
    void CopySelection() const;

    QAction* CopyAction() const { return m_copyAction; }

    // True when the cell's text is wider than the cell shows it.
    bool IsCellCut(const QModelIndex& index) const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    // A cut-off cell shows its whole text as a tool tip.
    bool viewportEvent(QEvent* event) override;

private:
    CReportListModel m_model;
    QAction* m_copyAction;
};
