#include "UploadFixture.h"

#include <filesystem>

namespace {

using UploadEachTest = UploadFixture;
using Cells = std::pair<std::string, std::string>;

std::string Summary(int rs, int rf, int bs, int bf) {
    return "上传A股备付金成功" + std::to_string(rs) + "条,失败" + std::to_string(rf) +
           "条;\n上传银行账户成功" + std::to_string(bs) + "条,失败" + std::to_string(bf) +
           "条;\n具体请看列表中结果说明.";
}

} // namespace

TEST_F(UploadEachTest, OneRequestPerRecordWithResultsRowByRow) {
    LoadAccounts(2, 3);
    AnswerWithCodes({"0000", "0000", "0000", "1234", "0000"});
    std::vector<std::pair<int, int>> progress;
    uploader.Runs().SetProgressListener(
        [&](int done, int total) { progress.emplace_back(done, total); });
    // Each record's row is written before the window's events are handled.
    window.onPump = [&](int pump) {
        if (pump <= 2)
            EXPECT_EQ(Result(reserveList, pump - 1).first, "0000");
        else
            EXPECT_EQ(Result(bankList, pump - 3).second, pump == 4 ? "T1234" : "T0000");
    };

    ASSERT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(comm.CountCalls("ApplySerialNo"), 5);
    ASSERT_EQ(comm.sentBodies.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(comm.sentBodies[i].size(), 572u);
        EXPECT_EQ(comm.sentBodies[i].substr(0, 2), std::string("1\0", 2)); // always record 1
        EXPECT_EQ(comm.sentBodies[i].substr(136, 2), i < 2 ? "01" : "02");
    }
    EXPECT_EQ(WireField(comm.sentBodies[4], 249, 28), "62222");
    EXPECT_EQ(window.pumps, 5);
    // A code other than zero is shown, and counted as a failure although the
    // exchange accepted it.
    EXPECT_EQ(Result(bankList, 1), (Cells{"1234", "T1234"}));
    EXPECT_EQ(comm.statusTexts, (std::vector<std::string>{kSending, "", ""}));
    EXPECT_EQ(window.messages, std::vector<std::string>{Summary(2, 0, 2, 1)});
    EXPECT_EQ(log.events.back(), "status:"); // cleared again after the summary
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    EXPECT_FALSE(uploader.Runs().IsUploading());
}

TEST_F(UploadEachTest, FailedExchangeOnTheThirdReserveRecordStopsTheRun) {
    LoadAccounts(4, 2);
    AnswerWithCodes({"0000"});
    int sends = 0;
    comm.onSend = [&] { comm.sendResult = ++sends == 3 ? -1 : 0; };
    comm.failureText = "网络中断";

    EXPECT_EQ(uploader.UploadEach(), 0);
    EXPECT_EQ(sends, 3);
    EXPECT_EQ(Result(reserveList, 0), (Cells{"0000", "T0000"}));
    EXPECT_EQ(Result(reserveList, 1), (Cells{"0000", "T0000"}));
    EXPECT_EQ(Result(reserveList, 2), (Cells{"", ""}));
    EXPECT_EQ(Result(reserveList, 3), (Cells{"", ""}));
    EXPECT_EQ(Result(bankList, 0), (Cells{" ", ""}));
    EXPECT_EQ(window.messages, std::vector<std::string>{"网络中断"}); // the exchange's, no summary
    EXPECT_EQ(comm.statusTexts.back(), "");
    EXPECT_EQ(window.pumps, 2);
}

TEST_F(UploadEachTest, DuplicateOrRejectedRecordsCountAsFailuresAndTheRunGoesOn) {
    LoadAccounts(1, 3);
    AnswerWithCodes({"9715", "0000", "9720", "0000"});
    ASSERT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(Result(reserveList, 0), (Cells{"9715", "T9715"}));
    EXPECT_EQ(Result(bankList, 1), (Cells{"9720", "T9720"}));
    EXPECT_EQ(Result(bankList, 2), (Cells{"0000", "T0000"}));
    EXPECT_EQ(comm.sentBodies.size(), 4u);
    EXPECT_EQ(window.messages, std::vector<std::string>{Summary(0, 1, 2, 1)});
}

TEST_F(UploadEachTest, OnlyCodesOfZerosCountAsStored) {
    LoadAccounts(3, 3);
    AnswerWithCodes({"0000", "    ", "", "0", "+0", "0A"});
    ASSERT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(Result(reserveList, 1), (Cells{"", "T"}));
    EXPECT_EQ(Result(bankList, 2), (Cells{"0A", "T0A"}));
    EXPECT_EQ(window.messages, std::vector<std::string>{Summary(1, 2, 1, 2)});
}

