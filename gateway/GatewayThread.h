#pragma once
// The simulator on a thread of its own, for tests and benchmarks in the same
// process as a blocking client.

#include "gateway/GatewayConfig.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class GatewayServer;
class QObject;
class QThread;

class GatewayThread {
public:
    explicit GatewayThread(GatewayConfig config);
    ~GatewayThread();
    GatewayThread(const GatewayThread&) = delete;
    GatewayThread& operator=(const GatewayThread&) = delete;

    // Starts the thread and the server; false with `error` when it cannot listen.
    bool Start(std::string& error);
    std::uint16_t Port() const { return m_port; }

    void SetFaults(const GatewayFaults& faults);
    // Runs `work` on the gateway's thread and waits for it.
    void Run(const std::function<void(GatewayServer&)>& work);

private:
    GatewayConfig m_config;
    std::unique_ptr<QThread> m_thread;
    QObject* m_context = nullptr;
    std::unique_ptr<GatewayServer> m_server;
    std::uint16_t m_port = 0;
};
