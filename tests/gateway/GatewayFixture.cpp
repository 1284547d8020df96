#include "GatewayFixture.h"

#include "gateway/GatewayServer.h"
#include "protocol/WireFormat.h"
#include "support/ComFormat.h"
#include "support/Text.h"
#include "upload/RecordFormats.h"
#include "uploader/AccountUploader.h"

#include <QTcpSocket>

#include <cstring>

GatewayConfig GatewayFixture::MakeConfig() {
    GatewayConfig config;
    config.listenPort = 0;
    config.operators.Set("alice", "P0000001", kAlicePassword, 1000);
    config.operators.Set("bob", "P0000002", kBobPassword, 1000);
    auto lines = log;
    config.log = [lines](const std::string& line) {
        std::lock_guard lock(lines->mutex);
        lines->lines.push_back(line);
    };
    return config;
}

void GatewayFixture::StartGateway(GatewayConfig config) {
    gateway = std::make_unique<GatewayThread>(std::move(config));
    std::string error;
    ASSERT_TRUE(gateway->Start(error)) << error;
}

int GatewayFixture::Login(CNetworkCommunication& comm, const std::string& name,
                          const std::string& password) {
    char context[9] = {};
    comm.GetLoginContext(context);
    return comm.Login(context, name, password, "ZANTHO00", "E0", "127.0.0.1", Port());
}

long long GatewayFixture::ReserveCount() {
    long long count = -1;
    gateway->Run([&](GatewayServer& server) { count = server.Store().CountReserve(); });
    return count;
}

long long GatewayFixture::BankCount() {
    long long count = -1;
    gateway->Run([&](GatewayServer& server) { count = server.Store().CountBank(); });
    return count;
}

std::string WireBody(std::vector<UploadRequestRecord> records, const CCommunication& comm) {
    std::string body(records.size() * kRequestWireLength, '\0');
    for (std::size_t i = 0; i < records.size(); ++i) {
        text::CopyToField(records[i].SeqNo, std::to_string(i + 1));
        text::CopyToField(records[i].CommString1, comm.CommString1);
        text::CopyToField(records[i].CommString2, comm.CommString2);
        char work[kRequestWireLength + 1] = {};
        CGlobalClass::Convert(work, &records[i], UploadRequestFormat);
        std::memcpy(body.data() + i * kRequestWireLength, work, kRequestWireLength);
    }
    return body;
}

Exchanged Parse(CCommunication& comm, int rc, const CDataBuf& response) {
    Exchanged out;
    out.rc = rc;
    out.response.assign(response.Data(), response.GetSize());
    if (rc < 0)
        return out;
    const std::size_t p = protocol::PrefixLength(comm.GetHeaderMode());
    const std::string& r = out.response;
    if (r.size() < p + 128)
        return out;
    out.marker = r.substr(p, 2);
    out.returnCode = r.substr(p + 2 + 60, 4);
    out.message = std::string(text::TrimGbk(text::GbkToUtf8(r.substr(p + 2 + 74, 52))));
    const auto length = text::ParseDecimal64(r.substr(p + 2 + 64, 9));
    for (std::size_t k = 0; k < static_cast<std::size_t>(length) / kResultWireLength; ++k)
        out.codes.push_back(
            text::ParseDecimal32(r.substr(p + 128 + k * kResultWireLength + 572, 4)));
    return out;
}

Exchanged Send(CCommunication& comm, const char* serial, const std::string& body) {
    CDataBuf request;
    CDataBuf response;
    request.InsertDataToBuf(body.data(), 0, body.size());
    char serialArea[17] = {};
    std::strncpy(serialArea, serial, 16);
    if (comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serialArea, '1',
                               static_cast<long>(body.size()), &request) < 0)
        return {};
    return Parse(comm, comm.SendAndReceive(&request, &response, 0), response);
}

Exchanged Upload(CCommunication& comm, const std::string& body) {
    char serial[17] = {};
    char flag = '0';
    if (comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag) < 0)
        return {};
    return Send(comm, serial, body);
}

std::string Frame(std::string_view type, std::initializer_list<std::string_view> fields) {
    const std::string payload = protocol::Fields(fields);
    return protocol::EncodeFrameHeader(type, payload.size()) + payload;
}

std::string LoginFrame(const std::string& name, const std::string& passwordUtf8,
                       std::string_view version, std::string_view systemId) {
    return Frame(protocol::kLogin,
                 {version, "", name, text::Utf8ToGbk(passwordUtf8), systemId, "E0"});
}

RawResult Raw(std::uint16_t port, const std::string& bytes, int waitMs) {
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    RawResult result;
    if (!socket.waitForConnected(30000))
        return result;
    socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket.waitForBytesWritten(3000);
    while (socket.waitForReadyRead(waitMs) || socket.bytesAvailable() > 0)
        result.bytes += socket.readAll().toStdString();
    result.bytes += socket.readAll().toStdString();
    result.closed = socket.state() != QAbstractSocket::ConnectedState;
    return result;
}

std::vector<std::string> ReplyCodes(std::string_view bytes) {
    std::vector<std::string> codes;
    while (!bytes.empty()) {
        protocol::FrameHeader header;
        if (!protocol::DecodeFrameHeader(bytes, header) ||
            bytes.size() - protocol::kFrameHeaderLength < header.length) {
            codes.push_back("?");
            break;
        }
        const std::string_view payload = bytes.substr(protocol::kFrameHeaderLength, header.length);
        bytes.remove_prefix(protocol::kFrameHeaderLength + header.length);
        std::string code = "?";
        std::vector<std::string> fields;
        if (header.type == protocol::kUploadReply) {
            const std::size_t at =
                protocol::PrefixLength(payload.empty() || payload[0] == '0' ? 0 : 1) + 2 + 60;
            if (payload.size() >= at + 4)
                code = payload.substr(at, 4);
        } else if (protocol::SplitFields(payload, fields, 100) && !fields.empty()) {
            code = fields[0];
        }
        codes.push_back(header.type + ":" + code);
    }
    return codes;
}
