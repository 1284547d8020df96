// Uploads against the simulator over loopback, with the records the exchange
// sends: result codes, what the store keeps, request-level refusals.

#include "GatewayFixture.h"

#include "protocol/WireFormat.h"
#include "support/Text.h"

#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstring>

namespace {

class GatewayUploadTest : public GatewayFixture {
protected:
    void SetUp() override { StartGateway(); }
    void LogIn(CNetworkCommunication& comm, const char* name = "alice",
               const char* password = kAlicePassword) {
        ASSERT_EQ(Login(comm, name, password), 0) << comm.LastErrorText;
    }
    std::vector<UploadRequestRecord> Batch() {
        return {ReserveRequest("B880000001", "上海测试证券"),
                ReserveRequest("B880000002", "深圳测试证券"),
                BankRequest("0102", "6222000011112222", "上海测试证券", "工商银行上海分行")};
    }
    CNetworkCommunication comm;
};

TEST_F(GatewayUploadTest, FreshRecordsAreStoredAndTheSameBatchAgainIsRefusedWhole) {
    LogIn(comm);
    const Exchanged first = Upload(comm, WireBody(Batch(), comm));
    ASSERT_EQ(first.rc, 0) << comm.LastErrorText;
    EXPECT_EQ(first.returnCode, "0000");
    EXPECT_EQ(first.marker, "00");
    EXPECT_EQ(first.codes, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(ReserveCount(), 2);
    EXPECT_EQ(BankCount(), 1);

    // One new record among held ones: the held ones carry their codes and the
    // new one is not stored either.
    auto again = Batch();
    again.push_back(ReserveRequest("B880000003", "新账户"));
    const Exchanged second = Upload(comm, WireBody(again, comm));
    ASSERT_EQ(second.rc, 0);
    EXPECT_EQ(second.codes, (std::vector<int>{9720, 9720, 9721, 9701}));
    EXPECT_EQ(ReserveCount(), 2);

    // One record a request, as the per-record mode sends them: only the new one
    // is stored.
    std::vector<int> codes;
    for (const auto& record : again)
        codes.push_back(Upload(comm, WireBody({record}, comm)).codes.at(0));
    EXPECT_EQ(codes, (std::vector<int>{9720, 9720, 9721, 0}));
    EXPECT_EQ(ReserveCount(), 3);
    EXPECT_EQ(BankCount(), 1);
}

TEST_F(GatewayUploadTest, InvalidRecordIsRefusedAloneAndTheOthersAreStored) {
    LogIn(comm);
    auto records = Batch();
    std::strcpy(records[1].BusinessKind, "71");                     // a wrong literal in field 23
    records.push_back(BankRequest("0102", "", "无账号", "某银行")); // a required field empty
    const Exchanged reply = Upload(comm, WireBody(records, comm));
    ASSERT_EQ(reply.rc, 0);
    EXPECT_EQ(reply.codes, (std::vector<int>{0, 9715, 0, 9715}));
    EXPECT_EQ(ReserveCount(), 1);
    EXPECT_EQ(BankCount(), 1);
    // The result text names the field.
    const std::size_t p = protocol::PrefixLength(0);
    const std::string resultText = text::GbkToUtf8(reply.response.substr(p + 128 + 616 + 576, 40));
    EXPECT_NE(resultText.find("第23字段"), std::string::npos) << resultText;
}

// Every field a valid record may leave empty is left empty, and every field
// the gateway ignores is filled: all are stored.
TEST_F(GatewayUploadTest, EveryFieldThatMayBeEmptyIsStoredAndIgnoredFieldsAreIgnored) {
    LogIn(comm);
    const struct {
        int field;
        std::size_t offset, width;
    } ignored[] = {{2, 6, 16},   {4, 30, 8},    {6, 46, 40},  {8, 94, 40},  {18, 437, 25},
                   {19, 462, 4}, {20, 466, 28}, {24, 528, 2}, {25, 530, 2}, {26, 532, 40}};
    std::vector<UploadRequestRecord> records = {ReserveRequest("B0", "甲"),
                                                BankRequest("0102", "A0", "乙", "")};
    for (const auto& f : ignored) {
        records.push_back(ReserveRequest("B" + std::to_string(f.field), "甲"));
        records.push_back(BankRequest("0102", "A" + std::to_string(f.field), "乙", ""));
    }
    std::string body = WireBody(records, comm);
    for (std::size_t i = 0; i < std::size(ignored); ++i)
        for (std::size_t record : {2 + 2 * i, 3 + 2 * i})
            body.replace(record * 572 + ignored[i].offset, ignored[i].width,
                         std::string(ignored[i].width, 'Z'));
    const Exchanged reply = Upload(comm, body);
    ASSERT_EQ(reply.rc, 0) << comm.LastErrorText;
    EXPECT_EQ(reply.codes, std::vector<int>(records.size(), 0));
    EXPECT_EQ(ReserveCount(), 11);
    EXPECT_EQ(BankCount(), 11);
}

// DEL is a control byte and no text; 0x80 is the euro sign of code page 936.
TEST_F(GatewayUploadTest, TextFieldsTakeTheEuroSignButNoDel) {
    LogIn(comm);
    const Exchanged reply =
        Upload(comm, WireBody({ReserveRequest("B1", "甲\x7f"), ReserveRequest("B2", "€"),
                               BankRequest("0102", "A1", "乙", "\x7f"),
                               BankRequest("0102", "A2", "€", "€")},
                              comm));
    EXPECT_EQ(reply.codes, (std::vector<int>{9715, 0, 9715, 0}));
    EXPECT_EQ(ReserveCount(), 1);
}

// A store that fails refuses the whole request with 2007, names the record in
// the log, and stores nothing; the next request is served.
TEST_F(GatewayUploadTest, AStoreFailureNamesItsRecordAndTheNextUploadWorks) {
    gateway.reset();
    QTemporaryDir dir;
    GatewayConfig config = MakeConfig();
    config.dbPath = dir.path().toStdString() + "/store.db";
    StartGateway(std::move(config));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.path().toStdString().append("/store.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER refuse BEFORE INSERT ON bank_accounts "
                           "WHEN NEW.account_no = CAST('6222000011112222' AS BLOB) "
                           "BEGIN SELECT RAISE(ABORT, 'disk says no'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    LogIn(comm);
    const Exchanged refused = Upload(comm, WireBody(Batch(), comm));
    EXPECT_EQ(refused.returnCode, "2007");
    EXPECT_TRUE(refused.codes.empty());
    EXPECT_EQ(ReserveCount() + BankCount(), 0);
    const auto lines = log->Copy();
    ASSERT_GE(lines.size(), 2u);
    const std::string& failure = lines[lines.size() - 2];
    EXPECT_NE(failure.find("record 3 (bank 0102/6222000011112222)"), std::string::npos) << failure;
    EXPECT_NE(failure.find("disk says no"), std::string::npos) << failure;

    auto others = Batch();
    others.pop_back();
    EXPECT_EQ(Upload(comm, WireBody(others, comm)).codes, (std::vector<int>{0, 0}));
}

TEST_F(GatewayUploadTest, SameAccountTwiceAndAnotherParticipantsAccountStoreNothing) {
    LogIn(comm);
    const Exchanged twice =
        Upload(comm, WireBody({ReserveRequest("B1", "甲"), ReserveRequest("B1", "甲"),
                               BankRequest("0001", "A1", "乙", "丙")},
                              comm));
    EXPECT_EQ(twice.codes, (std::vector<int>{9706, 9706, 9701}));
    // The request itself was processed: nothing stored, but accepted.
    EXPECT_EQ(twice.returnCode, "0000");
    EXPECT_EQ(twice.message, "处理完成");
    EXPECT_EQ(ReserveCount() + BankCount(), 0);

    ASSERT_EQ(Upload(comm, WireBody({ReserveRequest("B1", "甲")}, comm)).codes.at(0), 0);
    CNetworkCommunication other;
    LogIn(other, "bob", kBobPassword);
    EXPECT_EQ(other.CommString1, "P0000002");
    EXPECT_EQ(Upload(other, WireBody({ReserveRequest("B1", "甲")}, other)).codes.at(0), 9709);
    EXPECT_EQ(ReserveCount(), 1);
}

TEST_F(GatewayUploadTest, HeaderModeOneAnswersWithTheLongerPrefix) {
    gateway.reset();
    GatewayConfig config = MakeConfig();
    config.headerMode = 1;
    StartGateway(std::move(config));
    LogIn(comm);
    EXPECT_EQ(comm.GetHeaderMode(), 1);
    char serial[17] = {};
    char flag = '0';
    ASSERT_EQ(comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag), 0);
    const std::string body = WireBody(Batch(), comm);
    CDataBuf request;
    CDataBuf response;
    request.InsertDataToBuf(body.data(), 0, body.size());
    ASSERT_EQ(comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serial, flag,
                                     static_cast<long>(body.size()), &request),
              0);
    ASSERT_EQ(comm.SendAndReceive(&request, &response, 0), 0);
    const std::string r(response.Data(), response.GetSize());
    ASSERT_EQ(r.size(), 17 + 2 + 126 + 3 * 616u);
    EXPECT_EQ(r.substr(0, 17), std::string("1") + serial);
    EXPECT_EQ(r.substr(19 + 60, 4), "0000");
    EXPECT_EQ(r.substr(19 + 64, 9), "000001848");
    // Result records echo the request record they answer.
    EXPECT_EQ(r.substr(145, 572), body.substr(0, 572));
}

TEST_F(GatewayUploadTest, RequestLevelFaultsComeBackAsHeaderReturnCodes) {
    LogIn(comm);
    const std::string body = WireBody(Batch(), comm);
    auto send = [&](const std::string& serial, const std::string& bytes, long length,
                    const char* function = "40") {
        CDataBuf request;
        CDataBuf response;
        request.InsertDataToBuf(bytes.data(), 0, bytes.size());
        char s[17] = {};
        std::strncpy(s, serial.c_str(), 16);
        if (comm.BuildPacketHeader("SSCCRC", "JSXT", "99", function, s, '1',
                                   static_cast<long>(bytes.size()), &request) < 0)
            return Exchanged{};
        if (length >= 0) // a header that lies about the body
            std::memcpy(request.Data() + 37, text::Format("%010ld", length).c_str(), 10);
        return Parse(comm, comm.SendAndReceive(&request, &response, 0), response);
    };
    EXPECT_EQ(send("ZZZZZZ0000000001", body, -1).returnCode, "2002");
    char serial[17] = {};
    char flag = '0';
    ASSERT_EQ(comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag), 0);
    EXPECT_EQ(send(serial, body, -1, "41").returnCode, "2004");
    EXPECT_EQ(send(serial, body.substr(0, 600), -1).returnCode, "2005");
    EXPECT_EQ(send(serial, body, 572).returnCode, "2005");
    const Exchanged accepted = send(serial, body, -1);
    EXPECT_EQ(accepted.returnCode, "0000");
    // The same serial with another body is refused; with the same body it is
    // answered from the record.
    EXPECT_EQ(send(serial, body.substr(0, 572), -1).returnCode, "2003");
    const Exchanged repeated = send(serial, body, -1);
    EXPECT_EQ(repeated.marker, "01");
    EXPECT_EQ(repeated.codes, accepted.codes);
    EXPECT_FALSE(repeated.message.empty());
    EXPECT_EQ(ReserveCount(), 2);
}

