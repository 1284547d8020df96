#include "UploadFixture.h"
#include "support/Text.h"

namespace {

struct UploadAllTest : UploadFixture {
    // Status texts and messages in the order the operator saw them.
    std::vector<std::string> Shown() const {
        std::vector<std::string> shown;
        for (const auto& e : log.events)
            if (e.rfind("status:", 0) == 0 || e.rfind("message:", 0) == 0)
                shown.push_back(e);
        return shown;
    }
    bool ResultsBlank() const {
        for (int row = 0; row < reserveList.GetItemCount(); ++row)
            if (Result(reserveList, row) != std::pair<std::string, std::string>{"", ""})
                return false;
        for (int row = 0; row < bankList.GetItemCount(); ++row)
            if (Result(bankList, row) != std::pair<std::string, std::string>{" ", ""})
                return false;
        return true;
    }
};

const std::string kStatusSending = std::string("status:") + kSending;
const std::string kWrongCount = "message:上传失败,接收数据不正确!";

} // namespace

TEST_F(UploadAllTest, OneRequestHoldsReserveRecordsThenBankRecords) {
    LoadAccounts(2, 3);
    AnswerWithCodes({"0000"});
    ASSERT_EQ(uploader.UploadAll(), 1);

    ASSERT_EQ(comm.sentBodies.size(), 1u);
    const std::string& body = comm.sentBodies[0];
    ASSERT_EQ(body.size(), 5 * 572u);
    const std::vector<std::string> kinds = {"01", "01", "02", "02", "02"};
    for (std::size_t i = 0; i < kinds.size(); ++i)
        EXPECT_EQ(body.substr(572 * i + 136, 2), kinds[i]);
    EXPECT_EQ(WireField(body, 138, 25), "RSV0");
    EXPECT_EQ(WireField(body, 572 + 138, 25), "RSV1");
    EXPECT_EQ(WireField(body, 2 * 572 + 249, 28), "62220");
    EXPECT_EQ(WireField(body, 4 * 572 + 249, 28), "62222");
}

TEST_F(UploadAllTest, AcceptedWithEveryResultWritesTheListsAndSaysSo) {
    LoadAccounts(2, 3);
    AnswerWithCodes({"0000", "0", " 00 "});
    ASSERT_EQ(uploader.UploadAll(), 1);

    EXPECT_EQ(Shown(),
              (std::vector<std::string>{kStatusSending, "status:", "message:上传数据成功!"}));
    EXPECT_EQ(Result(reserveList, 0), (std::pair<std::string, std::string>{"0000", "T0000"}));
    EXPECT_EQ(Result(reserveList, 1), (std::pair<std::string, std::string>{"0", "T0"}));
    EXPECT_EQ(Result(bankList, 2), (std::pair<std::string, std::string>{"00", "T 00"}));
}

// Any code that does not confirm storage turns the plain success into the
// summary, whether the exchange saw a rejection (9715) or not.
TEST_F(UploadAllTest, CodesThatConfirmNothingGetTheSummary) {
    const struct {
        std::vector<std::string> codes; // reserve 0, reserve 1, bank 0, bank 1, bank 2
        int rs, rf, bs, bf;
    } cases[] = {
        {{"9715", "    ", "0", "9715", "0"}, 0, 2, 2, 1},       // blank code alongside a rejection
        {{"0000", "1234", "0000", "0000", "0000"}, 1, 1, 3, 0}, // other code, exchange gave 1
        {{"0000", "0000", "", "0000", "0000"}, 2, 0, 2, 1},     // empty code
        {{"+0", "0A", "0000", "0000", "-0"}, 0, 2, 2, 1},       // zero only to atoi
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codes[1]);
        LoadAccounts(2, 3);
        AnswerWithCodes(c.codes);
        ASSERT_EQ(uploader.UploadAll(), 1);
        EXPECT_EQ(Shown(),
                  (std::vector<std::string>{
                      kStatusSending, "status:",
                      text::Format("message:上传A股备付金成功%d条,失败%d条;\n"
                                   "上传银行账户成功%d条,失败%d条;\n具体请看列表中结果说明.",
                                   c.rs, c.rf, c.bs, c.bf)}));
        // The rows show what the server said, trimmed.
        EXPECT_EQ(Result(reserveList, 0).first, c.codes[0]);
        EXPECT_EQ(Result(bankList, 2).second, "T" + c.codes[4]);
    }
}

TEST_F(UploadAllTest, SummaryOfOneKindOnly) {
    LoadAccounts(0, 2);
    AnswerWithCodes({"9715", "0"});
    ASSERT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(
        window.messages.back(),
        "上传A股备付金成功0条,失败0条;\n上传银行账户成功1条,失败1条;\n具体请看列表中结果说明.");

    LoadAccounts(2, 0);
    AnswerWithCodes({"0", "9715"});
    ASSERT_EQ(uploader.UploadAll(), 1);
    EXPECT_EQ(
        window.messages.back(),
        "上传A股备付金成功1条,失败1条;\n上传银行账户成功0条,失败0条;\n具体请看列表中结果说明.");
}

TEST_F(UploadAllTest, WrongNumberOfResultsLeavesTheListsBlank) {
    // One result fewer than sent, for each outcome that carries results.
    for (const auto& codes : std::vector<std::vector<std::string>>{
             {"0", "0", "0", "0"}, {"9715", "0", "0", "0"}, {"9720", "0", "0", "0"}}) {
        SCOPED_TRACE(codes[0]);
        LoadAccounts(2, 3);
        comm.responses.push_back(Response(codes));
        EXPECT_EQ(uploader.UploadAll(), 0);
        EXPECT_EQ(Shown(), (std::vector<std::string>{kStatusSending, "status:", kWrongCount}));
        EXPECT_TRUE(ResultsBlank());
    }
    // One result too many is just as wrong.
    LoadAccounts(1, 0);
    comm.responses.push_back(Response({"0", "0"}));
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(Shown().back(), kWrongCount);
}

TEST_F(UploadAllTest, DuplicatesClearTheStatusTwiceAndPointToThePerRecordMode) {
    LoadAccounts(2, 3);
    AnswerWithCodes({"0", "9720", "0"});
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(
        Shown(),
        (std::vector<std::string>{
            kStatusSending, "status:",
            "message:上传失败,失败原因:服务器存在重复记录;\n建议通过[逐笔上传]按钮上传列表中数据!",
            "status:"}));
    EXPECT_TRUE(ResultsBlank());
}

TEST_F(UploadAllTest, FailedExchangeClearsTheStatusAndAddsNoMessage) {
    LoadAccounts(2, 3);
    comm.sendResult = -1;
    comm.failureText = "连接断开";
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{kStatusSending, "status:", "message:连接断开", "status:"}));
    EXPECT_TRUE(ResultsBlank());

    // A refusal (the status stays up while its box shows) ends the same way.
    LoadAccounts(2, 3);
    comm.sendResult = 0;
    comm.responses.push_back(Refusal("0009", "busy"));
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_EQ(Shown(), (std::vector<std::string>{kStatusSending, "message:busy", "status:"}));
}

TEST_F(UploadAllTest, ResultColumnsAreBlankedBeforeSending) {
    LoadAccounts(1, 1);
    AnswerWithCodes({"0000"});
    ASSERT_EQ(uploader.UploadAll(), 1);
    comm.onSend = [&] {
        EXPECT_TRUE(ResultsBlank());
        EXPECT_TRUE(uploader.Runs().IsUploading());
    };
    comm.sendResult = -1;
    EXPECT_EQ(uploader.UploadAll(), 0);
    EXPECT_FALSE(uploader.Runs().IsUploading());
}
