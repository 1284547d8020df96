#pragma once
// An upload being processed on a worker. The connection that sent it holds
// it, and so do connections that sent the same request again (same serial)
// while it was under way: they read nothing of its body into memory but its
// hash, and get its reply from the record when the work ends. Fields above
// the line are set on the serving thread before the work starts; `done`
// moves on the worker; those below are the worker's and are read back on
// the serving thread once it has posted that it is finished.

#include "gateway/Settlement.h"
#include "gateway/UploadReply.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct UploadWork {
    std::string token; // the session
    std::uint64_t number = 0;
    std::uint64_t bodyHash = 0;
    std::size_t bodyLength = 0;
    std::size_t records = 0;
    int mode = 0;
    UploadReplyHeader header;
    std::string participant;
    std::string who;         // the operator, for the log
    int extraMs = 0;         // a fault's slow work
    std::uint64_t owner = 0; // the connection that sent the first copy
    long long reserved = 0;  // its memory budget, held while the work runs
    std::string payload;     // packet header and body; the reply is built over it

    std::atomic<std::uint64_t> done{0};

    SettlementOutcome outcome;
    std::string replyBytes; // the fresh reply (or a refusal) as built

    // Serving thread, once finished: the reply every copy answers with.
    bool finished = false;
    bool accepted = false; // a reply with results, that a copy repeats with marker "01"
    std::shared_ptr<const std::string> reply;
    std::vector<std::uint64_t> waiting; // connections of later copies
};
