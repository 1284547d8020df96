// The login button: the four field checks, the calls on the communication
// object in order, and what the window shows and switches on each outcome.

#include "WindowTestSupport.h"

#include "fakes/ScriptedCommunication.h"
#include "ui/ReserveUploadDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

class WindowLoginTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedCommunication> comm;
    std::unique_ptr<ScopedCommunication> installed;
    EventLog log;
    RecordingPrompt prompt;
    std::unique_ptr<CReserveUploadDlg> dlg;

    void Fill(const QString& op, const QString& pw, const QString& addr, const QString& port) {
        dlg->findChild<QLineEdit*>("operatorEdit")->setText(op);
        dlg->findChild<QLineEdit*>("passwordEdit")->setText(pw);
        dlg->findChild<QLineEdit*>("addressEdit")->setText(addr);
        dlg->findChild<QLineEdit*>("portEdit")->setText(port);
    }
    void PressLogin() {
        QTest::mouseClick(dlg->findChild<QPushButton*>("loginButton"), Qt::LeftButton);
    }
    bool LoggedIn() const {
        return !dlg->findChild<QPushButton*>("loginButton")->isEnabled() &&
               !dlg->findChild<QLineEdit*>("passwordEdit")->isEnabled() &&
               dlg->findChild<QPushButton*>("loadButton")->isEnabled();
    }

private slots:
    void init() {
        comm = std::make_unique<ScriptedCommunication>();
        comm->DefaultGatewayAddress = "127.0.0.1";
        comm->DefaultGatewayPort = 7070;
        installed = std::make_unique<ScopedCommunication>(comm.get());
        log.events.clear();
        prompt.messages.clear();
        prompt.onMessage = [this](const std::string& text) {
            log.Add("message:" + text + (LoggedIn() ? " (logged in)" : ""));
        };
        dlg = std::make_unique<CReserveUploadDlg>(&prompt);
        comm->log = &log;
    }
    void cleanup() {
        dlg.reset();
        installed.reset();
        comm.reset();
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void allFieldsEmptyReportsOnlyTheOperatorAndCallsNothing() {
        Fill("", "", "", "");
        PressLogin();
        QCOMPARE(prompt.messages, (std::vector<std::string>{"请输入正确的操作员名称!"}));
        QVERIFY(comm->calls.empty());
        QVERIFY(!LoggedIn());
    }

    void emptyFieldsAreReportedInOrder() {
        Fill("op", "", "", "7070");
        PressLogin();
        Fill("op", "pw", "", "7070");
        PressLogin();
        Fill("op", "pw", "h", "");
        PressLogin();
        QCOMPARE(prompt.messages,
                 (std::vector<std::string>{"请输入正确的密码!", "请输入正确的网关地址!",
                                           "请输入正确的网关端口号!"}));
        QVERIFY(comm->calls.empty());
    }

    void blanksAndALettersOnlyPortReachTheGatewayUnchanged() {
        Fill("  ", " p%s ", "gateway.example", "abc");
        PressLogin();
        QCOMPARE(comm->CountCalls("Login"), 1);
        const CommCall& login = comm->calls[2];
        QCOMPARE(login.name, std::string("Login"));
        QCOMPARE(login.args, (std::vector<std::string>{"CTX00001", "  ", " p%s ", "ZANTHO00", "E0",
                                                       "gateway.example", "abc"}));
    }

    void aFailedLoginContextLogsInWithAnEmptyOne() {
        comm->loginContextResult = -1;
        Fill("op", "pw", "h", "1");
        PressLogin();
        QCOMPARE(comm->calls[2].args.front(), std::string());
        QVERIFY(LoggedIn());
    }

    void successClearsTheStatusTwiceThenSwitchesThenTellsTheOperator() {
        Fill("op", "pw", "h", "1");
        PressLogin();
        QCOMPARE(log.events, (std::vector<std::string>{
                                 "call:ShowStatus", "status:正在登录...", "call:GetLoginContext",
                                 "call:Login", "call:ShowStatus", "status:", "call:ShowStatus",
                                 "status:", "message:登录成功! (logged in)"}));
        QVERIFY(LoggedIn());
        QVERIFY(!dlg->findChild<QPushButton*>("uploadAllButton")->isEnabled());
        QCOMPARE(dlg->m_pComm, comm.get());
        // The fields keep what was typed (the members were written back).
        QCOMPARE(dlg->findChild<QLineEdit*>("passwordEdit")->text(), QStringLiteral("pw"));
    }

    void refusalClearsOnceShowsTheGatewayTextUnchangedAndKeepsThePassword() {
        comm->loginResult = -1;
        comm->failureText = std::string("拒绝 <b>100%</b> %s") + '\x01' + '\xff';
        Fill("op", "secret", "h", "1");
        PressLogin();
        QCOMPARE(log.events,
                 (std::vector<std::string>{"call:ShowStatus", "status:正在登录...",
                                           "call:GetLoginContext", "call:Login", "call:ShowStatus",
                                           "status:", "message:" + comm->failureText}));
        QVERIFY(!LoggedIn());
        QVERIFY(!dlg->findChild<QPushButton*>("loadButton")->isEnabled());
        QCOMPARE(dlg->findChild<QLineEdit*>("passwordEdit")->text(), QStringLiteral("secret"));

        comm->loginResult = 0; // the operator may try again
        PressLogin();
        QVERIFY(LoggedIn());
    }
};

QTEST_MAIN(WindowLoginTest)
#include "WindowLoginTest.moc"
