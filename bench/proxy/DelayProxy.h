#pragma once
// A database far away, on one machine: a TCP relay on 127.0.0.1 that holds every chunk it
// reads a fixed time before passing it on, in each direction, keeping the order. A round trip
// through it takes twice the one-way delay more than a direct one. It lives as long as the
// object: the destructor closes every connection and joins every thread.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DelayProxy {
public:
    // Relays to the PostgreSQL server at host (a name, an address, or a socket folder when it
    // starts with '/') and port. ok() says whether the relay listens.
    DelayProxy(const std::string& host, int port);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    bool ok() const { return m_listen >= 0; }
    int port() const { return m_port; }
    // The delay of each chunk read from now on, each way; chunks keep their order all the same.
    void SetOneWayDelay(std::chrono::microseconds delay) { m_delayUs = delay.count(); }
    // Chunks read from the clients so far, over every connection: about one a round trip.
    long long Requests() const { return m_requests; }

    struct Connection;

private:
    void Accept();
    int ConnectUpstream() const;

    std::string m_host;
    int m_upstreamPort;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<long long> m_delayUs{0};
    std::atomic<long long> m_requests{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex; // guards m_connections
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::thread m_acceptor;
};
