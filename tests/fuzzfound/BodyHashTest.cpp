// An upload frame too short to hold a body handed the body hash an empty view
// with no pointer behind it, which went on to memcpy: the sanitizers stop
// there, and a hash must not care how an empty piece is spelled.

#include "gateway/BodyHash.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

TEST(BodyHashFound, AnEmptyPieceIsNothingHoweverItIsGiven) {
    const std::string body = "0123456789abcdefghijklmnopqrstuvwxyz0123456789";
    EXPECT_EQ(BodyHash::Of(std::string_view()), BodyHash::Of(""));
    BodyHash pieces;
    pieces.Add(std::string_view(body).substr(0, 10));
    pieces.Add(std::string_view());
    pieces.Add(std::string_view(body).substr(10));
    pieces.Add(std::string_view(body.data() + body.size(), 0));
    EXPECT_EQ(pieces.Value(), BodyHash::Of(body));
}
