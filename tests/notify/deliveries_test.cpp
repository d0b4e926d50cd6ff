#include <QJsonArray>

#include <gtest/gtest.h>

#include "notify/channels.h"
#include "notify/notice_servers.h"
#include "notify/telegram.h"
#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::NoticeHttpServer;

constexpr char16_t kToken[] = u"123456:AAbb-cc_DD";

FetchSettings telegramRoute() {
    FetchSettings s;
    s.resolve = QStringList{u"api.telegram.org:443:127.0.0.1"_s};
    s.caFile = test::noticeCaFile();
    return s;
}

NotifySettings::Telegram bot() {
    return {QString::fromUtf16(kToken), u"@quorvel_test"_s};
}

Notice noticeOf(const QStringList& texts) {
    Notice notice;
    notice.subject = u"Quorvel: пропали ссылки (2)"_s;
    for (const QString& text : texts) {
        notice.lines += NoticeLine{text, false};
    }
    return notice;
}

// A notice of two messages goes out as the API wants it, a second apart.
TEST(TelegramDelivery, MessagesGoOutInOrderASecondApart) {
    NoticeHttpServer api(NoticeHttpServer::Kind::Https443);
    QStringList lines(120, u"https://partner.example/страница <b> & co"_s);
    const QStringList messages = telegramMessages(noticeOf(lines));
    ASSERT_EQ(messages.size(), 2);

    const DeliveryAnswer answer = sendTelegram(bot(), messages, 0, telegramRoute());
    EXPECT_TRUE(answer.accepted) << answer.answer.toStdString();
    EXPECT_EQ(answer.sent, 2);
    const QList<test::ReceivedRequest> got = api.requests();
    ASSERT_EQ(got.size(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].path, "/bot" + QString::fromUtf16(kToken).toLatin1() + "/sendMessage");
        EXPECT_EQ(got[i].header("Content-Type"), "application/json");
        const QJsonObject body = got[i].json();
        EXPECT_EQ(body[u"chat_id"_s].toString(), u"@quorvel_test"_s);
        EXPECT_EQ(body[u"parse_mode"_s].toString(), u"HTML"_s);
        EXPECT_TRUE(body[u"link_preview_options"_s][u"is_disabled"_s].toBool());
        EXPECT_EQ(body[u"text"_s].toString(), messages[i]);
    }
    EXPECT_TRUE(messages[0].startsWith(u"https://partner.example/страница &lt;b&gt; &amp; co\n"));
    EXPECT_GE(got[1].at - got[0].at, std::chrono::milliseconds(990));
}

// A rate limit's wait is taken (at most 60 s) and the message sent once more.
TEST(TelegramDelivery, RateLimitIsWaitedForOnce) {
    struct Row {
        const char* name;
        int retryAfter;
        int waitedMs;
        int status;  // the answer to the second try
        bool accepted;
    };
    const Row rows[] = {
        {"waits as asked", 7, 7000, 200, true},
        {"waits at most a minute", 500, 60000, 200, true},
        {"a second refusal is a failure", 1, 1000, 429, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        NoticeHttpServer api(NoticeHttpServer::Kind::Https443, [&](int n, const auto&) {
            if (n == 1 && row.status == 200) {
                return NoticeHttpServer::Answer{};
            }
            return NoticeHttpServer::Answer{
                429,
                QStringLiteral(R"({"ok":false,"error_code":429,"description":"Too Many )"
                               R"(Requests: retry after %1","parameters":{"retry_after":%1}})")
                    .arg(row.retryAfter)
                    .toUtf8(),
                {}};
        });
        QList<int> waits;
        const DeliveryAnswer answer =
            sendTelegram(bot(), {u"one"_s}, 0, telegramRoute(), [&](int ms) { waits += ms; });
        EXPECT_EQ(waits, QList<int>{row.waitedMs});
        EXPECT_EQ(api.requests().size(), 2);
        EXPECT_EQ(answer.accepted, row.accepted) << answer.answer.toStdString();
    }
}

