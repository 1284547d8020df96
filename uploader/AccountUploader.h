#pragma once
// The working core of the tool: holds the loaded account records and the two
// exchange buffers, fills the two account lists, runs the request/response
// exchange with the settlement system and both upload modes. It reaches the
// window only through the list, prompt and pump interfaces, and the gateway
// only through the process-wide communication object.

#include "accounts/AccountRecords.h"
#include "accounts/LoadedFiles.h"
#include "support/DataBuf.h"
#include "support/MainWindow.h"
#include "support/ReportList.h"
#include "upload/UploadRecords.h"
#include "upload/UploadRun.h"

#include <memory>
#include <string>
#include <vector>

namespace upload {
struct ExchangeFacts;
} // namespace upload

class CAccountUploader {
public:
    // The bank list, the A-share reserve list and the main window; none owned.
    CAccountUploader(IReportList* pBankList, IReportList* pReserveList, IMainWindow* hMainWnd);
    virtual ~CAccountUploader();
    CAccountUploader(const CAccountUploader&) = delete;
    CAccountUploader& operator=(const CAccountUploader&) = delete;

    // Loading (uploader/AccountLoading.cpp, over accounts/RecordFiles.h). 1 on success; 0 with
    // LastError().
    int Load();
    // With `files`, each file's size, time and SHA-256 as read go there.
    int Load(LoadedFiles* files);
    int LoadBankAccounts(FileFacts* facts = nullptr);
    int LoadReserveAccounts(FileFacts* factsA = nullptr, FileFacts* factsB = nullptr);
    int ReadReserveFile(const std::string& path, std::vector<ReserveAccountRecord>& target,
                        FileFacts* facts = nullptr);
    static int FileExists(const char* path);

    // Lists (uploader/AccountLists.cpp). Mode 0 appends a row per loaded record;
    // mode 1 writes batch results into the rows and counts successes.
    void UpdateLists(int mode, std::vector<UploadResultRecord>& results, int* pReserveSuccesses,
                     int* pBankSuccesses);
    int ClearResults();

    // One request and its response (uploader/Exchange.cpp): 1, -1, -2 or -3.
    int Exchange(std::vector<UploadRequestRecord>& requests,
                 std::vector<UploadResultRecord>& results);
    // The same, telling `facts` what the exchange saw (serial, header, failure).
    int Exchange(std::vector<UploadRequestRecord>& requests,
                 std::vector<UploadResultRecord>& results, upload::ExchangeFacts* facts);
    void ClearBuffers();
    // The request (packet header and body) of the last exchange whose reply
    // could not be had, once; null when it had its reply.
    std::shared_ptr<CDataBuf> TakeLostRequest() { return std::move(m_pLostRequest); }
    // Sends `request`, built and sent before, once more as it is (same serial,
    // same bytes) and reads its reply as Exchange does. A refusal because the
    // gateway no longer remembers the serial is not shown to the operator.
    int Resend(CDataBuf& request, std::size_t records, std::vector<UploadResultRecord>& results,
               upload::ExchangeFacts& facts);

    // Request records made from account records (upload/UploadRequests.h).
    static UploadRequestRecord BuildReserveRequest(const ReserveAccountRecord& account);
    static UploadRequestRecord BuildBankRequest(const BankAccountRecord& account);

    // The two upload modes (uploader/UploadAll.cpp, uploader/UploadEach.cpp).
    int UploadAll();
    int UploadEach();
    // Only the rows neither stored nor already held, in batches
    // (uploader/UploadNew.cpp, the work in uploader/NewAccountsUpload.cpp).
    int UploadNew();

    // What the modes run with: observer, progress, stop, the rows' outcomes.
    upload::RunServices& Runs() { return m_runServices; }
    const upload::RunServices& Runs() const { return m_runServices; }

    const std::string& LastError() const { return m_strLastError; }
    const std::string& WorkPath() const { return m_strWorkPath; }
    const std::vector<BankAccountRecord>& BankAccounts() const { return m_arrBankAccounts; }
    const std::vector<ReserveAccountRecord>& ReserveAccountsA() const {
        return m_arrReserveAccountsA;
    }
    const std::vector<ReserveAccountRecord>& ReserveAccountsB() const {
        return m_arrReserveAccountsB;
    }

private:
    // The modes' work once a run holds the services.
    int UploadAllRows(upload::Run& run);
    int UploadEachRow(upload::Run& run);
    int ExchangeOnce(std::vector<UploadRequestRecord>& requests,
                     std::vector<UploadResultRecord>& results, upload::ExchangeFacts& facts);
    // The request in m_bufRequest, of `count` records, to the gateway, and its reply read.
    int SendBuilt(CCommunication* comm, std::size_t count, std::vector<UploadResultRecord>& results,
                  upload::ExchangeFacts& facts, bool quietWhenForgotten);
    int FailExchange(upload::ExchangeFacts& facts, const std::string& message, bool clearStatus,
                     bool show = true);

    std::string m_strWorkPath;
    std::vector<BankAccountRecord> m_arrBankAccounts;
    std::vector<ReserveAccountRecord> m_arrReserveAccountsA;
    std::vector<ReserveAccountRecord> m_arrReserveAccountsB; // read and validated, never shown
    IReportList* m_pBankList;
    IReportList* m_pReserveList;
    IMainWindow* m_hMainWnd;
    CDataBuf m_bufResponse;
    CDataBuf m_bufRequest;
    std::shared_ptr<CDataBuf> m_pLostRequest;
    std::string m_strLastError; // UTF-8
    upload::RunServices m_runServices;
};
