#include "gateway/ClientConnection.h"

#include "gateway/GatewayServer.h"
#include "gateway/UploadWork.h"
#include "protocol/Codes.h"
#include "support/SecretWipe.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>

#include <algorithm>
#include <cstdint>

#include <sys/mman.h>

namespace {
constexpr std::size_t kSlice = 1 << 20;
// What the gateway holds in its socket's own read buffer; the rest waits in
// the kernel until the gateway is ready for it.
constexpr qint64 kSocketReadBuffer = 1 << 20;

// The memory an upload needs while it is read, processed and answered.
long long UploadFootprint(std::uint64_t payloadLength) {
    const auto records = payloadLength / protocol::kRequestRecordLength + 1;
    return static_cast<long long>(payloadLength + records * protocol::kResultRecordLength + 4096);
}
// Asks for large pages under a big buffer: a full request is touched page by
// page as it arrives, and on a virtual machine each small page's first touch
// costs more than the copy into it.
void AdviseLargePages(const std::string& buffer) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLarge = 2u << 20;
    if (buffer.capacity() < 4 * kLarge)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t first = (begin + kLarge - 1) & ~(kLarge - 1);
    const std::uintptr_t last = (begin + buffer.capacity()) & ~(kLarge - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)buffer;
#endif
}

// An upload payload and the result bytes its reply adds in place.
std::size_t ReplyRoom(std::uint64_t payloadLength) {
    const auto records = payloadLength / protocol::kRequestRecordLength;
    return static_cast<std::size_t>(
        payloadLength + 256 +
        records * (protocol::kResultRecordLength - protocol::kRequestRecordLength));
}
} // namespace

ClientConnection::ClientConnection(QTcpSocket* socket, GatewayServer& server)
    : QObject(&server), m_socket(socket), m_server(server) {
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kSocketReadBuffer);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { Close(); });
    // The login deadline counts from the connect, whatever arrives meanwhile:
    // a client trickling bytes cannot keep a connection without logging in.
    m_loginDeadline.setSingleShot(true);
    connect(&m_loginDeadline, &QTimer::timeout, this, [this] { Close(); });
    m_loginDeadline.start(m_server.Config().loginTimeoutMs);
    m_keepAlive.setInterval(protocol::kKeepAliveIntervalMs);
    connect(&m_keepAlive, &QTimer::timeout, this, [this] { SendKeepAlive(); });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { OnReadyRead(); });
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { Pump(); });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { Close(); });
    m_timer.start(m_server.Config().loginTimeoutMs);
    m_source = m_socket->peerAddress().toString().toStdString();
    m_id = m_server.ConnectionOpened(this);
}

ClientConnection::~ClientConnection() {
    m_server.Release(m_reserved);
    m_server.ConnectionClosed(m_id);
}

bool ClientConnection::Busy() const {
    return m_closing || m_delayed || m_writing || m_refusing || m_login || m_work;
}

void ClientConnection::RefuseAndClose(const GatewayReply& reply, int delayMs) {
    std::string bytes =
        protocol::EncodeFrameHeader(reply.type, reply.payload.size()) + reply.payload;
    if (delayMs <= 0) {
        Write(std::move(bytes), nullptr, 0, 0, true);
        return;
    }
    m_refusing = true;
    QTimer::singleShot(delayMs, this, [this, bytes = std::move(bytes)]() mutable {
        if (!m_closing)
            Write(std::move(bytes), nullptr, 0, 0, true);
    });
}

void ClientConnection::Close() {
    if (m_closing)
        return;
    m_closing = true;
    m_timer.stop();
    m_loginDeadline.stop();
    m_keepAlive.stop();
    m_socket->abort();
    deleteLater();
}

bool ClientConnection::ReadFrameHeader() {
    const qint64 want = static_cast<qint64>(protocol::kFrameHeaderLength - m_head.size());
    const QByteArray bytes = m_socket->read(want);
    m_head.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (m_head.size() < protocol::kFrameHeaderLength)
        return true;
    if (!protocol::DecodeFrameHeader(m_head, m_frame)) {
        RefuseAndClose(GatewayProtocol::ErrorFrame(protocol::errorcode::kNotAFrame));
        return false;
    }
    if (const GatewayReply refusal = GatewayProtocol::Refusal(m_frame.type, !m_state.token.empty());
        !refusal.type.empty()) {
        RefuseAndClose(refusal);
        return false;
    }
    if (m_frame.length > protocol::MaxPayload(m_frame.type)) {
        RefuseAndClose(GatewayProtocol::ErrorFrame(protocol::errorcode::kTooLong));
        return false;
    }
    m_head.clear();
    m_payload.clear();
    if (m_frame.type == protocol::kUpload) {
        // Its packet header comes first: a copy of a request still being
        // processed needs no room for its body (DecideUpload).
        m_uploadDecided = false;
        m_discarding = false;
        m_discarded = 0;
        m_bodyHash = BodyHash();
        m_inFrame = true;
        return true;
    }
    if (!ReserveFootprint())
        return false;
    // Room for the whole payload at once.
    m_payload.reserve(m_frame.length);
    m_inFrame = true;
    return true;
}

