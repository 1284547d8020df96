// The network client and the gateway simulator on loopback, against a plain
// TCP echo that moves the same bytes: one-record exchanges against one echo
// round trip, and one 100,000-record upload against one echo of its bytes.

#include "accounts/AccountUploader.h"
#include "gateway/GatewayThread.h"
#include "support/ComFormat.h"
#include "support/Text.h"
#include "support/net/NetworkCommunication.h"
#include "support/net/WireFormat.h"
#include "upload/RecordFormats.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "quillmark-bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives for the whole run
}

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

struct Gateway {
    Gateway() {
        EnsureApplication();
        GatewayConfig config;
        config.listenPort = 0;
        config.operators.Set("bench", "P0000001", "bench-password", 1000);
        config.log = [](const std::string&) {};
        thread = std::make_unique<GatewayThread>(std::move(config));
        std::string error;
        thread->Start(error);
        comm.SetTimeoutMs(120000);
        comm.Login("", "bench", "bench-password", "ZANTHO00", "E0", "127.0.0.1",
                   std::to_string(thread->Port()));
    }
    std::unique_ptr<GatewayThread> thread;
    CNetworkCommunication comm;
};

UploadRequestRecord Reserve(const std::string& account, const CCommunication& comm) {
    ReserveAccountRecord record{};
    text::CopyToField(record.ReserveAccountNo, account);
    std::strcpy(record.ReserveAccountName, "\xC9\xCF\xBA\xA3\xD6\xA4\xC8\xAF");
    UploadRequestRecord r = CAccountUploader::BuildReserveRequest(record);
    text::CopyToField(r.CommString1, comm.CommString1);
    text::CopyToField(r.CommString2, comm.CommString2);
    return r;
}

// `count` fresh reserve records, numbered, as wire images.
std::string Body(std::size_t count, const std::string& prefix, const CCommunication& comm) {
    std::string body(count * kRequestWireLength, '\0');
    char work[kRequestWireLength + 1];
    for (std::size_t i = 0; i < count; ++i) {
        UploadRequestRecord r = Reserve(prefix + std::to_string(i), comm);
        text::CopyToField(r.SeqNo, std::to_string(i + 1));
        std::memset(work, 0, sizeof work);
        CGlobalClass::Convert(work, &r, UploadRequestFormat);
        std::memcpy(body.data() + i * kRequestWireLength, work, kRequestWireLength);
    }
    return body;
}

bool Exchange(CCommunication& comm, const std::string& body, CDataBuf& request,
              CDataBuf& response) {
    char serial[17] = {};
    char flag = '0';
    if (comm.ApplySerialNo("SSCCRC", "JSXT", "99", serial, &flag) < 0)
        return false;
    request.RemoveAll();
    request.InsertDataToBuf(body.data(), 0, body.size());
    return comm.BuildPacketHeader("SSCCRC", "JSXT", "99", "40", serial, flag,
                                  static_cast<long>(body.size()), &request) == 0 &&
           comm.SendAndReceive(&request, &response, 0) == 0;
}

// Bytes of an upload frame and of its reply for `records` records, mode 0.
std::size_t RequestBytes(std::size_t records) {
    return wire::kFrameHeaderLength + wire::kPacketHeaderLength +
           records * wire::kRequestRecordLength;
}
std::size_t ReplyBytes(std::size_t records) {
    return wire::kFrameHeaderLength + 9 + 2 + wire::kReplyHeaderLength +
           records * wire::kResultRecordLength;
}

void BM_PerRecordRoundTrip(benchmark::State& state) {
    Gateway gateway;
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
    Gateway gateway;
    CDataBuf request;
    CDataBuf response;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string body = Body(kBatch, "B" + std::to_string(round++) + "-", gateway.comm);
        state.ResumeTiming();
        if (!Exchange(gateway.comm, body, request, response) ||
            response.GetSize() != ReplyBytes(kBatch) - wire::kFrameHeaderLength) {
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
