#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvel::test {

// A TCP server on 127.0.0.1 (a free port) that hands each connection to a
// handler on a thread of its own: for exact bytes and hostile behaviour. The
// destructor closes every connection and joins every thread.
class RawServer {
  public:
    struct Connection {
        int fd;
        QByteArray request;  // the request head, up to and including the blank line
        RawServer* server;
        bool send(const QByteArray& bytes) const;
        // Waits up to `ms`, ending early when the server stops; false then.
        bool pause(int ms) const;
    };
    using Handler = std::function<void(const Connection&)>;

    // Listens on `address` (any loopback address) at `port` (0: a free one).
    explicit RawServer(Handler handler, const char* address = "127.0.0.1", int port = 0);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    int port() const { return port_; }
    QList<QByteArray> requests() const;  // every request head, in arrival order
    // Waits until at least `count` requests have come, at most `boundMs`;
    // false when they did not.
    bool waitForRequests(qsizetype count, int boundMs = 10000) const;
    bool stopping() const { return stopping_.load(); }

  private:
    void acceptLoop();

    Handler handler_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    mutable std::condition_variable requestArrived_;
    std::vector<std::thread> workers_;
    std::vector<int> fds_;
    std::vector<QByteArray> requests_;
};

// A whole HTTP/1.1 answer: the status line ("200 OK"), any extra header
// lines (each ended by CR LF), a Content-Length and the body.
QByteArray httpResponse(const QByteArray& status, const QByteArray& body,
                        const QByteArray& extraHeaders = {});

// The request line's target ("/path?query") of a request head.
QByteArray requestTarget(const QByteArray& request);

}  // namespace quorvel::test