// A refusal says what the API answered and never the token; a later send
// goes on from the first message not accepted.
TEST(TelegramDelivery, FailureNamesTheAnswerAndResumes) {
    const QByteArray token = QString::fromUtf16(kToken).toLatin1();
    NoticeHttpServer api(NoticeHttpServer::Kind::Https443, [&](int n, const auto&) {
        if (n == 1) {
            return NoticeHttpServer::Answer{
                400,
                R"({"ok":false,"description":"Bad Request: chat not found for bot)" + token +
                    R"("})",
                {}};
        }
        return NoticeHttpServer::Answer{};
    });
    const QStringList messages{u"first"_s, u"second"_s, u"third"_s};
    const auto noWait = [](int) {};
    DeliveryAnswer answer = sendTelegram(bot(), messages, 0, telegramRoute(), noWait);
    EXPECT_FALSE(answer.accepted);
    EXPECT_EQ(answer.sent, 1);
    EXPECT_TRUE(answer.answer.contains(u"HTTP 400: Bad Request: chat not found"))
        << answer.answer.toStdString();
    EXPECT_FALSE(answer.answer.contains(QString::fromUtf16(kToken)));

    answer = sendTelegram(bot(), messages, answer.sent, telegramRoute(), noWait);
    EXPECT_TRUE(answer.accepted);
    EXPECT_EQ(answer.sent, 3);
    QStringList texts;
    for (const test::ReceivedRequest& r : api.requests()) {
        texts += r.json()[u"text"_s].toString();
    }
    EXPECT_EQ(texts, (QStringList{u"first"_s, u"second"_s, u"second"_s, u"third"_s}));
}

TEST(TelegramDelivery, CertificateIsVerified) {
    NoticeHttpServer api(NoticeHttpServer::Kind::Https443);
    FetchSettings route = telegramRoute();
    route.caFile = QStringLiteral(QUORVEL_SOURCE_DIR "/tests/fixtures/tls/ca.pem");  // another CA
    const DeliveryAnswer answer = sendTelegram(bot(), {u"x"_s}, 0, route);
    EXPECT_FALSE(answer.accepted);
    EXPECT_TRUE(api.requests().isEmpty());
}

