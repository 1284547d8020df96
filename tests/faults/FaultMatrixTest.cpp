// Every way the link to the gateway can fail, played during a real upload.
// For each: what the operator is told, that no row reads "0000" unless the
// store holds it, that nothing is stored twice, and that the next upload works.

#include "FaultMatrixFixture.h"

#include "support/Text.h"
#include "support/net/ClientTexts.h"

namespace {

// Offsets into the upload reply frame of a request with one reserve and one
// bank record, mode 0: frame header 16, prefix 9, marker 2, reply header 126,
// then two result records of 616 bytes.
constexpr long long kFrameHead = 16;
constexpr long long kAfterPrefix = kFrameHead + 9;
constexpr long long kAfterHeader = kAfterPrefix + 2 + 126;
constexpr long long kHalfARecord = kAfterHeader + 616 / 2;

class FaultMatrixTest : public FaultMatrixFixture {
protected:
    void SetUp() override {
        FaultMatrixFixture::SetUp();
        WriteReserves({{"B880000001", "上海测试证券"}});
        WriteBanks({{"0102", "6222000011112222"}});
        Load();
    }
    void Play(const std::string& item, int times, const std::string& target = "upload") {
        GatewayFaults faults;
        std::string error;
        ASSERT_TRUE(ParseFault(item, faults, error)) << error;
        faults.times = times;
        faults.target = target;
        gateway->SetFaults(faults);
    }
    int SuccessRows() const {
        int n = 0;
        for (const auto* list : {&reserveList, &bankList})
            for (const auto& row : list->rows)
                n += row[kColumnResultCode] == "0000";
        return n;
    }
    // After an upload that failed with the records possibly stored: sending
    // them again stores nothing more, and a new record goes through.
    void ExpectStoredOnceAndUsable(long long reserves, long long banks) {
        ASSERT_EQ(ReserveCount(), reserves);
        ASSERT_EQ(BankCount(), banks);
        EXPECT_EQ(uploader.UploadEach(), 1);
        ExpectEverySuccessStored();
        EXPECT_EQ(ReserveCount(), reserves);
        EXPECT_EQ(BankCount(), banks);

        WriteReserves({{"B880000001", "上海测试证券"}, {"B880000099", "新开测试证券"}});
        Load();
        EXPECT_EQ(uploader.UploadEach(), 1);
        EXPECT_EQ(LastMessage(), SummaryText(reserves == 1 ? 1 : 2, reserves == 1 ? 1 : 0,
                                             banks == 1 ? 0 : 1, banks == 1 ? 1 : 0));
        EXPECT_EQ(reserveList.Cell(1, kColumnResultCode), "0000");
        ExpectEverySuccessStored();
        EXPECT_EQ(ReserveCount(), 2);
        EXPECT_EQ(BankCount(), 1);
    }
};

TEST_F(FaultMatrixTest, NoGatewayListeningRefusesTheLoginThenTheToolWorksOnceItIsBack) {
    comm.Close();
    StopGateway();
    EXPECT_EQ(OperatorLogin(), 0);
    EXPECT_EQ(LastMessage(), text::Format(clienttext::kUnreachable,
                                          ("127.0.0.1:" + std::to_string(port)).c_str()));
    RestartGateway();
    ASSERT_EQ(OperatorLogin(), 1) << LastMessage();
    EXPECT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(LastMessage(), kAllUploaded);
    ExpectEverySuccessStored();
}

TEST_F(FaultMatrixTest, AGatewayGoneDuringTheSessionIsReportedAndALoginRecovers) {
    StopGateway();
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_NE(LastMessage().find("无法连接网关"), std::string::npos) << LastMessage();
    EXPECT_EQ(SuccessRows(), 0);

    RestartGateway(); // the session died with the old gateway
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_NE(LastMessage().find("网关会话已失效,请重新登录"), std::string::npos) << LastMessage();
    EXPECT_EQ(ReserveCount(), 0);

    ASSERT_EQ(OperatorLogin(), 1) << LastMessage();
    EXPECT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(LastMessage(), kAllUploaded);
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 1);
    EXPECT_EQ(BankCount(), 1);
}

// A reply cut once is fetched again over a new connection and answered from
// the gateway's record; cut twice, the loss is reported.
class ReplyCutTest : public FaultMatrixTest, public ::testing::WithParamInterface<long long> {};

TEST_P(ReplyCutTest, CutOnceIsRecoveredWithoutStoringTwice) {
    Play("close-after=" + std::to_string(GetParam()), 1);
    EXPECT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(LastMessage(), kAllUploaded);
    EXPECT_EQ(SuccessRows(), 2);
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 1);
    EXPECT_EQ(BankCount(), 1);
}

TEST_P(ReplyCutTest, CutTwiceIsReportedAsLostAndNothingIsCalledStored) {
    Play("close-after=" + std::to_string(GetParam()), 2);
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(LastMessage(), clienttext::kLost);
    EXPECT_EQ(SuccessRows(), 0);
    // The first send reached the gateway and was processed, once.
    ExpectStoredOnceAndUsable(1, 1);
}

INSTANTIATE_TEST_SUITE_P(BeforeTheReplyAndAfterEachPart, ReplyCutTest,
                         ::testing::Values(0LL, kFrameHead, kAfterPrefix, kAfterHeader,
                                           kHalfARecord),
                         [](const auto& info) {
                             switch (info.param) {
                             case 0:
                                 return std::string("BeforeTheReply");
                             case kFrameHead:
                                 return std::string("AfterTheFrameHeader");
                             case kAfterPrefix:
                                 return std::string("AfterThePrefix");
                             case kAfterHeader:
                                 return std::string("AfterTheReplyHeader");
                             default:
                                 return std::string("InsideAResultRecord");
                             }
                         });

