#include "support/DataBuf.h"

#include <gtest/gtest.h>

#include <string>

TEST(CDataBuf, InsertsAtOffsetsAndZeroFillsGaps) {
    CDataBuf buf;
    buf.InsertDataToBuf("abc", 0, 3);
    buf.InsertDataToBuf("xy", 5, 2);
    ASSERT_EQ(buf.GetSize(), 7u);
    EXPECT_EQ(std::string(buf.Data(), 7), std::string("abc\0\0xy", 7));
    buf.InsertDataToBuf("Z", 1, 1); // overwrite inside
    EXPECT_EQ(std::string(buf.Data(), 3), "aZc");
}

TEST(CDataBuf, ReadsBeyondTheDataGiveZeroBytes) {
    CDataBuf buf;
    buf.InsertDataToBuf("abcd", 0, 4);
    char out[6];
    std::fill(std::begin(out), std::end(out), 'q');
    EXPECT_EQ(buf.ReadFromBuf(out, 2, 6), 2);
    EXPECT_EQ(std::string(out, 6), std::string("cd\0\0\0\0", 6));
    EXPECT_EQ(buf.ReadFromBuf(out, 1000, 6), 0);
    EXPECT_EQ(std::string(out, 6), std::string(6, '\0'));
}

TEST(CDataBuf, RemoveAllEmptiesAndKeepsStorage) {
    CDataBuf buf;
    buf.InsertDataToBuf(std::string(4096, 'x').data(), 0, 4096);
    const char* storage = buf.Data();
    buf.RemoveAll();
    EXPECT_EQ(buf.GetSize(), 0u);
    buf.InsertDataToBuf("y", 0, 1);
    EXPECT_EQ(buf.Data(), storage);
}
