#pragma once
// The working core of the tool: holds the loaded account records and the two
// exchange buffers, fills the two account lists, runs the request/response
// exchange with the settlement system and both upload modes. It reaches the
// window only through the list, prompt and pump interfaces, and the gateway
// only through the process-wide communication object.

#include "accounts/AccountRecords.h"
#include "support/DataBuf.h"
#include "support/MainWindow.h"
#include "support/ReportList.h"
#include "upload/RowOutcomes.h"
#include "upload/UploadRecords.h"

#include <functional>
#include <string>
#include <vector>

namespace journal {
class IJournal;
struct ExchangeFacts;
struct FileFacts;
} // namespace journal
namespace upload {
class JournalRun;
} // namespace upload

class CAccountUploader {
public:
    // The bank list, the A-share reserve list and the main window; none owned.
    CAccountUploader(IReportList* pBankList, IReportList* pReserveList, IMainWindow* hMainWnd);
    virtual ~CAccountUploader();
    CAccountUploader(const CAccountUploader&) = delete;
    CAccountUploader& operator=(const CAccountUploader&) = delete;

    // Loading (accounts/AccountLoading.cpp). 1 on success; 0 with LastError().
    int Load();
    // With facts, a file's size, time and SHA-256 as read go there.
    int LoadBankAccounts(journal::FileFacts* facts = nullptr);
    int LoadReserveAccounts(journal::FileFacts* factsA = nullptr,
                            journal::FileFacts* factsB = nullptr);
    int ReadReserveFile(const std::string& path, std::vector<ReserveAccountRecord>& target,
                        journal::FileFacts* facts = nullptr);
    static int FileExists(const char* path);

    // Lists (accounts/AccountLists.cpp). Mode 0 appends a row per loaded record;
    // mode 1 writes batch results into the rows and counts successes.
    void UpdateLists(int mode, std::vector<UploadResultRecord>& results, int* pReserveSuccesses,
                     int* pBankSuccesses);
    int ClearResults();

    // One request and its response (upload/Exchange.cpp): 1, -1, -2 or -3.
    int Exchange(std::vector<UploadRequestRecord>& requests,
                 std::vector<UploadResultRecord>& results);
    void ClearBuffers();

    // Request records made from account records (upload/UploadRequests.cpp).
    static UploadRequestRecord BuildReserveRequest(const ReserveAccountRecord& account);
    static UploadRequestRecord BuildBankRequest(const BankAccountRecord& account);

    // The two upload modes (upload/UploadAll.cpp, upload/UploadEach.cpp).
    int UploadAll();
    int UploadEach();
    // Only the rows neither stored nor already held, in batches
    // (upload/NewAccountsUpload.cpp).
    int UploadNew();

    // True while an upload runs; a second upload started then
    // (through the pump) returns 0 at once and does nothing.
    bool IsUploading() const;
    // Asks a running UploadEach or UploadNew to stop after the request in flight: the status
    // text is cleared, no summary is shown and it returns 0.
    void RequestStop();
    // Called after each record of UploadEach with the records finished and the
    // records of the run (reserve + bank, counted afresh); after each request of
    // UploadNew with the records settled and the records it set out to send.
    void SetProgressListener(std::function<void(int done, int total)> listener);
    // The operator's journal every run and request goes to (not owned); none
    // by default.
    void SetJournal(journal::IJournal* journal) { m_pJournal = journal; }
    journal::IJournal* Journal() const { return m_pJournal; }

    const std::string& LastError() const { return m_strLastError; }
    const std::string& WorkPath() const { return m_strWorkPath; }
    const std::vector<BankAccountRecord>& BankAccounts() const { return m_bankAccounts; }
    const std::vector<ReserveAccountRecord>& ReserveAccountsA() const { return m_reserveAccountsA; }
    const std::vector<ReserveAccountRecord>& ReserveAccountsB() const { return m_reserveAccountsB; }
    // The last outcome of every loaded row in this session.
    const upload::CRowOutcomes& RowOutcomes() const { return m_rowOutcomes; }

private:
    friend class upload::JournalRun; // records what the window is shown during a run
    int ExchangeOnce(std::vector<UploadRequestRecord>& requests,
                     std::vector<UploadResultRecord>& results, journal::ExchangeFacts& facts);

    std::string m_strWorkPath;
    std::vector<BankAccountRecord> m_bankAccounts;
    std::vector<ReserveAccountRecord> m_reserveAccountsA;
    std::vector<ReserveAccountRecord> m_reserveAccountsB; // read and validated, never shown
    IReportList* m_pBankList;
    IReportList* m_pReserveList;
    IMainWindow* m_hMainWnd;
    CDataBuf m_responseBuf;
    CDataBuf m_requestBuf;
    std::string m_strLastError; // UTF-8
    bool m_bUploading = false;
    bool m_bStopRequested = false;
    std::function<void(int done, int total)> m_progressListener;
    upload::CRowOutcomes m_rowOutcomes;
    journal::IJournal* m_pJournal = nullptr;
};
