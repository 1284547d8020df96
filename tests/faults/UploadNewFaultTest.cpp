// Uploading only what is new, against the simulator with a file store: how
// many requests go out, which records each carries, what the operator is told
// and what the store holds, also when the link breaks or another participant
// stores an account between two rounds.

#include "FaultMatrixFixture.h"

#include "fakes/ExpectedMessages.h"
#include "support/Text.h"
#include "upload/RowOutcomes.h"

#include <functional>

namespace {

// The next `times` upload replies break off after `bytes` bytes.
GatewayFaults CutReplies(long long bytes, int times) {
    GatewayFaults faults;
    faults.closeAfterBytes = bytes;
    faults.times = times;
    return faults;
}

using Accounts = std::vector<std::pair<std::string, std::string>>;

Accounts Reserves(int count, const std::string& tag = "R") {
    Accounts accounts;
    accounts.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        accounts.emplace_back(tag + std::to_string(100000 + i), "测试证券" + std::to_string(i));
    return accounts;
}

Accounts Banks(int count) {
    Accounts accounts;
    for (int i = 0; i < count; ++i)
        accounts.emplace_back("0102", "6222" + std::to_string(100000 + i));
    return accounts;
}

// The accounts already held on the day when every `newEvery`-th (from the
// first) is new; newEvery 0: all of them.
Accounts Held(const Accounts& all, int newEvery) {
    Accounts held;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (newEvery == 0 || i % static_cast<std::size_t>(newEvery) != 0)
            held.push_back(all[i]);
    return held;
}

class UploadNewFaultTest : public FaultMatrixFixture {
protected:
    // The gateway's upload lines for alice since the last call: records of
    // each request and how it was handled.
    std::vector<std::string> TakeUploads() {
        std::vector<std::string> uploads;
        std::lock_guard lock(log->mutex);
        for (const std::string& line : log->lines)
            if (line.rfind("upload operator=alice ", 0) == 0)
                uploads.push_back(line);
        log->lines.clear();
        return uploads;
    }
    static std::vector<int> RecordsOf(const std::vector<std::string>& uploads) {
        std::vector<int> records;
        for (const std::string& line : uploads)
            records.push_back(text::ParseDecimal32(line.substr(line.find("records=") + 8)));
        return records;
    }
    // Stores these accounts through a batch upload, then loads `reserves` and
    // `banks` as the files of the day.
    void Day(const Accounts& heldReserves, const Accounts& heldBanks, const Accounts& reserves,
             const Accounts& banks) {
        if (!heldReserves.empty() || !heldBanks.empty()) {
            WriteReserves(heldReserves);
            WriteBanks(heldBanks);
            Load();
            ASSERT_EQ(uploader.UploadAll(), 1) << LastMessage();
        }
        WriteReserves(reserves);
        WriteBanks(banks);
        Load();
        TakeUploads();
        window.messages.clear();
    }
    int CountCode(const RecordingReportList& list, const std::string& code) const {
        int n = 0;
        for (const auto& row : list.rows)
            n += row[kColumnResultCode] == code;
        return n;
    }
};

struct DailyCase {
    const char* name;
    int reserves;
    int banks;
    int newEvery; // every newEvery-th account is new; 0: none
    std::vector<int> requests;
    std::string summary;
};

void PrintTo(const DailyCase& c, std::ostream* os) {
    *os << c.name;
}

class DailyRunTest : public UploadNewFaultTest, public ::testing::WithParamInterface<DailyCase> {};

TEST_P(DailyRunTest, OnlyTheNewRecordsAreSentAgainAndStoredOnce) {
    const DailyCase& c = GetParam();
    const Accounts reserves = Reserves(c.reserves);
    const Accounts banks = Banks(c.banks);
    const Accounts heldReserves = Held(reserves, c.newEvery);
    const Accounts heldBanks = Held(banks, c.newEvery);
    Day(heldReserves, heldBanks, reserves, banks);

    EXPECT_EQ(uploader.UploadNew(), 1) << LastMessage();
    EXPECT_EQ(window.messages, std::vector<std::string>{c.summary});
    const auto uploads = TakeUploads();
    EXPECT_EQ(RecordsOf(uploads), c.requests);
    for (const std::string& line : uploads)
        EXPECT_NE(line.find("outcome=stored"), std::string::npos) << line;
    // The second request carries exactly the new records: every one stored.
    if (c.requests.size() == 2) {
        EXPECT_NE(uploads[1].find("stored " + std::to_string(c.requests[1]) + " codes"),
                  std::string::npos)
            << uploads[1];
    }
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), c.reserves);
    EXPECT_EQ(BankCount(), c.banks);
    EXPECT_EQ(CountCode(reserveList, "9720") + CountCode(bankList, "9721"),
              static_cast<int>(heldReserves.size() + heldBanks.size()));
}

