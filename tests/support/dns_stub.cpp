#include "support/dns_stub.h"

#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace quorvel::test {

namespace {

// The question's name in dotted form (empty for the root), and where the
// question ends: after the name, its type and its class.
QByteArray questionName(const unsigned char* packet, ssize_t size, ssize_t* end) {
    QByteArray name;
    ssize_t at = 12;
    while (at < size && packet[at] != 0) {
        const int length = packet[at];
        if (length > 63 || at + 1 + length > size) {
            break;
        }
        if (!name.isEmpty()) {
            name += '.';
        }
        name.append(reinterpret_cast<const char*>(packet) + at + 1, length);
        at += 1 + length;
    }
    *end = std::min(size, at + 1 + 4);
    return name;
}

}  // namespace

DnsStub::DnsStub() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
        return;
    }
    resolverFile_ = QDir::tempPath() + u"/dns-stub-resolv-" + QString::number(::getpid());
    QFile file(resolverFile_);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("nameserver 127.0.0.1\noptions timeout:1 attempts:1\n");
    }
    thread_ = std::thread([this] { serve(); });
}

DnsStub::~DnsStub() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!resolverFile_.isEmpty()) {
        QFile::remove(resolverFile_);
    }
}

QList<QByteArray> DnsStub::names() const {
    std::lock_guard lock(mutex_);
    return names_;
}

QStringList DnsStub::withResolver(const QString& program, const QStringList& args) const {
    return QStringList{QStringLiteral("--mount"),
                       QStringLiteral("--propagation"),
                       QStringLiteral("private"),
                       QStringLiteral("sh"),
                       QStringLiteral("-c"),
                       QStringLiteral("mount --bind \"$0\" /etc/resolv.conf && exec \"$@\""),
                       resolverFile_,
                       program} +
           args;
}

void DnsStub::serve() {
    unsigned char packet[1500];
    while (!stopping_) {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) {
            continue;
        }
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t size = ::recvfrom(fd_, packet, sizeof packet, 0,
                                        reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (size < 12) {
            continue;
        }
        ssize_t end = size;
        {
            std::lock_guard lock(mutex_);
            names_.append(questionName(packet, size, &end));
        }
        // The question back as the answer "no such name", and nothing else.
        packet[2] = 0x80 | (packet[2] & 0x01);  // a response; recursion desired as asked
        packet[3] = 0x80 | 3;                   // recursion available; NXDOMAIN
        packet[6] = packet[7] = packet[8] = packet[9] = packet[10] = packet[11] = 0;
        ::sendto(fd_, packet, size_t(end), 0, reinterpret_cast<sockaddr*>(&from), fromSize);
    }
}

}  // namespace quorvel::test
