#include "support/net/ReplyWait.h"

#include "protocol/WireFormat.h"

#include <vector>

ReplyWait::ReplyWait(bool allowed, std::string serial, std::uint64_t records)
    : m_allowed(allowed), m_serial(std::move(serial)), m_records(records), m_since(Clock::now()) {}

void ReplyWait::NewConnection(Clock::time_point now) {
    m_last = 0;
    m_seenHere = false;
    m_takenHere = 0;
    m_since = now;
}

ReplyWait::Verdict ReplyWait::Take(std::string_view payload, Clock::time_point now) {
    if (!m_allowed)
        return Verdict::OutOfStep;
    std::vector<std::string> fields;
    std::uint64_t done = 0;
    if (!protocol::SplitFields(payload, fields, 2) || fields.size() != 2 || fields[0] != m_serial ||
        !protocol::ParseDigits(fields[1], done) || done > m_records)
        return Verdict::OutOfStep;
    if (m_seenHere && done < m_last)
        return Verdict::OutOfStep;
    // A flood is bounded by the time waited: a gateway that works sends a
    // couple a second, never hundreds.
    const auto waitedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - m_since).count();
    const auto allowance = static_cast<std::uint64_t>(protocol::kKeepAliveBurst) +
                           static_cast<std::uint64_t>(waitedMs) *
                               static_cast<std::uint64_t>(protocol::kKeepAlivesPerSecond) / 1000u;
    if (++m_takenHere > allowance)
        return Verdict::OutOfStep;
    m_seenHere = true;
    m_last = done;
    if (done > m_best) {
        m_best = done;
        return Verdict::Grew;
    }
    return Verdict::Same;
}
