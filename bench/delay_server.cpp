// A loopback HTTP server for benchmarks: one thread, epoll, answers every
// request exactly DELAY ms after its head has arrived, so that thousands of
// requests can wait at once without the server becoming the bottleneck. It
// counts the connections open at once, in all and per Host header (from the
// first request until the client closes), and tells the figures at /stats.
//
//   delay_server DELAY_MS [PAGE_BYTES]
//       prints the port it listens on, then serves until standard input
//       closes; with PAGE_BYTES every page is padded to that size (with
//       Windows-1251 letters, the largest text a byte can give), and all
//       connections send from the one copy of it

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string page(size_t bytes) {
    std::string body = "<html><body>";
    for (int i = 0; i < 20; ++i) {
        body += "<a href=\"http://site" + std::to_string(i) + ".example.net/\">" +
                std::to_string(i) + "</a>\n";
    }
    body += "<a href=\"http://www.mysite.example.com/\">me</a>";
    const std::string end = "</body></html>\n";
    for (size_t i = 0; body.size() + end.size() < bytes; ++i) {
        body += char(0xC0 + i % 64);
        if (i % 100 == 99) {
            body += '\n';
        }
    }
    return body + end;
}

struct Connection {
    std::string in;
    std::string out;
    size_t answerSent = 0;  // of the shared answer, once `out` is sent
    bool answering = false;
    std::string host;  // counted under this host once known
    bool waiting = false;
};

struct Server {
    int epoll = -1;
    int listener = -1;
    std::chrono::milliseconds delay{0};
    std::string answer;
    std::unordered_map<int, Connection> connections;
    // (due time, fd): answers that are waiting for their time.
    std::priority_queue<std::pair<Clock::time_point, int>,
                        std::vector<std::pair<Clock::time_point, int>>, std::greater<>>
        due;
    std::unordered_map<std::string, int> openPerHost;
    int open = 0;
    int mostOpen = 0;
    int mostPerHost = 0;
    long long served = 0;

    void watch(int fd, uint32_t events, int op) {
        epoll_event e{};
        e.events = events;
        e.data.fd = fd;
        epoll_ctl(epoll, op, fd, &e);
    }

    void close(int fd) {
        auto it = connections.find(fd);
        if (it != connections.end() && !it->second.host.empty()) {
            --open;
            if (--openPerHost[it->second.host] == 0) {
                openPerHost.erase(it->second.host);
            }
        }
        connections.erase(fd);
        ::close(fd);
    }

    // Sends what the connection has to send: its own bytes, then the rest
    // of the shared answer; waits for room when the socket is full.
    void send(int fd) {
        Connection& c = connections[fd];
        for (;;) {
            const char* data = nullptr;
            size_t size = 0;
            if (!c.out.empty()) {
                data = c.out.data();
                size = c.out.size();
            } else if (c.answering && c.answerSent < answer.size()) {
                data = answer.data() + c.answerSent;
                size = answer.size() - c.answerSent;
            } else {
                c.answering = false;
                break;
            }
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n <= 0) {
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    watch(fd, EPOLLIN | EPOLLOUT, EPOLL_CTL_MOD);
                    return;
                }
                close(fd);
                return;
            }
            if (!c.out.empty()) {
                c.out.erase(0, size_t(n));
            } else {
                c.answerSent += size_t(n);
            }
        }
        watch(fd, EPOLLIN, EPOLL_CTL_MOD);
    }

    void request(int fd, Connection& c, const std::string& head) {
        const size_t at = head.find("\r\nHost: ");
        std::string host;
        if (at != std::string::npos) {
            const size_t end = head.find("\r\n", at + 2);
            host = head.substr(at + 8, end - at - 8);
            host = host.substr(0, host.rfind(':'));
        }
        if (c.host.empty() && !host.empty()) {
            c.host = host;
            mostOpen = std::max(mostOpen, ++open);
            mostPerHost = std::max(mostPerHost, ++openPerHost[host]);
        }
        if (head.compare(0, 11, "GET /stats ") == 0) {
            const std::string body = "{\"most_open\": " + std::to_string(mostOpen) +
                                     ", \"most_open_per_host\": " + std::to_string(mostPerHost) +
                                     ", \"served\": " + std::to_string(served) + "}\n";
            c.out += "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                     "\r\n\r\n" + body;
            send(fd);
            return;
        }
        c.waiting = true;
        due.emplace(Clock::now() + delay, fd);
    }

    void readable(int fd) {
        char buffer[8192];
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                close(fd);
                return;
            }
            if (n < 0) {
                break;
            }
            Connection& c = connections[fd];
            c.in.append(buffer, size_t(n));
        }
        for (;;) {
            auto it = connections.find(fd);
            if (it == connections.end() || it->second.waiting) {
                return;
            }
            Connection& c = it->second;
            const size_t end = c.in.find("\r\n\r\n");
            if (end == std::string::npos) {
                return;
            }
            const std::string head = c.in.substr(0, end + 4);
            c.in.erase(0, end + 4);
            request(fd, c, head);
        }
    }

    void answerDue() {
        const auto now = Clock::now();
        while (!due.empty() && due.top().first <= now) {
            const int fd = due.top().second;
            due.pop();
            auto it = connections.find(fd);
            if (it == connections.end() || !it->second.waiting) {
                continue;  // gone meanwhile
            }
            it->second.waiting = false;
            it->second.answering = true;
            it->second.answerSent = 0;
            ++served;
            send(fd);
            if (connections.count(fd)) {
                readable(fd);  // a request that came behind the first one
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: delay_server DELAY_MS [PAGE_BYTES]\n");
        return 2;
    }
    Server s;
    s.delay = std::chrono::milliseconds(std::atoi(argv[1]));
    const std::string body = page(argc == 3 ? size_t(std::atoll(argv[2])) : 0);
    s.answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nContent-Type: text/html\r\n\r\n" + body;

    s.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const int yes = 1;
    setsockopt(s.listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s.listener, 4096) != 0) {
        std::perror("delay_server");
        return 1;
    }
    socklen_t length = sizeof address;
    getsockname(s.listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);

    s.epoll = epoll_create1(0);
    s.watch(s.listener, EPOLLIN, EPOLL_CTL_ADD);
    s.watch(STDIN_FILENO, EPOLLIN, EPOLL_CTL_ADD);
    std::vector<epoll_event> events(1024);
    for (;;) {
        int timeout = -1;
        if (!s.due.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                s.due.top().first - Clock::now());
            timeout = int(std::max<long long>(0, wait.count()) + 1);
        }
        const int n = epoll_wait(s.epoll, events.data(), int(events.size()), timeout);
        for (int i = 0; i < n; ++i) {
            const int fd = events[size_t(i)].data.fd;
            if (fd == STDIN_FILENO) {
                return 0;  // the benchmark is over
            }
            if (fd == s.listener) {
                for (;;) {
                    const int client = ::accept4(s.listener, nullptr, nullptr, SOCK_NONBLOCK);
                    if (client < 0) {
                        break;
                    }
                    s.connections[client];
                    s.watch(client, EPOLLIN, EPOLL_CTL_ADD);
                }
                continue;
            }
            if (events[size_t(i)].events & EPOLLOUT) {
                s.send(fd);
            }
            if (s.connections.count(fd) && (events[size_t(i)].events & (EPOLLIN | EPOLLHUP))) {
                s.readable(fd);
            }
        }
        s.answerDue();
    }
}
