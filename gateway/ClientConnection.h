#pragma once
// One client of the simulator: reads frames without trusting their lengths,
// answers each through the protocol, writes replies in slices, plays the
// timing faults, and drops clients that stall or misbehave.

#include "gateway/GatewayProtocol.h"
#include "support/net/WireFormat.h"

#include <QObject>
#include <QTimer>

#include <optional>
#include <string>

class GatewayServer;
class QTcpSocket;

class ClientConnection : public QObject {
public:
    ClientConnection(QTcpSocket* socket, GatewayServer& server);
    ~ClientConnection() override;

    // Sends `reply` and closes: for connections refused at the door.
    void RefuseAndClose(const GatewayReply& reply);

private:
    void OnReadyRead();
    bool ReadFrameHeader();
    void ProcessFrame();
    void SendReply(const GatewayReply& reply, const std::optional<GatewayFaults>& fault);
    void Write(std::string bytes, bool closeAfter);
    void Pump();
    void Close();
    bool Busy() const;

    QTcpSocket* m_socket;
    GatewayServer& m_server;
    ConnectionState m_state;
    QTimer m_timer;         // the deadline for the next sign of progress
    QTimer m_loginDeadline; // runs from the connect until a login or resume

    std::string m_head;
    bool m_inFrame = false;
    wire::FrameHeader m_frame;
    std::string m_payload;
    long long m_reserved = 0;

    std::string m_out;
    std::size_t m_outPos = 0;
    bool m_writing = false;
    bool m_closeAfterWrite = false;
    bool m_delayed = false;
    bool m_closing = false;
};