TEST_F(GatewayUploadTest, ASerialWhoseRecordIsGoneIsNeverProcessedAgain) {
    LogIn(comm);
    char serial[17] = {};
    char flag = '0';
    ASSERT_EQ(comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag), 0);
    const std::string first = WireBody({ReserveRequest("B0", "甲")}, comm);
    ASSERT_EQ(Send(comm, serial, first).codes, (std::vector<int>{0}));
    for (int i = 1; i <= 64; ++i) // pushes the first request out of the record
        ASSERT_EQ(Upload(comm, WireBody({ReserveRequest("B" + std::to_string(i), "乙")}, comm)).rc,
                  0);
    EXPECT_EQ(Send(comm, serial, first).returnCode, "2002");
    EXPECT_EQ(ReserveCount(), 65);
}

TEST_F(GatewayUploadTest, AnEmptyRequestIsAnsweredWithNoResults) {
    LogIn(comm);
    const Exchanged reply = Upload(comm, "");
    ASSERT_EQ(reply.rc, 0);
    EXPECT_EQ(reply.returnCode, "0000");
    EXPECT_EQ(reply.message, "处理完成");
    EXPECT_EQ(reply.response.substr(9 + 2 + 64, 9), "000000000");
    EXPECT_TRUE(reply.codes.empty());
}

TEST_F(GatewayUploadTest, OneLogLinePerRequestWithOperatorSerialCountAndOutcome) {
    LogIn(comm);
    Upload(comm, WireBody(Batch(), comm));
    const auto lines = log->Copy();
    ASSERT_FALSE(lines.empty());
    const std::string& line = lines.back();
    EXPECT_NE(line.find("operator=alice"), std::string::npos) << line;
    EXPECT_NE(line.find("serial="), std::string::npos) << line;
    EXPECT_NE(line.find("records=3"), std::string::npos) << line;
    EXPECT_NE(line.find("stored 3"), std::string::npos) << line;
}

} // namespace
