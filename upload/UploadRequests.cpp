// How an account record becomes an upload request record. Fields 1, 3 and 7
// are left for the exchange; every field not named here stays empty.

#include "accounts/AccountUploader.h"
#include "support/Text.h"

#include <cstring>

namespace {

// The account text, trimmed, into a request field. The account store bounds
// every field below the request's width; should a longer text ever come, it is
// cut at a whole character rather than overrun the field.
template <std::size_t To, std::size_t From>
void CopyTrimmed(char (&to)[To], const char (&from)[From]) {
    text::CopyToField(to, text::TrimGbk(text::FieldText(from)));
}

UploadRequestRecord EmptyRequest(const char* recordKind) {
    UploadRequestRecord request;
    std::memset(&request, 0, sizeof request);
    text::CopyToField(request.Version, "01");
    text::CopyToField(request.RecordKind, recordKind);
    return request;
}

} // namespace

UploadRequestRecord CAccountUploader::BuildReserveRequest(const ReserveAccountRecord& account) {
    UploadRequestRecord request = EmptyRequest("01");
    text::CopyToField(request.ScopeMark, "*");
    CopyTrimmed(request.ReserveAccountNo, account.ReserveAccountNo);
    CopyTrimmed(request.ReserveAccountName, account.ReserveAccountName);
    text::CopyToField(request.ReserveKind, "01");
    text::CopyToField(request.SystemCode, "SSCCRC");
    text::CopyToField(request.SubsystemCode, "JSXT            "); // fills all 16 bytes
    text::CopyToField(request.BusinessKind, "70");
    return request;
}

UploadRequestRecord CAccountUploader::BuildBankRequest(const BankAccountRecord& account) {
    UploadRequestRecord request = EmptyRequest("02");
    CopyTrimmed(request.BankCode, account.BankCode);
    CopyTrimmed(request.BankAccountNo, account.BankAccountNo);
    CopyTrimmed(request.AccountFullName, account.AccountFullName);
    CopyTrimmed(request.BankFullName, account.BankFullName);
    return request;
}