bool ClientConnection::ReserveFootprint() {
    const long long footprint = UploadFootprint(m_frame.length);
    if (!m_server.Reserve(footprint)) {
        RefuseAndClose(GatewayProtocol::ErrorFrame(protocol::errorcode::kBusy));
        return false;
    }
    m_reserved = footprint;
    return true;
}

bool ClientConnection::DecideUpload() {
    m_uploadDecided = true;
    if (m_frame.length >= protocol::kPacketHeaderLength) {
        if (std::shared_ptr<UploadWork> work = m_server.Protocol().WorkFor(m_state, m_payload)) {
            m_readingCopyOf = std::move(work);
            m_discarding = true;
            return true;
        }
    }
    if (!ReserveFootprint())
        return false;
    // Room for the whole request at once and for the results its reply adds
    // (the budget holds both already): a large request then arrives without
    // being copied as it grows, and its reply is built where it lies.
    m_payload.reserve(ReplyRoom(m_frame.length));
    AdviseLargePages(m_payload);
    return true;
}

void ClientConnection::OnReadyRead() {
    while (!Busy() && m_socket->bytesAvailable() > 0) {
        if (!m_inFrame) {
            if (!ReadFrameHeader())
                return;
            if (!m_inFrame)
                continue;
        }
        const bool upload = m_frame.type == protocol::kUpload;
        std::size_t want =
            std::min<std::size_t>(m_frame.length - m_payload.size() - m_discarded, kSlice);
        if (upload && !m_uploadDecided)
            want = std::min(want, protocol::kPacketHeaderLength - m_payload.size());
        if (want > 0) {
            const std::size_t ready = std::min(
                want, static_cast<std::size_t>(std::max<qint64>(m_socket->bytesAvailable(), 0)));
            if (m_discarding) {
                // A copy of a request under way: hashed to compare, then dropped.
                m_scratch.resize(ready);
                const qint64 got = m_socket->read(m_scratch.data(), static_cast<qint64>(ready));
                const auto n = static_cast<std::size_t>(std::max<qint64>(got, 0));
                m_bodyHash.Add(std::string_view(m_scratch.data(), n));
                m_discarded += n;
            } else {
                // Straight from the socket into the payload's reserved room, no
                // more than is there (the room is cleared before it is read into).
                const std::size_t had = m_payload.size();
                m_payload.resize(had + ready);
                const qint64 got =
                    m_socket->read(m_payload.data() + had, static_cast<qint64>(ready));
                m_payload.resize(had + static_cast<std::size_t>(std::max<qint64>(got, 0)));
                if (upload && m_payload.size() > protocol::kPacketHeaderLength) {
                    const std::size_t from = std::max(had, protocol::kPacketHeaderLength);
                    m_bodyHash.Add(std::string_view(m_payload).substr(from));
                }
            }
            m_timer.start(m_server.Config().frameTimeoutMs);
        }
        if (upload && !m_uploadDecided &&
            m_payload.size() ==
                std::min<std::size_t>(m_frame.length, protocol::kPacketHeaderLength) &&
            !DecideUpload())
            return;
        if (m_payload.size() + m_discarded == m_frame.length && (!upload || m_uploadDecided))
            ProcessFrame();
    }
}

void ClientConnection::ProcessFrame() {
    m_inFrame = false;
    m_sentFrame = true;
    const char* kind = GatewayProtocol::ReplyKind(m_frame.type);
    const std::optional<GatewayFaults> fault = m_server.TakeFault(kind);
    if (m_frame.type == protocol::kLogin) {
        // The password is checked on a worker; reading waits for the answer.
        auto check = std::make_shared<LoginCheck>();
        const GatewayReply early = m_server.Protocol().BeginLogin(m_payload, *check);
        WipeSecret(m_payload);
        std::string().swap(m_payload);
        if (!early.type.empty()) {
            SendReply(early, fault);
            return;
        }
        m_login = std::move(check);
        m_loginFault = fault;
        m_timer.stop(); // the login deadline still runs
        m_server.Logins().Request(*this);
        return;
    }
    if (m_frame.type == protocol::kUpload) {
        ProcessUpload(fault);
        return;
    }
    GatewayReply reply = m_server.Protocol().Handle(m_state, m_frame.type, m_payload,
                                                    fault ? &*fault : nullptr, &m_payload);
    if (!m_state.token.empty())
        m_loginDeadline.stop();
    if (m_frame.type == protocol::kLogin)
        WipeSecret(m_payload);     // the password is checked and no longer needed
    std::string().swap(m_payload); // a large request's memory goes back at once
    SendReply(std::move(reply), fault);
}

