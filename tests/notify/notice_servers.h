#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "support/temp_dir.h"

namespace httplib {
class Server;
}

namespace quorvel::test {

// The TLS material of the notice servers: a certificate for api.telegram.org,
// smtp.test and hooks.test, and the CA that signed it.
QString noticeCaFile();
QString noticeCertFile();
QString noticeKeyFile();

struct ReceivedRequest {
    QByteArray path;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    std::chrono::steady_clock::time_point at;

    QByteArray header(const char* name) const;
    QJsonObject json() const;
};

// An HTTP(S) server on 127.0.0.1 that records every POST and answers it as
// `answer` says (by the request's number, from 0): the chat bot's API at
// port 443 with the notice certificate, or a webhook at a free port.
class NoticeHttpServer {
  public:
    struct Answer {
        int status = 200;
        QByteArray body = R"({"ok":true})";
        QByteArray location;  // a Location header, when set
    };
    using Answerer = std::function<Answer(int number, const ReceivedRequest& request)>;

    enum class Kind { Https443, Http };
    explicit NoticeHttpServer(Kind kind, Answerer answer = {});
    ~NoticeHttpServer();

    int port() const { return port_; }
    QList<ReceivedRequest> requests() const;

  private:
    std::unique_ptr<httplib::Server> server_;
    Answerer answer_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    QList<ReceivedRequest> requests_;
};

// A webhook answer that checks X-Quorvel-Signature against `secret`, with a
// second implementation of HMAC-SHA256 (OpenSSL's): 401 when it does not match.
NoticeHttpServer::Answerer checkingSignature(const QByteArray& secret);

// The SMTP server of tests/notify/smtp_server.py, started for the test:
// "starttls", "smtps" or "plain", with AUTH when `user` is given.
class SmtpServer {
  public:
    explicit SmtpServer(const QString& mode, const QString& user = {},
                        const QString& password = {});
    ~SmtpServer();
    int port() const { return port_; }
    // Each message taken, as Python's mail parser read it.
    QList<QJsonObject> messages() const;

  private:
    TempDir dir_;
    QProcess process_;
    int port_ = 0;
};

}  // namespace quorvel::test
