#include "gateway/SourceThrottle.h"

#include <algorithm>

namespace {
constexpr std::chrono::milliseconds kFirstDelay{25};
constexpr std::chrono::milliseconds kLongestDelay{2000};
// An address quiet this long after its last failure starts afresh.
constexpr std::chrono::milliseconds kForgetAfter{60'000};
// A bound on the addresses tracked, so a flood from many addresses cannot
// grow the table without end.
constexpr std::size_t kMaxTracked = 10'000;
} // namespace

SourceThrottle::SourceThrottle(GatewayClock clock) : m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return std::chrono::steady_clock::now(); };
}

std::chrono::milliseconds SourceThrottle::Delay(int failures) {
    if (failures <= 0)
        return std::chrono::milliseconds{0};
    std::chrono::milliseconds delay = kFirstDelay;
    for (int i = 1; i < failures && delay < kLongestDelay; ++i)
        delay *= 2;
    return std::min(delay, kLongestDelay);
}

const SourceThrottle::Track* SourceThrottle::Find(const std::string& source) {
    const auto it = m_tracks.find(source);
    if (it == m_tracks.end())
        return nullptr;
    if (m_clock() - it->second.notBefore > kForgetAfter) {
        m_tracks.erase(it);
        return nullptr;
    }
    return &it->second;
}

std::chrono::steady_clock::time_point SourceThrottle::NotBefore(const std::string& source) {
    const Track* track = Find(source);
    return track ? track->notBefore : std::chrono::steady_clock::time_point{};
}

std::chrono::milliseconds SourceThrottle::Penalty(const std::string& source) {
    const Track* track = Find(source);
    return Delay(track ? track->failures : 0);
}

bool SourceThrottle::OneAtATime(const std::string& source) {
    return Find(source) != nullptr;
}

void SourceThrottle::RecordFailure(const std::string& source) {
    if (m_tracks.size() >= kMaxTracked && m_tracks.find(source) == m_tracks.end())
        Prune();
    Find(source); // a track gone quiet starts afresh
    Track& track = m_tracks[source];
    ++track.failures;
    track.notBefore = m_clock() + Delay(track.failures);
}

void SourceThrottle::RecordSuccess(const std::string& source) {
    m_tracks.erase(source);
}

void SourceThrottle::Prune() {
    const auto now = m_clock();
    for (auto it = m_tracks.begin(); it != m_tracks.end();)
        it = now - it->second.notBefore > kForgetAfter ? m_tracks.erase(it) : std::next(it);
    // Still full: the table forgets the addresses that have waited longest.
    while (m_tracks.size() >= kMaxTracked)
        m_tracks.erase(
            std::min_element(m_tracks.begin(), m_tracks.end(), [](const auto& a, const auto& b) {
                return a.second.notBefore < b.second.notBefore;
            }));
}
