// The upload of what is new against scripted gateways: one that is not ours
// (it never marks a record 9701), and replies that must end the run without
// counting as stored anything that was not.

#include "UploadFixture.h"

#include "fakes/ExpectedMessages.h"
#include "upload/RowOutcomes.h"

#include <functional>
#include <set>

namespace {

using upload::RowKind;
using upload::RowOutcome;

// The account of each record of a request body: reserve number, else bank number.
std::vector<std::string> AccountsOf(const std::string& body) {
    std::vector<std::string> accounts;
    for (std::size_t at = 0; at + kRequestWireLength <= body.size(); at += kRequestWireLength) {
        const std::string record = body.substr(at, kRequestWireLength);
        const std::string reserve = WireField(record, 138, 25);
        accounts.push_back(reserve.empty() ? WireField(record, 249, 28) : reserve);
    }
    return accounts;
}

// The records of each request sent.
std::vector<std::size_t> RequestSizes(const ScriptedCommunication& comm) {
    std::vector<std::size_t> sizes;
    for (const auto& body : comm.sentBodies)
        sizes.push_back(body.size() / kRequestWireLength);
    return sizes;
}

std::string WithCodes(const std::vector<std::string>& codes) {
    ResponseScript script;
    script.resultCodes = codes;
    return BuildResponse(script);
}

// A gateway that is not ours: a request with a held account stores nothing and
// answers the others with a plain success code.
std::function<std::string(const std::string&)> ForeignGateway(std::set<std::string>& store) {
    return [&store](const std::string& body) {
        const auto accounts = AccountsOf(body);
        bool anyHeld = false;
        for (const auto& account : accounts)
            anyHeld = anyHeld || store.count(account) != 0;
        std::vector<std::string> codes;
        for (const auto& account : accounts) {
            const bool held = store.count(account) != 0;
            codes.push_back(held ? (account.rfind("RSV", 0) == 0 ? "9720" : "9721") : "0000");
            if (!anyHeld)
                store.insert(account);
        }
        return WithCodes(codes);
    };
}

struct Counts {
    std::size_t stored, held, refused, unknown;
    bool operator==(const Counts&) const = default;
};

struct BadReplyCase {
    const char* name;
    int reserves;
    // Answers request `n` (from 1) of the run.
    std::function<std::string(const std::string& body, int n)> answer;
    int failingSend; // that SendAndReceive fails; 0: none
    int returns;
    std::vector<std::size_t> requests; // records of each request sent
    std::string message;
    Counts outcomes; // of the reserve rows
};

void PrintTo(const BadReplyCase& c, std::ostream* os) {
    *os << c.name;
}

// The first record held, every other one held back for it, round after round;
// alone, a record is simply refused.
std::string HeldBackForever(const std::string& body, int) {
    const std::size_t n = body.size() / kRequestWireLength;
    if (n == 1)
        return WithCodes({"9701"});
    std::vector<std::string> codes(n, "9701");
    codes[0] = "9720";
    return WithCodes(codes);
}

// Round one: rows 0 and 1 held, the rest held back; then a short reply.
std::string ShortSecondReply(const std::string& body, int n) {
    const std::size_t records = body.size() / kRequestWireLength;
    if (n == 1)
        return WithCodes({"9720", "9720", "9701", "9701"});
    return WithCodes(std::vector<std::string>(records - 1, "0000"));
}

class UploadNewBadReplyTest : public UploadFixture,
                              public ::testing::WithParamInterface<BadReplyCase> {};

TEST_P(UploadNewBadReplyTest, EndsWithAClearMessageAndCountsNothingNotStored) {
    const BadReplyCase& c = GetParam();
    LoadAccounts(c.reserves, 0);
    int sends = 0;
    comm.onSend = [&] { comm.sendResult = ++sends == c.failingSend ? -1 : 0; };
    comm.responder = [&](const std::string& body) { return c.answer(body, sends); };
    comm.failureText = "网络中断";

    EXPECT_EQ(uploader.UploadNew(), c.returns);
    EXPECT_EQ(RequestSizes(comm), c.requests);
    EXPECT_EQ(window.messages, std::vector<std::string>{c.message});
    const auto& outcomes = uploader.Runs().Outcomes();
    EXPECT_EQ((Counts{outcomes.Count(RowKind::Reserve, RowOutcome::Stored),
                      outcomes.Count(RowKind::Reserve, RowOutcome::Held),
                      outcomes.Count(RowKind::Reserve, RowOutcome::Refused),
                      outcomes.Count(RowKind::Reserve, RowOutcome::Unknown)}),
              c.outcomes);
    for (int row = 0; row < c.reserves; ++row)
        EXPECT_EQ(Result(reserveList, row).first == "0000",
                  outcomes.Get(RowKind::Reserve, static_cast<std::size_t>(row)) ==
                      RowOutcome::Stored)
            << row;
    EXPECT_EQ(comm.statusTexts.back(), "");
    EXPECT_FALSE(uploader.Runs().IsUploading());
}

INSTANTIATE_TEST_SUITE_P(UploadNew, UploadNewBadReplyTest,
                         ::testing::Values(BadReplyCase{"FewerResultsThanRecords",
                                                        4,
                                                        ShortSecondReply,
                                                        0,
                                                        0,
                                                        {4, 2},
                                                        "上传失败,接收数据不正确!",
                                                        Counts{0, 2, 0, 2}},
                                           BadReplyCase{"TheSameRecordsHeldBackRoundAfterRound",
                                                        8,
                                                        HeldBackForever,
                                                        0,
                                                        1,
                                                        {8, 7, 6, 5, 4, 1, 1, 1},
                                                        UploadNewSummary(0, 5, 3, 0, 0, 0, 8),
                                                        Counts{0, 5, 3, 0}},
                                           BadReplyCase{"AFailureInTheSecondRound",
                                                        4,
                                                        ShortSecondReply,
                                                        2,
                                                        0,
                                                        {4, 2},
                                                        "网络中断",
                                                        Counts{0, 2, 0, 2}}),
                         [](const auto& info) { return std::string(info.param.name); });

using UploadNewTest = UploadFixture;

TEST_F(UploadNewTest, AGatewayThatNeverAnswers9701GetsTheRefusedOnesOneByOne) {
    LoadAccounts(3, 2);
    std::set<std::string> store{"RSV1", "62220"};
    comm.responder = ForeignGateway(store);

    EXPECT_EQ(uploader.UploadNew(), 1);
    EXPECT_EQ(RequestSizes(comm), (std::vector<std::size_t>{5, 1, 1, 1}));
    EXPECT_EQ(window.messages, std::vector<std::string>{UploadNewSummary(2, 1, 0, 1, 1, 0, 4)});
    EXPECT_EQ(store.size(), 5u);
    EXPECT_EQ(Result(reserveList, 0).first, "0000");
    EXPECT_EQ(Result(reserveList, 1).first, "9720");
    EXPECT_EQ(Result(bankList, 0).first, "9721");
    EXPECT_EQ(comm.statusTexts,
              (std::vector<std::string>{"正在发送数据,第1轮,已发送5条,请稍侯...",
                                        "正在逐笔发送数据,已发送6条,请稍侯...", "", ""}));
}

TEST_F(UploadNewTest, EveryModeKeepsTheRowOutcomesAndALoadStartsThemAfresh) {
    LoadAccounts(2, 1);
    const auto& outcomes = uploader.Runs().Outcomes();
    auto all = [&] {
        return std::vector<RowOutcome>{outcomes.Get(RowKind::Reserve, 0),
                                       outcomes.Get(RowKind::Reserve, 1),
                                       outcomes.Get(RowKind::Bank, 0)};
    };
    EXPECT_EQ(all(), std::vector<RowOutcome>(3, RowOutcome::NotSent));

    // A refused batch stores nothing and its lists show no result: the row
    // whose code claimed success is not stored and goes again; the held ones
    // are held.
    comm.responses.push_back(Response({"9720", "0000", "9721"}));
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(all(),
              (std::vector<RowOutcome>{RowOutcome::Held, RowOutcome::NotStored, RowOutcome::Held}));

    comm.sendResult = -1;
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(all(), std::vector<RowOutcome>(3, RowOutcome::Unknown));

    comm.sendResult = 0;
    AnswerWithCodes({"0000", "9715", "9721"});
    EXPECT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(all(),
              (std::vector<RowOutcome>{RowOutcome::Stored, RowOutcome::Refused, RowOutcome::Held}));

    // Only the refused row goes up again.
    comm.sentBodies.clear();
    AnswerWithCodes({"0000"});
    EXPECT_EQ(uploader.UploadNew(), 1);
    ASSERT_EQ(comm.sentBodies.size(), 1u);
    EXPECT_EQ(AccountsOf(comm.sentBodies[0]), std::vector<std::string>{"RSV1"});

    ASSERT_EQ(uploader.Load(), 1);
    EXPECT_EQ(all(), std::vector<RowOutcome>(3, RowOutcome::NotSent));
}

} // namespace
