#include "support/net/GatewayLink.h"

#include "support/SecretWipe.h"

#include <QTcpSocket>

#include <algorithm>
#include <chrono>

namespace {
// Writes are fed in slices so a large request never sits twice in memory.
constexpr std::size_t kWriteSlice = 1 << 20;
constexpr std::size_t kReadSlice = 1 << 20;
} // namespace

GatewayLink::GatewayLink(int timeoutMs) : m_timeoutMs(timeoutMs) {}

GatewayLink::~GatewayLink() {
    Drop();
}

std::unique_ptr<QTcpSocket> GatewayLink::CreateSocket() {
    return std::make_unique<QTcpSocket>();
}

void GatewayLink::StartConnection(QTcpSocket& socket, const QString& host, quint16 port) {
    socket.connectToHost(host, port);
}

LinkError GatewayLink::FinishConnection(QTcpSocket& /*socket*/, int /*timeoutMs*/,
                                        std::string& /*detail*/) {
    return LinkError::None;
}

LinkError GatewayLink::Open(const QString& host, quint16 port) {
    Drop();
    m_socket = CreateSocket();
    StartConnection(*m_socket, host, port);
    if (!m_socket->waitForConnected(m_timeoutMs)) {
        const auto error = m_socket->error();
        m_detail = m_socket->errorString().toStdString();
        Drop();
        return error == QAbstractSocket::SocketTimeoutError ? LinkError::Timeout
                                                            : LinkError::Unreachable;
    }
    if (const LinkError error = FinishConnection(*m_socket, m_timeoutMs, m_detail);
        error != LinkError::None) {
        Drop();
        return error;
    }
    // Requests and replies are small and answered at once: no Nagle delay.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    // The socket takes in at most a slice whenever the event loop runs, so
    // that a wait hook painting the window never copies megabytes at once.
    m_socket->setReadBufferSize(static_cast<qint64>(kReadSlice));
    return LinkError::None;
}

bool GatewayLink::IsOpen() const {
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void GatewayLink::Drop() {
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
}

LinkError GatewayLink::Failure() {
    if (!m_socket)
        return LinkError::Lost;
    const bool timedOut = m_socket->error() == QAbstractSocket::SocketTimeoutError &&
                          m_socket->state() == QAbstractSocket::ConnectedState;
    m_detail = m_socket->errorString().toStdString();
    Drop();
    return timedOut ? LinkError::Timeout : LinkError::Lost;
}

bool GatewayLink::WaitFor(const std::function<bool(int)>& wait, const std::function<bool()>& done) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (;;) {
        // The hook may have run the event loop, which moves socket data too:
        // a wait for what is already done would fail at once.
        if (done())
            return true;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        const int remaining = m_timeoutMs - static_cast<int>(elapsed);
        if (remaining <= 0)
            return false; // the last slice left the timeout as the socket's error
        if (wait(m_meter != nullptr ? m_meter->SliceMs(remaining) : remaining))
            return true;
        if (m_socket->error() != QAbstractSocket::SocketTimeoutError ||
            m_socket->state() != QAbstractSocket::ConnectedState)
            return false;
        if (m_meter != nullptr)
            m_meter->Tick();
    }
}

