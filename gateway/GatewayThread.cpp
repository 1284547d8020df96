#include "gateway/GatewayThread.h"

#include "gateway/GatewayServer.h"

#include <QMetaObject>
#include <QThread>

GatewayThread::GatewayThread(GatewayConfig config) : m_config(std::move(config)) {}

GatewayThread::~GatewayThread() {
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(
        m_context, [this] { m_server.reset(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_context;
}

bool GatewayThread::Start(std::string& error) {
    m_thread = std::make_unique<QThread>();
    m_context = new QObject;
    m_context->moveToThread(m_thread.get());
    m_thread->start();
    bool started = false;
    QMetaObject::invokeMethod(
        m_context,
        [&] {
            m_server = std::make_unique<GatewayServer>(std::move(m_config));
            started = m_server->Start(error);
            m_port = m_server->Port();
        },
        Qt::BlockingQueuedConnection);
    return started;
}

void GatewayThread::SetFaults(const GatewayFaults& faults) {
    if (m_server)
        m_server->SetFaults(faults);
}

void GatewayThread::Run(const std::function<void(GatewayServer&)>& work) {
    QMetaObject::invokeMethod(
        m_context, [&] { work(*m_server); }, Qt::BlockingQueuedConnection);
}
