#include "ui/RecordActions.h"

#include "accounts/ListColumns.h"
#include "export/TableExport.h"
#include "ui/FileDialog.h"
#include "ui/ReportListView.h"
#include "ui/ReserveUploadDlg.h"

#include <QAction>
#include <QDir>
#include <QEvent>

namespace {

constexpr const char* kCsvFilter = "CSV 文件，供程序读取 (*.csv)";
constexpr const char* kXlsxFilter = "Excel 工作簿 (*.xlsx)";

ExportTable ModelTable(const char* kind, const CReportListModel& model) {
    ExportTable table;
    table.kind = kind;
    for (const ReportColumn& column : model.Columns())
        table.titles.push_back(column.title.toStdString());
    // Every row the core has written, whether or not the views show it yet.
    table.rows = static_cast<std::size_t>(model.GetItemCount());
    table.cell = [&model](std::size_t row, std::size_t column) {
        return model.CellText(static_cast<int>(row), static_cast<int>(column));
    };
    return table;
}

void ExportList(CReserveUploadDlg& dlg, CReportListView& view, const char* kind) {
    const QString suggested =
        QDir::home().filePath(QString::fromUtf8(kind) + QStringLiteral("结果.xlsx"));
    const SaveFileAnswer answer = CFileDialog::GetSaveFileName(
        &dlg, QStringLiteral("导出结果"), suggested,
        QString::fromUtf8(kXlsxFilter) + QStringLiteral(";;") + QString::fromUtf8(kCsvFilter));
    if (answer.fileName.isEmpty())
        return;
    std::string path = answer.fileName.toStdString();
    // A name typed without an extension takes the one of the chosen file type.
    if (!ExportFormatOf(path))
        path += answer.selectedFilter == QString::fromUtf8(kCsvFilter) ? ".csv" : ".xlsx";
    const std::string failure = ExportTables(path, {ModelTable(kind, view.Model())});
    if (!failure.empty())
        dlg.ShowMessage(failure);
}

// Keeps the item greyed while an upload fills the lists, or when there is
// nothing to export, by looking just before the context menu opens.
class ExportEnabler : public QObject {
public:
    ExportEnabler(CReserveUploadDlg& dlg, CReportListView& view, QAction* action)
        : QObject(action), m_dlg(dlg), m_view(view), m_action(action) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ContextMenu)
            m_action->setEnabled(!m_dlg.IsUploadRunning() && m_view.Model().GetItemCount() > 0);
        return QObject::eventFilter(watched, event);
    }

private:
    CReserveUploadDlg& m_dlg;
    CReportListView& m_view;
    QAction* m_action;
};

void AddExportAction(CReserveUploadDlg& dlg, CReportListView& view, const char* kind) {
    auto* action = new QAction(QStringLiteral("导出结果..."), &view);
    action->setObjectName(QStringLiteral("exportResultsAction"));
    QObject::connect(action, &QAction::triggered, &view,
                     [&dlg, &view, kind] { ExportList(dlg, view, kind); });
    view.addAction(action);
    // The mouse opens the menu on the viewport, the keyboard on the view.
    auto* enabler = new ExportEnabler(dlg, view, action);
    view.installEventFilter(enabler);
    view.viewport()->installEventFilter(enabler);
}

} // namespace

void AddRecordActions(CReserveUploadDlg& dlg) {
    AddExportAction(dlg, *dlg.m_listReserve, kReserveListKind);
    AddExportAction(dlg, *dlg.m_listBank, kBankListKind);
}
