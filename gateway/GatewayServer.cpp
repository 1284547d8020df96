#include "gateway/GatewayServer.h"

#include "gateway/ClientConnection.h"

#include "gateway/GatewayTls.h"
#include "gateway/UploadWork.h"
#include "protocol/Codes.h"

#include <QHostAddress>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <thread>

GatewayServer::GatewayServer(GatewayConfig config)
    : m_config(std::move(config)), m_faults(m_config.faults) {}

namespace {
// Password checks are short and many at a flood; beyond this many waiting a
// login is refused as busy rather than queued without end.
constexpr std::size_t kWorkQueueLimit = 64;
constexpr int kListenBacklog = 1024;
constexpr int kMaxHeldRefusals = 1024;

int WorkerThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores < 2 ? 2 : static_cast<int>(cores);
}
} // namespace

GatewayServer::~GatewayServer() {
    // The workers finish first, so no check reports to a connection that is
    // gone; what they still post to this object goes with it.
    m_workers.reset();
    // Connections report to the server as they go, so they go first.
    while (!m_live.empty())
        delete m_live.begin()->second;
}

bool GatewayServer::Start(std::string& error) {
    if (!m_store.Open(m_config.dbPath, error))
        return false;
    m_protocol = std::make_unique<GatewayProtocol>(m_config, m_store);
    m_workers = std::make_unique<WorkerPool>(WorkerThreads(), kWorkQueueLimit);
    m_logins = std::make_unique<LoginChecks>(*this, *m_workers, m_config.clock);
    if (m_config.tlsCertFile.empty()) {
        m_listener = new QTcpServer(this);
    } else {
        QSslConfiguration tls;
        if (!LoadServerTls(m_config.tlsCertFile, m_config.tlsKeyFile, tls, error))
            return false;
        auto* listener = new QSslServer(this);
        listener->setSslConfiguration(tls);
        // A client that connects and never finishes its handshake goes as
        // one that never logs in.
        listener->setHandshakeTimeout(m_config.loginTimeoutMs);
        m_listener = listener;
    }
    // A queue of connections not yet accepted long enough that a crowd of
    // strangers connecting at once does not fill it: a full queue drops new
    // connections, an operator's among them, and the client tries again only
    // a second later.
    m_listener->setListenBacklogSize(kListenBacklog);
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(m_config.listenHost))) {
        error = "not an IP address: " + m_config.listenHost;
        return false;
    }
    if (!m_listener->listen(address, m_config.listenPort)) {
        error = "cannot listen on " + m_config.listenHost + ":" +
                std::to_string(m_config.listenPort) + ": " +
                m_listener->errorString().toStdString();
        return false;
    }
    // Not newConnection: a TLS connection is pending only once its handshake
    // is done, long after the TCP connection was accepted.
    connect(m_listener, &QTcpServer::pendingConnectionAvailable, this,
            [this] { OnNewConnection(); });
    return true;
}

std::uint16_t GatewayServer::Port() const {
    return m_listener ? m_listener->serverPort() : 0;
}

std::string GatewayServer::Host() const {
    return m_listener ? m_listener->serverAddress().toString().toStdString() : "";
}

void GatewayServer::SetFaults(const GatewayFaults& faults) {
    std::lock_guard lock(m_faultMutex);
    m_faults = faults;
}

std::optional<GatewayFaults> GatewayServer::TakeFault(const char* kind) {
    std::lock_guard lock(m_faultMutex);
    if (!m_faults.Any() || !m_faults.Hits(kind) || m_faults.times == 0)
        return std::nullopt;
    if (m_faults.times > 0)
        --m_faults.times;
    return m_faults;
}

bool GatewayServer::Reserve(long long bytes) {
    if (bytes > m_config.memoryBudget - m_reserved)
        return false;
    m_reserved += bytes;
    return true;
}

void GatewayServer::Release(long long bytes) {
    m_reserved -= bytes;
}

std::uint64_t GatewayServer::ConnectionOpened(ClientConnection* connection) {
    const std::uint64_t id = m_nextId++;
    m_live.emplace(id, connection);
    return id;
}

ClientConnection* GatewayServer::Find(std::uint64_t id) const {
    const auto it = m_live.find(id);
    return it == m_live.end() ? nullptr : it->second;
}

int GatewayServer::PreLoginShare() const {
    return std::max(1, m_config.maxConnections / 2);
}

int GatewayServer::PreLoginShareOfOneAddress() const {
    return std::max(1, PreLoginShare() / 2);
}

int GatewayServer::PreLogin(const std::string* source) const {
    int count = 0;
    for (const auto& [id, connection] : m_live)
        if (!connection->LoggedIn() && !connection->Leaving() &&
            (!source || connection->Source() == *source))
            ++count;
    return count;
}

void GatewayServer::DropOldestSilent(const std::string* source) {
    for (const auto& [id, connection] : m_live) {
        if (connection->LoggedIn() || connection->Leaving() || connection->SentFrame() ||
            (source && connection->Source() != *source))
            continue;
        // An address with failed logins waits for its refusal as it waits
        // for its checks, so its clients block instead of connecting again
        // at once; the refusals held back are bounded like the slots.
        const bool hold = m_heldRefusals < kMaxHeldRefusals;
        const auto delay = hold ? m_logins->Throttle().Penalty(connection->Source())
                                : std::chrono::milliseconds{0};
        if (delay.count() > 0) {
            ++m_heldRefusals;
            connect(connection, &QObject::destroyed, this, [this] { --m_heldRefusals; });
        }
        connection->RefuseAndClose(GatewayProtocol::ErrorFrame(protocol::errorcode::kFull),
                                   static_cast<int>(delay.count()));
        return;
    }
}

void GatewayServer::MakeRoomFor(ClientConnection* fresh) {
    // Each step drops at most one: the newcomer is itself silent, so when no
    // older connection can go, it is the one refused.
    const std::string source = fresh->Source();
    if (PreLogin(&source) > PreLoginShareOfOneAddress())
        DropOldestSilent(&source);
    if (PreLogin(nullptr) > PreLoginShare())
        DropOldestSilent(nullptr);
    int live = 0;
    for (const auto& [id, connection] : m_live)
        live += connection->Leaving() ? 0 : 1;
    if (live > m_config.maxConnections)
        DropOldestSilent(nullptr);
}

void GatewayServer::OnNewConnection() {
    while (QTcpSocket* socket = m_listener->nextPendingConnection())
        MakeRoomFor(new ClientConnection(socket, *this));
}

void GatewayServer::UploadDone(const std::shared_ptr<UploadWork>& work) {
    m_protocol->FinishUpload(*work);
    if (ClientConnection* owner = Find(work->owner))
        owner->WorkFinished();
    for (const std::uint64_t id : work->waiting)
        if (ClientConnection* copy = Find(id))
            copy->WorkFinished();
    // The connection that sent it is gone: nobody writes its reply.
    Release(work->reserved);
    work->reserved = 0;
}
