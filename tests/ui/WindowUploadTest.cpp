// Load and both uploads through the window's buttons against the scripted
// communication object: rows and results in the lists, the messages, and what
// happens when the operator presses buttons or closes the window while the
// per-record upload runs.

#include "WindowTestSupport.h"

#include "fakes/ResponseBuilder.h"
#include "fakes/ScriptedCommunication.h"
#include "support/Text.h"
#include "support/WorkDirLock.h"
#include "ui/ReportListView.h"
#include "ui/ReserveUploadDlg.h"
#include "ui/StatusLine.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <memory>

namespace {

constexpr int kRecordsPerRequest = 572;

// Answers every record with code 0000 and a Chinese text.
std::string AcceptWithText(const std::string& body) {
    ResponseScript script;
    const std::size_t records = body.size() / kRecordsPerRequest;
    script.resultCodes.assign(records, "0000");
    script.resultTexts.assign(records, text::Utf8ToGbk("成功"));
    return BuildResponse(script);
}

} // namespace

class WindowUploadTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AccountWorkDir> work;
    std::unique_ptr<ScriptedCommunication> comm;
    std::unique_ptr<ScopedCommunication> installed;
    RecordingPrompt prompt;
    std::unique_ptr<CReserveUploadDlg> dlg;

    void LoginAndLoad() {
        Type(*dlg, "operatorEdit", "op");
        Type(*dlg, "passwordEdit", "pw");
        Click(*dlg, "loginButton");
        Click(*dlg, "loadButton");
        prompt.messages.clear();
    }
    std::string Cell(CReportListView* list, int row, int column) {
        return list->Model().CellText(row, column);
    }

