// Filling the two account lists and writing upload results into them.

#include "accounts/ListColumns.h"
#include "support/BusyTicker.h"
#include "support/Text.h"
#include "upload/ResultWriter.h"
#include "uploader/AccountUploader.h"

namespace {

// The display text of a GBK record field: trimmed, then decoded.
template <std::size_t N> std::string CellText(const char (&field)[N]) {
    return text::GbkToUtf8(text::TrimGbk(text::FieldText(field)));
}

int AppendRow(IReportList& list) {
    const int row = list.GetItemCount();
    return list.InsertItem(row, text::Format("%d", row + 1));
}

} // namespace

void CAccountUploader::UpdateLists(int mode, std::vector<UploadResultRecord>& results,
                                   int* pReserveSuccesses, int* pBankSuccesses) {
    if (m_pReserveList == nullptr || m_pBankList == nullptr)
        return;

    CBusyTicker busy;
    if (mode == 0) {
        for (const BankAccountRecord& record : m_arrBankAccounts) {
            busy.Tick();
            const int row = AppendRow(*m_pBankList);
            m_pBankList->SetItemText(row, kColumnBankCode, CellText(record.BankCode));
            m_pBankList->SetItemText(row, kColumnBankAccountNo, CellText(record.BankAccountNo));
            m_pBankList->SetItemText(row, kColumnAccountFullName, CellText(record.AccountFullName));
            m_pBankList->SetItemText(row, kColumnBankFullName, CellText(record.BankFullName));
        }
        for (const ReserveAccountRecord& record : m_arrReserveAccountsA) {
            busy.Tick();
            const int row = AppendRow(*m_pReserveList);
            m_pReserveList->SetItemText(row, kColumnReserveAccountNo,
                                        CellText(record.ReserveAccountNo));
            m_pReserveList->SetItemText(row, kColumnReserveAccountName,
                                        CellText(record.ReserveAccountName));
        }
        return;
    }

    if (mode != 1)
        return;
    // Reserve results come first, then bank results, each in record order. A
    // result list shorter than the records fills only the rows it reaches.
    // Mode 1 is called for an accepted request only, so a success code stored
    // its record.
    const upload::ResultWriter writer(m_pReserveList, m_pBankList);
    const std::size_t reserveCount = m_arrReserveAccountsA.size();
    for (std::size_t k = 0; k < results.size(); ++k) {
        busy.Tick();
        const bool reserve = k < reserveCount;
        const std::size_t row = reserve ? k : k - reserveCount;
        if (!reserve && row >= m_arrBankAccounts.size())
            break;
        writer.Show({reserve ? upload::RowKind::Reserve : upload::RowKind::Bank,
                     static_cast<std::uint32_t>(row)},
                    results[k]);
        int* successes = reserve ? pReserveSuccesses : pBankSuccesses;
        if (successes != nullptr &&
            upload::DecideRow(results[k], true) == upload::RowOutcome::Stored)
            ++*successes;
    }
}

int CAccountUploader::ClearResults() {
    if (m_pReserveList == nullptr || m_pBankList == nullptr)
        return 0;
    // The row count is read again for every row, as the list may change while
    // an upload pumps the window's events.
    CBusyTicker busy;
    for (int row = 0; row < m_pReserveList->GetItemCount(); ++row) {
        busy.Tick();
        m_pReserveList->SetItemText(row, kColumnResultCode, "");
        m_pReserveList->SetItemText(row, kColumnResultText, "");
    }
    for (int row = 0; row < m_pBankList->GetItemCount(); ++row) {
        busy.Tick();
        m_pBankList->SetItemText(row, kColumnResultCode, " ");
        m_pBankList->SetItemText(row, kColumnResultText, "");
    }
    return 1;
}
