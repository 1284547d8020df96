#include "ui/ReserveUploadDlg.h"

#include "accounts/ListColumns.h"
#include "journal/Journal.h"
#include "login/GatewayLogin.h"
#include "support/Common.h"
#include "support/Text.h"
#include "support/WorkDirLock.h"
#include "ui/AboutDlg.h"
#include "ui/AppIcon.h"
#include "ui/AppTitle.h"
#include "ui/DialogUnits.h"
#include "ui/QtPrompt.h"
#include "ui/RecordActions.h"
#include "ui/ReportListView.h"
#include "ui/StatusLine.h"
#include "ui/WindowWaitHook.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <new>

namespace {

constexpr const char* kInitFailed = "初始化程序失败!";

std::vector<ReportColumn> ToReportColumns(std::span<const ListColumn> columns) {
    std::vector<ReportColumn> result;
    for (const ListColumn& column : columns)
        result.push_back({QString::fromUtf8(column.title), column.width});
    return result;
}

std::unique_ptr<CAccountUploader> MakeUploader(IReportList* bankList, IReportList* reserveList,
                                               IMainWindow* mainWnd) {
    return std::unique_ptr<CAccountUploader>(new (std::nothrow)
                                                 CAccountUploader(bankList, reserveList, mainWnd));
}

} // namespace

