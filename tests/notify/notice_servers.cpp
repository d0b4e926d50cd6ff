#include "notify/notice_servers.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <httplib.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <gtest/gtest.h>

namespace quorvel::test {

namespace {

QString fixture(const char* name) {
    return QStringLiteral(QUORVEL_SOURCE_DIR "/tests/fixtures/tls/") + QLatin1StringView(name);
}

}  // namespace

QString noticeCaFile() {
    return fixture("notify-ca.pem");
}
QString noticeCertFile() {
    return fixture("notify.pem");
}
QString noticeKeyFile() {
    return fixture("notify.key");
}

QByteArray ReceivedRequest::header(const char* name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return QByteArray();
}

QJsonObject ReceivedRequest::json() const {
    return QJsonDocument::fromJson(body).object();
}

NoticeHttpServer::NoticeHttpServer(Kind kind, Answerer answer) : answer_(std::move(answer)) {
    if (kind == Kind::Https443) {
        server_ = std::make_unique<httplib::SSLServer>(noticeCertFile().toLocal8Bit().constData(),
                                                       noticeKeyFile().toLocal8Bit().constData());
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    server_->Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
        ReceivedRequest r;
        r.path = QByteArray::fromStdString(req.path);
        for (const auto& [key, value] : req.headers) {
            r.headers.append({QByteArray::fromStdString(key), QByteArray::fromStdString(value)});
        }
        r.body = QByteArray::fromStdString(req.body);
        r.at = std::chrono::steady_clock::now();
        int number = 0;
        {
            std::lock_guard lock(mutex_);
            number = int(requests_.size());
            requests_.append(r);
        }
        const Answer a = answer_ ? answer_(number, r) : Answer();
        res.status = a.status;
        if (!a.location.isEmpty()) {
            res.set_header("Location", a.location.toStdString());
        }
        res.set_content(a.body.toStdString(), "application/json");
    });
    if (kind == Kind::Https443) {
        port_ = server_->bind_to_port("127.0.0.1", 443) ? 443 : -1;
    } else {
        port_ = server_->bind_to_any_port("127.0.0.1");
    }
    if (port_ <= 0) {
        ADD_FAILURE() << "the notice server cannot listen";
        return;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

NoticeHttpServer::~NoticeHttpServer() {
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

QList<ReceivedRequest> NoticeHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

NoticeHttpServer::Answerer checkingSignature(const QByteArray& secret) {
    return [secret](int, const ReceivedRequest& r) {
        unsigned char mac[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        HMAC(EVP_sha256(), secret.constData(), int(secret.size()),
             reinterpret_cast<const unsigned char*>(r.body.constData()), size_t(r.body.size()), mac,
             &length);
        const QByteArray expected =
            "sha256=" + QByteArray(reinterpret_cast<const char*>(mac), int(length)).toHex();
        const QByteArray given = r.header("X-Quorvel-Signature");
        const bool same =
            given.size() == expected.size() &&
            CRYPTO_memcmp(given.constData(), expected.constData(), size_t(expected.size())) == 0;
        return same ? NoticeHttpServer::Answer{204, {}, {}}
                    : NoticeHttpServer::Answer{401, "bad signature", {}};
    };
}

SmtpServer::SmtpServer(const QString& mode, const QString& user, const QString& password) {
    QStringList args{QStringLiteral(QUORVEL_SOURCE_DIR "/tests/notify/smtp_server.py"), mode,
                     noticeCertFile(), noticeKeyFile(), dir_.path(QString())};
    if (!user.isEmpty()) {
        args << user << password;
    }
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("/usr/bin/python3"), args);
    // The server prints its port once it listens.
    while (!process_.canReadLine() && process_.waitForReadyRead(20000)) {
    }
    bool ok = false;
    port_ = process_.readLine().trimmed().toInt(&ok);
    EXPECT_TRUE(ok) << "the SMTP server did not start";
}

SmtpServer::~SmtpServer() {
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

QList<QJsonObject> SmtpServer::messages() const {
    QList<QJsonObject> list;
    for (int n = 1;; ++n) {
        QFile file(dir_.path(QString::number(n) + u".json"));
        if (!file.open(QIODevice::ReadOnly)) {
            return list;
        }
        list += QJsonDocument::fromJson(file.readAll()).object();
    }
}

}  // namespace quorvel::test