TEST_F(FaultMatrixTest, ASerialRequestCutTwiceStoresNothingAndSaysWhy) {
    Play("close-after=0", 2, "serial");
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(LastMessage(), std::string("申请交易序号失败[") + clienttext::kLost + "]");
    EXPECT_EQ(ReserveCount(), 0);
    EXPECT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(LastMessage(), kAllUploaded);
    ExpectEverySuccessStored();
}

// A reply later than the timeout is asked for again, and the gateway answers
// from its record: the operator sees the upload as it went.
TEST_F(FaultMatrixTest, AReplyLaterThanTheTimeoutIsAskedForAgainAndTheRecordsAreStoredOnce) {
    comm.SetTimeoutMs(300);
    Play("delay=2000", 1);
    EXPECT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(LastMessage(), kAllUploaded);
    EXPECT_EQ(SuccessRows(), 2);
    ExpectEverySuccessStored();
    comm.SetTimeoutMs(5000);
    ExpectStoredOnceAndUsable(1, 1);
}

// Per record: the reply to the second request is lost and asked for again.
TEST_F(FaultMatrixTest, PerRecordALostSecondReplyIsAskedForAgainAndEachRecordIsStoredOnce) {
    comm.SetTimeoutMs(300);
    uploader.Runs().SetProgressListener([this](int done, int) {
        if (done == 1)
            Play("delay=2000", 1);
    });
    EXPECT_EQ(uploader.UploadEach(), 1);
    uploader.Runs().SetProgressListener(nullptr);
    EXPECT_EQ(LastMessage(), SummaryText(1, 0, 1, 0));
    EXPECT_EQ(SuccessRows(), 2);
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 1);
    EXPECT_EQ(BankCount(), 1);
}

// A gateway that never answers: one message after the resends, the rows
// unknown, nothing called stored; the gateway's record settles them later.
TEST_F(FaultMatrixTest, AGatewayThatNeverAnswersIsReportedOnceAndItsRowsAreUnknown) {
    comm.SetTimeoutMs(300);
    Play("delay=4000", -1);
    const std::size_t shown = window.messages.size();
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(window.messages.size(), shown + 1);
    EXPECT_EQ(LastMessage(), text::Format(clienttext::kTimeout, 300));
    EXPECT_EQ(SuccessRows(), 0);
    EXPECT_EQ(uploader.Runs().Outcomes().Get(upload::RowKind::Reserve, 0),
              upload::RowOutcome::Unknown);
    EXPECT_EQ(uploader.Runs().Outcomes().Get(upload::RowKind::Bank, 0),
              upload::RowOutcome::Unknown);
    Play("delay=0", 0);
    comm.SetTimeoutMs(5000);
    ExpectStoredOnceAndUsable(1, 1);
}

TEST_F(FaultMatrixTest, GarbageForAReplyIsReportedAsMalformed) {
    Play("garbage", 1);
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(LastMessage(), clienttext::kMalformed);
    EXPECT_EQ(SuccessRows(), 0);
    ExpectStoredOnceAndUsable(1, 1);
}

TEST_F(FaultMatrixTest, AReplyInTheOtherHeaderModeIsRefused) {
    Play("header-mode=1", 1);
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(LastMessage(), clienttext::kMalformed);
    EXPECT_EQ(SuccessRows(), 0);
    ExpectStoredOnceAndUsable(1, 1);
}

TEST_F(FaultMatrixTest, ALoginAnnouncingTheOtherModeNeverPassesOffItsRepliesAsResults) {
    Play("header-mode=1", 1, "login");
    ASSERT_EQ(OperatorLogin(), 1) << LastMessage();
    ASSERT_EQ(comm.GetHeaderMode(), 1);
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(LastMessage(), clienttext::kMalformed);
    EXPECT_EQ(SuccessRows(), 0);
    ASSERT_EQ(OperatorLogin(), 1) << LastMessage(); // the gateway's own mode again
    ExpectStoredOnceAndUsable(1, 1);
}

TEST_F(FaultMatrixTest, AGatewayRestartedBetweenTwoRecordsStopsTheRunUntilTheNextLogin) {
    WriteReserves({{"B880000001", "上海测试证券"}, {"B880000002", "深圳测试证券"}});
    Load();
    uploader.Runs().SetProgressListener([this](int done, int) {
        if (done == 1)
            RestartGateway();
    });
    EXPECT_EQ(uploader.UploadEach(), 0);
    EXPECT_EQ(LastMessage().rfind("网关会话已失效,请重新登录", 0), 0u) << LastMessage();
    EXPECT_EQ(reserveList.Cell(0, kColumnResultCode), "0000");
    EXPECT_EQ(reserveList.Cell(1, kColumnResultCode), "");
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 1);

    uploader.Runs().SetProgressListener(nullptr);
    ASSERT_EQ(OperatorLogin(), 1) << LastMessage();
    EXPECT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(LastMessage(), SummaryText(1, 1, 1, 0));
    EXPECT_EQ(reserveList.Cell(0, kColumnResultCode), "9720");
    ExpectEverySuccessStored();
    EXPECT_EQ(ReserveCount(), 2);
    EXPECT_EQ(BankCount(), 1);
}

} // namespace
