#include "gateway/WorkerPool.h"

WorkerPool::WorkerPool(int threads, std::size_t queueLimit) : m_queueLimit(queueLimit) {
    const int count = threads < 1 ? 1 : threads;
    m_threads.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        m_threads.emplace_back([this] { Serve(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_ready.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

bool WorkerPool::TrySubmit(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || m_queue.size() >= m_queueLimit)
            return false;
        m_queue.push_back(std::move(job));
    }
    m_ready.notify_one();
    return true;
}

std::size_t WorkerPool::Waiting() const {
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

void WorkerPool::Serve() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job();
    }
}
