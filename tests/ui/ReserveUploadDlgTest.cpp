// The main window: its controls, the defaults it starts with, the enabled
// state of its buttons through login and load, the about box, the status
// line, and the ways start-up can go wrong.

#include "WindowTestSupport.h"

#include "fakes/ScriptedCommunication.h"
#include "quillmark/Version.h"
#include "ui/AboutDlg.h"
#include "ui/ReportListView.h"
#include "ui/ReserveUploadDlg.h"
#include "ui/StatusLine.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

struct EnabledState {
    bool loginGroup, load, uploads;
};

EnabledState StateOf(const CReserveUploadDlg& dlg) {
    auto enabled = [&](const char* name) {
        return dlg.findChild<QWidget*>(QString::fromLatin1(name))->isEnabled();
    };
    const bool login = enabled("loginButton");
    for (const char* name : {"addressEdit", "portEdit", "operatorEdit", "passwordEdit"})
        if (enabled(name) != login)
            qFatal("login group split: %s", name);
    if (enabled("uploadAllButton") != enabled("uploadEachButton") ||
        enabled("uploadAllButton") != dlg.findChild<QAction*>("uploadNewAction")->isEnabled())
        qFatal("upload buttons split");
    return {login, enabled("loadButton"), enabled("uploadAllButton")};
}

bool operator==(const EnabledState& a, const EnabledState& b) {
    return a.loginGroup == b.loginGroup && a.load == b.load && a.uploads == b.uploads;
}

} // namespace

class ReserveUploadDlgTest : public QObject {
    Q_OBJECT

    ScriptedCommunication* comm = nullptr;
    ScopedCommunication* installed = nullptr;

private slots:
    void init() {
        comm = new ScriptedCommunication;
        comm->DefaultGatewayAddress = "127.0.0.1";
        comm->DefaultGatewayPort = 7070;
        installed = new ScopedCommunication(comm);
    }
    void cleanup() {
        delete installed;
        delete comm;
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void controlsHaveTheirCaptionsKindsAndTabOrder() {
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("A股备付金、银行账户上传"));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize()); // fixed size
        QVERIFY(!(dlg.windowFlags() & Qt::WindowMinMaxButtonsHint));

        const QList<std::pair<const char*, QString>> captions = {{"loginButton", "登 录"},
                                                                 {"uploadAllButton", "全部上传"},
                                                                 {"loadButton", "加 载"},
                                                                 {"uploadEachButton", "逐笔上传"}};
        for (const auto& [name, caption] : captions)
            QCOMPARE(Button(dlg, name)->text(), caption);
        QVERIFY(dlg.findChild<QPushButton*>("loginButton")->isDefault());
        QVERIFY(dlg.findChild<QPushButton*>("loadButton")->autoDefault());
        QVERIFY(!dlg.findChild<QPushButton*>("uploadAllButton")->autoDefault());
        QCOMPARE(dlg.findChild<QLineEdit*>("passwordEdit")->echoMode(), QLineEdit::Password);
        QCOMPARE(dlg.findChild<QLabel*>("addressLabel")->text(), QStringLiteral("网关地址："));
        QCOMPARE(dlg.findChild<QLabel*>("adviceLabel")->text(),
                 QStringLiteral("建议优先使用[全部上传],若[全部上传]失败则使用[逐笔上传]。"));
        QStringList groups;
        for (QGroupBox* group : dlg.findChildren<QGroupBox*>())
            groups << group->title();
        groups.sort();
        QCOMPARE(groups, (QStringList{"", "A股备付金账户", "注意", "银行账户"}));

        // Tab order follows the layout table: 1001 1002 1000 1003 1005 1010 1011 1004 1013 1012.
        const QStringList order = {"loginButton",  "uploadAllButton", "portEdit",    "operatorEdit",
                                   "passwordEdit", "bankList",        "reserveList", "addressEdit",
                                   "loadButton",   "uploadEachButton"};
        for (int i = 0; i + 1 < order.size(); ++i) {
            QWidget* next = dlg.findChild<QWidget*>(order[i])->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            QCOMPARE(next->objectName(), order[i + 1]);
        }

