#include "upload/RowOutcomes.h"

#include "support/Text.h"
#include "upload/ResultCode.h"

#include <algorithm>

namespace upload {

RowOutcome OutcomeOfCode(std::string_view code) {
    if (IsSuccessCode(code))
        return RowOutcome::Stored;
    const std::int32_t number =
        text::ParseDecimal32(text::TrimGbk(code.substr(0, code.find('\0'))));
    if (number == 9720 || number == 9721)
        return RowOutcome::Held;
    return RowOutcome::Refused;
}

void CRowOutcomes::Reset(std::size_t reserveRows, std::size_t bankRows) {
    m_reserve.assign(reserveRows, RowOutcome::NotSent);
    m_bank.assign(bankRows, RowOutcome::NotSent);
    ++m_generation;
}

void CRowOutcomes::Set(RowKind kind, std::size_t row, RowOutcome outcome) {
    std::vector<RowOutcome>& rows = kind == RowKind::Reserve ? m_reserve : m_bank;
    if (row < rows.size())
        rows[row] = outcome;
}

RowOutcome CRowOutcomes::Get(RowKind kind, std::size_t row) const {
    const std::vector<RowOutcome>& rows = Of(kind);
    return row < rows.size() ? rows[row] : RowOutcome::NotSent;
}

std::size_t CRowOutcomes::Count(RowKind kind, RowOutcome outcome) const {
    const std::vector<RowOutcome>& rows = Of(kind);
    return static_cast<std::size_t>(std::count(rows.begin(), rows.end(), outcome));
}

void CRowOutcomes::SetFromBatch(const std::vector<UploadResultRecord>& results) {
    for (std::size_t k = 0; k < results.size(); ++k) {
        if (k < m_reserve.size())
            m_reserve[k] = OutcomeOf(results[k]);
        else
            Set(RowKind::Bank, k - m_reserve.size(), OutcomeOf(results[k]));
    }
}

void CRowOutcomes::SetAll(RowOutcome outcome) {
    std::fill(m_reserve.begin(), m_reserve.end(), outcome);
    std::fill(m_bank.begin(), m_bank.end(), outcome);
}

} // namespace upload
