// The packed form of a run's results: what goes in comes out, a block decodes
// alone, and a damaged blob is refused instead of read past its end.

#include "journal/ResultBlock.h"

#include <gtest/gtest.h>

#include <random>

using namespace journal;

namespace {

bool Same(const BlockEntry& a, const BlockEntry& b) {
    return a.row == b.row && a.bank == b.bank && a.outcome == b.outcome &&
           a.accountId == b.accountId && a.replyId == b.replyId && a.requestSeq == b.requestSeq;
}

} // namespace

TEST(ResultBlock, EntriesComeBackAsTheyWentIn) {
    std::mt19937 random(7);
    struct Case {
        const char* name;
        std::vector<BlockEntry> entries;
    };
    std::vector<Case> cases = {
        {"empty", {}},
        {"extremes",
         {{0, 0, 0, 1, 0, 1},
          {UINT32_MAX, 1, 5, UINT32_MAX, UINT32_MAX, UINT32_MAX},
          {0, 1, 3, 1, 0, UINT32_MAX},
          {7, 0, 2, 0, 1, UINT32_MAX}}},
    };
    Case inOrder{"a batch in list order", {}};
    for (std::uint32_t i = 0; i < 5000; ++i)
        inOrder.entries.push_back({i / 2, static_cast<std::uint8_t>(i % 2), 1, i + 1, 1, 1});
    cases.push_back(inOrder);
    Case scattered{"a resend round out of order", {}};
    for (int i = 0; i < 5000; ++i)
        scattered.entries.push_back(
            {static_cast<std::uint32_t>(random() % 1000000),
             static_cast<std::uint8_t>(random() % 2), static_cast<std::uint8_t>(random() % 6),
             static_cast<std::uint32_t>(random() % 2000000 + 1),
             static_cast<std::uint32_t>(random() % 40), static_cast<std::uint32_t>(i / 100 + 1)});
    cases.push_back(scattered);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BlockEncoder encoder;
        for (const BlockEntry& e : c.entries)
            encoder.Add(e);
        std::vector<BlockEntry> decoded;
        ASSERT_TRUE(DecodeBlock(encoder.Data(), encoder.Count(), decoded));
        ASSERT_EQ(decoded.size(), c.entries.size());
        for (std::size_t i = 0; i < decoded.size(); ++i)
            ASSERT_TRUE(Same(decoded[i], c.entries[i])) << "entry " << i;
    }
    // A batch sent in list order costs four bytes a result.
    BlockEncoder encoder;
    for (const BlockEntry& e : inOrder.entries)
        encoder.Add(e);
    EXPECT_LE(encoder.Data().size(), inOrder.entries.size() * 4 + 8);
}

TEST(ResultBlock, ADamagedBlobIsRefused) {
    BlockEncoder encoder;
    for (std::uint32_t i = 0; i < 100; ++i)
        encoder.Add({i, 0, 1, i + 1, 1, 1});
    const std::string data = encoder.Data();
    std::vector<BlockEntry> out;
    EXPECT_FALSE(DecodeBlock(std::string_view(data).substr(0, data.size() - 3), 100, out));
    out.clear();
    EXPECT_FALSE(DecodeBlock(data, 101, out)) << "a count beyond the data";
    out.clear();
    EXPECT_FALSE(DecodeBlock(std::string(12, '\xff'), 1, out)) << "a number that never ends";
    out.clear();
    // A change that would take a row below zero.
    BlockEncoder backwards;
    backwards.Add({5, 0, 1, 1, 1, 1});
    std::string bad = backwards.Data();
    bad[0] = 3 << 1; // zigzag 3 = -2 from row 0
    EXPECT_FALSE(DecodeBlock(bad, 1, out));
}
