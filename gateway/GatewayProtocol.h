#pragma once
// The gateway's answers, without sockets: one request frame in, one reply
// frame out. The connection layer around it moves bytes and plays the timing
// faults; this layer plays the faults that change what is said.

#include "gateway/GatewayConfig.h"
#include "gateway/Sessions.h"
#include "gateway/SettlementStore.h"

#include <string>
#include <string_view>

struct ConnectionState {
    std::string token; // the session this connection works for; "" before login
};

struct GatewayReply {
    std::string type; // "" when nothing is answered
    std::string payload;
    bool close = false; // close the connection after the reply
};

class GatewayProtocol {
public:
    GatewayProtocol(const GatewayConfig& config, SettlementStore& store);

    // `fault` is the fault to play on this reply, or null.
    GatewayReply Handle(ConnectionState& state, std::string_view type, std::string_view payload,
                        const GatewayFaults* fault);

    // Which replies a request frame gets, in the terms of GatewayFaults::target.
    static const char* ReplyKind(std::string_view type);

    // The error frame that refuses a frame of `type` at its header, before any
    // of its payload is read or any memory reserved for it; a reply without a
    // type when the frame may be read. `loggedIn`: the connection has made or
    // resumed a session.
    static GatewayReply Refusal(std::string_view type, bool loggedIn);

    // An error frame for a connection the gateway is about to drop.
    static GatewayReply ErrorFrame(const char* code, const char* message);

private:
    GatewayReply Login(ConnectionState& state, std::string_view payload,
                       const GatewayFaults* fault);
    GatewayReply Resume(ConnectionState& state, std::string_view payload,
                        const GatewayFaults* fault);
    GatewayReply Serial(ConnectionState& state, std::string_view payload);
    GatewayReply Upload(ConnectionState& state, std::string_view payload,
                        const GatewayFaults* fault);
    GatewayReply LoginReply(const Session& session, const GatewayFaults* fault) const;
    void Log(const std::string& line) const;

    const GatewayConfig& m_config;
    SettlementStore& m_store;
    LoginGuard m_guard;
    SessionTable m_sessions;
};
