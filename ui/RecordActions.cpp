#include "ui/RecordActions.h"

#include "accounts/ListColumns.h"
#include "export/TableExport.h"
#include "journal/JournalReader.h"
#include "journal/Schema.h"
#include "support/Text.h"
#include "ui/ExportFolder.h"
#include "ui/FileDialog.h"
#include "ui/HistoryDlg.h"
#include "ui/ReportListView.h"
#include "ui/ReserveUploadDlg.h"

#include <QAction>
#include <QDateTime>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

std::string& JournalFile() {
    static std::string path;
    return path;
}

// Converts a journal of an earlier version on a thread of its own, saying so,
// while the window paints; a large journal takes a while.
bool ConvertJournal(CReserveUploadDlg& dlg, const std::string& path, std::string& error) {
    QProgressDialog progress(QStringLiteral("上传记录文件正在转换为新的格式,请稍候..."), QString(),
                             0, 0, &dlg);
    progress.setWindowTitle(QStringLiteral("上传记录"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setCancelButton(nullptr);
    progress.setMinimumDuration(0);
    progress.show();
    std::atomic<bool> done{false};
    bool converted = false;
    std::string reason;
    std::thread worker([&] {
        converted = journal::MigrateFile(path, reason);
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start(50);
    loop.exec();
    worker.join();
    if (!converted)
        error = text::Format("上传记录文件[%s]无法读取:%s", path.c_str(), reason.c_str());
    return converted;
}

void ShowHistory(CReserveUploadDlg& dlg) {
    if (JournalFile().empty()) {
        dlg.ShowMessage("没有设置上传记录文件。");
        return;
    }
    std::string error;
    if (journal::JournalReader::NeedsConversion(JournalFile()) &&
        !ConvertJournal(dlg, JournalFile(), error)) {
        dlg.ShowMessage(error);
        return;
    }
    auto reader = journal::JournalReader::Open(JournalFile(), error);
    if (!reader) {
        dlg.ShowMessage(error);
        return;
    }
    CHistoryDlg history(
        std::move(reader), [&dlg](const std::string& text) { dlg.ShowMessage(text); }, &dlg);
    history.exec();
}

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
    if (dlg.IsUploadRunning() || dlg.IsExportRunning())
        return;
    const std::string path =
        AskExportPath(&dlg, SuggestedExportName(QString::fromUtf8(kind) + QStringLiteral("结果"),
                                                QDateTime::currentDateTime()));
    if (path.empty())
        return;
    // The worker reads the list's rows: nothing may load or upload meanwhile.
    dlg.SetExportRunning(true);
    const CReportListModel& model = view.Model();
    const std::string failure = ExportShowingProgress(
        &dlg, path, [kind, &model] { return std::vector{ModelTable(kind, model)}; });
    dlg.SetExportRunning(false);
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
            m_action->setEnabled(!m_dlg.IsUploadRunning() && !m_dlg.IsExportRunning() &&
                                 m_view.Model().GetItemCount() > 0);
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

    // Beside the about item, so both the window's and the lists' menus have it.
    auto* history = new QAction(QStringLiteral("上传记录..."), &dlg);
    history->setObjectName(QStringLiteral("historyAction"));
    QObject::connect(history, &QAction::triggered, &dlg, [&dlg] { ShowHistory(dlg); });
    dlg.addAction(history);
}

void SetHistoryJournalFile(std::string path) {
    JournalFile() = std::move(path);
}
