#pragma once
// What a run tells whoever records it (the operator's journal). Calls come
// from the uploading thread in this order: RunStarted, RequestFinished for
// every request that went to the gateway, RunEnded when the last request is
// done, then MessageShown / MessageDismissed for its closing message. An
// implementation returns at once and never fails these calls.

#include "upload/RowOutcomes.h"
#include "upload/UploadRecords.h"

#include <chrono>
#include <memory>
#include <span>
#include <string>

namespace upload {

using WallClock = std::chrono::system_clock;

struct RunStart {
    std::string mode; // the button's text: "全部上传", "逐笔上传", "只上传新增账户"
    std::string origin; // "window", "terminal" or "scheduled"
    std::string workDir;
    int headerMode = 0;
    // Whether the run's message counts held accounts among the failures.
    bool heldIsFailure = true;
    WallClock::time_point when;
};

// One exchange with the settlement system, as the exchange saw it.
struct ExchangeFacts {
    WallClock::time_point sent;
    WallClock::time_point finished; // the reply read, or the failure met
    int outcome = 0;                // what the exchange returned
    // False when the exchange failed before the request left (no serial, no
    // packet header, too many records): nothing reached the gateway.
    bool reachedGateway = false;
    std::string serialNo;      // empty when none was handed out
    std::string returnCode;    // the response header's, empty when none arrived
    std::string returnMessage; // the header's message (UTF-8), accepted requests too
    std::string failure;       // what the operator was told when the exchange failed
    // The request went to the gateway more than once (its reply was lost and
    // it was sent again with the same serial): a refusal of the last copy
    // says nothing of what the first did.
    bool resent = false;
};

// One request that went to the gateway, with the decision on each record.
struct RequestReport {
    const ExchangeFacts& facts;
    // Empty when the observer took the records at RequestSending and the
    // uploader let them go.
    std::span<const UploadRequestRecord> requests;
    // One per request record when the reply could be matched to them, else empty.
    std::span<const UploadResultRecord> results;
    std::span<const RowRef> rows;         // the list row of each request record
    std::span<const RowOutcome> outcomes; // the decision on each request record
    // When set, the spans stay valid and unchanged for as long as a copy of
    // it is held, so an observer may read them later on a thread of its own
    // instead of copying them now.
    std::shared_ptr<const void> keepAlive;
};

enum class RunEnding : std::uint8_t {
    Completed = 0, // every row it set out to send went, and the message followed
    Failed = 1,    // a failed exchange or an unreadable reply stopped it
    Stopped = 2,   // the operator closed the window mid-run
};

class IRunObserver {
public:
    virtual ~IRunObserver() = default;
    virtual void RunStarted(const RunStart& start) = 0;
    // The records of a request about to be exchanged, unchanged until
    // `keepAlive` is let go: an observer may learn them while the gateway
    // works. RequestFinished follows when the request reached the gateway.
    // True when the observer has taken from them all it will want, so that
    // the uploader may let them go once the request's body is built: the
    // report then comes with no request records (its rows tell how many).
    virtual bool RequestSending(std::span<const UploadRequestRecord> requests,
                                std::shared_ptr<const void> keepAlive) {
        (void)requests;
        (void)keepAlive;
        return false;
    }
    virtual void RequestFinished(const RequestReport& report) = 0;
    virtual void RunEnded(RunEnding ending, WallClock::time_point when) = 0;
    // A message the operator was shown for the run (UTF-8), and when it was closed.
    virtual void MessageShown(const std::string& message) = 0;
    virtual void MessageDismissed(WallClock::time_point when) = 0;
};

} // namespace upload