        // Geometry scales with the font; the lists sit inside their group boxes.
        const QRect bank = dlg.findChild<QWidget*>("bankList")->geometry();
        const QRect reserve = dlg.findChild<QWidget*>("reserveList")->geometry();
        QVERIFY(reserve.bottom() < bank.top());
        QVERIFY(dlg.findChild<QGroupBox*>("bankGroup")->geometry().contains(bank));
        QCOMPARE(dlg.m_listBank->model()->columnCount(), 7);
        QCOMPARE(dlg.m_listReserve->model()->columnCount(), 5);
        QCOMPARE(dlg.m_listReserve->horizontalHeader()->sectionSize(1), 0);
        QCOMPARE(dlg.m_listBank->model()->headerData(6, Qt::Horizontal).toString(),
                 QStringLiteral("银行全称"));
    }

    void startsWithTheGatewayDefaultsAndOnlyTheLoginGroupEnabled() {
        comm->DefaultGatewayPort = 0;
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        QCOMPARE(dlg.findChild<QLineEdit*>("addressEdit")->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(dlg.findChild<QLineEdit*>("portEdit")->text(), QStringLiteral("0"));
        QVERIFY(dlg.findChild<QLineEdit*>("operatorEdit")->text().isEmpty());
        QVERIFY(dlg.findChild<QLineEdit*>("passwordEdit")->text().isEmpty());
        QVERIFY((StateOf(dlg) == EnabledState{true, false, false}));
        QCOMPARE(dlg.m_pComm, comm);
        QVERIFY(dlg.m_pUploader != nullptr);
        QVERIFY(prompt.messages.empty());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("loginButton"));
    }

    void enabledStateFollowsLoginAndEachLoad() {
        AccountWorkDir work;
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);

        comm->loginResult = -1;
        Type(dlg, "operatorEdit", "op");
        Type(dlg, "passwordEdit", "pw");
        Click(dlg, "loginButton");
        QVERIFY((StateOf(dlg) == EnabledState{true, false, false})); // failed login

        comm->loginResult = 0;
        Click(dlg, "loginButton");
        QVERIFY((StateOf(dlg) == EnabledState{false, true, false})); // logged in

        Click(dlg, "loadButton"); // nothing to load
        QVERIFY((StateOf(dlg) == EnabledState{false, true, false}));
        QCOMPARE(prompt.messages.back(), std::string("没有需要加载的数据!"));

        work.WriteBank({{"0102", "6222000011112222", "某证券公司", "工商银行"}});
        Click(dlg, "loadButton");
        QVERIFY((StateOf(dlg) == EnabledState{false, true, true})); // loaded
        QCOMPARE(dlg.m_listBank->Model().GetItemCount(), 1);

        work.WriteBankBytes(std::string(123, ' ')); // damaged
        Click(dlg, "loadButton");
        QVERIFY((StateOf(dlg) == EnabledState{false, true, false}));
        QVERIFY(prompt.messages.back().find("已经损坏") != std::string::npos);

        work.WriteBank({{"0102", "1", "a", "b"}});
        Click(dlg, "loadButton");
        QVERIFY((StateOf(dlg) == EnabledState{false, true, true}));
    }

    void withoutACommunicationObjectTheWindowStillOpens() {
        ScopedCommunication none(nullptr);
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        QVERIFY(dlg.findChild<QLineEdit*>("addressEdit")->text().isEmpty());
        QVERIFY(dlg.findChild<QLineEdit*>("portEdit")->text().isEmpty());
        Type(dlg, "addressEdit", "h");
        Type(dlg, "portEdit", "1");
        Type(dlg, "operatorEdit", "op");
        Type(dlg, "passwordEdit", "pw");
        Click(dlg, "loginButton");
        QCOMPARE(prompt.messages, (std::vector<std::string>{"获得通讯句柄错误!"}));
        QVERIFY((StateOf(dlg) == EnabledState{true, false, false}));
    }

    void missingDefaultsShowEmptyFields() {
        comm->DefaultGatewayAddress.clear();
        comm->DefaultGatewayPort = -1;
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        QVERIFY(dlg.findChild<QLineEdit*>("addressEdit")->text().isEmpty());
        QVERIFY(dlg.findChild<QLineEdit*>("portEdit")->text().isEmpty());
    }

    void anUploaderThatCannotBeCreatedLeavesTheWindowOpen() {
        RecordingPrompt prompt;
        {
            CReserveUploadDlg dlg(&prompt, [](IReportList*, IReportList*, IMainWindow*) {
                return std::unique_ptr<CAccountUploader>();
            });
            QCOMPARE(prompt.messages, (std::vector<std::string>{"初始化程序失败!"}));
            QCOMPARE(comm->CountCalls("Close"), 1);
            QVERIFY((StateOf(dlg) == EnabledState{true, false, false}));
            // Load without an uploader is refused with the same message, not a crash.
            dlg.EnableLoginControls(false);
            Click(dlg, "loadButton");
            dlg.OnUploadEach();
            QCOMPARE(prompt.messages.size(), 3u);
        }
        QCOMPARE(comm->CountCalls("Close"), 2); // and once more when the window goes
    }

    void destructionClosesTheCommunicationObject() {
        RecordingPrompt prompt;
        auto* dlg = new CReserveUploadDlg(&prompt);
        QCOMPARE(comm->CountCalls("Close"), 0);
        delete dlg;
        QCOMPARE(comm->CountCalls("Close"), 1);
    }

    void escapeAndTheCloseBoxEndTheModalRun() {
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        QTimer::singleShot(0, &dlg, [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QTimer::singleShot(0, &dlg, [&] { dlg.close(); });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
    }

    void aboutBoxOpensFromTheMenuItemAndClosesAlone() {
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QAction* about = dlg.findChild<QAction*>("aboutAction");
        QVERIFY(about != nullptr);
        QCOMPARE(about->text(), QStringLiteral("关于 Quillmark(&A)..."));
        QCOMPARE(about->shortcut(), QKeySequence(Qt::Key_F1));

        bool seen = false;
        QTimer::singleShot(0, &dlg, [&] {
            auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            QCOMPARE(box->windowTitle(), QStringLiteral("关于 Quillmark"));
            QCOMPARE(box->findChild<QLabel*>("aboutProduct")->text(),
                     QStringLiteral("Quillmark %1 版").arg(quillmark::kShortVersion));
            QVERIFY(!box->findChild<QLabel*>("aboutLine")->text().isEmpty());
            QVERIFY(!box->findChild<QLabel*>("aboutIcon")->pixmap().isNull());
            auto* ok = box->findChild<QPushButton*>("aboutOk");
            QCOMPARE(ok->text(), QStringLiteral("确定"));
            QVERIFY(ok->isDefault());
            seen = true;
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        QTest::keySequence(&dlg, QKeySequence(Qt::Key_F1));
        QVERIFY(seen);
        QVERIFY(dlg.isVisible()); // only the about box closed
        QCOMPARE(dlg.result(), 0);
        dlg.hide();
    }

    void statusLineShowsAndClearsStatusTexts() {
        RecordingPrompt prompt;
        CReserveUploadDlg dlg(&prompt);
        dlg.ShowStatus("正在登录...");
        QCOMPARE(dlg.StatusLine()->StatusText(), QStringLiteral("正在登录..."));
        dlg.ShowStatus(std::string("100% \x01<b>x</b>\xff", 15));
        QCOMPARE(dlg.StatusLine()->StatusText(), QStringLiteral("100% \u2401<b>x</b>\uFFFD"));
        dlg.ShowStatus("");
        QVERIFY(dlg.StatusLine()->StatusText().isEmpty());
    }
};

QTEST_MAIN(ReserveUploadDlgTest)
#include "ReserveUploadDlgTest.moc"
