#pragma once
// Keeps the progress of the request under way and hands it to the front end's
// wait hook at the pace of PumpClock: a request that has taken a moment is
// reported (OnWaiting); before that the hook only paints (OnWaitUnreported), so
// quick requests are never shown and slow ones leave no unpainted start.

#include "support/WaitHook.h"

#include <chrono>
#include <cstdint>

class WaitMeter {
public:
    using Clock = std::chrono::steady_clock;

    // Starts a request of `bytesToSend` bytes; `hook` may be null.
    void Begin(IWaitHook* hook, std::uint64_t bytesToSend);
    // Ends it; the hook hears of the end if it heard of the request.
    void End();

    void SetSent(std::uint64_t bytes);
    void AddReceived(std::uint64_t bytes);
    void ExpectReply(std::uint64_t bytes);
    // The gateway's word on its own progress with the request (a keep-alive).
    void SetGatewayProgress(std::uint64_t recordsDone, std::uint64_t recordsTotal);

    // What the hook hears at its next report.
    const WaitProgress& Progress() const { return m_progress; }
    // Reports to the hook when a report is due.
    void Tick();
    // How long one wait may block before the next Tick: all of `remainingMs`
    // when nobody listens.
    int SliceMs(int remainingMs) const;

private:
    IWaitHook* m_hook = nullptr;
    WaitProgress m_progress;
    Clock::time_point m_start;
    bool m_reported = false;
};

// Begins a request on construction and ends it on every way out.
class WaitScope {
public:
    WaitScope(WaitMeter& meter, IWaitHook* hook, std::uint64_t bytesToSend) : m_meter(meter) {
        m_meter.Begin(hook, bytesToSend);
    }
    ~WaitScope() { m_meter.End(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    WaitMeter& m_meter;
};
