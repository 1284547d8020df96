#pragma once
// When the front end's pending events were last handed on, per thread. Every
// long step of the tool's own (CBusyTicker) and every wait on the gateway
// (WaitMeter) keeps to this one pace, so the window's unpainted stretches do
// not add up where one loop or wait hands over to the next.

#include <algorithm>
#include <chrono>

class PumpClock {
public:
    using Clock = std::chrono::steady_clock;
    // The front end's events are handed on this often. A hand-over paints,
    // which may take a while on a busy machine: the window's longest
    // unpainted stretch is this plus one paint.
    static constexpr std::chrono::milliseconds kEvery{20};

    static bool Due(Clock::time_point now) { return now - LastPump() >= kEvery; }
    // Milliseconds until the next hand-over is due; at least 1.
    static int MsUntilDue(Clock::time_point now) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(LastPump() + kEvery - now);
        return static_cast<int>(
            std::clamp<std::chrono::milliseconds::rep>(left.count(), 1, kEvery.count()));
    }
    // Called when a hand-over has ended: the pace counts from its end, as
    // painting inside it left the window as fresh as it gets.
    static void Mark() { LastPump() = Clock::now(); }

private:
    static Clock::time_point& LastPump() {
        thread_local Clock::time_point last{};
        return last;
    }
};
