#include "DelayProxy.h"

#include <arpa/inet.h>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

void noDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// One direction of a connection: a reader that stamps each chunk with the time it may leave,
// and a writer that sends the chunks in order once their time has come.
class Direction {
public:
    Direction(int from, int to, const std::atomic<long long>& delayUs,
              const std::atomic<bool>& stop, std::atomic<long long>* chunksRead = nullptr)
        : m_from(from), m_to(to), m_delayUs(delayUs), m_stop(stop), m_chunksRead(chunksRead) {
        m_reader = std::thread([this] { Read(); });
        m_writer = std::thread([this] { Write(); });
    }
    ~Direction() {
        Wake();
        m_reader.join();
        m_writer.join();
    }
    Direction(const Direction&) = delete;
    Direction& operator=(const Direction&) = delete;
    void Wake() {
        std::lock_guard lock(m_mutex);
        m_cv.notify_all();
    }

private:
    struct Chunk {
        Clock::time_point due;
        std::vector<char> bytes;
    };

    void Read() {
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            const ssize_t n = ::read(m_from, buffer.data(), buffer.size());
            std::lock_guard lock(m_mutex);
            if (n <= 0) {
                m_eof = true;
                m_cv.notify_all();
                return;
            }
            const auto due = Clock::now() + std::chrono::microseconds(m_delayUs.load());
            m_chunks.push_back({due, std::vector<char>(buffer.begin(), buffer.begin() + n)});
            if (m_chunksRead)
                ++*m_chunksRead;
            m_cv.notify_all();
        }
    }

    void Write() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [this] { return !m_chunks.empty() || m_eof || m_stop; });
            if (m_stop || m_chunks.empty())
                break;
            const Clock::time_point due = m_chunks.front().due;
            if (m_cv.wait_until(lock, due, [this] { return m_stop.load(); }))
                break;
            std::vector<char> bytes = std::move(m_chunks.front().bytes);
            m_chunks.pop_front();
            lock.unlock();
            std::size_t sent = 0;
            while (sent < bytes.size()) {
                const ssize_t n =
                    ::send(m_to, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += std::size_t(n);
            }
            lock.lock();
            if (sent < bytes.size())
                break;
        }
        // The other side learns of the end as it would without the relay.
        ::shutdown(m_to, SHUT_WR);
    }

    int m_from, m_to;
    const std::atomic<long long>& m_delayUs;
    const std::atomic<bool>& m_stop;
    std::atomic<long long>* m_chunksRead;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Chunk> m_chunks;
    bool m_eof = false;
    std::thread m_reader, m_writer;
};
} // namespace

struct DelayProxy::Connection {
    Connection(int client, int server, const std::atomic<long long>& delayUs,
               const std::atomic<bool>& stop, std::atomic<long long>& requests)
        : m_client(client), m_server(server), m_up(client, server, delayUs, stop, &requests),
          m_down(server, client, delayUs, stop) {}
    ~Connection() {
        // Unblocks the readers; the directions then join their threads.
        ::shutdown(m_client.get(), SHUT_RDWR);
        ::shutdown(m_server.get(), SHUT_RDWR);
        m_up.Wake();
        m_down.Wake();
    }
    Fd m_client, m_server;
    Direction m_up, m_down;
};

DelayProxy::DelayProxy(const std::string& host, int port) : m_host(host), m_upstreamPort(port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // loopback only
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 16) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    m_listen = fd;
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { Accept(); });
}

DelayProxy::~DelayProxy() {
    m_stop = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::lock_guard lock(m_mutex);
    m_connections.clear();
    if (m_listen >= 0)
        ::close(m_listen);
}

int DelayProxy::ConnectUpstream() const {
    if (!m_host.empty() && m_host[0] == '/') {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string path = m_host + "/.s.PGSQL." + std::to_string(m_upstreamPort);
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(m_upstreamPort);
    if (::getaddrinfo(m_host.empty() ? "localhost" : m_host.c_str(), port.c_str(), &hints,
                      &found) != 0)
        return -1;
    int result = -1;
    for (addrinfo* a = found; a && result < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            noDelay(fd);
            result = fd;
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    return result;
}

void DelayProxy::Accept() {
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int client = ::accept(m_listen, nullptr, nullptr);
        if (client < 0)
            continue;
        noDelay(client);
        const int server = ConnectUpstream();
        if (server < 0) {
            ::close(client);
            continue;
        }
        std::lock_guard lock(m_mutex);
        m_connections.push_back(
            std::make_unique<Connection>(client, server, m_delayUs, m_stop, m_requests));
    }
}
