#include "journal/PackedRecords.h"

#include "protocol/SystemCodes.h"
#include "support/Text.h"

#include <cstring>

namespace journal {

namespace {

// Layout of one record: a flags byte (bit 0 bank, bit 1 matched), the row
// (4 bytes, little-endian), the outcome (1 byte), then six texts each with a
// length byte: account number, account name, bank code, bank name, result
// code, result text. Fields are at most 80 bytes, so a byte holds a length.
constexpr char kBank = 1;
constexpr char kMatched = 2;

void PackText(std::string& out, const char* field, std::size_t size) {
    const std::string_view value = text::TrimGbk(text::FieldText(field, size));
    out.push_back(static_cast<char>(value.size()));
    out.append(value);
}

template <std::size_t N> void Pack(std::string& out, const char (&field)[N]) {
    static_assert(N <= 256);
    PackText(out, field, N);
}

template <std::size_t N> std::string_view Trimmed(const char (&field)[N]) {
    return text::TrimGbk(text::FieldText(field, N));
}

std::string_view UnpackText(const char*& at) {
    const auto size = static_cast<unsigned char>(*at++);
    const std::string_view value(at, size);
    at += size;
    return value;
}

} // namespace

std::string PackedRecords(const upload::RequestReport& report) {
    // Results that cannot be matched to records one to one are not put
    // beside any record: the request's outcome tells what happened.
    const bool matched = report.results.size() == report.requests.size();
    std::string out;
    out.reserve(report.requests.size() * 72);
    for (std::size_t i = 0; i < report.requests.size(); ++i) {
        const UploadRequestRecord& r = report.requests[i];
        const bool bank = i < report.rows.size() ? report.rows[i].kind == upload::RowKind::Bank
                                                 : std::strncmp(r.RecordKind, protocol::kBankRecord,
                                                                sizeof r.RecordKind - 1) == 0;
        out.push_back(static_cast<char>((bank ? kBank : 0) | (matched ? kMatched : 0)));
        const std::uint32_t row = i < report.rows.size() ? report.rows[i].index : 0;
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<char>((row >> shift) & 0xff));
        out.push_back(static_cast<char>(i < report.outcomes.size() ? report.outcomes[i]
                                                                   : upload::RowOutcome::Unknown));
        if (bank) {
            Pack(out, r.BankAccountNo);
            Pack(out, r.AccountFullName);
            Pack(out, r.BankCode);
            Pack(out, r.BankFullName);
        } else {
            Pack(out, r.ReserveAccountNo);
            Pack(out, r.ReserveAccountName);
            out.append(2, '\0');
        }
        if (matched) {
            Pack(out, report.results[i].ResultCode);
            Pack(out, report.results[i].ResultText);
        } else {
            out.append(2, '\0');
        }
    }
    return out;
}

PackedRecord RecordOf(const upload::RequestReport& report, std::size_t i) {
    // A report without its records has a row for each of them.
    const bool withRecords = !report.requests.empty();
    const std::size_t records = withRecords ? report.requests.size() : report.rows.size();
    const bool bank = i < report.rows.size()
                          ? report.rows[i].kind == upload::RowKind::Bank
                          : std::strncmp(report.requests[i].RecordKind, protocol::kBankRecord,
                                         sizeof report.requests[i].RecordKind - 1) == 0;
    PackedRecord record;
    record.row = {bank ? upload::RowKind::Bank : upload::RowKind::Reserve,
                  i < report.rows.size() ? report.rows[i].index : 0};
    record.outcome = i < report.outcomes.size() ? report.outcomes[i] : upload::RowOutcome::Unknown;
    if (withRecords) {
        const UploadRequestRecord& r = report.requests[i];
        record.account =
            bank
                ? AccountKey{2, Trimmed(r.BankAccountNo), Trimmed(r.AccountFullName),
                             Trimmed(r.BankCode), Trimmed(r.BankFullName)}
                : AccountKey{1, Trimmed(r.ReserveAccountNo), Trimmed(r.ReserveAccountName), {}, {}};
    }
    record.matched = report.results.size() == records;
    if (record.matched) {
        record.code = Trimmed(report.results[i].ResultCode);
        record.text = Trimmed(report.results[i].ResultText);
    }
    return record;
}

std::string PackedAccounts(std::span<const UploadRequestRecord> requests) {
    std::string out;
    out.reserve(requests.size() * 48);
    for (const UploadRequestRecord& r : requests) {
        if (std::strncmp(r.RecordKind, protocol::kBankRecord, sizeof r.RecordKind - 1) == 0) {
            out.push_back(kBank);
            Pack(out, r.BankAccountNo);
            Pack(out, r.AccountFullName);
            Pack(out, r.BankCode);
            Pack(out, r.BankFullName);
        } else {
            out.push_back(0);
            Pack(out, r.ReserveAccountNo);
            Pack(out, r.ReserveAccountName);
        }
    }
    return out;
}

AccountKey UnpackAccount(const char*& at) {
    AccountKey account;
    const bool bank = (*at++ & kBank) != 0;
    account.kind = bank ? 2 : 1;
    account.accountNo = UnpackText(at);
    account.accountName = UnpackText(at);
    if (bank) {
        account.bankCode = UnpackText(at);
        account.bankName = UnpackText(at);
    }
    return account;
}

PackedRecord UnpackRecord(const char*& at) {
    PackedRecord record;
    const char flags = *at++;
    std::uint32_t row = 0;
    for (int shift = 0; shift < 32; shift += 8)
        row |= static_cast<std::uint32_t>(static_cast<unsigned char>(*at++)) << shift;
    record.row = {(flags & kBank) != 0 ? upload::RowKind::Bank : upload::RowKind::Reserve, row};
    record.outcome = static_cast<upload::RowOutcome>(*at++);
    record.matched = (flags & kMatched) != 0;
    record.account.kind = (flags & kBank) != 0 ? 2 : 1;
    record.account.accountNo = UnpackText(at);
    record.account.accountName = UnpackText(at);
    record.account.bankCode = UnpackText(at);
    record.account.bankName = UnpackText(at);
    record.code = UnpackText(at);
    record.text = UnpackText(at);
    return record;
}

} // namespace journal
