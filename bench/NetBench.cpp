// The network client and the gateway simulator on loopback, against a plain
// TCP echo that moves the same bytes: one-record exchanges against one echo
// round trip, and one 100,000-record upload against one echo of its bytes.

#include "bench/LoopbackGateway.h"
#include "protocol/WireFormat.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <benchmark/benchmark.h>

#include <string>

namespace {

// Answers every `requestSize` bytes it reads with `replySize` bytes.
class EchoServer {
public:
    EchoServer(std::size_t requestSize, std::size_t replySize)
        : m_requestSize(requestSize), m_reply(replySize, 'r') {
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_context, [this] { Listen(); }, Qt::BlockingQueuedConnection);
    }
    ~EchoServer() {
        QMetaObject::invokeMethod(
            m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        delete m_context;
    }
    quint16 Port() const { return m_port; }

private:
    void Listen() {
        m_server = new QTcpServer;
        m_server->listen(QHostAddress::LocalHost, 0);
        m_port = m_server->serverPort();
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
            QTcpSocket* socket = m_server->nextPendingConnection();
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            auto pending = std::make_shared<std::size_t>(0);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, pending] {
                *pending += static_cast<std::size_t>(socket->readAll().size());
                while (*pending >= m_requestSize) {
                    *pending -= m_requestSize;
                    socket->write(m_reply.data(), static_cast<qint64>(m_reply.size()));
                }
            });
        });
    }

    std::size_t m_requestSize;
    std::string m_reply;
    QThread m_thread;
    QObject* m_context = nullptr;
    QTcpServer* m_server = nullptr;
    quint16 m_port = 0;
};

// One blocking round trip of `request` out and `replySize` bytes back.
bool EchoRoundTrip(QTcpSocket& socket, const std::string& request, std::string& reply,
                   std::size_t replySize) {
    socket.write(request.data(), static_cast<qint64>(request.size()));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(30000))
            return false;
    reply.resize(replySize);
    std::size_t got = 0;
    while (got < replySize) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(30000))
            return false;
        got += static_cast<std::size_t>(
            socket.read(reply.data() + got, static_cast<qint64>(replySize - got)));
    }
    return true;
}

using bench::EnsureApplication;
using bench::Exchange;
using bench::ReplyBytes;
using bench::RequestBytes;

std::string Body(std::size_t count, const std::string& prefix, const CCommunication& comm) {
    return bench::ReserveBody(count, prefix, comm);
}

void BM_PerRecordRoundTrip(benchmark::State& state) {
    bench::LoopbackGateway gateway;
    CDataBuf request;
    CDataBuf response;
    std::size_t n = 0;
    for (auto _ : state) {
        const std::string body = Body(1, "R" + std::to_string(n++) + "-", gateway.comm);
        if (!Exchange(gateway.comm, body, request, response)) {
            state.SkipWithError(gateway.comm.LastErrorText.c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PerRecordRoundTrip)->UseRealTime();

void BM_LoopbackEchoBaseline(benchmark::State& state) {
    EnsureApplication();
    EchoServer echo(RequestBytes(1), ReplyBytes(1));
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", echo.Port());
    socket.waitForConnected(5000);
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const std::string request(RequestBytes(1), 'q');
    std::string reply;
    for (auto _ : state)
        if (!EchoRoundTrip(socket, request, reply, ReplyBytes(1))) {
            state.SkipWithError("echo failed");
            break;
        }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoopbackEchoBaseline)->UseRealTime();

constexpr std::size_t kBatch = 100'000;

void BM_BatchUpload100k(benchmark::State& state) {
    bench::LoopbackGateway gateway;
    CDataBuf request;
    CDataBuf response;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string body = Body(kBatch, "B" + std::to_string(round++) + "-", gateway.comm);
        state.ResumeTiming();
        if (!Exchange(gateway.comm, body, request, response) ||
            response.GetSize() != ReplyBytes(kBatch) - protocol::kFrameHeaderLength) {
            state.SkipWithError(gateway.comm.LastErrorText.c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kBatch));
}
BENCHMARK(BM_BatchUpload100k)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_BatchEcho100kBaseline(benchmark::State& state) {
    EnsureApplication();
    EchoServer echo(RequestBytes(kBatch), ReplyBytes(kBatch));
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", echo.Port());
    socket.waitForConnected(5000);
    const std::string request(RequestBytes(kBatch), 'q');
    std::string reply;
    for (auto _ : state)
        if (!EchoRoundTrip(socket, request, reply, ReplyBytes(kBatch))) {
            state.SkipWithError("echo failed");
            break;
        }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kBatch));
}
BENCHMARK(BM_BatchEcho100kBaseline)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