LinkError GatewayLink::Send(std::string_view type, const char* payload, std::size_t length) {
    if (!IsOpen())
        return LinkError::Lost;
    std::string head = protocol::EncodeFrameHeader(type, length);
    // It may hold a login frame's password; the socket has its own copy.
    const WipeOnExit wipeHead(head);
    // A small frame goes out in one write, so it leaves in one segment.
    const std::size_t first = std::min(length, kWriteSlice);
    head.append(payload, first);
    std::size_t sent = first;
    if (m_socket->write(head.data(), static_cast<qint64>(head.size())) < 0)
        return Failure();
    const auto flushed = [this] { return m_socket->bytesToWrite() == 0; };
    const auto waitWritten = [this](int ms) { return m_socket->waitForBytesWritten(ms); };
    for (;;) {
        while (m_socket->bytesToWrite() > 0) {
            if (m_meter != nullptr) {
                m_meter->SetSent(sent - static_cast<std::size_t>(std::min<qint64>(
                                            m_socket->bytesToWrite(), static_cast<qint64>(sent))));
                // A wait that moves a few bytes at a time never runs out:
                // the pace is kept here too.
                m_meter->Tick();
            }
            if (!WaitFor(waitWritten, flushed))
                return Failure();
        }
        if (m_meter != nullptr) {
            m_meter->SetSent(sent);
            m_meter->Tick();
        }
        if (sent == length)
            return LinkError::None;
        const std::size_t slice = std::min(length - sent, kWriteSlice);
        if (m_socket->write(payload + sent, static_cast<qint64>(slice)) < 0)
            return Failure();
        sent += slice;
    }
}

LinkError GatewayLink::ReadExactly(char* destination, std::size_t length) {
    std::size_t got = 0;
    const auto readable = [this] { return m_socket->bytesAvailable() > 0; };
    const auto waitReadable = [this](int ms) { return m_socket->waitForReadyRead(ms); };
    while (got < length) {
        if (m_socket->bytesAvailable() == 0 && !WaitFor(waitReadable, readable))
            return Failure();
        const qint64 n = m_socket->read(destination + got, static_cast<qint64>(length - got));
        if (n < 0)
            return Failure();
        got += static_cast<std::size_t>(n);
        m_bytesRead += static_cast<std::uint64_t>(n);
        if (m_meter != nullptr) {
            m_meter->AddReceived(static_cast<std::uint64_t>(n));
            // Bytes that trickle in never let a wait run out: the pace is
            // kept here too.
            m_meter->Tick();
        }
    }
    return LinkError::None;
}

LinkError GatewayLink::WaitForBytes(int ms) {
    if (!m_socket)
        return LinkError::Lost;
    if (m_socket->bytesAvailable() > 0)
        return LinkError::None;
    if (!IsOpen())
        return LinkError::Lost;
    const int saved = m_timeoutMs;
    m_timeoutMs = ms < 1 ? 1 : ms;
    const auto readable = [this] { return m_socket->bytesAvailable() > 0; };
    const auto waitReadable = [this](int slice) { return m_socket->waitForReadyRead(slice); };
    const bool arrived = WaitFor(waitReadable, readable);
    m_timeoutMs = saved;
    if (arrived)
        return LinkError::None;
    if (m_socket->bytesAvailable() > 0)
        return LinkError::None;
    const bool timedOut = m_socket->error() == QAbstractSocket::SocketTimeoutError &&
                          m_socket->state() == QAbstractSocket::ConnectedState;
    if (timedOut)
        return LinkError::Timeout;
    return Failure();
}

LinkError GatewayLink::Receive(protocol::FrameHeader& header, CDataBuf& payload) {
    payload.RemoveAll();
    if (!IsOpen() && !(m_socket && m_socket->bytesAvailable() > 0))
        return LinkError::Lost;
    char head[protocol::kFrameHeaderLength];
    if (const LinkError error = ReadExactly(head, sizeof head); error != LinkError::None)
        return error;
    if (!protocol::DecodeFrameHeader(std::string_view(head, sizeof head), header) ||
        header.length > protocol::MaxPayload(header.type)) {
        m_detail = "not a frame header";
        Drop();
        return LinkError::Malformed;
    }
    if (m_meter != nullptr)
        m_meter->ExpectReply(header.length);
    // Grow with the data rather than trusting the announced length up front;
    // storage the caller reserved for the reply it expects is used as it is.
    std::size_t got = 0;
    while (got < header.length) {
        const std::size_t slice = std::min<std::size_t>(header.length - got, kReadSlice);
        payload.Resize(got + slice);
        if (const LinkError error = ReadExactly(payload.Data() + got, slice);
            error != LinkError::None)
            return error;
        got += slice;
        if (m_meter != nullptr)
            m_meter->Tick();
    }
    return LinkError::None;
}
