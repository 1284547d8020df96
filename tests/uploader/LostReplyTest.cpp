// Requests whose reply could not be had: their rows are unknown, not failed;
// a refusal of a request sent again because the gateway forgot its serial
// leaves them unknown; and the next "upload new" first sends each such request
// again as it was, so the gateway's record settles its rows.

#include "UploadFixture.h"

#include "fakes/ExpectedMessages.h"
#include "support/Text.h"
#include "upload/RowOutcomes.h"

namespace {

using upload::RowKind;
using upload::RowOutcome;

struct LostReplyTest : UploadFixture {
    std::vector<RowOutcome> All() const {
        const auto& outcomes = uploader.Runs().Outcomes();
        return {outcomes.Get(RowKind::Reserve, 0), outcomes.Get(RowKind::Reserve, 1),
                outcomes.Get(RowKind::Bank, 0)};
    }
};

// A refused request stores nothing, unless it was a copy sent again and the
// gateway no longer remembers its serial: then its first copy may have.
TEST_F(LostReplyTest, AForgottenSerialOnARequestSentAgainLeavesItsRowsUnknown) {
    const struct {
        const char* code;
        bool resent;
        RowOutcome outcome;
    } cases[] = {
        {"2002", true, RowOutcome::Unknown},
        {"2002", false, RowOutcome::NotStored},
        {"2007", true, RowOutcome::NotStored},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.code) + (c.resent ? " resent" : " sent once"));
        LoadAccounts(2, 1);
        comm.LastRequestResent = c.resent;
        comm.responses.push_back(Refusal(c.code, text::Utf8ToGbk("拒绝")));
        EXPECT_EQ(uploader.UploadAll(), 0);
        EXPECT_EQ(All(), std::vector<RowOutcome>(3, c.outcome));
    }
}

// A lost reply in "upload new": the rows say "结果未知". The next run sends
// that request again first, byte for byte; the gateway's record settles it.
TEST_F(LostReplyTest, TheNextUploadNewAsksTheGatewaysRecordFirst) {
    LoadAccounts(2, 1);
    comm.sendResult = -1;
    EXPECT_EQ(uploader.UploadNew(), 0);
    EXPECT_EQ(All(), std::vector<RowOutcome>(3, RowOutcome::Unknown));
    EXPECT_EQ(Result(reserveList, 0).second, "结果未知");
    EXPECT_EQ(Result(reserveList, 1).second, "结果未知");
    EXPECT_EQ(Result(bankList, 0).second, "结果未知");
    ASSERT_EQ(comm.sentRequests.size(), 1u);

    comm.sendResult = 0;
    window.messages.clear();
    AnswerWithCodes({"0000"});
    EXPECT_EQ(uploader.UploadNew(), 1);
    ASSERT_EQ(comm.sentRequests.size(), 2u); // the lost one again, and nothing more
    EXPECT_EQ(comm.sentRequests[1], comm.sentRequests[0]);
    EXPECT_EQ(All(), std::vector<RowOutcome>(3, RowOutcome::Stored));
    EXPECT_EQ(window.messages, std::vector<std::string>{UploadNewSummary(2, 0, 0, 1, 0, 0, 1)});
    EXPECT_EQ(Result(reserveList, 0).first, "0000");
}

// The gateway no longer remembers the lost request: nobody is told, the rows
// go out as new requests, and an account the gateway then calls held is
// counted held, as it may have been there before.
TEST_F(LostReplyTest, AForgottenLostRequestsRowsGoOutAnewAndHeldIsHeld) {
    LoadAccounts(2, 1);
    comm.sendResult = -1;
    EXPECT_EQ(uploader.UploadNew(), 0);
    comm.sendResult = 0;
    window.messages.clear();
    comm.responses.push_back(Refusal("2002", text::Utf8ToGbk("交易序号未知或已过期")));
    comm.responses.push_back(Response({"9720", "0000", "0000"})); // refused for the held one
    AnswerWithCodes({"0000"});
    EXPECT_EQ(uploader.UploadNew(), 1);
    ASSERT_EQ(comm.sentRequests.size(), 5u); // lost, the lost one again, a batch, two alone
    EXPECT_EQ(comm.sentRequests[1], comm.sentRequests[0]);
    EXPECT_EQ(All(),
              (std::vector<RowOutcome>{RowOutcome::Held, RowOutcome::Stored, RowOutcome::Stored}));
    EXPECT_EQ(window.messages, std::vector<std::string>{UploadNewSummary(1, 1, 0, 1, 0, 0, 4)});
}

// Requests lost before rows that later runs settled are not asked about.
TEST_F(LostReplyTest, ALostRequestWhoseRowsWereSettledSinceIsNotSentAgain) {
    LoadAccounts(2, 1);
    comm.sendResult = -1;
    EXPECT_EQ(uploader.UploadAll(), 0);
    comm.sendResult = 0;
    AnswerWithCodes({"0000"});
    EXPECT_EQ(uploader.UploadEach(), 1);
    comm.sentRequests.clear();
    EXPECT_EQ(uploader.UploadNew(), 1);
    EXPECT_TRUE(comm.sentRequests.empty());
}

// A new load forgets the lost requests: their rows are gone.
TEST_F(LostReplyTest, ALoadForgetsTheLostRequests) {
    LoadAccounts(2, 1);
    comm.sendResult = -1;
    EXPECT_EQ(uploader.UploadAll(), 0);
    comm.sendResult = 0;
    LoadAccounts(2, 1);
    AnswerWithCodes({"0000"});
    comm.sentRequests.clear();
    EXPECT_EQ(uploader.UploadNew(), 1);
    EXPECT_EQ(comm.sentRequests.size(), 1u); // the rows of the new load only
}

} // namespace
