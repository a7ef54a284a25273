#include "WorkPool.h"

#include <boost/asio/post.hpp>

namespace corlune::server {

WorkPool::WorkPool(std::size_t threadCount, std::size_t queue)
    : threads(threadCount)
    , capacity(threadCount + queue) {}

WorkPool::~WorkPool() {
    join();
}

bool WorkPool::tryPost(std::function<void()> job) {
    if (pending.fetch_add(1) >= capacity) {
        pending.fetch_sub(1);
        return false;
    }
    boost::asio::post(threads, [this, job = std::move(job)] {
        if (!dropping) {
            job();
        }
        pending.fetch_sub(1);
    });
    return true;
}

void WorkPool::dropPending() {
    dropping = true;
}

void WorkPool::join() {
    threads.join();
}

} // namespace corlune::server
