#pragma once
// A run's results as the journal packs them: consecutive results of one run
// in one blob, a few bytes each. Each result is four unsigned LEB128 numbers,
// mostly one byte each because a run sends its rows and accounts in order:
//   1. the change of its list row from the previous result of the same list,
//      zigzag-coded, shifted left one bit, with the list (0 reserve, 1 bank)
//      in the low bit;
//   2. the change of its account id from the previous result, zigzag-coded;
//   3. its reply id (0: no result came back);
//   4. the change of its request's number from the previous result, shifted
//      left three bits, with its outcome (upload::RowOutcome) in the low bits.
// Every block starts from rows, account and request 0, so it decodes alone.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace journal {

struct BlockEntry {
    std::uint32_t row = 0;        // in its list, from 0
    std::uint8_t bank = 0;        // 0 reserve, 1 bank
    std::uint8_t outcome = 0;     // upload::RowOutcome
    std::uint32_t accountId = 0;  // account.id
    std::uint32_t replyId = 0;    // reply.id, 0 for none
    std::uint32_t requestSeq = 0; // request.seq
};

class BlockEncoder {
public:
    void Add(const BlockEntry& entry);
    std::int64_t Count() const { return m_count; }
    const std::string& Data() const { return m_data; }
    void Clear();

private:
    std::string m_data;
    std::int64_t m_count = 0;
    std::int64_t m_lastRow[2] = {0, 0};
    std::int64_t m_lastAccount = 0;
    std::uint32_t m_lastRequest = 0;
};

// Appends the `count` entries of `data` to `out`. False when the blob is
// shorter than its count says or holds a number out of range (a damaged file);
// `out` then holds the entries read before the damage.
bool DecodeBlock(std::string_view data, std::int64_t count, std::vector<BlockEntry>& out);

} // namespace journal
