#include "journal/ResultBlock.h"

namespace journal {

namespace {

void PutNumber(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

std::uint64_t ZigZag(std::int64_t value) {
    return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}

std::int64_t UnZigZag(std::uint64_t value) {
    return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
}

bool GetNumber(const unsigned char*& at, const unsigned char* end, std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (at == end)
            return false;
        const unsigned char byte = *at++;
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0)
            return true;
    }
    return false;
}

bool FitsId(std::int64_t value) {
    return value >= 0 && value <= UINT32_MAX;
}

} // namespace

void BlockEncoder::Add(const BlockEntry& entry) {
    const int list = entry.bank != 0 ? 1 : 0;
    PutNumber(m_data, ZigZag(std::int64_t{entry.row} - m_lastRow[list]) << 1 |
                          static_cast<std::uint64_t>(list));
    PutNumber(m_data, ZigZag(std::int64_t{entry.accountId} - m_lastAccount));
    PutNumber(m_data, entry.replyId);
    PutNumber(m_data, std::uint64_t{entry.requestSeq - m_lastRequest} << 3 | (entry.outcome & 7));
    m_lastRow[list] = entry.row;
    m_lastAccount = entry.accountId;
    m_lastRequest = entry.requestSeq;
    ++m_count;
}

void BlockEncoder::Clear() {
    *this = BlockEncoder();
}

bool DecodeBlock(std::string_view data, std::int64_t count, std::vector<BlockEntry>& out) {
    const auto* at = reinterpret_cast<const unsigned char*>(data.data());
    const auto* end = at + data.size();
    std::int64_t lastRow[2] = {0, 0};
    std::int64_t lastAccount = 0;
    std::uint64_t lastRequest = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        std::uint64_t rowCode = 0, account = 0, reply = 0, request = 0;
        if (!GetNumber(at, end, rowCode) || !GetNumber(at, end, account) ||
            !GetNumber(at, end, reply) || !GetNumber(at, end, request))
            return false;
        const int list = static_cast<int>(rowCode & 1);
        const std::int64_t row = lastRow[list] + UnZigZag(rowCode >> 1);
        const std::int64_t accountId = lastAccount + UnZigZag(account);
        const std::uint64_t requestSeq = lastRequest + (request >> 3);
        if (!FitsId(row) || !FitsId(accountId) || reply > UINT32_MAX || requestSeq > UINT32_MAX)
            return false;
        BlockEntry& e = out.emplace_back();
        e.row = static_cast<std::uint32_t>(row);
        e.bank = static_cast<std::uint8_t>(list);
        e.outcome = static_cast<std::uint8_t>(request & 7);
        e.accountId = static_cast<std::uint32_t>(accountId);
        e.replyId = static_cast<std::uint32_t>(reply);
        e.requestSeq = static_cast<std::uint32_t>(requestSeq);
        lastRow[list] = row;
        lastAccount = accountId;
        lastRequest = requestSeq;
    }
    return true;
}

} // namespace journal
