#include "UploadFixture.h"

#include "support/ComFormat.h"
#include "upload/RecordFormats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

using ExchangeTest = UploadFixture;

std::vector<UploadRequestRecord> Requests(std::size_t count) {
    std::vector<UploadRequestRecord> requests(count);
    for (auto& r : requests) {
        std::memset(&r, 0, sizeof r);
        std::strcpy(r.SeqNo, "999999"); // whatever the caller left there
        std::strcpy(r.RecordKind, "01");
    }
    return requests;
}

// A response laid out by hand: prefix, two bytes, header, results, so that the
// offsets are those the exchange must use and not the builder's.
std::string HandMadeResponse(std::size_t prefix, const std::string& length,
                             const std::vector<std::string>& codes) {
    std::string bytes(prefix + 2 + 126 + 616 * codes.size(), '#');
    bytes.replace(prefix + 2 + 60, 4, "0000");
    bytes.replace(prefix + 2 + 64, 9, Padded(length, 9));
    for (std::size_t k = 0; k < codes.size(); ++k)
        bytes.replace(prefix + 128 + 616 * k + 572, 4, Padded(codes[k], 4));
    return bytes;
}

std::string Codes(const std::vector<UploadResultRecord>& results) {
    std::string out;
    for (const auto& r : results)
        out += std::string(r.ResultCode) + ";";
    return out;
}

} // namespace

TEST_F(ExchangeTest, CallsTheGatewayInOrderWithItsLiterals) {
    comm.responder = [](const std::string& body) { return AcceptAll(body); };
    auto requests = Requests(3);
    std::vector<UploadResultRecord> results;

    ASSERT_EQ(uploader.Exchange(requests, results), 1);
    EXPECT_EQ(comm.CallNames(), (std::vector<std::string>{"ApplySerialNo", "BuildPacketHeader",
                                                          "SendAndReceive", "GetHeaderMode"}));
    EXPECT_EQ(comm.calls[0].args, (std::vector<std::string>{"SSCCRC", "JSXT", "99", "", "0"}));
    // The serial number and flag the gateway handed out go on to the header.
    EXPECT_EQ(comm.calls[1].args, (std::vector<std::string>{"SSCCRC", "JSXT", "99", "40",
                                                            "0000000000000001", "1", "1716"}));
    EXPECT_EQ(comm.calls[2].args, (std::vector<std::string>{"1716", "0"}));
    EXPECT_EQ(results.size(), 3u);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(comm.statusTexts.empty());
}

TEST_F(ExchangeTest, EmptyRequestStillSendsABodyOfLengthZero) {
    std::vector<UploadRequestRecord> requests;
    std::vector<UploadResultRecord> results;
    comm.responses.push_back(Response({"0000"}));

    EXPECT_EQ(uploader.Exchange(requests, results), 1);
    EXPECT_EQ(comm.calls[1].args.back(), "0");
    EXPECT_EQ(results.size(), 1u);
}

TEST_F(ExchangeTest, NumbersTheRecordsAndLaysThemOutEvery572Bytes) {
    comm.CommString1 = "ABCDEFGHIJ"; // longer than its field: cut at 8
    comm.CommString2 = "X2";
    comm.responder = [](const std::string& body) { return AcceptAll(body); };
    auto requests = Requests(3);
    std::vector<UploadResultRecord> results;
    ASSERT_EQ(uploader.Exchange(requests, results), 1);

    const std::string& body = comm.sentBodies.at(0);
    ASSERT_EQ(body.size(), 3 * 572u);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string image = body.substr(572 * i, 572);
        EXPECT_EQ(image.substr(0, 6), std::to_string(i + 1) + std::string(5, '\0'));
        EXPECT_EQ(WireField(image, 22, 8), "ABCDEFGH");
        EXPECT_EQ(WireField(image, 86, 8), "X2");
        EXPECT_EQ(WireField(image, 136, 2), "01");
        // The caller's records carry the same values.
        EXPECT_EQ(std::string(requests[i].SeqNo), std::to_string(i + 1));
        EXPECT_EQ(std::string(requests[i].CommString1), "ABCDEFGH");
    }
}

// The body grows a slice of records at a time; a request of many slices is
// laid out as if it had been sized at once: each record converted into its
// place, every byte the conversion leaves alone zero.
TEST_F(ExchangeTest, ABodyOfManySlicesHoldsEveryRecordInItsPlace) {
    comm.responder = [](const std::string& body) { return AcceptAll(body); };
    for (const std::size_t count : {1833u, 1834u, 5000u}) {
        SCOPED_TRACE(count);
        comm.sentBodies.clear();
        auto requests = Requests(count);
        for (std::size_t i = 0; i < count; ++i)
            std::snprintf(requests[i].ReserveAccountNo, sizeof requests[i].ReserveAccountNo, "B%zu",
                          880000000 + i);
        std::vector<UploadResultRecord> results;
        ASSERT_EQ(uploader.Exchange(requests, results), 1);
        const std::string& body = comm.sentBodies.at(0);
        ASSERT_EQ(body.size(), count * 572u);
        std::string image(572, '\0');
        for (std::size_t i = 0; i < count; ++i) {
            std::fill(image.begin(), image.end(), '\0');
            CGlobalClass::Convert(image.data(), &requests[i], UploadRequestFormat);
            ASSERT_EQ(body.compare(572 * i, 572, image), 0) << "record " << i;
        }
    }
}

