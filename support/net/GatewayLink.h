#pragma once
// One connection to the gateway with blocking, time-limited frame I/O. Every
// wait (connect, each write, each read) gives up after the timeout. A link
// that timed out or read a malformed frame is out of step with the gateway and
// must be dropped; the caller reconnects.

#include "protocol/WireFormat.h"
#include "support/DataBuf.h"
#include "support/net/WaitMeter.h"

#include <QString>

#include <cstdint>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QTcpSocket;

enum class LinkError {
    None,
    Unreachable, // connection refused, no such host
    Timeout,     // a wait ran out
    Lost,        // the gateway closed or the network failed
    Malformed,   // bytes that are not a frame, or a frame over its size limit
    Insecure,    // the encrypted link failed: a certificate not trusted, no TLS peer
};

class GatewayLink {
public:
    explicit GatewayLink(int timeoutMs);
    virtual ~GatewayLink();
    GatewayLink(const GatewayLink&) = delete;
    GatewayLink& operator=(const GatewayLink&) = delete;

    void SetTimeoutMs(int timeoutMs) { m_timeoutMs = timeoutMs; }
    // Sends and reads report their progress to `meter` (not owned; null:
    // none) and wait in slices between its ticks, each wait still limited by
    // the timeout as a whole.
    void SetMeter(WaitMeter* meter) { m_meter = meter; }

    LinkError Open(const QString& host, quint16 port);
    bool IsOpen() const;
    void Drop();

    LinkError Send(std::string_view type, const char* payload, std::size_t length);
    // Reads one whole frame, however the gateway splits it; `payload` is
    // emptied first (keeping its storage, which a caller may have sized for
    // the reply it expects) and grows only as bytes arrive.
    LinkError Receive(protocol::FrameHeader& header, CDataBuf& payload);

    // Waits up to `ms` for the next byte without reading it: None when one is
    // there, Timeout when none came (the link stays up), Lost otherwise.
    LinkError WaitForBytes(int ms);
    // Bytes read since the link was made, frame headers included.
    std::uint64_t BytesRead() const { return m_bytesRead; }

    // The socket's own words on the last failure, for diagnostics.
    const std::string& Detail() const { return m_detail; }

protected:
    // The seams for an encrypted link: the socket to use and how to start it.
    virtual std::unique_ptr<QTcpSocket> CreateSocket();
    virtual void StartConnection(QTcpSocket& socket, const QString& host, quint16 port);
    // Called once the link is up; an encrypted link waits for its handshake.
    // Anything but None drops the link; `detail` says why.
    virtual LinkError FinishConnection(QTcpSocket& socket, int timeoutMs, std::string& detail);

private:
    LinkError Failure();
    LinkError ReadExactly(char* destination, std::size_t length);
    // Runs `wait` (a blocking socket wait of the given milliseconds) until
    // `done` holds, ticking the meter between slices; false when the socket
    // failed or the timeout ran out.
    bool WaitFor(const std::function<bool(int)>& wait, const std::function<bool()>& done);

    std::unique_ptr<QTcpSocket> m_socket;
    int m_timeoutMs;
    std::string m_detail;
    WaitMeter* m_meter = nullptr;
    std::uint64_t m_bytesRead = 0;
};
