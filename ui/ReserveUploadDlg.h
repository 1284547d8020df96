#pragma once
// The main window: the gateway login, loading the account files, the two
// account lists and both upload modes. Its handlers are thin; the work is done
// by the login logic and by CAccountUploader. Closing it ends the program.

#include "support/Communication.h"
#include "support/MainWindow.h"
#include "ui/QtMessagePump.h"
#include "ui/ScreenFit.h"
#include "uploader/AccountUploader.h"

#include <QDialog>
#include <QIcon>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace journal {
class IJournal;
}
class CReportListView;
class CStatusLine;
class CWindowWaitHook;
class QAction;
class QLineEdit;
class QPushButton;

class CReserveUploadDlg : public QDialog, public IMainWindow {
    Q_OBJECT

public:
    using UploaderFactory = std::function<std::unique_ptr<CAccountUploader>(
        IReportList* bankList, IReportList* reserveList, IMainWindow* mainWnd)>;

    // `prompt` shows the window's messages (null: message boxes on this
    // window); `makeUploader` creates the uploader (null: the real one).
    explicit CReserveUploadDlg(IPrompt* prompt = nullptr, UploaderFactory makeUploader = {},
                               QWidget* parent = nullptr);
    ~CReserveUploadDlg() override;

    // IMainWindow: what the uploader holds of the window.
    void ShowMessage(const std::string& text) override;
    void PumpMessages() override;

    // Returns 1 when the gateway accepted the login; every failure has been shown.
    int LoginGateway(std::string strOperator, std::string strPassword,
                     std::string strGatewayAddress, std::string strPort);
    // The login fields and button to `enable`, the load button to the opposite.
    void EnableLoginControls(bool enable);
    // true: field texts into the members; false: members into the fields.
    void UpdateData(bool saveAndValidate);
    // The status line (what the communication object's status display shows).
    void ShowStatus(const std::string& text);
    CStatusLine* StatusLine() const { return m_statusLine; }
    // True while an upload runs and pumps events.
    bool IsUploadRunning() const { return m_bUploadRunning; }
    // While an export reads the lists: the load and upload controls are off
    // (a load would delete the rows being read) and a close waits for its end.
    void SetExportRunning(bool running);
    bool IsExportRunning() const { return m_bExportRunning; }
    // What the window does while the communication object waits on the gateway.
    CWindowWaitHook* WaitHook() const { return m_waitHook; }

    void OnLogin();
    void OnLoad();
    void OnUploadAll();
    void OnUploadEach();
    void OnUploadNew();
    void OnAbout();
    // The operator's journal the uploads are recorded in (not owned); none
    // by default.
    void SetJournal(journal::IJournal* journal);

    // The end of the modal run; held off while an upload runs (see reject).
    void accept() override;
    void reject() override;

    // Field exchange members (UTF-8) and the window's state.
    CReportListView* m_listBank = nullptr;
    CReportListView* m_listReserve = nullptr;
    std::string m_strPassword;
    std::string m_strOperator;
    std::string m_strPort;
    std::string m_strGatewayAddress;
    QIcon m_hIcon;
    std::unique_ptr<CAccountUploader> m_pUploader;
    CCommunication* m_pComm = nullptr; // not owned

    // Fits the window to the available area of its screen (see ScreenFit.h);
    // done when it is shown, moved or changes screen.
    void FitToScreen();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void CreateControls();
    // Keeps every control's template rectangle for FitToScreen.
    void RememberTemplateGeometry();
    void PlaceForCut(const ScreenFitCut& cut);
    void OnInitDialog();
    void InitLists();
    void RunUpload(int (CAccountUploader::*upload)());
    // The two upload buttons and the upload-new item, switched together.
    void EnableUploadControls(bool enable);
    bool UploaderMissing();
    // Hands the wait hook to the process-wide communication object.
    void RegisterWaitHook();
    // Carries out a close held off while the window was busy.
    void CloseIfRequested();
    bool IsBusy() const;
    // Shows a problem the journal met after a run's message, when the window
    // is idle and no other message is up.
    void ShowLateJournalProblem();

    QLineEdit* m_editPort = nullptr;
    QLineEdit* m_editOperator = nullptr;
    QLineEdit* m_editPassword = nullptr;
    QLineEdit* m_editGatewayAddress = nullptr;
    QPushButton* m_btnLogin = nullptr;
    QPushButton* m_btnLoad = nullptr;
    QPushButton* m_btnUploadAll = nullptr;
    QPushButton* m_btnUploadEach = nullptr;
    QAction* m_actUploadNew = nullptr;
    CStatusLine* m_statusLine = nullptr;
    CWindowWaitHook* m_waitHook = nullptr;

    IPrompt* m_prompt;
    std::unique_ptr<IPrompt> m_ownPrompt;
    CQtMessagePump m_pump;
    UploaderFactory m_makeUploader;
    journal::IJournal* m_pJournal = nullptr;
    bool m_bUploadRunning = false;
    bool m_bLoginRunning = false;
    bool m_bCloseRequested = false;
    bool m_bExportRunning = false;
    std::vector<std::pair<QWidget*, QRect>> m_templateGeometry;
    QSize m_templateSize;
    ScreenFitCut m_fitCut;
    bool m_bFitting = false;
    bool m_bScreenWatched = false;
    bool m_bLoadEnabledBeforeExport = false;
    bool m_bUploadEnabledBeforeExport = false;
};
