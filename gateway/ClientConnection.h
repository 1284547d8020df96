#pragma once
// One client of the simulator: reads frames without trusting their lengths,
// answers each through the protocol, writes replies in slices, plays the
// timing faults, and drops clients that stall or misbehave.

#include "gateway/BodyHash.h"
#include "gateway/GatewayProtocol.h"
#include "protocol/WireFormat.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class GatewayServer;
class QTcpSocket;

class ClientConnection : public QObject {
public:
    ClientConnection(QTcpSocket* socket, GatewayServer& server);
    ~ClientConnection() override;

    // Sends `reply` and closes: for connections refused at the door. With a
    // delay the connection reads nothing meanwhile and no longer counts as
    // one of the gateway's, so a client refused again and again cannot spin.
    void RefuseAndClose(const GatewayReply& reply, int delayMs = 0);

    std::uint64_t Id() const { return m_id; }
    // The peer's address, as the source of its logins.
    const std::string& Source() const { return m_source; }
    bool LoggedIn() const { return !m_state.token.empty(); }
    // Has sent one whole frame, of whatever kind.
    bool SentFrame() const { return m_sentFrame; }
    // Closing, or writing its last reply.
    bool Leaving() const { return m_closing || m_closeAfterWrite || m_refusing; }

    // The login whose password is being checked elsewhere, and its outcome.
    std::shared_ptr<LoginCheck> PendingLogin() const { return m_login; }
    void LoginChecked(bool verified);
    // The check could not be queued: the login is refused as busy.
    void RefuseBusy();

    // The upload this connection waits for is processed: its own, or the
    // first copy of one it sent again. Its reply goes out.
    void WorkFinished();

private:
    void OnReadyRead();
    bool ReadFrameHeader();
    void ProcessFrame();
    // Called once an upload's packet header is in: a copy of a request under
    // way is only hashed, anything else has its memory reserved and is kept.
    bool DecideUpload();
    // Takes the frame's share of the memory budget, or refuses it (3003).
    bool ReserveFootprint();
    // A whole upload: answered now, or its work started or joined.
    void ProcessUpload(const std::optional<GatewayFaults>& fault);
    void SendKeepAlive();
    void SendReply(GatewayReply reply, const std::optional<GatewayFaults>& fault);
    // A reply whose bytes may be shared with other connections; `repeated`
    // puts the marker "01" in place of the first copy's "00".
    void SendShared(std::string_view type, std::shared_ptr<const std::string> body, bool repeated,
                    bool closeAfter, const std::optional<GatewayFaults>& fault);
    // `head` then bytes [from, end) of `body`: a large reply goes out from
    // where it was built, without a copy behind its frame header.
    void Write(std::string head, std::shared_ptr<const std::string> body, std::size_t from,
               std::size_t end, bool closeAfter);
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
    protocol::FrameHeader m_frame;
    std::string m_payload;
    long long m_reserved = 0;

    // Uploads: the body's hash as it arrives; a copy of a request under way
    // is counted and hashed, not kept.
    BodyHash m_bodyHash;
    bool m_uploadDecided = false;
    bool m_discarding = false;
    std::uint64_t m_discarded = 0;
    std::shared_ptr<UploadWork> m_readingCopyOf;
    std::string m_scratch;
    // The upload being processed for this connection (or, with m_copy, the
    // first copy it waits for), and the fault its reply plays.
    std::shared_ptr<UploadWork> m_work;
    bool m_copy = false;
    std::optional<GatewayFaults> m_workFault;
    QTimer m_keepAlive;

    std::string m_outHead;
    std::shared_ptr<const std::string> m_out;
    std::size_t m_outFrom = 0;
    std::size_t m_outEnd = 0;
    std::size_t m_outPos = 0; // in m_outHead, then m_out from m_outFrom
    bool m_writing = false;
    bool m_closeAfterWrite = false;
    bool m_delayed = false;
    bool m_closing = false;

    std::uint64_t m_id = 0;
    std::string m_source;
    bool m_sentFrame = false;
    bool m_refusing = false;             // a refusal waits to be sent
    std::shared_ptr<LoginCheck> m_login; // set while its password is checked
    std::optional<GatewayFaults> m_loginFault;
};