void ClientConnection::ProcessUpload(const std::optional<GatewayFaults>& fault) {
    std::shared_ptr<UploadWork> work;
    bool copy = false;
    if (m_discarding) {
        work = std::move(m_readingCopyOf);
        copy = true;
        m_discarding = false;
        std::string().swap(m_scratch);
        std::string().swap(m_payload);
        if (work->bodyHash != m_bodyHash.Value() || work->bodyLength != m_discarded) {
            SendReply(m_server.Protocol().RefuseOtherBody(*work), fault);
            return;
        }
    } else {
        UploadStep step = m_server.Protocol().BeginUpload(
            m_state, m_payload, fault ? &*fault : nullptr, &m_payload, m_bodyHash.Value());
        std::string().swap(m_payload); // a large request's memory goes back at once
        if (!step.work) {
            SendReply(std::move(step.reply), fault);
            return;
        }
        work = std::move(step.work);
        copy = step.copy;
    }
    m_work = work;
    m_copy = copy;
    m_workFault = fault;
    m_timer.stop(); // the work may take long; the client hears keep-alives meanwhile
    if (m_state.keepAlives)
        m_keepAlive.start();
    if (copy) {
        if (work->finished)
            WorkFinished();
        else
            work->waiting.push_back(m_id);
        return;
    }
    work->owner = m_id;
    // The budget goes with the work: the memory stays taken while it runs,
    // also when this connection goes first.
    work->reserved = m_reserved;
    m_reserved = 0;
    GatewayServer* server = &m_server;
    const auto run = [server, work] {
        server->Protocol().RunUpload(*work);
        QMetaObject::invokeMethod(
            server, [server, work] { server->UploadDone(work); }, Qt::QueuedConnection);
    };
    if (!m_server.Workers().TrySubmit(run)) {
        // Every worker busy and the queue full: the work is done here, late
        // for everyone but never refused once read.
        m_server.Protocol().RunUpload(*work);
        m_server.UploadDone(work);
    }
}

void ClientConnection::WorkFinished() {
    if (!m_work || !m_work->finished || m_closing)
        return;
    const std::shared_ptr<UploadWork> work = std::move(m_work);
    m_work.reset();
    m_keepAlive.stop();
    const bool copy = m_copy;
    m_copy = false;
    if (!copy) {
        m_reserved += work->reserved; // released once the reply is written
        work->reserved = 0;
    }
    const std::optional<GatewayFaults> fault = std::move(m_workFault);
    m_workFault.reset();
    SendShared(protocol::kUploadReply, work->reply, copy && work->accepted, false, fault);
}

void ClientConnection::SendKeepAlive() {
    if (!m_work || m_writing || m_delayed || m_closing || !m_state.keepAlives)
        return;
    const std::string payload = protocol::Fields(
        {m_work->header.serial, std::to_string(m_work->done.load(std::memory_order_relaxed))});
    const std::string frame =
        protocol::EncodeFrameHeader(protocol::kKeepAlive, payload.size()) + payload;
    m_socket->write(frame.data(), static_cast<qint64>(frame.size()));
}

void ClientConnection::LoginChecked(bool verified) {
    if (!m_login || m_closing)
        return;
    const std::shared_ptr<LoginCheck> check = std::move(m_login);
    const std::optional<GatewayFaults> fault = std::move(m_loginFault);
    m_loginFault.reset();
    GatewayReply reply =
        m_server.Protocol().FinishLogin(m_state, *check, verified, fault ? &*fault : nullptr);
    if (!m_state.token.empty())
        m_loginDeadline.stop();
    SendReply(std::move(reply), fault);
}

void ClientConnection::RefuseBusy() {
    m_login.reset();
    m_loginFault.reset();
    RefuseAndClose(GatewayProtocol::ErrorFrame(protocol::errorcode::kBusy));
}

