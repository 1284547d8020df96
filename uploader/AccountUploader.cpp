#include "uploader/AccountUploader.h"

#include "upload/UploadRequests.h"

CAccountUploader::CAccountUploader(IReportList* pBankList, IReportList* pReserveList,
                                   IMainWindow* hMainWnd)
    : m_pBankList(pBankList), m_pReserveList(pReserveList), m_hMainWnd(hMainWnd) {}

CAccountUploader::~CAccountUploader() {
    m_arrBankAccounts.clear();
    m_arrReserveAccountsA.clear();
    m_arrReserveAccountsB.clear();
    ClearBuffers();
}

UploadRequestRecord CAccountUploader::BuildReserveRequest(const ReserveAccountRecord& account) {
    return upload::ReserveRequest(account);
}

UploadRequestRecord CAccountUploader::BuildBankRequest(const BankAccountRecord& account) {
    return upload::BankRequest(account);
}
