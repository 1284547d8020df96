#pragma once
// A few threads for work that must not hold up the thread that serves every
// connection: password checks now, whole requests later. The queue is
// bounded, so a flood is refused at the door instead of growing memory; a
// job reports back by posting to the serving thread itself.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
public:
    // `threads` at least 1; `queueLimit` jobs may wait besides those running.
    WorkerPool(int threads, std::size_t queueLimit);
    // Lets the running jobs finish and drops those still waiting.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues `job`; false, with nothing queued, when the queue is full.
    bool TrySubmit(std::function<void()> job);
    std::size_t Waiting() const;
    int Threads() const { return static_cast<int>(m_threads.size()); }

private:
    void Serve();

    const std::size_t m_queueLimit;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
