#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace corlune::server {

/// The open connections, counted in total and per client address so that neither one
/// address nor everyone together can hold more than their share of sockets, and the
/// request bodies they are receiving, each of which may hold a body's worth of memory.
/// Every method may be called from any thread.
class ConnectionTable {
public:
    /// One open connection; stop() asks it to finish what it is doing and close.
    class Entry {
    public:
        virtual ~Entry() = default;
        virtual void stop() = 0;
    };

    ConnectionTable(std::size_t maxTotal, std::size_t maxPerAddress, std::size_t maxBodies)
        : maxTotal(maxTotal)
        , maxPerAddress(maxPerAddress)
        , maxBodies(maxBodies) {}
    ConnectionTable(const ConnectionTable&) = delete;
    ConnectionTable& operator=(const ConnectionTable&) = delete;

    /// Counts a new connection in; false, and nothing counted, when a cap is reached.
    bool admit(const std::string& address);
    /// Adds an admitted connection to those that stopAll() reaches.
    void enter(const std::shared_ptr<Entry>& entry);
    /// Counts a connection out: once for each admit(), whether or not it entered.
    void leave(Entry* entry, const std::string& address);
    /// Counts a body being received in; false, and nothing counted, when the cap is reached.
    bool admitBody();
    void bodyDone();
    /// Calls stop() on every entered connection.
    void stopAll();
    /// Waits until no connection is left or `timeout` has passed; true when none is left.
    bool waitEmpty(std::chrono::milliseconds timeout);

private:
    const std::size_t maxTotal;
    const std::size_t maxPerAddress;
    const std::size_t maxBodies;
    std::mutex mutex;
    std::condition_variable emptied;
    std::size_t total = 0;
    std::size_t bodies = 0;
    std::unordered_map<std::string, std::size_t> perAddress;
    std::unordered_map<Entry*, std::weak_ptr<Entry>> entries;
};

} // namespace corlune::server
