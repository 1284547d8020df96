#include "bench/LoopbackGateway.h"

#include "protocol/WireFormat.h"
#include "support/ComFormat.h"
#include "support/Text.h"
#include "upload/RecordFormats.h"
#include "uploader/AccountUploader.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <random>

namespace bench {

namespace {

// 上海证券 and 中国工商银行, in GBK.
constexpr const char* kAccountName = "\xC9\xCF\xBA\xA3\xD6\xA4\xC8\xAF";
constexpr const char* kBankName = "\xD6\xD0\xB9\xFA\xB9\xA4\xC9\xCC\xD2\xF8\xD0\xD0";

void Stamp(UploadRequestRecord& r, std::size_t index, const CCommunication& comm) {
    text::CopyToField(r.CommString1, comm.CommString1);
    text::CopyToField(r.CommString2, comm.CommString2);
    text::CopyToField(r.SeqNo, std::to_string(index + 1));
}

void Place(std::string& body, std::size_t index, const UploadRequestRecord& r) {
    char work[kRequestWireLength + 1];
    std::memset(work, 0, sizeof work);
    CGlobalClass::Convert(work, &r, UploadRequestFormat);
    std::memcpy(body.data() + index * kRequestWireLength, work, kRequestWireLength);
}

UploadRequestRecord ReserveRequest(const std::string& account) {
    ReserveAccountRecord record{};
    text::CopyToField(record.ReserveAccountNo, account);
    std::strcpy(record.ReserveAccountName, kAccountName);
    return CAccountUploader::BuildReserveRequest(record);
}

UploadRequestRecord BankRequest(const std::string& account) {
    BankAccountRecord record{};
    std::strcpy(record.BankCode, "0102");
    text::CopyToField(record.BankAccountNo, account);
    std::strcpy(record.AccountFullName, kAccountName);
    std::strcpy(record.BankFullName, kBankName);
    return CAccountUploader::BuildBankRequest(record);
}

} // namespace

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "quillmark-bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives for the whole run
}

std::string Padded(const std::string& value, std::size_t width) {
    std::string out = value.substr(0, width);
    out.resize(width, ' ');
    return out;
}

LoopbackGateway::LoopbackGateway(const std::string& dbPath) {
    EnsureApplication();
    GatewayConfig config;
    config.listenPort = 0;
    config.dbPath = dbPath;
    config.operators.Set("bench", "P0000001", "bench-password", 1000);
    config.log = [](const std::string&) {};
    thread = std::make_unique<GatewayThread>(std::move(config));
    std::string error;
    thread->Start(error);
    comm.SetTimeoutMs(600000);
    comm.Login("", "bench", "bench-password", "ZANTHO00", "E0", "127.0.0.1",
               std::to_string(thread->Port()));
}

std::string ReserveBody(std::size_t count, const std::string& prefix, const CCommunication& comm) {
    std::string body(count * kRequestWireLength, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        UploadRequestRecord r = ReserveRequest(prefix + std::to_string(i));
        Stamp(r, i, comm);
        Place(body, i, r);
    }
    return body;
}

std::string SampleBody(std::size_t count, bool bank, const CCommunication& comm) {
    std::mt19937_64 random(bank ? 2 : 1);
    std::string body(count * kRequestWireLength, '\0');
    char account[32];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(account, sizeof account, "%012llu%06zu",
                      static_cast<unsigned long long>(random() % 1'000'000'000'000ULL),
                      i % 1'000'000);
        UploadRequestRecord r = bank ? BankRequest(account) : ReserveRequest(account);
        Stamp(r, i, comm);
        Place(body, i, r);
    }
    return body;
}

bool Exchange(CCommunication& comm, const std::string& body, CDataBuf& request,
              CDataBuf& response) {
    char serial[17] = {};
    char flag = '0';
    if (comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag) < 0)
        return false;
    request.RemoveAll();
    request.InsertDataToBuf(body.data(), 0, body.size());
    return comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serial, flag,
                                  static_cast<long>(body.size()), &request) == 0 &&
           comm.SendAndReceive(&request, &response, 0) == 0;
}

std::size_t RequestBytes(std::size_t records) {
    return protocol::kFrameHeaderLength + protocol::kPacketHeaderLength +
           records * protocol::kRequestRecordLength;
}

std::size_t ReplyBytes(std::size_t records) {
    return protocol::kFrameHeaderLength + 9 + 2 + protocol::kReplyHeaderLength +
           records * protocol::kResultRecordLength;
}

} // namespace bench
