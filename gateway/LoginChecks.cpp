#include "gateway/LoginChecks.h"

#include "gateway/ClientConnection.h"
#include "gateway/GatewayProtocol.h"
#include "gateway/GatewayServer.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>

LoginChecks::LoginChecks(GatewayServer& server, WorkerPool& pool, GatewayClock clock)
    : m_server(server), m_pool(pool), m_throttle(std::move(clock)) {}

void LoginChecks::Request(ClientConnection& connection) {
    m_queues[connection.Source()].waiting.push_back(connection.Id());
    Pump(connection.Source());
}

int LoginChecks::RunningLimit(const std::string& source) {
    // One address never has every worker, so a check from anywhere else
    // waits for one check at most; an address with failures has one.
    if (m_throttle.OneAtATime(source))
        return 1;
    return std::max(1, m_pool.Threads() - 1);
}

void LoginChecks::Pump(const std::string& source) {
    SourceQueue& queue = m_queues[source];
    while (!queue.waiting.empty()) {
        if (queue.running >= RunningLimit(source))
            return;
        const auto now = m_throttle.Now();
        const auto notBefore = m_throttle.NotBefore(source);
        if (now < notBefore) {
            if (!queue.timerSet) {
                queue.timerSet = true;
                const auto wait =
                    std::chrono::ceil<std::chrono::milliseconds>(notBefore - now).count();
                QTimer::singleShot(static_cast<int>(wait), &m_server, [this, source] {
                    m_queues[source].timerSet = false;
                    Pump(source);
                });
            }
            return;
        }
        const std::uint64_t id = queue.waiting.front();
        queue.waiting.pop_front();
        ClientConnection* connection = m_server.Find(id);
        if (!connection)
            continue; // gone while it waited: nothing was checked
        std::shared_ptr<LoginCheck> check = connection->PendingLogin();
        GatewayServer* server = &m_server;
        const bool queued = m_pool.TrySubmit([this, server, source, id, check] {
            const bool verified = check->Verify();
            if (verified)
                server->Protocol().NumberSession(*check);
            QMetaObject::invokeMethod(
                server, [this, source, id, check, verified] { Done(source, id, check, verified); },
                Qt::QueuedConnection);
        });
        if (!queued) {
            connection->RefuseBusy();
            continue;
        }
        ++queue.running;
    }
    if (queue.running == 0 && !queue.timerSet)
        m_queues.erase(source);
}

void LoginChecks::Done(const std::string& source, std::uint64_t id,
                       const std::shared_ptr<LoginCheck>& check, bool verified) {
    SourceQueue& queue = m_queues[source];
    if (queue.running > 0)
        --queue.running;
    if (verified)
        m_throttle.RecordSuccess(source);
    else
        m_throttle.RecordFailure(source);
    ClientConnection* connection = m_server.Find(id);
    if (connection && !connection->Leaving()) {
        connection->LoginChecked(verified);
    } else if (!verified) {
        // The client left before its answer: the failure still counts
        // towards the operator's lockout.
        ConnectionState none;
        m_server.Protocol().FinishLogin(none, *check, false, nullptr);
    }
    Pump(source);
}