CReserveUploadDlg::CReserveUploadDlg(IPrompt* prompt, UploaderFactory makeUploader, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_prompt(prompt), m_makeUploader(std::move(makeUploader)) {
    if (m_prompt == nullptr) {
        m_ownPrompt = std::make_unique<CQtPrompt>(this);
        m_prompt = m_ownPrompt.get();
    }
    if (!m_makeUploader)
        m_makeUploader = MakeUploader;
    m_hIcon = AppIcon();

    setObjectName(QStringLiteral("reserveUploadDlg"));
    setWindowTitle(app_title::MainWindowTitle());
    setFont(DialogFont());
    CreateControls();
    // A close asked for during a wait outside any run of ours is carried out
    // once the wait is over.
    m_waitHook = new CWindowWaitHook(
        m_statusLine,
        [this] {
            if (!IsBusy())
                CloseIfRequested();
        },
        this);

    // The journal writes behind the uploads: a problem it meets later is
    // looked for while the window is idle.
    auto* journalWatch = new QTimer(this);
    connect(journalWatch, &QTimer::timeout, this, [this] { ShowLateJournalProblem(); });
    journalWatch->start(500);

    // Linux window managers own the system menu: the about item lives in the
    // window's context menu and under F1.
    auto* about = new QAction(app_title::AboutItemText(), this);
    about->setObjectName(QStringLiteral("aboutAction"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, &CReserveUploadDlg::OnAbout);
    addAction(about);
    // Not a button: the template's buttons stay as they are.
    m_actUploadNew = new QAction(QStringLiteral("只上传新增账户"), this);
    m_actUploadNew->setObjectName(QStringLiteral("uploadNewAction"));
    connect(m_actUploadNew, &QAction::triggered, this, &CReserveUploadDlg::OnUploadNew);
    addAction(m_actUploadNew);

    OnInitDialog();
    AddRecordActions(*this);
}

CReserveUploadDlg::~CReserveUploadDlg() {
    m_pUploader.reset();
    m_hIcon = QIcon();
    if (CCommunication* comm = GetGolbalCommunicaHandle()) {
        if (comm->WaitHook() == m_waitHook)
            comm->SetWaitHook(nullptr);
        comm->Close();
    }
}

void CReserveUploadDlg::RegisterWaitHook() {
    if (CCommunication* comm = GetGolbalCommunicaHandle())
        comm->SetWaitHook(m_waitHook);
}

bool CReserveUploadDlg::IsBusy() const {
    return m_bUploadRunning || m_bLoginRunning || m_bExportRunning;
}

void CReserveUploadDlg::SetExportRunning(bool running) {
    if (running == m_bExportRunning)
        return;
    if (running) {
        m_bLoadEnabledBeforeExport = m_btnLoad->isEnabled();
        m_bUploadEnabledBeforeExport = m_btnUploadAll->isEnabled();
        m_btnLoad->setEnabled(false);
        EnableUploadControls(false);
        m_bExportRunning = true;
        return;
    }
    m_bExportRunning = false;
    m_btnLoad->setEnabled(m_bLoadEnabledBeforeExport);
    EnableUploadControls(m_bUploadEnabledBeforeExport);
    CloseIfRequested();
}

void CReserveUploadDlg::CloseIfRequested() {
    if (!m_bCloseRequested)
        return;
    m_bCloseRequested = false;
    QDialog::reject();
}

void CReserveUploadDlg::OnInitDialog() {
    UpdateData(false);
    setWindowIcon(m_hIcon);

    // Without a communication object the window still opens, with empty
    // gateway fields; the login then reports the missing object.
    m_pComm = GetGolbalCommunicaHandle();
    RegisterWaitHook();
    if (m_pComm != nullptr) {
        m_strGatewayAddress = m_pComm->DefaultGatewayAddress;
        m_strPort = m_pComm->DefaultGatewayPort >= 0
                        ? text::Format("%d", m_pComm->DefaultGatewayPort)
                        : std::string(); // no default port configured
    }
    UpdateData(false);

    InitLists();
    EnableLoginControls(true);
    EnableUploadControls(false);

    m_pUploader = m_makeUploader(&m_listBank->Model(), &m_listReserve->Model(), this);
    if (!m_pUploader) {
        ShowMessage(kInitFailed);
        if (m_pComm != nullptr)
            m_pComm->Close();
        EnableLoginControls(true);
    } else {
        m_pUploader->Runs().SetObserver(m_pJournal);
        CStatusLine* statusLine = m_statusLine;
        m_pUploader->Runs().SetProgressListener(
            [statusLine](int done, int total) { statusLine->ShowProgress(done, total); });
    }
    m_btnLogin->setFocus();
}

void CReserveUploadDlg::InitLists() {
    m_listBank->SetColumns(ToReportColumns(BankListColumns()));
    m_listReserve->SetColumns(ToReportColumns(ReserveListColumns()));
}

void CReserveUploadDlg::ShowMessage(const std::string& text) {
    // A run's message ends it: its progress goes first, not behind the box.
    if (m_bUploadRunning)
        m_statusLine->ShowProgress(0, 0);
    m_prompt->ShowMessage(text);
}

void CReserveUploadDlg::PumpMessages() {
    m_pump.PumpMessages();
}

int CReserveUploadDlg::LoginGateway(std::string strOperator, std::string strPassword,
                                    std::string strGatewayAddress, std::string strPort) {
    return ::LoginGateway(*m_prompt, m_pComm, std::move(strOperator), std::move(strPassword),
                          std::move(strGatewayAddress), std::move(strPort));
}

void CReserveUploadDlg::EnableLoginControls(bool enable) {
    m_editPassword->setEnabled(enable);
    m_editOperator->setEnabled(enable);
    m_editPort->setEnabled(enable);
    m_editGatewayAddress->setEnabled(enable);
    m_btnLogin->setEnabled(enable);
    m_btnLoad->setEnabled(!enable);
}

void CReserveUploadDlg::EnableUploadControls(bool enable) {
    m_btnUploadAll->setEnabled(enable);
    m_btnUploadEach->setEnabled(enable);
    m_actUploadNew->setEnabled(enable);
}

void CReserveUploadDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strPassword = m_editPassword->text().toStdString();
        m_strOperator = m_editOperator->text().toStdString();
        m_strPort = m_editPort->text().toStdString();
        m_strGatewayAddress = m_editGatewayAddress->text().toStdString();
    } else {
        m_editPassword->setText(QString::fromStdString(m_strPassword));
        m_editOperator->setText(QString::fromStdString(m_strOperator));
        m_editPort->setText(QString::fromStdString(m_strPort));
        m_editGatewayAddress->setText(QString::fromStdString(m_strGatewayAddress));
    }
}

void CReserveUploadDlg::ShowStatus(const std::string& text) {
    m_statusLine->ShowStatus(text);
}

void CReserveUploadDlg::OnLogin() {
    if (IsBusy())
        return;
    UpdateData(true);
    RegisterWaitHook();
    m_bLoginRunning = true;
    const int loggedIn = LoginGateway(m_strOperator, m_strPassword, m_strGatewayAddress, m_strPort);
    m_bLoginRunning = false;
    if (m_bCloseRequested) {
        CloseIfRequested();
        return;
    }
    if (loggedIn == 0) {
        EnableLoginControls(true);
        return;
    }
    EnableLoginControls(false);
    if (m_pJournal != nullptr)
        m_pJournal->SetSession(
            {m_strOperator, m_strGatewayAddress, text::ParseDecimal32(m_strPort)});
    m_btnLoad->setFocus();
    ShowMessage("登录成功!");
    UpdateData(false);
}