INSTANTIATE_TEST_SUITE_P(
    UploadNew, DailyRunTest,
    ::testing::Values(DailyCase{"AllNew", 3, 2, 1, {5}, UploadNewSummary(3, 0, 0, 2, 0, 0, 1)},
                      DailyCase{"AllHeld", 3, 2, 0, {5}, UploadNewSummary(0, 3, 0, 0, 2, 0, 1)},
                      DailyCase{"TwoPercentNewAmong50000",
                                30'000,
                                20'000,
                                50,
                                {50'000, 1'000},
                                UploadNewSummary(600, 29'400, 0, 400, 19'600, 0, 2)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UploadNewFaultTest, AnAccountStoredByAnotherParticipantBetweenTwoRoundsTakesAThirdRound) {
    const Accounts reserves = Reserves(10);
    Day(Held(reserves, 5), {}, reserves, {});
    // Bob stores the first new account while the first round's reply is read.
    CNetworkCommunication bob;
    bob.SetTimeoutMs(5000);
    ASSERT_EQ(Login(bob, "bob", kBobPassword), 0) << bob.LastErrorText;
    uploader.Runs().SetProgressListener([&, requests = 0](int, int) mutable {
        if (requests++ == 0) {
            ASSERT_EQ(Upload(bob, WireBody({ReserveRequest(reserves[0].first, "乙")}, bob)).codes,
                      std::vector<int>{0});
        }
    });
    TakeUploads();

    EXPECT_EQ(uploader.UploadNew(), 1);
    EXPECT_EQ(RecordsOf(TakeUploads()), (std::vector<int>{10, 2, 1}));
    EXPECT_EQ(LastMessage(), UploadNewSummary(1, 8, 1, 0, 0, 0, 3));
    EXPECT_EQ(reserveList.Cell(0, kColumnResultCode), "9709");
    EXPECT_EQ(reserveList.Cell(5, kColumnResultCode), "0000");
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 10);
}

TEST_F(UploadNewFaultTest, AnAccountTwiceInTheFileIsStoredNeitherTimeAndTheRestIs) {
    Accounts reserves = Reserves(4);
    reserves.push_back(reserves[1]);
    Day({}, {}, reserves, Banks(2));
    EXPECT_EQ(uploader.UploadNew(), 1);
    EXPECT_EQ(RecordsOf(TakeUploads()), (std::vector<int>{7, 5}));
    EXPECT_EQ(LastMessage(), UploadNewSummary(3, 0, 2, 2, 0, 0, 2));
    EXPECT_EQ(reserveList.Cell(1, kColumnResultCode), "9706");
    EXPECT_EQ(reserveList.Cell(4, kColumnResultCode), "9706");
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 3);
    EXPECT_EQ(BankCount(), 2);
}

TEST_F(UploadNewFaultTest, MoreThanARequestHoldsGoesInTwoRequestsOfTheFirstRound) {
    // The limit lowered from 999,999 so that the split is reached on small numbers.
    const int count = 12;
    uploader.Runs().SetRecordLimit(10);
    Day({}, {}, Reserves(count), {});
    EXPECT_EQ(uploader.UploadNew(), 1) << LastMessage();
    EXPECT_EQ(RecordsOf(TakeUploads()), (std::vector<int>{10, 2}));
    EXPECT_EQ(LastMessage(), UploadNewSummary(count, 0, 0, 0, 0, 0, 2));
    EXPECT_EQ(ReserveCount(), count);
    EXPECT_EQ(
        uploader.Runs().Outcomes().Count(upload::RowKind::Reserve, upload::RowOutcome::Stored),
        static_cast<std::size_t>(count));
}

TEST_F(UploadNewFaultTest, ACutConnectionInTheSecondRoundIsResentBySerialAndNothingStoredTwice) {
    const Accounts reserves = Reserves(6);
    const Accounts banks = Banks(4);
    Day(Held(reserves, 3), Held(banks, 3), reserves, banks);
    uploader.Runs().SetProgressListener([&, requests = 0](int, int) mutable {
        if (++requests == 1) // the second round's reply breaks off inside its first record
            gateway->SetFaults(CutReplies(16 + 9 + 2 + 126 + 300, 1));
    });

    EXPECT_EQ(uploader.UploadNew(), 1) << LastMessage();
    const auto uploads = TakeUploads();
    ASSERT_EQ(RecordsOf(uploads), (std::vector<int>{10, 4, 4}));
    EXPECT_NE(uploads[2].find("outcome=repeated"), std::string::npos) << uploads[2];
    EXPECT_EQ(uploads[1].substr(0, uploads[1].find(" records=")),
              uploads[2].substr(0, uploads[2].find(" records=")));
    EXPECT_EQ(LastMessage(), UploadNewSummary(2, 4, 0, 2, 2, 0, 2));
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 6);
    EXPECT_EQ(BankCount(), 4);
}

