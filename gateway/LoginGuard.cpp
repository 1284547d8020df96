#include "gateway/LoginGuard.h"

namespace {
// A bound on the names tracked, so a flood of invented names cannot grow the
// table without end.
constexpr std::size_t kMaxTracked = 10'000;
} // namespace

LoginGuard::LoginGuard(int maxFailures, std::chrono::milliseconds lockout, GatewayClock clock)
    : m_maxFailures(maxFailures), m_lockout(lockout), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return std::chrono::steady_clock::now(); };
}

bool LoginGuard::IsLocked(const std::string& name) {
    const auto it = m_tracks.find(name);
    if (it == m_tracks.end() || it->second.failures < m_maxFailures)
        return false;
    if (m_clock() < it->second.lockedUntil)
        return true;
    m_tracks.erase(it); // the lock has run out: a fresh start
    return false;
}

void LoginGuard::RecordFailure(const std::string& name) {
    if (m_tracks.size() >= kMaxTracked && m_tracks.find(name) == m_tracks.end())
        Prune();
    Track& track = m_tracks[name];
    if (++track.failures >= m_maxFailures)
        track.lockedUntil = m_clock() + m_lockout;
}

void LoginGuard::RecordSuccess(const std::string& name) {
    m_tracks.erase(name);
}

void LoginGuard::Prune() {
    // Locks still running are kept; counts below the limit are forgotten.
    const auto now = m_clock();
    for (auto it = m_tracks.begin(); it != m_tracks.end();)
        it = (it->second.failures >= m_maxFailures && now < it->second.lockedUntil)
                 ? std::next(it)
                 : m_tracks.erase(it);
}
