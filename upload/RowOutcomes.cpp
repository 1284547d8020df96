#include "upload/RowOutcomes.h"

#include "protocol/Codes.h"
#include "upload/ResultCode.h"

#include <algorithm>

namespace upload {

RowOutcome DecideRow(const UploadResultRecord& result, bool accepted) {
    const int code = CodeNumber(result.ResultCode);
    const bool success = IsSuccessCode(result.ResultCode);
    if (!success && (code == protocol::result::kReserveHeld || code == protocol::result::kBankHeld))
        return RowOutcome::Held;
    if (success)
        return accepted ? RowOutcome::Stored : RowOutcome::NotStored;
    if (!accepted && code == protocol::result::kNotStored)
        return RowOutcome::NotStored;
    return RowOutcome::Refused;
}

void RowOutcomes::Reset(std::size_t reserveRows, std::size_t bankRows) {
    m_reserve.assign(reserveRows, RowOutcome::NotSent);
    m_bank.assign(bankRows, RowOutcome::NotSent);
    ++m_generation;
}

void RowOutcomes::Set(RowKind kind, std::size_t row, RowOutcome outcome) {
    std::vector<RowOutcome>& rows = kind == RowKind::Reserve ? m_reserve : m_bank;
    if (row < rows.size())
        rows[row] = outcome;
}

RowOutcome RowOutcomes::Get(RowKind kind, std::size_t row) const {
    const std::vector<RowOutcome>& rows = Of(kind);
    return row < rows.size() ? rows[row] : RowOutcome::NotSent;
}

std::size_t RowOutcomes::Count(RowKind kind, RowOutcome outcome) const {
    const std::vector<RowOutcome>& rows = Of(kind);
    return static_cast<std::size_t>(std::count(rows.begin(), rows.end(), outcome));
}

} // namespace upload
