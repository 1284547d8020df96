#include "ui/ExportProgress.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLocale>
#include <QMetaObject>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

// The dialog follows the worker this often: smooth enough, and cheap.
constexpr int kRefreshMs = 100;

// What the worker reports and the dialog reads.
struct SharedProgress {
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
    std::atomic<bool> packing{false};
    std::atomic<bool> cancel{false};
};

QString Rows(std::size_t count) {
    return QLocale(QLocale::C).toString(static_cast<qulonglong>(count));
}

void Refresh(QProgressDialog& dialog, const SharedProgress& shared) {
    const std::size_t total = shared.total.load();
    const std::size_t done = shared.done.load();
    QString text;
    if (shared.packing.load()) {
        // The library packs the workbook in one step it cannot interrupt.
        dialog.setRange(0, 0);
        text = QStringLiteral(
                   "已写入 %1 行，正在打包工作簿...\n打包中途无法停止，取消在打包完成后生效。")
                   .arg(Rows(done));
    } else {
        dialog.setRange(0, 1000);
        dialog.setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
        text = QStringLiteral("已写入 %1 / %2 行").arg(Rows(done), Rows(total));
    }
    if (shared.cancel.load())
        text += QStringLiteral("\n正在取消...");
    dialog.setLabelText(text);
}

// Escape and the window's close button ask the worker to stop, like the
// cancel button; the dialog stays until the worker has stopped.
class ExportProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;

    void reject() override { emit canceled(); }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        emit canceled();
    }
};

} // namespace

std::string ExportWithProgress(QWidget* parent, const std::string& path,
                               ExportTablesMaker makeTables) {
    SharedProgress shared;
    ExportProgressDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("exportProgress"));
    dialog.setWindowTitle(QStringLiteral("导出结果"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setCancelButtonText(QStringLiteral("取消"));
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    dialog.setMinimumWidth(360);
    // A cancel is a request to the worker; the dialog stays until it has stopped.
    QObject::disconnect(&dialog, &QProgressDialog::canceled, &dialog, &QProgressDialog::cancel);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&dialog, &shared] {
        shared.cancel = true;
        if (auto* button = dialog.findChild<QPushButton*>())
            button->setEnabled(false);
        Refresh(dialog, shared);
    });
    Refresh(dialog, shared);
    dialog.show();

    ExportControl control;
    control.cancel = &shared.cancel;
    control.progress = [&shared](std::size_t done, std::size_t total, bool packing) {
        shared.total = total;
        shared.done = done;
        shared.packing = packing;
    };

    QEventLoop loop;
    std::string result;
    std::thread worker([&] {
        const std::vector<ExportTable> tables = makeTables();
        std::size_t total = 0;
        for (const ExportTable& table : tables)
            total += table.rows;
        shared.total = total;
        result = ExportTables(path, tables, control);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &dialog, [&] { Refresh(dialog, shared); });
    refresh.start(kRefreshMs);
    loop.exec();
    worker.join();
    refresh.stop();
    dialog.hide();
    return result;
}
