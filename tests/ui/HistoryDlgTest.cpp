// The history dialog over a real journal file: runs newest first with the
// unfinished one marked, a run's results filtered and searched, its requests,
// its export, and the window's item that opens it.

#include "WindowTestSupport.h"

#include "journal/JournalWriter.h"
#include "tests/journal/JournalFiles.h"
#include "ui/FileDialog.h"
#include "ui/HistoryDlg.h"
#include "ui/JournalModels.h"
#include "ui/RecordActions.h"
#include "ui/ReserveUploadDlg.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include <memory>

namespace {

// A finished batch run of three reserve and two bank records, two of them
// not stored, then a per-record run the program did not see to its end.
void WriteRuns(const std::string& file) {
    journal::JournalWriter writer(file);
    writer.SetSession({"张三", "10.1.2.3", 7070});
    BeginRun(writer, StartOf("全部上传", "/srv", 1));
    SampleBatch batch = MakeSampleBatch({{"0000", "成功"},
                                         {"9720", "重复记录"},
                                         {"0000", "成功"},
                                         {"0000", "成功"},
                                         {"9999", "户名不符"}});
    batch.facts.outcome = 1; // accepted: the 9720 account was already there
    Exchanged(writer, batch.requests, batch.results, batch.facts);
    Shown(writer, "上传A股备付金成功2条,失败1条;\n上传银行账户成功1条,失败1条;");
    EndRun(writer);

    upload::RunStart scheduled = StartOf("逐笔上传", "/srv", 1);
    scheduled.origin = "scheduled";
    BeginRun(writer, scheduled);
    batch.facts.outcome = 1;
    Exchanged(writer, {&batch.requests[0], 1}, {&batch.results[0], 1}, batch.facts);
}

QString Cell(const QTableView* view, int row, int column) {
    return view->model()->index(row, column).data().toString();
}

} // namespace

class HistoryDlgTest : public QObject {
    Q_OBJECT

    JournalDir dir;
    std::vector<std::string> messages;
    std::unique_ptr<CHistoryDlg> dlg;

private slots:
    void initTestCase() { WriteRuns(dir.File()); }
    void init() {
        messages.clear();
        std::string error;
        auto reader = journal::JournalReader::Open(dir.File(), error);
        QVERIFY2(reader, error.c_str());
        dlg = std::make_unique<CHistoryDlg>(
            std::move(reader), [this](const std::string& text) { messages.push_back(text); });
    }
    void cleanup() {
        dlg.reset();
        QCOMPARE(VisibleTopLevelWidgets(), 0);
    }

    void runsNewestFirstTheUnfinishedMarked() {
        const QTableView* runs = dlg->RunsView();
        QCOMPARE(runs->model()->rowCount(), 2);
        // What the file holds, for the operator who prunes it.
        const auto* facts = dlg->findChild<QLabel*>(QStringLiteral("fileFactsLabel"));
        QVERIFY(facts != nullptr);
        QVERIFY2(facts->text().contains(QStringLiteral(" KB,共 2 次上传")),
                 qPrintable(facts->text()));
        QCOMPARE(Cell(runs, 0, 3), QStringLiteral("逐笔上传"));
        QVERIFY(Cell(runs, 0, 8).startsWith(QStringLiteral("（未完成）")));
        const QStringList finished = {Cell(runs, 1, 1), Cell(runs, 1, 2), Cell(runs, 1, 3),
                                      Cell(runs, 1, 4), Cell(runs, 1, 5), Cell(runs, 1, 6),
                                      Cell(runs, 1, 7), Cell(runs, 1, 8)};
        QCOMPARE(finished, (QStringList{"张三", "10.1.2.3:7070", "全部上传", "5", "3", "1", "2",
                                        "上传A股备付金成功2条,失败1条;"}));
        // Where each run came from: the daily schedule, the terminal.
        QCOMPARE(runs->model()->headerData(9, Qt::Horizontal).toString(), QStringLiteral("来源"));
        QCOMPARE(Cell(runs, 0, 9), QStringLiteral("定时"));
        QCOMPARE(Cell(runs, 1, 9), QStringLiteral("终端"));
        // The newest run is shown at once.
        QCOMPARE(dlg->Results().Count(), 1);
    }

