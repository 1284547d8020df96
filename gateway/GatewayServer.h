#pragma once
// The simulator's listening side: accepts connections on its thread's event
// loop, bounds how many there are and how much memory their frames hold, and
// hands whole frames to the protocol. Connections that have not logged in
// get a share of the slots, and one address a part of that share; past it,
// the oldest of them that has not sent one whole frame makes room, so a
// crowd of silent strangers cannot keep an operator out.

#include "gateway/GatewayConfig.h"
#include "gateway/GatewayProtocol.h"
#include "gateway/LoginChecks.h"
#include "gateway/SettlementStore.h"
#include "gateway/WorkerPool.h"

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class ClientConnection;
struct UploadWork;
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

    // A connection's id, counted up, so ids order connections by age.
    std::uint64_t ConnectionOpened(ClientConnection* connection);
    void ConnectionClosed(std::uint64_t id) { m_live.erase(id); }
    int Connections() const { return static_cast<int>(m_live.size()); }
    // The live connection with this id, or null.
    ClientConnection* Find(std::uint64_t id) const;

    LoginChecks& Logins() { return *m_logins; }
    // An upload's work is done (serving thread): it is recorded, and the
    // connections waiting for it, still there, send its reply.
    void UploadDone(const std::shared_ptr<UploadWork>& work);
    WorkerPool& Workers() { return *m_workers; }

    // Slots for connections that have not logged in, and for one address.
    int PreLoginShare() const;
    int PreLoginShareOfOneAddress() const;

private:
    void OnNewConnection();
    void MakeRoomFor(ClientConnection* fresh);
    // Connections that have not logged in and are not on their way out; all
    // of them, or those from `source`.
    int PreLogin(const std::string* source) const;
    // Refuses the oldest of those that has not sent one whole frame.
    void DropOldestSilent(const std::string* source);

    GatewayConfig m_config;
    SettlementStore m_store;
    std::unique_ptr<GatewayProtocol> m_protocol;
    QTcpServer* m_listener = nullptr;
    std::mutex m_faultMutex;
    GatewayFaults m_faults;
    long long m_reserved = 0;
    std::uint64_t m_nextId = 1;
    int m_heldRefusals = 0;
    std::map<std::uint64_t, ClientConnection*> m_live;
    std::unique_ptr<WorkerPool> m_workers;
    std::unique_ptr<LoginChecks> m_logins;
};
