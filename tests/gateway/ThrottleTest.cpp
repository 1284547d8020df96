// The login throttle by source address with an injected clock, and the
// worker pool's bounded queue.

#include "gateway/SourceThrottle.h"
#include "gateway/WorkerPool.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

using namespace std::chrono_literals;

TEST(SourceThrottleTest, EachFailureDoublesTheDelayUpToTwoSeconds) {
    const struct {
        int failures;
        std::chrono::milliseconds delay;
    } cases[] = {{0, 0ms},   {1, 25ms},  {2, 50ms},   {3, 100ms},  {4, 200ms},
                 {5, 400ms}, {6, 800ms}, {7, 1600ms}, {8, 2000ms}, {30, 2000ms}};
    for (const auto& c : cases)
        EXPECT_EQ(SourceThrottle::Delay(c.failures), c.delay) << c.failures << " failures";
}

TEST(SourceThrottleTest, FailuresFromOneAddressDelayItAloneUntilASuccessOrAQuietMinute) {
    auto now = std::chrono::steady_clock::time_point{} + 1h;
    SourceThrottle throttle([&] { return now; });
    EXPECT_LE(throttle.NotBefore("127.0.0.3"), now);
    EXPECT_FALSE(throttle.OneAtATime("127.0.0.3"));

    for (int i = 0; i < 3; ++i)
        throttle.RecordFailure("127.0.0.3");
    EXPECT_EQ(throttle.NotBefore("127.0.0.3"), now + 100ms);
    EXPECT_TRUE(throttle.OneAtATime("127.0.0.3"));
    EXPECT_LE(throttle.NotBefore("127.0.0.1"), now);
    EXPECT_FALSE(throttle.OneAtATime("127.0.0.1"));

    throttle.RecordSuccess("127.0.0.3");
    EXPECT_FALSE(throttle.OneAtATime("127.0.0.3"));

    throttle.RecordFailure("127.0.0.4");
    now += 61s;
    EXPECT_FALSE(throttle.OneAtATime("127.0.0.4"));
    throttle.RecordFailure("127.0.0.4"); // a fresh start: the first delay again
    EXPECT_EQ(throttle.NotBefore("127.0.0.4"), now + 25ms);
}

// A latch the jobs wait on, with the tests' generous bound.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int started = 0;
    int finished = 0;

    void Run() {
        std::unique_lock lock(mutex);
        ++started;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(30), [this] { return open; });
        ++finished;
        changed.notify_all();
    }
    template <class Predicate> bool WaitFor(Predicate done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), done);
    }
};

TEST(WorkerPoolTest, AFullQueueRefusesAndEveryQueuedJobRuns) {
    Gate gate;
    {
        WorkerPool pool(2, 3);
        EXPECT_EQ(pool.Threads(), 2);
        ASSERT_TRUE(pool.TrySubmit([&] { gate.Run(); }));
        ASSERT_TRUE(pool.TrySubmit([&] { gate.Run(); }));
        ASSERT_TRUE(gate.WaitFor([&] { return gate.started == 2; }))
            << "waited for both workers to take a job";
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(pool.TrySubmit([&] { gate.Run(); })) << i;
        EXPECT_EQ(pool.Waiting(), 3u);
        EXPECT_FALSE(pool.TrySubmit([&] { gate.Run(); }));
        {
            std::lock_guard lock(gate.mutex);
            gate.open = true;
        }
        gate.changed.notify_all();
        ASSERT_TRUE(gate.WaitFor([&] { return gate.finished == 5; }))
            << "waited for the five accepted jobs to finish";
    }
    EXPECT_EQ(gate.finished, 5);
}

} // namespace