    void aRunsResultsFilteredAndSearched() {
        const QTableView* results = dlg->ResultsView();
        QAbstractItemModelTester tester(results->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        dlg->SelectRun(1);
        QCOMPARE(results->model()->rowCount(), 5);
        QCOMPARE(
            (QStringList{Cell(results, 4, 0), Cell(results, 4, 1), Cell(results, 4, 2),
                         Cell(results, 4, 6), Cell(results, 4, 7)}),
            (QStringList{"2", "银行账户", "6222000000000000000000000002", "9999", "户名不符"}));

        auto* failedOnly = dlg->findChild<QCheckBox*>("failedOnlyCheck");
        auto* search = dlg->findChild<QLineEdit*>("searchEdit");
        const struct {
            bool failed;
            QString search;
            QStringList accounts;
        } cases[] = {
            {true, "", {"000124", "6222000000000000000000000002"}},
            {false, "甲", {"000123", "777", "6222000000000000000000000001"}},
            {false, "00012", {"000123", "000124"}},
            {true, "甲", {}},
        };
        for (const auto& c : cases) {
            failedOnly->setChecked(c.failed);
            search->setText(c.search);
            dlg->ApplyFilter();
            QStringList accounts;
            for (int row = 0; row < results->model()->rowCount(); ++row)
                accounts << Cell(results, row, 2);
            QCOMPARE(accounts, c.accounts);
        }
    }

    void requestsAreReadWhenTheirTabIsShown() {
        dlg->SelectRun(1);
        QCOMPARE(dlg->RequestsView()->model()->rowCount(), 0);
        dlg->findChild<QTabWidget*>()->setCurrentWidget(dlg->RequestsView());
        QCOMPARE(dlg->RequestsView()->model()->rowCount(), 1);
        QCOMPARE(Cell(dlg->RequestsView(), 0, 1), QStringLiteral("2026120700000001"));
        QCOMPARE(Cell(dlg->RequestsView(), 0, 4), QStringLiteral("完成"));
    }

    void theRunExportsAsTheListShowsIt() {
        dlg->SelectRun(1);
        dlg->findChild<QCheckBox*>("failedOnlyCheck")->setChecked(true);
        const QString path = QString::fromStdString(dir.Path().string()) + "/failed.csv";
        CFileDialog::SetNextAnswer({path, ""});
        dlg->ExportRun();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("\xEF\xBB\xBF序号,类别,账户号码,账户名称,银行代码,银行名称,结果代码,"
                            "结果说明\r\n2,A股备付金账户,000124,乙公司,,,9720,重复记录\r\n"
                            "2,银行账户,6222000000000000000000000002,丙公司,0103,农业银行,9999,"
                            "户名不符\r\n"));
        CFileDialog::SetNextAnswer({path + "/nowhere.csv", ""});
        dlg->ExportRun();
        QCOMPARE(messages.size(), std::size_t{1});
    }

    void theWindowsItemOpensTheJournalItIsGiven() {
        RecordingPrompt prompt;
        CReserveUploadDlg window(&prompt);
        QAction* item = window.findChild<QAction*>("historyAction");
        QVERIFY(item != nullptr);
        QVERIFY(window.actions().contains(item));
        SetHistoryJournalFile((dir.Path() / "missing.sqlite3").string());
        item->trigger();
        QCOMPARE(prompt.messages.size(), std::size_t{1});
        QVERIFY(prompt.messages[0].find("missing.sqlite3") != std::string::npos);
        SetHistoryJournalFile({});
    }
};

QTEST_MAIN(HistoryDlgTest)
#include "HistoryDlgTest.moc"