TEST_F(UploadNewFaultTest, AfterAPerRecordRunCutOffItSendsOnlyWhatIsNotStored) {
    Day({}, {}, Reserves(4), Banks(2));
    // The third record's reply is lost twice: the run stops with that record
    // stored by the gateway but not known to the tool.
    uploader.Runs().SetProgressListener([&](int done, int) {
        if (done == 2)
            gateway->SetFaults(CutReplies(0, 2));
    });
    EXPECT_EQ(uploader.UploadEach(), 0);
    EXPECT_EQ(ReserveCount(), 3);
    EXPECT_EQ(uploader.Runs().Outcomes().Get(upload::RowKind::Reserve, 2),
              upload::RowOutcome::Unknown);
    uploader.Runs().SetProgressListener(nullptr);
    TakeUploads();

    EXPECT_EQ(uploader.UploadNew(), 1) << LastMessage();
    // Row 2's lost request goes first, as it was: the gateway's record says
    // it stored the record, so it is counted new, not held. Rows 0 and 1 are
    // not sent; the rest go in one request.
    const auto uploads = TakeUploads();
    EXPECT_EQ(RecordsOf(uploads), (std::vector<int>{1, 3}));
    ASSERT_FALSE(uploads.empty());
    EXPECT_NE(uploads[0].find("outcome=repeated"), std::string::npos) << uploads[0];
    EXPECT_EQ(LastMessage(), UploadNewSummary(2, 0, 0, 2, 0, 0, 2));
    EXPECT_EQ(reserveList.Cell(0, kColumnResultCode), "0000");
    EXPECT_EQ(reserveList.Cell(2, kColumnResultCode), "0000");
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 4);
    EXPECT_EQ(BankCount(), 2);
}

} // namespace

namespace {

// The next `times` upload replies come `ms` late: after the client's timeout.
GatewayFaults LateReplies(int ms, int times) {
    GatewayFaults faults;
    faults.delayMs = ms;
    faults.times = times;
    return faults;
}

// The reply to the first request is lost: the request goes again with its
// serial and the gateway answers from its record, as if nothing happened.
TEST_F(UploadNewFaultTest, ALostReplyIsAskedForAgainAndTheRunGoesAsIfNothingHappened) {
    const Accounts reserves = Reserves(6);
    const Accounts banks = Banks(4);
    Day(Held(reserves, 3), Held(banks, 3), reserves, banks);
    comm.SetTimeoutMs(300);
    gateway->SetFaults(LateReplies(2000, 1));
    EXPECT_EQ(uploader.UploadNew(), 1) << LastMessage();
    const auto uploads = TakeUploads();
    ASSERT_GE(uploads.size(), 2u);
    EXPECT_NE(uploads[1].find("outcome=repeated"), std::string::npos) << uploads[1];
    EXPECT_EQ(LastMessage(), UploadNewSummary(2, 4, 0, 2, 2, 0, 2));
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 6);
    EXPECT_EQ(BankCount(), 4);
}

// A gateway that never answers: one message, the rows say "结果未知" and are
// unknown, nothing is counted stored. Once it answers again, the next run
// asks its record about the lost request first, so records it stored are
// counted new, not held.
TEST_F(UploadNewFaultTest, AGatewayThatNeverAnswersLeavesTheRowsUnknownUntilItsRecordSettlesThem) {
    Day({}, {}, Reserves(3), Banks(1));
    comm.SetTimeoutMs(300);
    gateway->SetFaults(LateReplies(4000, -1));
    EXPECT_EQ(uploader.UploadNew(), 0);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(LastMessage(), "等待网关应答超时(300毫秒)");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(reserveList.Cell(row, kColumnResultText), "结果未知");
        EXPECT_EQ(
            uploader.Runs().Outcomes().Get(upload::RowKind::Reserve, static_cast<std::size_t>(row)),
            upload::RowOutcome::Unknown);
    }
    EXPECT_EQ(bankList.Cell(0, kColumnResultText), "结果未知");
    EXPECT_EQ(
        uploader.Runs().Outcomes().Count(upload::RowKind::Reserve, upload::RowOutcome::Stored), 0u);
    // The gateway stored them all the same (the first copy was processed once).
    EXPECT_EQ(ReserveCount(), 3);

    gateway->SetFaults(GatewayFaults{});
    comm.SetTimeoutMs(5000);
    TakeUploads();
    EXPECT_EQ(uploader.UploadNew(), 1) << LastMessage();
    const auto uploads = TakeUploads();
    ASSERT_EQ(RecordsOf(uploads), (std::vector<int>{4}));
    EXPECT_NE(uploads[0].find("outcome=repeated"), std::string::npos) << uploads[0];
    EXPECT_EQ(LastMessage(), UploadNewSummary(3, 0, 0, 1, 0, 0, 1));
    EXPECT_EQ(reserveList.Cell(0, kColumnResultCode), "0000");
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 3);
    EXPECT_EQ(BankCount(), 1);
}

} // namespace
