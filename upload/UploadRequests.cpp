// How an account record becomes an upload request record. Fields 1, 3 and 7
// are left for the exchange; every field not named here stays empty.

#include "upload/UploadRequests.h"

#include "protocol/SystemCodes.h"
#include "protocol/WireFormat.h"
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
    text::CopyToField(request.Version, protocol::kRecordVersion);
    text::CopyToField(request.RecordKind, recordKind);
    return request;
}

} // namespace

namespace upload {

UploadRequestRecord ReserveRequest(const ReserveAccountRecord& account) {
    UploadRequestRecord request = EmptyRequest(protocol::kReserveRecord);
    text::CopyToField(request.ScopeMark, protocol::kReserveScope);
    CopyTrimmed(request.ReserveAccountNo, account.ReserveAccountNo);
    CopyTrimmed(request.ReserveAccountName, account.ReserveAccountName);
    text::CopyToField(request.ReserveKind, protocol::kReserveKind);
    text::CopyToField(request.SystemCode, protocol::kSystem);
    // The subsystem fills its whole field with blanks.
    text::CopyToField(request.SubsystemCode,
                      protocol::Pad(protocol::kSubsystem, sizeof request.SubsystemCode - 1));
    text::CopyToField(request.BusinessKind, protocol::kBusinessKind);
    return request;
}

UploadRequestRecord BankRequest(const BankAccountRecord& account) {
    UploadRequestRecord request = EmptyRequest(protocol::kBankRecord);
    CopyTrimmed(request.BankCode, account.BankCode);
    CopyTrimmed(request.BankAccountNo, account.BankAccountNo);
    CopyTrimmed(request.AccountFullName, account.AccountFullName);
    CopyTrimmed(request.BankFullName, account.BankFullName);
    return request;
}

} // namespace upload
