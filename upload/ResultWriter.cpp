#include "upload/ResultWriter.h"

#include "accounts/ListColumns.h"
#include "support/Text.h"
#include "upload/ResultCode.h"
#include "upload/UploadTexts.h"

namespace upload {

void ResultWriter::Show(RowRef row, const UploadResultRecord& result) const {
    IReportList* list = ListOf(row.kind);
    if (list == nullptr)
        return;
    const int index = static_cast<int>(row.index);
    list->SetItemText(index, kColumnResultCode, text::GbkToUtf8(ShownCode(result.ResultCode)));
    list->SetItemText(index, kColumnResultText,
                      text::GbkToUtf8(text::TrimGbk(text::FieldText(result.ResultText))));
}

void ResultWriter::Blank(RowRef row) const {
    IReportList* list = ListOf(row.kind);
    if (list == nullptr)
        return;
    const int index = static_cast<int>(row.index);
    list->SetItemText(index, kColumnResultCode, row.kind == RowKind::Bank ? " " : "");
    list->SetItemText(index, kColumnResultText, "");
}

void ResultWriter::ShowUnknown(RowRef row) const {
    IReportList* list = ListOf(row.kind);
    if (list == nullptr)
        return;
    const int index = static_cast<int>(row.index);
    list->SetItemText(index, kColumnResultCode, row.kind == RowKind::Bank ? " " : "");
    list->SetItemText(index, kColumnResultText, kUnknownResult);
}

} // namespace upload
