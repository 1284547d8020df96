#pragma once
// A gateway for the client's tests: it answers every frame it reads through a
// script, with timed steps, one connection after another, on loopback.

#include "protocol/WireFormat.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

inline std::string Frame(std::string_view type, const std::string& payload) {
    return protocol::EncodeFrameHeader(type, payload.size()) + payload;
}

// One step of a gateway's answer: wait `afterMs`, then write `bytes`.
struct Step {
    int afterMs = 0;
    std::string bytes;
};
using Steps = std::vector<Step>;

// A gateway that answers every frame through `answer` with timed steps, one
// connection after another, and notes the type (and for LI/RS the version)
// of each frame it read.
class StepGateway {
public:
    using Answer = std::function<Steps(const std::string& type, const std::string& payload)>;
    explicit StepGateway(Answer answer) {
        std::promise<quint16> port;
        m_port = port.get_future();
        m_thread = std::thread([this, answer = std::move(answer), p = std::move(port)]() mutable {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            p.set_value(server.serverPort());
            while (!m_stop) {
                if (!server.waitForNewConnection(50))
                    continue;
                QTcpSocket* socket = server.nextPendingConnection();
                std::string in;
                while (!m_stop && socket->state() == QAbstractSocket::ConnectedState) {
                    if (socket->waitForReadyRead(50))
                        in += socket->readAll().toStdString();
                    protocol::FrameHeader header;
                    while (protocol::DecodeFrameHeader(in, header) &&
                           in.size() >= 16 + header.length) {
                        const std::string payload = in.substr(16, header.length);
                        in.erase(0, 16 + header.length);
                        std::string noted = header.type;
                        std::vector<std::string> fields;
                        if ((header.type == "LI" || header.type == "RS") &&
                            protocol::SplitFields(payload, fields) && !fields.empty())
                            noted += fields[0];
                        {
                            std::lock_guard lock(m_mutex);
                            m_frames.push_back(noted);
                        }
                        for (const Step& step : answer(header.type, payload)) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(step.afterMs));
                            if (socket->state() != QAbstractSocket::ConnectedState)
                                break;
                            socket->write(step.bytes.data(),
                                          static_cast<qint64>(step.bytes.size()));
                            socket->waitForBytesWritten(1000);
                        }
                    }
                }
                delete socket;
            }
        });
    }
    ~StepGateway() {
        m_stop = true;
        m_thread.join();
    }
    std::string Port() { return std::to_string(m_port.get()); }
    std::vector<std::string> Frames() {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }

private:
    std::atomic<bool> m_stop{false};
    std::future<quint16> m_port;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_frames;
};