TEST_F(UploadEachTest, OnlyTheFirstResultOfAResponseIsShown) {
    LoadAccounts(0, 1);
    comm.responses.push_back(Response({"0001", "9720"}, {"first", "second"}));
    ASSERT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(Result(bankList, 0), (Cells{"0001", "first"}));
    EXPECT_EQ(window.messages, std::vector<std::string>{Summary(0, 0, 0, 1)}); // rc was -2
}

TEST_F(UploadEachTest, AReloadDuringThePumpIsFollowedWithoutStaleRecordsOrRows) {
    LoadAccounts(3, 3);
    AnswerWithCodes({"0000"});
    // After the first record the files change to one reserve and two bank
    // accounts, and the window reloads them.
    window.onPump = [&](int pump) {
        if (pump == 1) {
            WriteAccounts(1, 2, "new");
            ASSERT_EQ(uploader.Load(), 1);
        }
    };

    ASSERT_EQ(uploader.UploadEach(), 1);
    ASSERT_EQ(comm.sentBodies.size(), 3u); // reserve 0, then the two new bank records
    EXPECT_EQ(WireField(comm.sentBodies[0], 138, 25), "RSV0");
    EXPECT_EQ(WireField(comm.sentBodies[1], 249, 28), "6222new0");
    EXPECT_EQ(WireField(comm.sentBodies[2], 249, 28), "6222new1");
    EXPECT_EQ(bankList.GetItemCount(), 2);
    EXPECT_EQ(Result(bankList, 1), (Cells{"0000", "T0000"}));
    EXPECT_EQ(bankList.ignoredWrites + reserveList.ignoredWrites, 0);
    EXPECT_EQ(window.messages, std::vector<std::string>{Summary(1, 0, 2, 0)});
}

TEST_F(UploadEachTest, ArraysEmptiedDuringThePumpEndTheRunCleanly) {
    LoadAccounts(3, 3);
    AnswerWithCodes({"0000"});
    window.onPump = [&](int pump) {
        if (pump == 1) {
            std::filesystem::remove(workDir / "localconfig" / "agbfj.dat");
            std::filesystem::remove(workDir / "localconfig" / "yhzh.dat");
            EXPECT_EQ(uploader.Load(), 0); // nothing to load: both arrays now empty
        }
    };
    ASSERT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(comm.sentBodies.size(), 1u);
    // Counted as sent, not as records that happen to be loaded at the end.
    EXPECT_EQ(window.messages.back(), Summary(1, 0, 0, 0));
}

TEST_F(UploadEachTest, NoReserveRecordsRunsTheBankPassAlone) {
    LoadAccounts(0, 2);
    AnswerWithCodes({"0000"});
    ASSERT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(comm.sentBodies.size(), 2u);
    EXPECT_EQ(window.messages, std::vector<std::string>{Summary(0, 0, 2, 0)});
}

TEST_F(UploadEachTest, StopRequestedDuringThePumpEndsAfterTheRecordInFlight) {
    LoadAccounts(2, 2);
    AnswerWithCodes({"0000"});
    window.onPump = [&](int pump) {
        if (pump == 3)
            uploader.Runs().RequestStop();
    };
    EXPECT_EQ(uploader.UploadEach(), 0);
    EXPECT_EQ(comm.sentBodies.size(), 3u);
    EXPECT_EQ(Result(bankList, 0).first, "0000");
    EXPECT_EQ(Result(bankList, 1), (Cells{" ", ""}));
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(comm.statusTexts, (std::vector<std::string>{kSending, ""}));

    // A stop asked for earlier does not cut short the next run.
    window.onPump = nullptr;
    EXPECT_EQ(uploader.UploadEach(), 1);
}

TEST_F(UploadEachTest, UploadsStartedFromThePumpAreTurnedAway) {
    LoadAccounts(1, 1);
    AnswerWithCodes({"0000"});
    window.onPump = [&](int) {
        EXPECT_TRUE(uploader.Runs().IsUploading());
        EXPECT_EQ(uploader.UploadEach(), 0);
        EXPECT_EQ(uploader.UploadAll(), 0);
    };
    ASSERT_EQ(uploader.UploadEach(), 1);
    EXPECT_EQ(comm.sentBodies.size(), 2u);
    EXPECT_EQ(comm.statusTexts, (std::vector<std::string>{kSending, "", ""}));
    EXPECT_FALSE(uploader.Runs().IsUploading());
}
