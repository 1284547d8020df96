#include "accounts/AccountUploader.h"

CAccountUploader::CAccountUploader(IReportList* pBankList, IReportList* pReserveList,
                                   IMainWindow* hMainWnd)
    : m_pBankList(pBankList), m_pReserveList(pReserveList), m_hMainWnd(hMainWnd) {}

CAccountUploader::~CAccountUploader() {
    m_bankAccounts.clear();
    m_reserveAccountsA.clear();
    m_reserveAccountsB.clear();
    ClearBuffers();
}