TEST(WebhookDelivery, SignedBodyAndRefusals) {
    struct Row {
        const char* name;
        QString secret;           // what the program signs with
        QByteArray serverSecret;  // what the hook checks against
        bool redirect;
        bool accepted;
        const char* answerHolds;
    };
    const Row rows[] = {
        {"signature matches", u"s3cr;et"_s, "s3cr;et", false, true, "HTTP 204"},
        {"signature does not match", u"other"_s, "s3cr;et", false, false,
         "HTTP 401: bad signature"},
        {"a redirect is not followed", u"s3cr;et"_s, "s3cr;et", true, false, "HTTP 302"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto check = test::checkingSignature(row.serverSecret);
        NoticeHttpServer hook(NoticeHttpServer::Kind::Http,
                              [&](int n, const test::ReceivedRequest& r) {
                                  if (row.redirect && n == 0) {
                                      return NoticeHttpServer::Answer{302, {}, "/elsewhere"};
                                  }
                                  return check(n, r);
                              });
        NotifySettings settings;
        settings.webhook = {u"http://hooks.test:%1/quorvel"_s.arg(hook.port()), row.secret};
        Notice notice = noticeOf({u"пропали ссылки (2)"_s, u"https://a.example/ & <x>"_s});
        notice.payload = QJsonObject{{u"list"_s, u"data.qvp"_s}, {u"changes"_s, QJsonArray()}};
        FetchSettings route;
        route.resolve = QStringList{u"hooks.test:%1:127.0.0.1"_s.arg(hook.port())};

        const DeliveryAnswer answer =
            deliverNotice(NoticeChannel::Webhook, settings, notice, route);
        EXPECT_EQ(answer.accepted, row.accepted);
        EXPECT_TRUE(answer.answer.contains(QLatin1StringView(row.answerHolds)))
            << answer.answer.toStdString();
        const QList<test::ReceivedRequest> got = hook.requests();
        ASSERT_EQ(got.size(), 1);
        EXPECT_EQ(got[0].path, "/quorvel");
        EXPECT_EQ(got[0].header("Content-Type"), "application/json");
        const QJsonObject body = got[0].json();
        EXPECT_EQ(body[u"list"_s].toString(), u"data.qvp"_s);
        EXPECT_EQ(body[u"text"_s].toString(), notice.plainText());
        EXPECT_EQ(body[u"content"_s].toString(), notice.plainText());
    }
}

// Mail goes out only over TLS: from the first byte, or after a STARTTLS that
// the server must offer; Python's own parser reads what arrived.
TEST(MailDelivery, OnlyOverTls) {
    struct Row {
        const char* mode;
        const char* scheme;
        bool accepted;
    };
    const Row rows[] = {
        {"starttls", "smtp", true},
        {"smtps", "smtps", true},
        {"plain", "smtp", false},  // no STARTTLS offered: nothing goes out in clear
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        const bool tls = QByteArrayView(row.mode) != "plain";
        test::SmtpServer server(QString::fromLatin1(row.mode), tls ? u"me"_s : QString(),
                                tls ? u"p;a,ss"_s : QString());
        NotifySettings settings;
        settings.mail.url = u"%1://smtp.test:%2/client.test"_s.arg(QLatin1StringView(row.scheme))
                                .arg(server.port());
        if (tls) {
            settings.mail.user = u"me"_s;
            settings.mail.password = u"p;a,ss"_s;
        }
        settings.mail.from = u"me@example.org"_s;
        settings.mail.to = {u"a@example.org"_s, u"b@example.org"_s};
        FetchSettings route;
        route.resolve = QStringList{u"smtp.test:%1:127.0.0.1"_s.arg(server.port())};
        route.caFile = test::noticeCaFile();
        const Notice notice = noticeOf({u"строка & <один>"_s, u"два"_s});

        const DeliveryAnswer answer = deliverNotice(NoticeChannel::Mail, settings, notice, route);
        EXPECT_EQ(answer.accepted, row.accepted) << answer.answer.toStdString();
        const QList<QJsonObject> got = server.messages();
        if (!row.accepted) {
            EXPECT_TRUE(got.isEmpty());
            continue;
        }
        ASSERT_EQ(got.size(), 1);
        const QJsonObject m = got[0];
        EXPECT_TRUE(m[u"tls"_s].toBool());
        EXPECT_TRUE(m[u"authenticated"_s].toBool());
        EXPECT_EQ(m[u"mail_from"_s].toString(), u"me@example.org"_s);
        EXPECT_EQ(m[u"rcpt_tos"_s].toArray(), (QJsonArray{u"a@example.org"_s, u"b@example.org"_s}));
        EXPECT_EQ(m[u"subject"_s].toString(), notice.subject);
        EXPECT_EQ(m[u"charset"_s].toString(), u"utf-8"_s);
        EXPECT_EQ(m[u"body"_s].toString(), u"строка & <один>\r\nдва\r\n"_s);
        EXPECT_FALSE(m[u"date"_s].toString().isEmpty());
        EXPECT_TRUE(m[u"message_id"_s].toString().endsWith(u"@example.org>"));
    }
}

TEST(MailDelivery, RefusedLoginNamesTheServerNotThePassword) {
    test::SmtpServer server(u"starttls"_s, u"me"_s, u"right"_s);
    NotifySettings settings;
    settings.mail = {u"smtp://smtp.test:%1"_s.arg(server.port()),
                     u"me"_s,
                     u"wrong-pass"_s,
                     u"me@example.org"_s,
                     {u"a@example.org"_s}};
    FetchSettings route;
    route.resolve = QStringList{u"smtp.test:%1:127.0.0.1"_s.arg(server.port())};
    route.caFile = test::noticeCaFile();
    const DeliveryAnswer answer = deliverNotice(NoticeChannel::Mail, settings,
                                                testNotice(QDateTime::currentDateTime()), route);
    EXPECT_FALSE(answer.accepted);
    EXPECT_TRUE(answer.answer.contains(u"535")) << answer.answer.toStdString();
    EXPECT_FALSE(answer.answer.contains(u"wrong-pass"));
    EXPECT_TRUE(server.messages().isEmpty());
}

}  // namespace
}  // namespace quorvel