void ClientConnection::SendReply(GatewayReply reply, const std::optional<GatewayFaults>& fault) {
    if (reply.type.empty()) {
        Close();
        return;
    }
    SendShared(reply.type, std::make_shared<const std::string>(std::move(reply.payload)), false,
               reply.close, fault);
}

void ClientConnection::SendShared(std::string_view type, std::shared_ptr<const std::string> body,
                                  bool repeated, bool closeAfter,
                                  const std::optional<GatewayFaults>& fault) {
    std::string head = protocol::EncodeFrameHeader(type, body ? body->size() : 0);
    std::size_t from = 0;
    std::size_t end = body ? body->size() : 0;
    if (repeated && body && !body->empty()) {
        // The first copy's reply, marked as one repeated from the record.
        const std::size_t prefix = protocol::PrefixLength((*body)[0] == '1' ? 1 : 0);
        if (body->size() >= prefix + protocol::kRepeatedAnswer.size()) {
            head.append(*body, 0, prefix);
            head += protocol::kRepeatedAnswer;
            from = prefix + protocol::kRepeatedAnswer.size();
        }
    }
    if (fault && fault->garbage) {
        head = "\xff\xfe garbage, not a frame \x01\x02\x03";
        body.reset();
        from = end = 0;
        closeAfter = true;
    }
    if (fault && fault->closeAfterBytes >= 0) {
        const auto keep = static_cast<std::size_t>(fault->closeAfterBytes);
        end = keep > head.size() ? std::min(end, from + (keep - head.size())) : from;
        head.resize(std::min(head.size(), keep));
        closeAfter = true;
    }
    if (fault && fault->delayMs > 0) {
        m_delayed = true;
        m_timer.stop();
        QPointer<ClientConnection> self(this);
        QTimer::singleShot(fault->delayMs, this,
                           [this, self, head = std::move(head), body = std::move(body), from, end,
                            closeAfter]() mutable {
                               if (!self || m_closing)
                                   return;
                               m_delayed = false;
                               Write(std::move(head), std::move(body), from, end, closeAfter);
                           });
        return;
    }
    Write(std::move(head), std::move(body), from, end, closeAfter);
}

void ClientConnection::Write(std::string head, std::shared_ptr<const std::string> body,
                             std::size_t from, std::size_t end, bool closeAfter) {
    m_outHead = std::move(head);
    m_out = std::move(body);
    m_outFrom = m_out ? from : 0;
    m_outEnd = m_out ? std::max(end, m_outFrom) : 0;
    m_outPos = 0;
    m_writing = true;
    m_closeAfterWrite = closeAfter;
    Pump();
}

void ClientConnection::Pump() {
    if (m_closing || !m_writing)
        return;
    // Keep a slice in flight; the rest of a large reply waits here, not in a
    // second copy inside the socket.
    const std::size_t total = m_outHead.size() + (m_outEnd - m_outFrom);
    while (m_outPos < total && m_socket->bytesToWrite() < static_cast<qint64>(kSlice)) {
        const bool inHead = m_outPos < m_outHead.size();
        const char* data = nullptr;
        std::size_t left = 0;
        if (inHead) {
            data = m_outHead.data() + m_outPos;
            left = m_outHead.size() - m_outPos;
        } else {
            const std::size_t at = m_outFrom + (m_outPos - m_outHead.size());
            data = m_out->data() + at;
            left = m_outEnd - at;
        }
        const std::size_t slice = std::min(left, kSlice);
        const qint64 written = m_socket->write(data, static_cast<qint64>(slice));
        if (written <= 0) {
            Close();
            return;
        }
        m_outPos += static_cast<std::size_t>(written);
    }
    if (m_outPos < total) {
        m_timer.start(m_server.Config().frameTimeoutMs); // the reader must keep reading
        return;
    }
    if (m_socket->bytesToWrite() > 0) {
        m_timer.start(m_server.Config().frameTimeoutMs);
        return;
    }
    // The whole reply is with the kernel.
    std::string().swap(m_outHead);
    m_out.reset();
    m_outFrom = m_outEnd = 0;
    m_outPos = 0;
    m_writing = false;
    m_server.Release(m_reserved);
    m_reserved = 0;
    if (m_closeAfterWrite) {
        m_closing = true;
        m_timer.stop();
        m_loginDeadline.stop();
        m_socket->disconnectFromHost();
        deleteLater();
        return;
    }
    m_timer.start(m_state.token.empty() ? m_server.Config().loginTimeoutMs
                                        : m_server.Config().idleTimeoutMs);
    if (m_socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, [this] { OnReadyRead(); });
}
