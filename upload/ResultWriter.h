#pragma once
// The two account lists behind one writer: the one place where a result
// reaches a row's two result cells, trimmed and decoded as the lists show it.

#include "support/ReportList.h"
#include "upload/RowOutcomes.h"
#include "upload/UploadRecords.h"

namespace upload {

class ResultWriter {
public:
    ResultWriter(IReportList* reserveList, IReportList* bankList)
        : m_reserveList(reserveList), m_bankList(bankList) {}

    // The shown code into column 1, the result text into column 2. A row the
    // list no longer has (a load during the run) is left alone.
    void Show(RowRef row, const UploadResultRecord& result) const;
    // Blank result cells, as a fresh upload leaves them (the bank list's code
    // cell holds one space).
    void Blank(RowRef row) const;
    // No code, and "结果未知" for the text: the row's request got no reply.
    void ShowUnknown(RowRef row) const;
    IReportList* ListOf(RowKind kind) const {
        return kind == RowKind::Reserve ? m_reserveList : m_bankList;
    }

private:
    IReportList* m_reserveList;
    IReportList* m_bankList;
};

} // namespace upload
