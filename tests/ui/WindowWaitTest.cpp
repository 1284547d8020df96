// The window while the communication object waits on a gateway that stalls:
// it keeps painting and shows the request's progress, mouse and key input
// given meanwhile has no effect then or later, and a close asked for during
// the wait is carried out when the upload is over. The real network client
// against the simulator on a thread of its own.

#include "WindowTestSupport.h"

#include "gateway/GatewayThread.h"
#include "support/net/NetworkCommunication.h"
#include "ui/ReportListView.h"
#include "ui/ReserveUploadDlg.h"
#include "ui/StatusLine.h"
#include "ui/WindowWaitHook.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

constexpr const char* kPassword = "pw-等待";

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

class WindowWaitTest : public QObject {
    Q_OBJECT

    std::unique_ptr<GatewayThread> gateway;
    std::unique_ptr<CNetworkCommunication> comm;
    std::unique_ptr<AccountWorkDir> work;
    RecordingPrompt prompt;
    std::unique_ptr<CReserveUploadDlg> dlg;

    // A logged-in window with records loaded; uploads stall for `delayMs`.
    void Start(int delayMs) {
        GatewayConfig config;
        config.listenPort = 0;
        config.operators.Set("op", "P0000001", kPassword, 1000);
        config.log = [](const std::string&) {};
        config.faults.delayMs = delayMs;
        config.faults.target = "upload";
        gateway = std::make_unique<GatewayThread>(std::move(config));
        std::string error;
        QVERIFY2(gateway->Start(error), error.c_str());
        comm = std::make_unique<CNetworkCommunication>();
        comm->SetTimeoutMs(10'000);
        SetGolbalCommunicaHandle(comm.get());

        work = std::make_unique<AccountWorkDir>();
        work->WriteReserveA({{"B001234567", "备付金甲"}, {"B007654321", "备付金乙"}});
        work->WriteBank({{"0102", "6222000011112222", "某证券公司", "工商银行上海分行"}});
        prompt.messages.clear();
        dlg = std::make_unique<CReserveUploadDlg>(&prompt);
        comm->SetStatusSink([this](const std::string& text) { dlg->ShowStatus(text); });
        Type(*dlg, "addressEdit", "127.0.0.1");
        Type(*dlg, "portEdit", QString::number(gateway->Port()));
        Type(*dlg, "operatorEdit", "op");
        Type(*dlg, "passwordEdit", QString::fromUtf8(kPassword));
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        Click(*dlg, "loginButton");
        Click(*dlg, "loadButton");
        QCOMPARE(prompt.messages, std::vector<std::string>{"登录成功!"});
        QVERIFY(Button(*dlg, "uploadAllButton")->isEnabled());
        prompt.messages.clear();
    }

private slots:
    void cleanup() {
        if (comm)
            comm->SetStatusSink({});
        dlg.reset();
        SetGolbalCommunicaHandle(nullptr);
        comm.reset();
        gateway.reset();
        work.reset();
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void aStalledBatchKeepsPaintingAndDropsInput() {
        Start(3000);
        PaintCounter counter;
        QWidget* viewport = dlg->m_listBank->viewport();
        viewport->installEventFilter(&counter);

        // Every 50 ms the list is uncovered, as another window moving off it
        // would; once the wait shows, the operator clicks and types.
        int paintsWhileWaiting = 0;
        bool inputGiven = false;
        QString waitShown;
        QTimer uncover;
        uncover.setInterval(50);
        connect(&uncover, &QTimer::timeout, this, [&] {
            viewport->update();
            if (!dlg->WaitHook()->IsWaiting())
                return;
            paintsWhileWaiting = counter.paints;
            if (waitShown.isEmpty())
                waitShown = dlg->StatusLine()->WaitText();
            if (!inputGiven) {
                inputGiven = true;
                Click(*dlg, "uploadAllButton");
                Click(*dlg, "uploadEachButton");
                QTest::keyClick(dlg.get(), Qt::Key_Escape);
                QTest::keyClick(dlg.get(), Qt::Key_F1);
                QTest::keyClick(dlg->findChild<QLineEdit*>("portEdit"), Qt::Key_9);
            }
        });
        uncover.start();
        QElapsedTimer took;
        took.start();
        Click(*dlg, "uploadAllButton");
        uncover.stop();

        std::string said;
        for (const std::string& message : prompt.messages)
            said += message + "\n";
        QVERIFY2(took.elapsed() >= 2700, said.c_str()); // a coarse timer may fire 5% early
        QVERIFY(inputGiven);
        QVERIFY2(paintsWhileWaiting >= 10, qPrintable(QString::number(paintsWhileWaiting)));
        QVERIFY2(waitShown.contains(QStringLiteral("秒")), qPrintable(waitShown));
        QVERIFY(dlg->StatusLine()->WaitText().isEmpty());
        // One batch, one message; no second run, no about box, no close, no typing.
        QCOMPARE(prompt.messages, std::vector<std::string>{"上传数据成功!"});
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->findChild<QLineEdit*>("portEdit")->text(), QString::number(gateway->Port()));
        QCOMPARE(dlg->m_listBank->Model().CellText(0, 1), std::string("0000"));
        viewport->removeEventFilter(&counter);
    }

    void aCloseDuringTheWaitIsCarriedOutWhenTheUploadEnds() {
        Start(600);
        bool closeAsked = false;
        QTimer closer;
        closer.setInterval(20);
        connect(&closer, &QTimer::timeout, this, [&] {
            if (!closeAsked && dlg->WaitHook()->IsWaiting()) {
                closeAsked = true;
                dlg->close();
                QVERIFY(dlg->isVisible()); // held off
            }
        });
        closer.start();
        QTimer::singleShot(0, dlg.get(), [&] { dlg->OnUploadAll(); });
        QCOMPARE(dlg->exec(), int(QDialog::Rejected));
        QVERIFY(closeAsked);
        QCOMPARE(prompt.messages, std::vector<std::string>{"上传数据成功!"});
    }
};

QTEST_MAIN(WindowWaitTest)
#include "WindowWaitTest.moc"
