#pragma once
// How long the window's event loop went without running: a timer ticks every
// few milliseconds, and the longest interval between two ticks (or between
// the last tick and Stop) is the longest time the window could not paint.
// How many intervals went over the target tells one stretch from many.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

class EventLoopProbe {
public:
    static constexpr int kTickMs = 5;
    static constexpr qint64 kTargetNs = 100'000'000;

    EventLoopProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kTickMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        m_longest = 0;
        m_longestEnd = 0;
        m_overTarget = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    // When the longest gap ended, in seconds from Start.
    double LongestGapEndS() const { return static_cast<double>(m_longestEnd) / 1e9; }
    // Intervals longer than 100 ms.
    int GapsOverTarget() const { return m_overTarget; }
    // Stops and returns the longest gap, in milliseconds.
    double Stop() {
        Tick();
        m_timer.stop();
        return static_cast<double>(m_longest) / 1e6;
    }

private:
    void Tick() {
        const qint64 now = m_clock.nsecsElapsed();
        if (now - m_last > kTargetNs)
            ++m_overTarget;
        if (now - m_last > m_longest) {
            m_longest = now - m_last;
            m_longestEnd = now;
        }
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_longestEnd = 0;
    int m_overTarget = 0;
};
