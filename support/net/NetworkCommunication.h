#pragma once
// The communication object of the real program: talks to the gateway over TCP
// with the protocol of docs/protocol.md. Every wait is limited by the timeout.
// A request whose connection is lost after sending is sent once more, with the
// same serial, over a fresh connection; the gateway answers it from its record.
// Blocking; use it from one thread, with a QCoreApplication in the process.

#include "protocol/WireFormat.h"
#include "support/Communication.h"
#include "support/net/WaitMeter.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

class GatewayLink;
class ReplyWait;
enum class LinkError;
namespace settings {
struct Settings;
}
namespace protocol {
struct FrameHeader;
}

class CNetworkCommunication : public CCommunication {
public:
    // Fills DefaultGatewayAddress, DefaultGatewayPort, the timeout and TLS
    // from the settings (support/settings/Settings.h), read now or given.
    CNetworkCommunication();
    explicit CNetworkCommunication(const settings::Settings& settings);
    ~CNetworkCommunication() override;
    CNetworkCommunication(const CNetworkCommunication&) = delete;
    CNetworkCommunication& operator=(const CNetworkCommunication&) = delete;

    int Login(const std::string& loginContext, const std::string& operatorName,
              const std::string& password, const std::string& systemId, const std::string& code,
              const std::string& address, const std::string& port) override;
    int Close() override;
    int ApplySerialNo(const char* system, const char* subsystem, const char* kind, char* serialNo,
                      char* flag) override;
    int ShowStatus(std::string text, int reserved) override;
    int GetLoginContext(char* context) override;
    int GetHeaderMode() override;
    int BuildPacketHeader(const char* system, const char* subsystem, const char* kind,
                          const char* function, char* serialNo, char flag, long bodyLength,
                          CDataBuf* request) override;
    int SendAndReceive(CDataBuf* request, CDataBuf* response, int reserved) override;

    // ShowStatus hands its text to `sink`; without one it shows nothing.
    void SetStatusSink(std::function<void(const std::string& utf8)> sink);
    // The limit of every wait: connect, send, each read. At least 1 ms.
    void SetTimeoutMs(int ms);
    int TimeoutMs() const { return m_timeoutMs; }
    // Connections made from now on speak TLS and trust the gateway's
    // certificate only if it verifies against the system's authorities or
    // those in `caFile` (PEM) and names the gateway's address.
    void SetTls(bool on, std::string caFile = {});
    // The highest protocol version a login offers ("2" by default; "1" to
    // behave as a client that knows nothing of keep-alives).
    void SetOfferedVersion(std::string version) { m_offeredVersion = std::move(version); }
    const std::string& SessionVersion() const { return m_version; }
    // Waits for a reply without a byte or a growing keep-alive after which
    // the request is sent again before the timeout is reported.
    static constexpr int kMaxSilentResends = 2;
    bool Tls() const { return m_tls; }

protected:
    // The link to use; an encrypted variant returns its own.
    virtual std::unique_ptr<GatewayLink> CreateLink(int timeoutMs);

private:
    int Fail(std::string text);
    int FailLink(LinkError error);
    LinkError Reconnect();
    // Sends one frame and reads the answer of `expected` type (or an error
    // frame); on a lost connection reconnects and sends it once more.
    // A reply that does not come within the timeout after the request went
    // out whole is asked for the same way, at most kMaxSilentResends times;
    // keep-alives are judged by `wait` (null: none are taken).
    LinkError Transact(std::string_view type, const char* payload, std::size_t length,
                       std::string_view expected, CDataBuf& reply, protocol::FrameHeader& header,
                       ReplyWait* wait = nullptr);
    // Reads the answer to a request just sent, taking the keep-alives before
    // it. `progressed`: a byte of the answer or a growing keep-alive came.
    LinkError ReceiveAnswer(CDataBuf& reply, protocol::FrameHeader& header, ReplyWait* wait,
                            bool& progressed);
    bool CheckUploadReply(const CDataBuf& reply) const;
    int FetchSerials(const char* system, const char* subsystem, const char* kind);

    // A new link, reporting to the meter.
    std::unique_ptr<GatewayLink> NewLink();

    std::unique_ptr<GatewayLink> m_link;
    WaitMeter m_meter; // the request under way, for the wait hook
    std::function<void(const std::string&)> m_statusSink;
    int m_timeoutMs;
    bool m_tls = false;
    std::string m_caFile;
    std::string m_offeredVersion{protocol::kProtocolVersion2};
    std::string m_context;      // what GetLoginContext hands out
    std::string m_loginContext; // what the last login sent, GBK
    std::string m_address;
    std::uint16_t m_port = 0;
    std::string m_token; // the session, for reconnecting without the password
    int m_headerMode = 0;
    // The protocol version the session's login settled on: "2" unless the
    // gateway refused it (1009), then "1".
    std::string m_version;
    bool m_loggedIn = false;
    std::string m_gatewayMessage; // the gateway's text with its last refusal, UTF-8
    // Serials the gateway issued to this login and nobody has used yet.
    std::deque<std::string> m_serials;
    std::string m_serialKey;
    char m_serialFlag = '1';
};