void CReserveUploadDlg::OnLoad() {
    // A load would empty the lists under a running upload.
    if (IsBusy() || UploaderMissing())
        return;
    // The files' facts are taken only for a journal: hashing costs time.
    LoadedFiles files;
    const bool loaded = m_pUploader->Load(m_pJournal != nullptr ? &files : nullptr) != 0;
    if (loaded && m_pJournal != nullptr)
        m_pJournal->FilesLoaded(files);
    if (!loaded)
        ShowMessage(m_pUploader->LastError());
    EnableUploadControls(loaded);
}

void CReserveUploadDlg::OnUploadAll() {
    RunUpload(&CAccountUploader::UploadAll);
}

void CReserveUploadDlg::OnUploadEach() {
    RunUpload(&CAccountUploader::UploadEach);
}

void CReserveUploadDlg::OnUploadNew() {
    RunUpload(&CAccountUploader::UploadNew);
}

void CReserveUploadDlg::RunUpload(int (CAccountUploader::*upload)()) {
    // The per-record upload pumps events: a press of a button during the run
    // is not acted on, and a close waits for the record in flight.
    if (IsBusy() || UploaderMissing())
        return;
    // One upload at a time per work directory: a scheduled run or quillmark-cli
    // uploading from it now is waited for by neither side here; the operator
    // is told and presses again later.
    std::string workDir;
    CCommon::GetWorkPath(workDir);
    workdir::Lock workDirLock(workDir, "quillmark");
    if (workDirLock.Acquire(std::chrono::milliseconds(0)) == workdir::Lock::Result::Busy) {
        const std::string holder = workDirLock.Holder();
        ShowMessage("工作目录[" + workDir + "]正被另一个上传使用" +
                    (holder.empty() ? std::string() : "(" + holder + ")") + ",请稍后再上传!");
        return;
    }
    RegisterWaitHook();
    m_bUploadRunning = true;
    const auto total = static_cast<int>(m_pUploader->ReserveAccountsA().size() +
                                        m_pUploader->BankAccounts().size());
    if (upload == &CAccountUploader::UploadEach)
        m_statusLine->ShowProgress(0, total);
    (m_pUploader.get()->*upload)();
    m_statusLine->ShowProgress(0, 0);
    // A journal that could not record the run says so once, after the run's
    // own message.
    if (m_pJournal != nullptr)
        if (const std::string problem = m_pJournal->TakeProblem(); !problem.empty())
            ShowMessage(problem);
    m_bUploadRunning = false;
    CloseIfRequested();
}

void CReserveUploadDlg::ShowLateJournalProblem() {
    if (m_pJournal == nullptr || IsBusy() || QApplication::activeModalWidget() != nullptr)
        return;
    if (const std::string problem = m_pJournal->TakeProblem(); !problem.empty())
        ShowMessage(problem);
}

void CReserveUploadDlg::SetJournal(journal::IJournal* journal) {
    m_pJournal = journal;
    if (m_pUploader)
        m_pUploader->Runs().SetObserver(journal);
}

bool CReserveUploadDlg::UploaderMissing() {
    if (m_pUploader)
        return false;
    ShowMessage(kInitFailed);
    return true;
}

void CReserveUploadDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CReserveUploadDlg::accept() {
    if (IsBusy() || m_waitHook->IsWaiting())
        return;
    UpdateData(true);
    QDialog::accept();
}

void CReserveUploadDlg::reject() {
    if (IsBusy() || m_waitHook->IsWaiting()) {
        m_bCloseRequested = true;
        if (m_pUploader)
            m_pUploader->Runs().RequestStop();
        return;
    }
    QDialog::reject();
}

void CReserveUploadDlg::showEvent(QShowEvent* event) {
    FitToScreen();
    QDialog::showEvent(event);
    if (!m_bScreenWatched && windowHandle() != nullptr) {
        m_bScreenWatched = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { FitToScreen(); });
        if (QScreen* screen = windowHandle()->screen())
            connect(screen, &QScreen::availableGeometryChanged, this, [this] { FitToScreen(); });
    }
}

void CReserveUploadDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    // The window manager's frame is known once it has placed the window.
    FitToScreen();
}

void CReserveUploadDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addActions(actions());
    menu.exec(event->globalPos());
}
