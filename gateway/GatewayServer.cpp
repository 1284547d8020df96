#include "gateway/GatewayServer.h"

#include "gateway/ClientConnection.h"

#include "gateway/GatewayTls.h"

#include <QHostAddress>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

GatewayServer::GatewayServer(GatewayConfig config)
    : m_config(std::move(config)), m_faults(m_config.faults) {}

GatewayServer::~GatewayServer() {
    // Connections report to the server as they go, so they go first.
    while (!m_live.empty())
        delete *m_live.begin();
}

bool GatewayServer::Start(std::string& error) {
    if (!m_store.Open(m_config.dbPath, error))
        return false;
    m_protocol = std::make_unique<GatewayProtocol>(m_config, m_store);
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

void GatewayServer::OnNewConnection() {
    while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
        auto* connection = new ClientConnection(socket, *this);
        if (Connections() > m_config.maxConnections)
            connection->RefuseAndClose(GatewayProtocol::ErrorFrame("3004", "网关连接数已满"));
    }
}
