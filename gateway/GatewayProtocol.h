#pragma once
// The gateway's answers, without sockets: one request frame in, one reply
// frame out. The connection layer around it moves bytes and plays the timing
// faults; this layer plays the faults that change what is said.

#include "gateway/GatewayConfig.h"
#include "gateway/Sessions.h"
#include "gateway/SettlementStore.h"
#include "protocol/Codes.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

struct UploadWork;

struct GatewayReply {
    std::string type; // "" when nothing is answered
    std::string payload;
    bool close = false; // close the connection after the reply
};

struct ConnectionState {
    std::string token; // the session this connection works for; "" before login
    // The login or resume carried protocol version 2: keep-alives may go out.
    bool keepAlives = false;
};

// What an upload's first step decided: an answer now, or work to run (or,
// for a copy of a request still under way, that work to wait for).
struct UploadStep {
    GatewayReply reply;
    std::shared_ptr<UploadWork> work;
    bool copy = false;
};

// A login between its reading and its password check: what the check needs
// (run on a worker thread) and what the answer needs afterwards. The password
// is wiped when the check is done or the login dropped.
struct LoginCheck {
    LoginCheck() = default;
    ~LoginCheck();
    LoginCheck(const LoginCheck&) = delete;
    LoginCheck& operator=(const LoginCheck&) = delete;

    // True when the password is the operator's; the password is wiped.
    // Thread-safe: touches nothing but this object.
    bool Verify();

    std::string name;    // UTF-8
    std::string context; // printable, for the log
    bool known = false;  // the operator exists
    OperatorEntry entry; // a copy: the check runs off the serving thread
    std::string password;
    bool keepAlives = false; // the login asked for protocol version 2
    // The new session's number, taken on the worker once the password is
    // verified (NumberSession): the serving thread then never waits for the
    // store, which a large upload may hold for seconds.
    bool numbered = false;
    std::uint64_t sessionNumber = 0;
};

class GatewayProtocol {
public:
    GatewayProtocol(const GatewayConfig& config, SettlementStore& store);

    // `fault` is the fault to play on this reply, or null. `owner`, when
    // given, is the string that holds `payload`: an upload reply may be built
    // over it, leaving it empty.
    GatewayReply Handle(ConnectionState& state, std::string_view type, std::string_view payload,
                        const GatewayFaults* fault, std::string* owner = nullptr);

    // A login in two steps, so the password check can run elsewhere: Begin
    // answers at once a login that needs no check (malformed, wrong system,
    // locked) and otherwise fills `check` and returns a reply without a
    // type; Finish answers it once `verified` is known.
    GatewayReply BeginLogin(std::string_view payload, LoginCheck& check);
    GatewayReply FinishLogin(ConnectionState& state, const LoginCheck& check, bool verified,
                             const GatewayFaults* fault);
    // Takes the session number of a verified login from the store (any thread).
    void NumberSession(LoginCheck& check);

    // An upload in three steps, so that its processing runs on a worker.
    // Begin (serving thread) answers what needs no processing: a refusal, a
    // request answered from the record. Otherwise it hands out the work, with
    // the payload taken from `owner` (or copied), and notes it in the session
    // as under way; a copy of a request under way gets that work instead.
    // Run processes it (any thread; the store is locked meanwhile). Finish
    // (serving thread) records it in its session and makes its reply.
    // `bodyHash` is BodyHash of the body, taken as it arrived.
    UploadStep BeginUpload(ConnectionState& state, std::string_view payload,
                           const GatewayFaults* fault, std::string* owner, std::uint64_t bodyHash);
    void RunUpload(UploadWork& work);
    void FinishUpload(UploadWork& work);
    // The work under way for the request whose packet header is `packetHeader`
    // on this connection's session, or null: a copy of it need not be kept.
    std::shared_ptr<UploadWork> WorkFor(const ConnectionState& state,
                                        std::string_view packetHeader);
    // The refusal of a copy of `work` whose body is not the first copy's.
    GatewayReply RefuseOtherBody(const UploadWork& work) const;

    // Which replies a request frame gets, in the terms of GatewayFaults::target.
    static const char* ReplyKind(std::string_view type);

    // The error frame that refuses a frame of `type` at its header, before any
    // of its payload is read or any memory reserved for it; a reply without a
    // type when the frame may be read. `loggedIn`: the connection has made or
    // resumed a session.
    static GatewayReply Refusal(std::string_view type, bool loggedIn);

    // An error frame for a connection the gateway is about to drop.
    static GatewayReply ErrorFrame(const protocol::Refusal& refusal);

private:
    GatewayReply Login(ConnectionState& state, std::string_view payload,
                       const GatewayFaults* fault);
    GatewayReply Resume(ConnectionState& state, std::string_view payload,
                        const GatewayFaults* fault);
    GatewayReply Serial(ConnectionState& state, std::string_view payload);
    GatewayReply Upload(ConnectionState& state, std::string_view payload,
                        const GatewayFaults* fault, std::string* owner);
    GatewayReply LoginReply(const Session& session, const GatewayFaults* fault) const;
    GatewayReply RefuseLogin(const LoginCheck& check, const protocol::Refusal& refusal,
                             const std::string& why) const;
    void Log(const std::string& line) const;

    const GatewayConfig& m_config;
    SettlementStore& m_store;
    LoginGuard m_guard;
    SessionTable m_sessions;
    // The store is used by one thread at a time: uploads run on workers.
    std::mutex m_storeLock;
};