TEST_F(ExchangeTest, HeaderModeGivesThePrefixLength) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        comm.calls.clear();
        comm.headerMode = mode;
        const std::size_t prefix = mode == 0 ? 9 : 17;
        comm.responses.push_back(HandMadeResponse(prefix, "1232", {"0", "9715"}));
        auto requests = Requests(2);
        std::vector<UploadResultRecord> results;

        EXPECT_EQ(uploader.Exchange(requests, results), -3);
        EXPECT_EQ(Codes(results), "0   ;9715;");
        EXPECT_EQ(comm.CountCalls("GetHeaderMode"), mode == 0 ? 1 : 2);
    }
}

TEST_F(ExchangeTest, AppendsEveryResultAfterWhatTheArrayHeld) {
    comm.responses.push_back(Response({"0000", "0001", "0002"}, {"first", "second", "third"}));
    auto requests = Requests(3);
    std::vector<UploadResultRecord> results(1);
    std::strcpy(results[0].ResultCode, "KEEP");

    ASSERT_EQ(uploader.Exchange(requests, results), 1);
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(Codes(results), "KEEP;0000;0001;0002;");
    EXPECT_EQ(std::string(results[3].ResultText), Padded("third", 40));
}

TEST_F(ExchangeTest, ResultLengthMustBeAPositiveMultipleOf616) {
    struct Case {
        std::string length;
        int rc;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"1848", 1, nullptr},
        {"000001848", 1, nullptr},
        {"   1848  ", 1, nullptr},
        {"+1848", 1, nullptr},
        {"615", -1, "接收数据长度错误!"},
        {"617", -1, "接收数据长度错误!"},
        {"-616", -1, "接收数据长度错误!"},
        {"         ", -1, "没有可以查询的数据!"},
        {"abc", -1, "没有可以查询的数据!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        window.messages.clear();
        log.events.clear();
        comm.responses.push_back(WithLength(Response({"0", "0", "0"}), c.length));
        auto requests = Requests(3);
        std::vector<UploadResultRecord> results;

        EXPECT_EQ(uploader.Exchange(requests, results), c.rc);
        if (c.message == nullptr) {
            EXPECT_EQ(results.size(), 3u);
            EXPECT_TRUE(log.events.size() == 4u); // the four gateway calls, nothing shown
        } else {
            EXPECT_TRUE(results.empty());
            // The status text goes before the box; the last failure text stays.
            ASSERT_GE(log.events.size(), 3u);
            EXPECT_EQ(log.events[log.events.size() - 2], "status:");
            EXPECT_EQ(log.events.back(), std::string("message:") + c.message);
            EXPECT_EQ(uploader.LastError(), "");
        }
    }
}

TEST_F(ExchangeTest, ResultCodesFoldIntoTheOutcome) {
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{"9715", "0", "9720"}, -2},
        {{"9720", "9715"}, -2},
        {{"9715"}, -3},
        {{"0000", "0", "    "}, 1},
        {{"9721"}, -2},
        {{"9706", "9715"}, -2},
        {{"9709"}, -2},
        {{"1234", "97A5"}, 1},
        {{"-972"}, 1},
    };
    for (const auto& [codes, rc] : cases) {
        SCOPED_TRACE(::testing::PrintToString(codes));
        comm.responses.push_back(Response(codes));
        auto requests = Requests(codes.size());
        std::vector<UploadResultRecord> results;
        EXPECT_EQ(uploader.Exchange(requests, results), rc);
        EXPECT_EQ(results.size(), codes.size());
    }
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(ExchangeTest, RefusedRequestShowsTheServerMessageAndLeavesTheStatusUp) {
    // "  记录重复  " in GBK.
    comm.responses.push_back(Refusal("0001", "  \xBC\xC7\xC2\xBC\xD6\xD8\xB8\xB4  "));
    auto requests = Requests(1);
    std::vector<UploadResultRecord> results;

    EXPECT_EQ(uploader.Exchange(requests, results), -1);
    EXPECT_EQ(uploader.LastError(), "记录重复");
    EXPECT_EQ(window.messages, std::vector<std::string>{"记录重复"});
    EXPECT_TRUE(comm.statusTexts.empty());
    EXPECT_TRUE(results.empty());

    for (const char* code : {" 000", "000 ", "0   ", "    "}) {
        SCOPED_TRACE(code);
        window.messages.clear();
        comm.responses.push_back(Refusal(code, ""));
        EXPECT_EQ(uploader.Exchange(requests, results), -1);
        EXPECT_EQ(window.messages, std::vector<std::string>{""}); // blank message, blank box
        EXPECT_EQ(uploader.LastError(), "");
    }
}

