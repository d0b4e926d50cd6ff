#include "support/raw_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>

namespace quorvel::test {

namespace {

// The few calls that differ between POSIX sockets and Winsock.
#ifdef _WIN32
constexpr int kShutBoth = SD_BOTH;
constexpr int kShutWrite = SD_SEND;
constexpr int kSendFlags = 0;
int openSocket() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started ? int(::socket(AF_INET, SOCK_STREAM, 0)) : -1;
}
int acceptFrom(int listener) {
    const SOCKET s = ::accept(SOCKET(listener), nullptr, nullptr);
    return s == INVALID_SOCKET ? -1 : int(s);
}
int pollOne(pollfd* p, int ms) {
    return WSAPoll(p, 1, ms);
}
void closeSocket(int fd) {
    ::closesocket(SOCKET(fd));
}
#else
constexpr int kShutBoth = SHUT_RDWR;
constexpr int kShutWrite = SHUT_WR;
constexpr int kSendFlags = MSG_NOSIGNAL;
int openSocket() {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
int acceptFrom(int listener) {
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}
int pollOne(pollfd* p, int ms) {
    return ::poll(p, 1, ms);
}
void closeSocket(int fd) {
    ::close(fd);
}
#endif

}  // namespace

bool RawServer::Connection::send(const QByteArray& bytes) const {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const auto n = ::send(fd, bytes.data() + done, int(bytes.size() - done), kSendFlags);
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

bool RawServer::Connection::pause(int ms) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (server->stopping()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !server->stopping();
}

RawServer::RawServer(Handler handler, const char* address, int port)
    : handler_(std::move(handler)) {
    listenFd_ = openSocket();
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one),
                 sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &addr.sin_addr);
    addr.sin_port = htons(uint16_t(port));
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listenFd_, 64);
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

RawServer::~RawServer() {
    stopping_ = true;
    ::shutdown(listenFd_, kShutBoth);
    acceptor_.join();
    closeSocket(listenFd_);
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        for (int fd : fds_) {
            ::shutdown(fd, kShutBoth);
        }
        workers.swap(workers_);
    }
    for (std::thread& t : workers) {
        t.join();
    }
    for (int fd : fds_) {
        closeSocket(fd);
    }
}

QList<QByteArray> RawServer::requests() const {
    // A fresh list: no container is shared with the server's threads.
    std::lock_guard lock(mutex_);
    return QList<QByteArray>(requests_.begin(), requests_.end());
}

bool RawServer::waitForRequests(qsizetype count, int boundMs) const {
    std::unique_lock lock(mutex_);
    return requestArrived_.wait_for(lock, std::chrono::milliseconds(boundMs),
                                    [&] { return qsizetype(requests_.size()) >= count; });
}

void RawServer::acceptLoop() {
    for (;;) {
        pollfd p{};
        p.fd = listenFd_;
        p.events = POLLIN;
        if (pollOne(&p, 50) < 0 || stopping_) {
            return;
        }
        if (!(p.revents & POLLIN)) {
            continue;
        }
        const int fd = acceptFrom(listenFd_);
        if (fd < 0) {
            if (stopping_) {
                return;
            }
            continue;
        }
        std::lock_guard lock(mutex_);
        fds_.push_back(fd);
        workers_.emplace_back([this, fd] {
            // Read the request head; then the handler answers as it likes.
            QByteArray head;
            char buffer[4096];
            while (!head.contains("\r\n\r\n") && head.size() < (1 << 20)) {
                const auto n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    break;
                }
                head.append(buffer, n);
            }
            if (!head.isEmpty()) {
                std::lock_guard inner(mutex_);
                requests_.push_back(head);
                requestArrived_.notify_all();
            }
            handler_(Connection{fd, head, this});
            ::shutdown(fd, kShutWrite);
        });
    }
}

QByteArray httpResponse(const QByteArray& status, const QByteArray& body,
                        const QByteArray& extraHeaders) {
    return "HTTP/1.1 " + status + "\r\n" + extraHeaders +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray requestTarget(const QByteArray& request) {
    const QList<QByteArray> parts = request.left(request.indexOf("\r\n")).split(' ');
    return parts.size() >= 2 ? parts.at(1) : QByteArray();
}

}  // namespace quorvel::test
