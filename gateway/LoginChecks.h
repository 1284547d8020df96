#pragma once
// Schedules the password checks of logins: each runs on the worker pool, not
// on the thread that serves every connection, so one slow hash holds up no
// one else. One address never takes every worker; an address with failed
// logins waits its growing delay and gets one check at a time
// (SourceThrottle); a full pool refuses the login as busy.

#include "gateway/LoginGuard.h"
#include "gateway/SourceThrottle.h"
#include "gateway/WorkerPool.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

class ClientConnection;
class GatewayServer;
struct LoginCheck;

class LoginChecks {
public:
    LoginChecks(GatewayServer& server, WorkerPool& pool, GatewayClock clock);

    // Queues the check of the login `connection` holds; the connection hears
    // of it through LoginChecked or RefuseBusy, on the serving thread.
    void Request(ClientConnection& connection);

    SourceThrottle& Throttle() { return m_throttle; }

private:
    struct SourceQueue {
        int running = 0;
        bool timerSet = false;
        std::deque<std::uint64_t> waiting; // connection ids, oldest first
    };
    void Pump(const std::string& source);
    int RunningLimit(const std::string& source);
    void Done(const std::string& source, std::uint64_t id, const std::shared_ptr<LoginCheck>& check,
              bool verified);

    GatewayServer& m_server;
    WorkerPool& m_pool;
    SourceThrottle m_throttle;
    std::map<std::string, SourceQueue> m_queues;
};
