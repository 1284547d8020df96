// An export on its worker thread: the progress dialog shows the rows written,
// the window's event loop runs throughout, and a cancel stops the worker and
// leaves no file. The cells wait on a gate the test opens, so what the test
// sees happens while the export is provably under way.

#include "WindowTestSupport.h"

#include "ui/ExportProgress.h"

#include <QApplication>
#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int kWaitMs = 30000;
constexpr std::size_t kRows = 20000;

// A table whose cells at `gateRow` wait until the gate opens.
struct GatedTable {
    std::atomic<bool> open{false};
    std::atomic<bool> reached{false};
    std::atomic<std::size_t> lastRow{0};
    std::size_t gateRow = kRows / 2;

    ExportTable Table() {
        ExportTable table;
        table.kind = "银行账户";
        table.titles = {"序号", "银行账户"};
        table.rows = kRows;
        table.cell = [this](std::size_t row, std::size_t column) {
            lastRow = row;
            if (row == gateRow && column == 0) {
                reached = true;
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (!open && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return std::to_string(row + column);
        };
        return table;
    }
};

QProgressDialog* ProgressDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

} // namespace

class ExportProgressTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // Runs the export over `window`; `during` runs in the event loop once the
    // worker waits at the gate, and must open it.
    std::string Export(QWidget& window, GatedTable& gated, const QString& name,
                       const std::function<void(QProgressDialog&)>& during) {
        QTimer probe;
        int ticks = 0;
        QObject::connect(&probe, &QTimer::timeout, [&ticks] { ++ticks; });
        probe.start(10);
        bool ran = false;
        QTimer::singleShot(0, &window, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(gated.reached, kWaitMs); // the worker at the gate
            QTRY_VERIFY_WITH_TIMEOUT(ProgressDialog() != nullptr, kWaitMs); // the dialog
            // The event loop goes on while the worker is held.
            const int before = ticks;
            QTRY_VERIFY_WITH_TIMEOUT(ticks >= before + 5, kWaitMs); // probe ticks
            during(*ProgressDialog());
            ran = true;
        });
        const std::string result =
            ExportWithProgress(&window, dir.filePath(name).toStdString(),
                               [&gated] { return std::vector{gated.Table()}; });
        gated.open = true;
        [&] { QVERIFY2(ran, "the checks during the export did not run"); }();
        return result;
    }

private slots:
    void cleanup() { QCOMPARE(VisibleTopLevelWidgets(), 0); }

    void theDialogCountsTheRowsAndTheWindowRunsMeanwhile() {
        QWidget window;
        window.show();
        GatedTable gated;
        const std::string result = Export(window, gated, "list.csv", [&](QProgressDialog& dialog) {
            QTRY_VERIFY_WITH_TIMEOUT(dialog.labelText().contains("/ 20000 行"), kWaitMs);
            QVERIFY(dialog.value() > 0);
            QVERIFY(QFileInfo::exists(dir.filePath("list.csv")) == false);
            gated.open = true;
        });
        QCOMPARE(result, std::string());
        QVERIFY(QFileInfo(dir.filePath("list.csv")).size() > 0);
        QCOMPARE(ProgressDialog(), nullptr);
    }

    void aCancelStopsTheWorkerAndLeavesNoFile() {
        const struct {
            const char* name;
            bool escape; // Escape instead of the button
        } cases[] = {{"cancel.csv", false}, {"cancel.xlsx", false}, {"escape.xlsx", true}};
        for (const auto& c : cases) {
            QDir(dir.path()).removeRecursively();
            QDir().mkpath(dir.path());
            QWidget window;
            window.show();
            GatedTable gated;
            const std::string result = Export(window, gated, c.name, [&](QProgressDialog& dialog) {
                if (c.escape)
                    QTest::keyClick(&dialog, Qt::Key_Escape);
                else
                    dialog.findChild<QPushButton*>()->click();
                QVERIFY(dialog.isVisible()); // until the worker has stopped
                QVERIFY(dialog.labelText().contains("正在取消"));
                gated.open = true;
            });
            QCOMPARE(result, std::string(kExportCancelled));
            QCOMPARE(gated.lastRow.load(), gated.gateRow);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        }
    }
};

QTEST_MAIN(ExportProgressTest)
#include "ExportProgressTest.moc"