private slots:
    void init() {
        work = std::make_unique<AccountWorkDir>();
        work->WriteBank({{"0102", "6222000011112222", "某证券公司", "工商银行上海分行"},
                         {" 01 ", "100%s", "名称<b>", "银行"},
                         {"0103", "3", "c", "d"}});
        work->WriteReserveA({{"B001234567", "备付金甲"}, {"B007654321", "备付金乙"}});
        comm = std::make_unique<ScriptedCommunication>();
        comm->DefaultGatewayAddress = "127.0.0.1";
        comm->DefaultGatewayPort = 7070;
        comm->responder = AcceptWithText;
        installed = std::make_unique<ScopedCommunication>(comm.get());
        prompt.messages.clear();
        prompt.onMessage = nullptr;
        dlg = std::make_unique<CReserveUploadDlg>(&prompt);
    }
    void cleanup() {
        dlg.reset();
        installed.reset();
        comm.reset();
        work.reset();
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void loadFillsBothListsWithNumberedRows() {
        LoginAndLoad();
        QVERIFY(prompt.messages.empty());
        CReportListModel& bank = dlg->m_listBank->Model();
        CReportListModel& reserve = dlg->m_listReserve->Model();
        QCOMPARE(bank.GetItemCount(), 3);
        QCOMPARE(reserve.GetItemCount(), 2);
        QCOMPARE(Cell(dlg->m_listBank, 2, 0), std::string("3"));
        QCOMPARE(Cell(dlg->m_listBank, 0, 6), std::string("工商银行上海分行"));
        QCOMPARE(Cell(dlg->m_listBank, 1, 3), std::string("01"));
        QCOMPARE(Cell(dlg->m_listBank, 1, 4), std::string("100%s"));
        QCOMPARE(Cell(dlg->m_listReserve, 1, 4), std::string("备付金乙"));
        QCoreApplication::processEvents();
        QCOMPARE(bank.rowCount(), 3);
        QCOMPARE(bank.index(1, 5).data().toString(), QStringLiteral("名称<b>"));
    }

    void uploadAllWritesEveryRowAndCanRunAgain() {
        LoginAndLoad();
        Click(*dlg, "uploadAllButton");
        QCOMPARE(comm->CountCalls("SendAndReceive"), 1);
        QCOMPARE(prompt.messages, (std::vector<std::string>{"上传数据成功!"}));
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(Cell(dlg->m_listBank, row, 1), std::string("0000"));
            QCOMPARE(Cell(dlg->m_listBank, row, 2), std::string("成功"));
        }
        QCOMPARE(Cell(dlg->m_listReserve, 1, 2), std::string("成功"));
        QVERIFY(Button(*dlg, "uploadAllButton")->isEnabled());
        Click(*dlg, "uploadAllButton");
        QCOMPARE(comm->CountCalls("SendAndReceive"), 2);
    }

    void uploadWhileAnotherRunHoldsTheWorkDirectorySendsNothingAndSaysWhy() {
        LoginAndLoad();
        workdir::Lock scheduled(work->Path().toStdString(), "quillmark-cli --scheduled");
        QCOMPARE(scheduled.Acquire(std::chrono::milliseconds(0)), workdir::Lock::Result::Acquired);
        Click(*dlg, "uploadAllButton");
        QCOMPARE(comm->CountCalls("SendAndReceive"), 0);
        QCOMPARE(prompt.messages.size(), std::size_t{1});
        QVERIFY2(prompt.messages[0].find("]正被另一个上传使用(quillmark-cli --scheduled (pid ") !=
                     std::string::npos,
                 prompt.messages[0].c_str());
        QVERIFY(Button(*dlg, "uploadAllButton")->isEnabled());
        scheduled.Release();
        prompt.messages.clear();
        Click(*dlg, "uploadAllButton");
        QCOMPARE(comm->CountCalls("SendAndReceive"), 1);
        QCOMPARE(prompt.messages, (std::vector<std::string>{"上传数据成功!"}));
    }

    void uploadNewFromTheContextMenuSendsOnlyWhatIsNotStored() {
        auto* item = dlg->findChild<QAction*>("uploadNewAction");
        QVERIFY(item != nullptr && dlg->actions().contains(item));
        QCOMPARE(item->text(), QStringLiteral("只上传新增账户"));
        QVERIFY(!item->isEnabled());
        LoginAndLoad();
        QVERIFY(item->isEnabled());
        item->trigger();
        QCOMPARE(comm->CountCalls("SendAndReceive"), 1);
        QCOMPARE(prompt.messages,
                 (std::vector<std::string>{"上传A股备付金:新增2条,已存在0条,失败0条;\n上传银行账户:"
                                           "新增3条,已存在0条,失败0条;\n共发送请求1次,"
                                           "具体请看列表中结果说明."}));
        QCOMPARE(Cell(dlg->m_listReserve, 1, 1), std::string("0000"));
        item->trigger(); // everything is stored: nothing goes up again
        QCOMPARE(comm->CountCalls("SendAndReceive"), 1);
    }

    void uploadEachWritesRowByRowShowsProgressAndTheSummary() {
        LoginAndLoad();
        QStringList progress;
        comm->onSend = [&] { progress << dlg->StatusLine()->ProgressText(); };
        // The run's progress is gone before its message appears.
        bool progressAtMessage = true;
        prompt.onMessage = [&](const std::string&) {
            progressAtMessage = dlg->StatusLine()->ProgressVisible() ||
                                !dlg->StatusLine()->ShownProgress().isEmpty();
        };
        Click(*dlg, "uploadEachButton");
        prompt.onMessage = nullptr;
        QVERIFY2(!progressAtMessage, "the progress was still shown behind the message");
        QCOMPARE(comm->CountCalls("SendAndReceive"), 5);
        QCOMPARE(progress, (QStringList{"0 / 5", "1 / 5", "2 / 5", "3 / 5", "4 / 5"}));
        QVERIFY(!dlg->StatusLine()->ProgressVisible());
        QCOMPARE(prompt.messages.size(), 1u);
        QCOMPARE(prompt.messages[0],
                 std::string("上传A股备付金成功2条,失败0条;\n上传银行账户成功3条,失败0条;\n"
                             "具体请看列表中结果说明."));
        QCOMPARE(Cell(dlg->m_listBank, 2, 2), std::string("成功"));
        QCOMPARE(Cell(dlg->m_listReserve, 0, 1), std::string("0000"));
        QVERIFY(Button(*dlg, "uploadEachButton")->isEnabled());
    }

    void pressesDuringThePerRecordUploadAreNotActedOn() {
        LoginAndLoad();
        int sends = 0;
        comm->onSend = [&] {
            if (++sends != 2)
                return;
            // Delivered by the upload's pump between records.
            QTimer::singleShot(0, dlg.get(), [&] {
                Click(*dlg, "loadButton");
                Click(*dlg, "uploadAllButton");
                Click(*dlg, "uploadEachButton");
            });
        };
        Click(*dlg, "uploadEachButton");
        QCOMPARE(sends, 5);                   // no second upload nested in the first
        QCOMPARE(prompt.messages.size(), 1u); // only the summary
        QCOMPARE(dlg->m_listBank->Model().GetItemCount(), 3); // no load emptied the lists
        QCOMPARE(Cell(dlg->m_listBank, 2, 1), std::string("0000"));
    }

    void closingDuringThePerRecordUploadStopsAfterTheRecordInFlight() {
        LoginAndLoad();
        int sends = 0;
        comm->onSend = [&] {
            if (++sends == 2)
                QCoreApplication::postEvent(dlg.get(), new QCloseEvent);
        };
        QTimer::singleShot(0, dlg.get(), [&] { Click(*dlg, "uploadEachButton"); });
        QCOMPARE(dlg->exec(), int(QDialog::Rejected));
        QCOMPARE(sends, 2);
        QVERIFY(prompt.messages.empty());                              // no summary
        QCOMPARE(Cell(dlg->m_listReserve, 1, 1), std::string("0000")); // the record in flight
        QCOMPARE(Cell(dlg->m_listBank, 0, 1), std::string(" "));       // never sent: blank
        QVERIFY(!dlg->isVisible());
        QVERIFY(!dlg->IsUploadRunning());
        QCOMPARE(comm->statusTexts.back(), std::string());
        dlg.reset(); // and the window goes cleanly
        QCOMPARE(comm->CountCalls("Close"), 1);
    }
};

QTEST_MAIN(WindowUploadTest)
#include "WindowUploadTest.moc"
