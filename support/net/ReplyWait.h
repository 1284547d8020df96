#pragma once
// The client's judge of keep-alive frames while it waits for an upload reply.
// A keep-alive is taken only on a session that speaks protocol version 2 and
// only while an upload waits; it must name the request's serial, its count of
// records done must neither go down nor pass the request's records, and a
// connection may bring only so many of them. One whose count grew restarts
// the wait for the reply; anything else it says is out of step.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

class ReplyWait {
public:
    using Clock = std::chrono::steady_clock;

    enum class Verdict {
        Grew,      // the gateway did more: the wait starts again
        Same,      // taken, but the wait goes on as it was
        OutOfStep, // not a keep-alive this request may get
    };

    // Keep-alives are taken only when `allowed`; `serial` and `records` are
    // the request's.
    ReplyWait(bool allowed, std::string serial, std::uint64_t records);
    // A new connection for the same request: its count may start lower again.
    void NewConnection(Clock::time_point now);
    Verdict Take(std::string_view payload, Clock::time_point now);

    std::uint64_t Done() const { return m_best; }
    std::uint64_t Records() const { return m_records; }

private:
    bool m_allowed;
    std::string m_serial;
    std::uint64_t m_records;
    std::uint64_t m_best = 0; // the highest count on any connection
    std::uint64_t m_last = 0; // the last count on this connection
    bool m_seenHere = false;
    std::uint64_t m_takenHere = 0; // keep-alives on this connection
    Clock::time_point m_since;     // when this connection's wait began
};
