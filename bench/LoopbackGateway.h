#pragma once
// The gateway simulator on a thread of this process with a logged-in network
// client, and the request bodies the loopback benchmarks send it.

#include "gateway/GatewayThread.h"
#include "support/net/NetworkCommunication.h"

#include <cstddef>
#include <memory>
#include <string>

namespace bench {

void EnsureApplication();

// `value` cut or filled with blanks to `width` bytes: a field of a record file.
std::string Padded(const std::string& value, std::size_t width);

struct LoopbackGateway {
    // `dbPath`: the simulator's store, ":memory:" or a file.
    explicit LoopbackGateway(const std::string& dbPath = ":memory:");
    std::unique_ptr<GatewayThread> thread;
    CNetworkCommunication comm;
};

// `count` reserve records with the account numbers prefix + 0, 1, ..., as wire
// images numbered from 1.
std::string ReserveBody(std::size_t count, const std::string& prefix, const CCommunication& comm);

// `count` records with account numbers made as the sample data makes them
// (random digits, then the index), so the store sees keys in no order: even
// `bank` false gives reserve accounts, true bank accounts.
std::string SampleBody(std::size_t count, bool bank, const CCommunication& comm);

// One serial, one upload of `body`, one reply. False with the client's error
// text in comm.LastErrorText.
bool Exchange(CCommunication& comm, const std::string& body, CDataBuf& request, CDataBuf& response);

// Bytes of an upload frame and of its reply for `records` records, mode 0.
std::size_t RequestBytes(std::size_t records);
std::size_t ReplyBytes(std::size_t records);

} // namespace bench
