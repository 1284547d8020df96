#pragma once
// The simulator's listening side: accepts connections on its thread's event
// loop, bounds how many there are and how much memory their frames hold, and
// hands whole frames to the protocol.

#include "gateway/GatewayConfig.h"
#include "gateway/GatewayProtocol.h"
#include "gateway/SettlementStore.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

class ClientConnection;
class QTcpServer;

class GatewayServer : public QObject {
public:
    explicit GatewayServer(GatewayConfig config);
    ~GatewayServer() override;

    // Opens the store and starts listening. False with `error` otherwise.
    bool Start(std::string& error);
    std::uint16_t Port() const;
    std::string Host() const;

    // Thread-safe: tests change the faults while the gateway runs.
    void SetFaults(const GatewayFaults& faults);
    // The fault to play on the next reply of `kind`, counting it; none if null.
    std::optional<GatewayFaults> TakeFault(const char* kind);

    SettlementStore& Store() { return m_store; }
    GatewayProtocol& Protocol() { return *m_protocol; }
    const GatewayConfig& Config() const { return m_config; }

    // The memory budget for frames being read and replies being written.
    bool Reserve(long long bytes);
    void Release(long long bytes);
    long long Reserved() const { return m_reserved; }

    void ConnectionOpened(ClientConnection* connection) { m_live.insert(connection); }
    void ConnectionClosed(ClientConnection* connection) { m_live.erase(connection); }
    int Connections() const { return static_cast<int>(m_live.size()); }

private:
    void OnNewConnection();

    GatewayConfig m_config;
    SettlementStore m_store;
    std::unique_ptr<GatewayProtocol> m_protocol;
    QTcpServer* m_listener = nullptr;
    std::mutex m_faultMutex;
    GatewayFaults m_faults;
    long long m_reserved = 0;
    std::unordered_set<ClientConnection*> m_live;
};