TEST_F(ExchangeTest, GatewayFailuresStopAtTheStepThatFailed) {
    std::vector<UploadResultRecord> results;

    comm.applySerialResult = -1;
    comm.failureText = "no serial";
    auto untouched = Requests(2);
    EXPECT_EQ(uploader.Exchange(untouched, results), -1);
    EXPECT_EQ(comm.CallNames(), (std::vector<std::string>{"ApplySerialNo", "ShowStatus"}));
    EXPECT_EQ(uploader.LastError(), "申请交易序号失败[no serial]");
    EXPECT_EQ(std::string(untouched[1].SeqNo), "999999");

    comm.calls.clear();
    comm.applySerialResult = 0;
    comm.buildHeaderResult = -5;
    comm.failureText = "no header";
    auto rewritten = Requests(2);
    EXPECT_EQ(uploader.Exchange(rewritten, results), -1);
    EXPECT_EQ(comm.CallNames(),
              (std::vector<std::string>{"ApplySerialNo", "BuildPacketHeader", "ShowStatus"}));
    EXPECT_EQ(uploader.LastError(), "申请组包头失败[no header]");
    EXPECT_EQ(std::string(rewritten[1].SeqNo), "2");

    comm.calls.clear();
    comm.buildHeaderResult = 0;
    comm.sendResult = -1;
    comm.failureText = "  连接超时 \r\n";
    EXPECT_EQ(uploader.Exchange(rewritten, results), -1);
    EXPECT_EQ(comm.CallNames().back(), "ShowStatus");
    EXPECT_EQ(comm.CountCalls("GetHeaderMode"), 0);
    EXPECT_EQ(uploader.LastError(), "  连接超时");

    EXPECT_EQ(window.messages,
              (std::vector<std::string>{"申请交易序号失败[no serial]", "申请组包头失败[no header]",
                                        "  连接超时"}));
    EXPECT_EQ(comm.statusTexts, (std::vector<std::string>{"", "", ""}));
    EXPECT_TRUE(results.empty());
}

TEST_F(ExchangeTest, ResponsesThatDoNotHoldWhatTheyAnnounceAreLengthErrors) {
    const std::string full = Response({"0", "0"});
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"shorter than its prefix", "PPPP"},
        {"header cut short", full.substr(0, 9 + 2 + 100)},
        {"header without results", full.substr(0, 9 + 128)},
        {"one of two results", full.substr(0, full.size() - 616)},
        {"last result one byte short", full.substr(0, full.size() - 1)},
        {"nine digits of length, one record", WithLength(Response({"0"}), "615999384")},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        window.messages.clear();
        comm.responses.push_back(bytes);
        auto requests = Requests(2);
        std::vector<UploadResultRecord> results;
        EXPECT_EQ(uploader.Exchange(requests, results), -1);
        EXPECT_TRUE(results.empty());
        EXPECT_EQ(window.messages, std::vector<std::string>{"接收数据长度错误!"});
    }
}

TEST_F(ExchangeTest, GarbageHeaderIsARefusalWithItsOwnText) {
    std::string bytes(9 + 128 + 616, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    comm.responses.push_back(bytes);
    auto requests = Requests(1);
    std::vector<UploadResultRecord> results;
    EXPECT_EQ(uploader.Exchange(requests, results), -1);
    EXPECT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], uploader.LastError());
    EXPECT_TRUE(results.empty());
}

TEST_F(ExchangeTest, UnknownHeaderModeIsAFailureNotAGuess) {
    comm.headerModes = {1, 2};
    comm.responses.push_back(Response({"0"}));
    auto requests = Requests(1);
    std::vector<UploadResultRecord> results;
    EXPECT_EQ(uploader.Exchange(requests, results), -1);
    EXPECT_EQ(uploader.LastError(), "通讯包头模式[2]无法识别!");
    EXPECT_EQ(window.messages, std::vector<std::string>{uploader.LastError()});
    EXPECT_EQ(comm.statusTexts, std::vector<std::string>{""});
    EXPECT_TRUE(results.empty());
}

TEST_F(ExchangeTest, MoreRecordsThanFieldOneCanNumberAreRefusedBeforeSending) {
    std::vector<UploadRequestRecord> requests(1'000'000);
    std::vector<UploadResultRecord> results;
    EXPECT_EQ(uploader.Exchange(requests, results), -1);
    EXPECT_EQ(comm.CallNames(), std::vector<std::string>{"ShowStatus"});
    EXPECT_EQ(uploader.LastError(),
              "上传记录数[1000000]超过单次上传上限[999999]条,请使用[逐笔上传]!");
    EXPECT_EQ(window.messages, std::vector<std::string>{uploader.LastError()});
    EXPECT_EQ(requests[0].SeqNo[0], '\0');
}

TEST_F(ExchangeTest, NoCommunicationObjectIsReported) {
    ScopedCommunication none(nullptr);
    auto requests = Requests(1);
    std::vector<UploadResultRecord> results;
    EXPECT_EQ(uploader.Exchange(requests, results), -1);
    EXPECT_EQ(window.messages, std::vector<std::string>{"获得通讯句柄错误!"});
    EXPECT_TRUE(comm.calls.empty());
}
