#pragma once

#include <boost/asio/thread_pool.hpp>

#include <atomic>
#include <cstddef>
#include <functional>

namespace corlune::server {

/// A fixed number of threads with a bounded queue: work beyond `threads + queue` pending jobs
/// is refused at once instead of waiting, so a flood of one kind of request can neither grow
/// memory nor delay the others, which run on pools of their own.
class WorkPool {
public:
    WorkPool(std::size_t threads, std::size_t queue);
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    /// False, and `job` is dropped, when the pool is full.
    bool tryPost(std::function<void()> job);
    /// Jobs that have not started by now never will; those running finish.
    void dropPending();
    /// Waits for the running jobs and ends the threads.
    void join();

private:
    boost::asio::thread_pool threads;
    const std::size_t capacity;
    std::atomic<std::size_t> pending = 0;
    std::atomic<bool> dropping = false;
};

} // namespace corlune::server
