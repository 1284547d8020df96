// "导出结果..." in each account list's context menu: the list as the core
// filled it goes to the file the operator names, in the format its extension
// (or the chosen file type) asks for; a file that cannot be written is a message.

#include "WindowTestSupport.h"

#include "ui/FileDialog.h"
#include "ui/ReportListView.h"
#include "ui/ReserveUploadDlg.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

QAction* ExportAction(CReportListView* view) {
    for (QAction* action : view->actions())
        if (action->objectName() == QStringLiteral("exportResultsAction"))
            return action;
    return nullptr;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class ExportActionTest : public QObject {
    Q_OBJECT

    RecordingPrompt prompt;
    std::unique_ptr<CReserveUploadDlg> dlg;
    QTemporaryDir dir;
    QTemporaryDir state;

    // Opens the list's context menu and returns its item texts.
    QStringList MenuTexts(CReportListView* view) {
        QStringList texts;
        QTimer::singleShot(0, [&texts] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu != nullptr);
            for (QAction* action : menu->actions())
                texts << (action->isSeparator()
                              ? QStringLiteral("-")
                              : action->text() + (action->isEnabled() ? "" : " (off)"));
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                view->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(view->viewport(), &event);
        return texts;
    }

private slots:
    void initTestCase() {
        QVERIFY(state.isValid());
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
    }

    void init() {
        prompt.messages.clear();
        dlg = std::make_unique<CReserveUploadDlg>(&prompt);
    }
    void cleanup() {
        dlg.reset();
        QCOMPARE(VisibleTopLevelWidgets(), 0);
    }

    void eachListsMenuOffersTheExportOnceItHasRows() {
        CReportListView* list = dlg->m_listReserve;
        // The list's items, then the window's.
        const QStringList texts = MenuTexts(list);
        QCOMPARE(texts.mid(0, 3), (QStringList{"复制(&C) (off)", "导出结果... (off)", "-"}));
        QVERIFY(texts.contains("关于 Quillmark(&A)..."));
        list->Model().InsertItem(0, "1");
        QCOMPARE(MenuTexts(list).at(1), QStringLiteral("导出结果..."));
        QVERIFY(ExportAction(dlg->m_listBank) != nullptr);
    }

    void theListGoesToTheNamedFile() {
        CReportListModel& bank = dlg->m_listBank->Model();
        bank.InsertItem(0, "1");
        bank.SetItemText(0, 1, "0000");
        bank.SetItemText(0, 4, "0012345678901234567890123456");
        bank.SetItemText(0, 5, "某\"公司\",上海");

        const struct {
            QString typed;
            QString filter;
            QString written;
        } cases[] = {
            {"bank.csv", "", "bank.csv"},
            {"typed", "CSV 文件，供程序读取 (*.csv)", "typed.csv"},
            {"typed", "Excel 工作簿 (*.xlsx)", "typed.xlsx"},
        };
        for (const auto& c : cases) {
            CFileDialog::SetNextAnswer({dir.filePath(c.typed), c.filter});
            ExportAction(dlg->m_listBank)->trigger();
            QVERIFY(QFile::exists(dir.filePath(c.written)));
        }
        QCOMPARE(
            FileBytes(dir.filePath("bank.csv")),
            QByteArray("\xEF\xBB\xBF序号,结果代码,结果说明,银行代码,银行账户,账户全称,银行全称\r\n"
                       "1,0000,,,0012345678901234567890123456,\"某\"\"公司\"\",上海\",\r\n"));
        QVERIFY(FileBytes(dir.filePath("typed.xlsx")).startsWith("PK"));
        QVERIFY(prompt.messages.empty());
    }

    void aFileThatCannotBeWrittenIsAMessageAndACancelIsNothing() {
        dlg->m_listReserve->Model().InsertItem(0, "1");
        const QString path = dir.filePath("missing/out.csv");
        CFileDialog::SetNextAnswer({path, ""});
        ExportAction(dlg->m_listReserve)->trigger();
        QCOMPARE(prompt.messages.size(), std::size_t{1});
        QVERIFY(
            QString::fromStdString(prompt.messages[0]).startsWith("导出结果失败：" + path + "\n"));

        CFileDialog::SetNextAnswer({});
        ExportAction(dlg->m_listReserve)->trigger();
        QCOMPARE(prompt.messages.size(), std::size_t{1});
    }

    void theSaveDialogStartsWhereTheLastExportWentAndNamesListAndTime() {
        AccountWorkDir work;
        dlg->m_listReserve->Model().InsertItem(0, "1");
        QFile::remove(state.filePath("quillmark/export-folder"));
        const QString before = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
        CFileDialog::SetNextAnswer({});
        ExportAction(dlg->m_listReserve)->trigger();
        const QString after = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
        // First in the work directory, named after the list and the time.
        const QFileInfo first(CFileDialog::LastSuggestedPath());
        QCOMPARE(first.absolutePath(), QFileInfo(work.Path()).absoluteFilePath());
        QVERIFY2(first.fileName() == "A股备付金账户结果-" + before + ".xlsx" ||
                     first.fileName() == "A股备付金账户结果-" + after + ".xlsx",
                 qPrintable(first.fileName()));

        // Then where the operator exported to, remembered in the state directory.
        QDir(dir.path()).mkpath("exports");
        CFileDialog::SetNextAnswer({dir.filePath("exports/a.csv"), ""});
        ExportAction(dlg->m_listReserve)->trigger();
        QVERIFY(prompt.messages.empty());
        CFileDialog::SetNextAnswer({});
        ExportAction(dlg->m_listBank)->trigger();
        QCOMPARE(QFileInfo(CFileDialog::LastSuggestedPath()).absolutePath(),
                 QFileInfo(dir.filePath("exports")).absoluteFilePath());
        QVERIFY(QFile::exists(state.filePath("quillmark/export-folder")));

        // A remembered folder that is gone: the work directory again.
        QDir(dir.filePath("exports")).removeRecursively();
        CFileDialog::SetNextAnswer({});
        ExportAction(dlg->m_listBank)->trigger();
        QCOMPARE(QFileInfo(CFileDialog::LastSuggestedPath()).absolutePath(),
                 QFileInfo(work.Path()).absoluteFilePath());
    }

    void loadAndUploadAreOffWhileTheExportReadsTheLists() {
        // Enough rows that the worker is still at work when the loop first runs.
        CReportListModel& reserve = dlg->m_listReserve->Model();
        for (int i = 0; i < 100000; ++i)
            reserve.InsertItem(i, std::to_string(i + 1));
        QPushButton* load = Button(*dlg, "loadButton");
        load->setEnabled(true);
        bool checked = false;
        QTimer::singleShot(0, dlg.get(), [&] {
            QVERIFY(dlg->IsExportRunning());
            QVERIFY(!load->isEnabled());
            QVERIFY(!Button(*dlg, "uploadAllButton")->isEnabled());
            QVERIFY(!Button(*dlg, "uploadEachButton")->isEnabled());
            checked = true;
        });
        CFileDialog::SetNextAnswer({dir.filePath("big.xlsx"), ""});
        ExportAction(dlg->m_listReserve)->trigger();
        QVERIFY2(checked, "the check during the export did not run");
        QVERIFY(!dlg->IsExportRunning());
        QVERIFY(load->isEnabled());
        QVERIFY(!Button(*dlg, "uploadAllButton")->isEnabled());
        QVERIFY(QFile::exists(dir.filePath("big.xlsx")));
        QVERIFY(prompt.messages.empty());
    }
};

QTEST_MAIN(ExportActionTest)
#include "ExportActionTest.moc"
