#include "support/net/WaitMeter.h"

#include "support/PumpClock.h"

#include <algorithm>

namespace {
// A request shorter than this is never shown; the window still paints during it.
constexpr auto kFirstReport = std::chrono::milliseconds(100);
} // namespace

void WaitMeter::Begin(IWaitHook* hook, std::uint64_t bytesToSend) {
    m_hook = hook;
    m_progress = WaitProgress{};
    m_progress.bytesToSend = bytesToSend;
    m_start = Clock::now();
    m_reported = false;
}

void WaitMeter::End() {
    IWaitHook* hook = m_hook;
    const bool reported = m_reported;
    m_hook = nullptr;
    m_reported = false;
    if (hook != nullptr && reported)
        hook->OnWaitEnded();
}

void WaitMeter::SetSent(std::uint64_t bytes) {
    m_progress.bytesSent = std::min(bytes, m_progress.bytesToSend);
}

void WaitMeter::AddReceived(std::uint64_t bytes) {
    m_progress.bytesReceived += bytes;
    if (m_progress.bytesToReceive > 0)
        m_progress.bytesReceived = std::min(m_progress.bytesReceived, m_progress.bytesToReceive);
}

void WaitMeter::ExpectReply(std::uint64_t bytes) {
    // Counted afresh against the reply now announced: the frame headers and
    // the replies to a resume that came before it are not part of it.
    m_progress.bytesToReceive = bytes;
    m_progress.bytesReceived = 0;
}

void WaitMeter::SetGatewayProgress(std::uint64_t recordsDone, std::uint64_t recordsTotal) {
    m_progress.recordsDone = recordsDone;
    m_progress.recordsTotal = recordsTotal;
}

void WaitMeter::Tick() {
    if (m_hook == nullptr)
        return;
    const Clock::time_point now = Clock::now();
    if (!PumpClock::Due(now))
        return;
    if (now - m_start < kFirstReport) {
        m_hook->OnWaitUnreported();
    } else {
        m_reported = true;
        m_progress.secondsWaited = std::chrono::duration<double>(now - m_start).count();
        m_hook->OnWaiting(m_progress);
    }
    PumpClock::Mark();
}

int WaitMeter::SliceMs(int remainingMs) const {
    if (m_hook == nullptr)
        return remainingMs;
    return std::min(remainingMs, PumpClock::MsUntilDue(Clock::now()));
}
