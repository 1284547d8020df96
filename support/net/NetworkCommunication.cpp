#include "support/net/NetworkCommunication.h"

#include "protocol/WireFormat.h"
#include "support/BusyTicker.h"
#include "support/SecretWipe.h"
#include "support/Text.h"
#include "support/net/ClientTexts.h"
#include "support/net/GatewayLink.h"
#include "support/net/ReplyWait.h"
#include "support/net/TlsGatewayLink.h"
#include "support/settings/Settings.h"

#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

bool ParsePort(const std::string& text, std::uint16_t& port) {
    std::uint64_t value = 0;
    if (!protocol::ParseDigits(text, value) || value == 0 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

std::string RandomContext() {
    return text::Format("%08X", QRandomGenerator::global()->generate());
}

// The bytes a request's body moves at once to make room for its header.
constexpr std::size_t kMoveSlice = 8u << 20;

// Serials asked for at once; the rest wait for the next requests of the login.
constexpr int kSerialBlock = 16;

std::string Text(const CDataBuf& buffer) {
    return std::string(buffer.Data(), buffer.GetSize());
}

} // namespace

CNetworkCommunication::CNetworkCommunication() : CNetworkCommunication(settings::Read()) {}

CNetworkCommunication::CNetworkCommunication(const settings::Settings& settings)
    : m_context(RandomContext()) {
    DefaultGatewayAddress = settings.gatewayAddress;
    DefaultGatewayPort = settings.gatewayPort;
    m_timeoutMs = settings.timeoutMs;
    m_tls = settings.tls;
    m_caFile = settings.tlsCaFile;
}

CNetworkCommunication::~CNetworkCommunication() = default;

std::unique_ptr<GatewayLink> CNetworkCommunication::CreateLink(int timeoutMs) {
    if (m_tls)
        return std::make_unique<TlsGatewayLink>(timeoutMs, m_caFile);
    return std::make_unique<GatewayLink>(timeoutMs);
}

std::unique_ptr<GatewayLink> CNetworkCommunication::NewLink() {
    std::unique_ptr<GatewayLink> link = CreateLink(m_timeoutMs);
    link->SetMeter(&m_meter);
    return link;
}

void CNetworkCommunication::SetTls(bool on, std::string caFile) {
    m_tls = on;
    m_caFile = std::move(caFile);
}

void CNetworkCommunication::SetStatusSink(std::function<void(const std::string&)> sink) {
    m_statusSink = std::move(sink);
}

void CNetworkCommunication::SetTimeoutMs(int ms) {
    m_timeoutMs = std::max(ms, 1);
    if (m_link)
        m_link->SetTimeoutMs(m_timeoutMs);
}

int CNetworkCommunication::Fail(std::string text) {
    LastErrorText = std::move(text);
    return -1;
}

int CNetworkCommunication::FailLink(LinkError error) {
    const std::string where = m_address + ":" + std::to_string(m_port);
    switch (error) {
    case LinkError::Unreachable:
        return Fail(text::Format(clienttext::kUnreachable, where.c_str()));
    case LinkError::Timeout:
        return Fail(text::Format(clienttext::kTimeout, m_timeoutMs));
    case LinkError::Lost:
        return Fail(clienttext::kLost);
    case LinkError::Malformed:
        return Fail(clienttext::kMalformed);
    case LinkError::Insecure:
        return Fail(text::Format(clienttext::kInsecure, where.c_str(),
                                 m_link ? m_link->Detail().c_str() : ""));
    case LinkError::None:
        break;
    }
    // Callers pass only real failures; should one ever not be, still say something readable.
    return Fail(text::Format(clienttext::kGatewayError, "未知的连接错误"));
}

int CNetworkCommunication::Login(const std::string& loginContext, const std::string& operatorName,
                                 const std::string& password, const std::string& systemId,
                                 const std::string& code, const std::string& address,
                                 const std::string& port) {
    Close();
    if (address.empty())
        return Fail(clienttext::kBadAddress);
    std::uint16_t portNumber = 0;
    if (!ParsePort(port, portNumber))
        return Fail(text::Format(clienttext::kBadPort, port.c_str()));
    m_address = address;
    m_port = portNumber;

    // The password's copies live only until the login frame has gone out.
    std::string gbkPassword = text::Utf8ToGbk(password);
    const WipeOnExit wipePassword(gbkPassword);
    std::string version = m_offeredVersion;
    const auto buildPayload = [&] {
        return protocol::Fields({version, text::Utf8ToGbk(loginContext),
                                 text::Utf8ToGbk(operatorName), gbkPassword,
                                 text::Utf8ToGbk(systemId), text::Utf8ToGbk(code)});
    };
    std::string payload = buildPayload();
    const WipeOnExit wipePayload(payload);
    if (payload.size() > protocol::kMaxControlPayload)
        return Fail(clienttext::kLoginTooLong);

    const WaitScope waiting(m_meter, WaitHook(), payload.size());
    m_link = NewLink();
    if (const LinkError error = m_link->Open(QString::fromStdString(address), portNumber);
        error != LinkError::None) {
        if (error == LinkError::Timeout)
            return Fail(text::Format(clienttext::kConnectTimeout, (address + ":" + port).c_str()));
        return FailLink(error);
    }
    CDataBuf reply;
    protocol::FrameHeader header;
    std::vector<std::string> fields;
    bool parsed = false;
    for (;;) {
        LinkError error = m_link->Send(protocol::kLogin, payload.data(), payload.size());
        if (error == LinkError::None)
            error = m_link->Receive(header, reply);
        if (error != LinkError::None) {
            m_link->Drop();
            return FailLink(error);
        }
        parsed = protocol::SplitFields(Text(reply), fields);
        // A gateway that speaks only version 1 refuses 2 with 1009, which
        // never counts toward a lock; the login goes again as version 1.
        const bool olderGateway = parsed && header.type == protocol::kLoginReply &&
                                  fields.size() >= 2 &&
                                  fields[0] == protocol::logincode::kBadVersion.code &&
                                  version != protocol::kProtocolVersion;
        if (!olderGateway)
            break;
        version = std::string(protocol::kProtocolVersion);
        WipeSecret(payload);
        payload = buildPayload();
    }
    if (!parsed || fields.size() < 2 ||
        (header.type != protocol::kLoginReply && header.type != protocol::kError)) {
        m_link->Drop();
        return Fail(clienttext::kMalformed);
    }
    if (fields[0] != protocol::kAccepted) {
        m_link->Drop();
        return Fail(text::Format(clienttext::kLoginRefused, text::GbkToUtf8(fields[1]).c_str()));
    }
    const bool wellFormed = header.type == protocol::kLoginReply && fields.size() >= 6 &&
                            (fields[2] == "0" || fields[2] == "1") &&
                            fields[3].size() <= protocol::kMaxCommStringLength &&
                            fields[4].size() <= protocol::kMaxCommStringLength &&
                            !fields[5].empty() && fields[5].size() <= protocol::kMaxTokenLength;
    if (!wellFormed) {
        m_link->Drop();
        return Fail(clienttext::kMalformed);
    }
    m_headerMode = fields[2] == "1" ? 1 : 0;
    CommString1 = fields[3];
    CommString2 = fields[4];
    m_token = fields[5];
    m_version = version;
    m_loginContext = text::Utf8ToGbk(loginContext).substr(0, 8);
    m_loggedIn = true;
    return 0;
}

LinkError CNetworkCommunication::Reconnect() {
    m_link = NewLink();
    if (const LinkError error = m_link->Open(QString::fromStdString(m_address), m_port);
        error != LinkError::None)
        return error;
    const std::string payload = protocol::Fields({m_version, m_token, m_loginContext});
    CDataBuf reply;
    protocol::FrameHeader header;
    LinkError error = m_link->Send(protocol::kResume, payload.data(), payload.size());
    if (error == LinkError::None)
        error = m_link->Receive(header, reply);
    if (error != LinkError::None)
        return error;
    std::vector<std::string> fields;
    if (!protocol::SplitFields(Text(reply), fields) || fields.size() < 2) {
        m_link->Drop();
        return LinkError::Malformed;
    }
    if (fields[0] != protocol::kAccepted) {
        // The session is gone; only a new login helps.
        m_gatewayMessage =
            text::Format(clienttext::kResumeRefused, text::GbkToUtf8(fields[1]).c_str());
        m_link->Drop();
        m_loggedIn = false;
        return LinkError::None;
    }
    if (header.type != protocol::kLoginReply || fields.size() < 3 ||
        fields[2] != std::to_string(m_headerMode)) {
        m_link->Drop();
        return LinkError::Malformed;
    }
    return LinkError::None;
}

LinkError CNetworkCommunication::Transact(std::string_view type, const char* payload,
                                          std::size_t length, std::string_view expected,
                                          CDataBuf& reply, protocol::FrameHeader& header,
                                          ReplyWait* wait) {
    m_gatewayMessage.clear();
    LastRequestResent = false;
    const WaitScope waiting(m_meter, WaitHook(), length);
    int losses = 0;
    int silentWaits = 0;
    // Waits in which the reply moved still end in a resend, but a trickle must
    // not keep a request going for ever.
    int attempts = 0;
    constexpr int kMaxAttempts = 8;
    for (;; ++attempts) {
        LinkError error = LinkError::None;
        bool sentWhole = false;
        bool progressed = false;
        if (!m_link || !m_link->IsOpen()) {
            error = Reconnect();
            if (error == LinkError::None && !m_gatewayMessage.empty())
                return LinkError::None; // refused: the caller reports m_gatewayMessage
            if (wait != nullptr)
                wait->NewConnection(ReplyWait::Clock::now());
        }
        const bool reconnectTimedOut = error == LinkError::Timeout;
        if (error == LinkError::None) {
            error = m_link->Send(type, payload, length);
            sentWhole = error == LinkError::None;
        }
        if (error == LinkError::None)
            error = ReceiveAnswer(reply, header, wait, progressed);
        if (error == LinkError::None && header.type != expected && header.type != protocol::kError)
            error = LinkError::Malformed;
        if (error == LinkError::None && header.type == protocol::kError) {
            // The gateway closes after an error frame.
            std::vector<std::string> fields;
            if (!protocol::SplitFields(Text(reply), fields) || fields.size() < 2)
                error = LinkError::Malformed;
            else
                m_gatewayMessage =
                    text::Format(clienttext::kGatewayError, text::GbkToUtf8(fields[1]).c_str());
            m_link->Drop();
        }
        if (error == LinkError::Lost && losses == 0 && attempts + 1 < kMaxAttempts) {
            // Sent again once, with the same serial: the gateway answers a
            // request it has already processed from its record.
            ++losses;
            LastRequestResent = LastRequestResent || sentWhole || attempts > 0;
            continue;
        }
        // A reply that does not come is asked for again the same way: the
        // gateway that lost it, or is still at work, answers from its record.
        // Only waits in which nothing came count toward the bound.
        const bool silent = !progressed;
        if (error == LinkError::Timeout && (sentWhole || reconnectTimedOut) &&
            attempts + 1 < kMaxAttempts && (!silent || silentWaits < kMaxSilentResends)) {
            if (silent)
                ++silentWaits;
            if (m_link)
                m_link->Drop();
            LastRequestResent = LastRequestResent || sentWhole || attempts > 0;
            continue;
        }
        if (error != LinkError::None && m_link)
            m_link->Drop();
        return error;
    }
}

LinkError CNetworkCommunication::ReceiveAnswer(CDataBuf& reply, protocol::FrameHeader& header,
                                               ReplyWait* wait, bool& progressed) {
    using Clock = std::chrono::steady_clock;
    // The wait for the answer restarts only when the gateway reports more
    // done, not on every keep-alive, so a gateway that only says it is alive
    // still times out.
    Clock::time_point since = Clock::now();
    for (;;) {
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
        const auto left = static_cast<long long>(m_timeoutMs) - waited;
        if (left <= 0)
            return LinkError::Timeout;
        if (const LinkError error = m_link->WaitForBytes(static_cast<int>(left));
            error != LinkError::None)
            return error;
        const std::uint64_t before = m_link->BytesRead();
        const LinkError error = m_link->Receive(header, reply);
        if (error != LinkError::None) {
            progressed = progressed || m_link->BytesRead() > before;
            return error;
        }
        if (header.type != protocol::kKeepAlive) {
            progressed = true;
            return LinkError::None;
        }
        const ReplyWait::Verdict verdict =
            wait != nullptr ? wait->Take(Text(reply), Clock::now()) : ReplyWait::Verdict::OutOfStep;
        if (verdict == ReplyWait::Verdict::OutOfStep) {
            m_link->Drop();
            return LinkError::Malformed;
        }
        if (verdict == ReplyWait::Verdict::Grew) {
            progressed = true;
            since = Clock::now();
            m_meter.SetGatewayProgress(wait->Done(), wait->Records());
            m_meter.Tick();
        }
    }
}

int CNetworkCommunication::Close() {
    if (m_link && m_link->IsOpen() && m_loggedIn)
        m_link->Send(protocol::kLogout, "", 0); // best effort: the session ends either way
    if (m_link)
        m_link->Drop();
    m_link.reset();
    m_loggedIn = false;
    m_token.clear();
    m_serials.clear();
    return 0;
}

int CNetworkCommunication::ApplySerialNo(const char* system, const char* subsystem,
                                         const char* kind, char* serialNo, char* flag) {
    if (!system || !subsystem || !kind || !serialNo || !flag)
        return Fail(clienttext::kBadArguments);
    if (!m_loggedIn)
        return Fail(clienttext::kNotLoggedIn);
    const std::string key = std::string(system) + '\t' + subsystem + '\t' + kind;
    if (key != m_serialKey)
        m_serials.clear(); // serials asked for other codes are not handed out for these
    m_serialKey = key;
    if (m_serials.empty()) {
        if (const int result = FetchSerials(system, subsystem, kind); result < 0)
            return result;
    }
    std::memset(serialNo, 0, protocol::kSerialLength + 1);
    std::memcpy(serialNo, m_serials.front().data(), m_serials.front().size());
    *flag = m_serialFlag;
    m_serials.pop_front();
    return 0;
}

int CNetworkCommunication::FetchSerials(const char* system, const char* subsystem,
                                        const char* kind) {
    const std::string payload =
        protocol::Fields({system, subsystem, kind, std::to_string(kSerialBlock)});
    if (payload.size() > protocol::kMaxControlPayload)
        return Fail(clienttext::kBadArguments);
    CDataBuf reply;
    protocol::FrameHeader header;
    if (const LinkError error = Transact(protocol::kSerialRequest, payload.data(), payload.size(),
                                         protocol::kSerialReply, reply, header);
        error != LinkError::None)
        return FailLink(error);
    if (!m_gatewayMessage.empty())
        return Fail(m_gatewayMessage);
    std::vector<std::string> fields;
    if (!protocol::SplitFields(Text(reply), fields, 3 + protocol::kMaxSerialBlock) ||
        fields.size() < 2)
        return Fail(clienttext::kMalformed);
    if (fields[0] != protocol::kAccepted)
        return Fail(text::Format(clienttext::kSerialRefused, text::GbkToUtf8(fields[1]).c_str()));
    if (fields.size() < 4 || fields[2].size() != 1)
        return Fail(clienttext::kMalformed);
    for (std::size_t i = 3; i < fields.size(); ++i)
        if (fields[i].empty() || fields[i].size() > protocol::kSerialLength)
            return Fail(clienttext::kMalformed);
    m_serialFlag = fields[2][0];
    m_serials.assign(fields.begin() + 3, fields.end());
    return 0;
}

int CNetworkCommunication::ShowStatus(std::string text, int /*reserved*/) {
    if (m_statusSink)
        m_statusSink(text);
    return 0;
}

int CNetworkCommunication::GetLoginContext(char* context) {
    if (!context)
        return -1;
    std::memset(context, 0, 9);
    std::memcpy(context, m_context.data(), std::min<std::size_t>(m_context.size(), 8));
    return 0;
}

int CNetworkCommunication::GetHeaderMode() {
    return m_headerMode;
}

int CNetworkCommunication::BuildPacketHeader(const char* system, const char* subsystem,
                                             const char* kind, const char* function, char* serialNo,
                                             char flag, long bodyLength, CDataBuf* request) {
    if (!system || !subsystem || !kind || !function || !serialNo || !request || bodyLength < 0 ||
        static_cast<std::size_t>(bodyLength) != request->GetSize())
        return Fail(clienttext::kBadArguments);
    if (static_cast<std::size_t>(bodyLength) >
        protocol::kMaxUploadPayload - protocol::kPacketHeaderLength)
        return Fail(clienttext::kRequestTooLarge);
    protocol::PacketHeader header;
    header.system = system;
    header.subsystem = subsystem;
    header.kind = kind;
    header.function = function;
    header.serial.assign(serialNo, strnlen(serialNo, protocol::kSerialLength));
    header.flag = flag;
    header.bodyLength = static_cast<std::uint64_t>(bodyLength);
    header.context = m_loginContext;
    std::string bytes;
    if (!protocol::EncodePacketHeader(header, bytes))
        return Fail(clienttext::kBadArguments);
    const std::size_t body = request->GetSize();
    request->Resize(bytes.size() + body);
    // The body moves up behind the header a slice at a time, from its end, so
    // that the window paints while half a gigabyte moves.
    CBusyTicker busy;
    for (std::size_t left = body; left > 0;) {
        const std::size_t slice = std::min(left, kMoveSlice);
        left -= slice;
        std::memmove(request->Data() + bytes.size() + left, request->Data() + left, slice);
        busy.TickNow();
    }
    std::memcpy(request->Data(), bytes.data(), bytes.size());
    return 0;
}

bool CNetworkCommunication::CheckUploadReply(const CDataBuf& reply) const {
    // The exchange reads the header and results by offset and would take
    // missing bytes for zeros; a reply that does not hold what its header
    // announces is refused here instead.
    using namespace protocol::replyheader;
    const std::size_t headerAt = protocol::ReplyHeaderAt(m_headerMode);
    const std::size_t size = reply.GetSize();
    if (size < headerAt + kLayout.Length() || reply.Data()[0] != '0' + m_headerMode)
        return false;
    const std::string_view header(reply.Data() + headerAt, kLayout.Length());
    if (kLayout.Of(header, kReturnCode) != protocol::kAccepted)
        return true;
    const std::string_view lengthField =
        text::TrimGbk(protocol::Unpad(kLayout.Of(header, kDataLength)));
    std::uint64_t length = 0;
    if (!protocol::ParseDigits(lengthField, length) && !lengthField.empty())
        return false;
    return size == headerAt + kLayout.Length() + length;
}

int CNetworkCommunication::SendAndReceive(CDataBuf* request, CDataBuf* response, int /*reserved*/) {
    if (!request || !response)
        return Fail(clienttext::kBadArguments);
    if (!m_loggedIn)
        return Fail(clienttext::kNotLoggedIn);
    if (request->GetSize() > protocol::kMaxUploadPayload)
        return Fail(clienttext::kRequestTooLarge);
    response->RemoveAll();
    protocol::FrameHeader header;
    // Keep-alives are taken on a version-2 session, naming this request.
    protocol::PacketHeader packet;
    const bool readable =
        protocol::DecodePacketHeader(std::string_view(request->Data(), request->GetSize()), packet);
    ReplyWait wait(readable && m_version == protocol::kProtocolVersion2, packet.serial,
                   packet.bodyLength / protocol::kRequestRecordLength);
    if (const LinkError error = Transact(protocol::kUpload, request->Data(), request->GetSize(),
                                         protocol::kUploadReply, *response, header, &wait);
        error != LinkError::None) {
        response->RemoveAll();
        return FailLink(error);
    }
    if (!m_gatewayMessage.empty()) {
        response->RemoveAll();
        return Fail(m_gatewayMessage);
    }
    // A reply to another request, or out of step, is never matched to this
    // request's records; the connection it came on cannot be trusted either.
    if (!CheckUploadReply(*response) ||
        !protocol::AnswersRequest(std::string_view(request->Data(), request->GetSize()),
                                  std::string_view(response->Data(), response->GetSize()),
                                  m_headerMode)) {
        response->RemoveAll();
        if (m_link)
            m_link->Drop();
        return Fail(clienttext::kMalformed);
    }
    return 0;
}
