#include <QRegularExpression>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "notify/mail.h"
#include "notify/telegram.h"
#include "notify/webhook.h"
#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

Notice noticeOf(const QStringList& texts) {
    Notice notice;
    for (const QString& text : texts) {
        notice.lines += NoticeLine{text, false};
    }
    return notice;
}

// The chat's messages: escaped, cut between lines while they fit, and cut
// inside a line only when one line alone is too long.
TEST(TelegramMessages, EscapedAndSplit) {
    struct Row {
        const char* name;
        QStringList lines;
        int limit;
        QStringList messages;
    };
    const Row rows[] = {
        {"escaped values", {u"a<b> & c"_s}, 4096, {u"a&lt;b&gt; &amp; c"_s}},
        {"lines that fit stay together", {u"one"_s, u"two"_s}, 7, {u"one\ntwo"_s}},
        {"cut between lines", {u"one"_s, u"two"_s, u"six"_s}, 8, {u"one\ntwo"_s, u"six"_s}},
        {"a line alone too long",
         {u"abcdefgh"_s, u"ij"_s},
         3,
         {u"abc"_s, u"def"_s, u"gh"_s, u"ij"_s}},
        {"never inside an entity", {u"ab&cd"_s}, 4, {u"ab"_s, u"&amp"_s, u";cd"_s}},
        {"never between surrogates", {u"a😀b"_s}, 2, {u"a"_s, u"😀"_s, u"b"_s}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(telegramMessages(noticeOf(row.lines), row.limit), row.messages);
    }
}

TEST(TelegramMessages, EntityCutKeepsEveryCharacter) {
    // "&amp;" has five characters: with a limit of 4 it cannot stay whole,
    // but no character may be lost or doubled.
    const QStringList parts = telegramMessages(noticeOf({u"x&y&z"_s}), 6);
    EXPECT_EQ(parts.join(QString()), u"x&amp;y&amp;z"_s);
    for (const QString& part : parts) {
        EXPECT_LE(part.size(), 6);
    }
}

TEST(TelegramMessages, ALongDigestFillsMessagesUpToTheLimit) {
    QStringList lines;
    for (int i = 0; i < 300; ++i) {
        lines += u"https://partner-%1.example/страница — пропала ссылка <a>"_s.arg(i);
    }
    Notice notice = noticeOf(lines);
    notice.lines.prepend({u"пропали ссылки (300)"_s, true});
    const QStringList messages = telegramMessages(notice);
    ASSERT_GT(messages.size(), 1);
    EXPECT_TRUE(messages.first().startsWith(u"<b>пропали ссылки (300)</b>\n"));
    QStringList rejoined;
    for (const QString& message : messages) {
        EXPECT_LE(message.size(), kTelegramMessageLimit);
        EXPECT_FALSE(message.endsWith(u'\n'));
        rejoined += message;
        // Full: the next message's first line would not have fitted.
        if (&message != &messages.last()) {
            const QString next = messages.at(messages.indexOf(message) + 1);
            EXPECT_GT(message.size() + 1 + next.section(u'\n', 0, 0).size(), kTelegramMessageLimit);
        }
    }
    EXPECT_EQ(rejoined.join(u'\n').count(u"&lt;a&gt;"_s), 300);
}

// Each encoded word holds whole characters and stays within 75 characters.
TEST(MailMessage, SubjectInEncodedWords) {
    const QString subject =
        u"Quorvel: пропали ссылки (2), недоступны (1), скрыты (4), "
        u"восстановлены (12), 😀"_s;
    const QByteArray header = encodedHeaderWords(subject);
    QString decoded;
    for (const QByteArray& line : header.split('\n')) {
        const QByteArray word = line.trimmed();
        ASSERT_TRUE(word.startsWith("=?UTF-8?B?") && word.endsWith("?=")) << word.constData();
        EXPECT_LE(word.size(), 75);
        const QByteArray bytes = QByteArray::fromBase64(word.sliced(10, word.size() - 12));
        EXPECT_TRUE(QString::fromUtf8(bytes).toUtf8() == bytes) << "a character was split";
        decoded += QString::fromUtf8(bytes);
    }
    EXPECT_EQ(decoded, subject);
}

TEST(MailMessage, HeadersAndBody) {
    NotifySettings::Mail mail;
    mail.from = u"me@example.org"_s;
    mail.to = {u"a@example.org"_s, u"b@example.org"_s};
    Notice notice = noticeOf({u"строка 1"_s, u"строка 2"_s});
    notice.subject = u"тема"_s;
    const QDateTime at(QDate(2026, 12, 11), QTime(4, 14, 14), QTimeZone(3 * 3600));
    const QByteArray message = mailMessage(mail, notice, at);
    const qsizetype end = message.indexOf("\r\n\r\n");
    ASSERT_GT(end, 0);
    const QByteArray head = message.first(end);
    EXPECT_TRUE(head.contains("Date: Fri, 11 Dec 2026 04:14:14 +0300\r\n")) << head.constData();
    EXPECT_TRUE(head.contains("From: <me@example.org>\r\n"));
    EXPECT_TRUE(head.contains("To: <a@example.org>, <b@example.org>\r\n"));
    EXPECT_TRUE(QRegularExpression(u"Message-ID: <[0-9a-f]+\\.\\d+@example\\.org>\r\n"_s)
                    .match(QString::fromLatin1(head + "\r\n"))
                    .hasMatch());
    EXPECT_TRUE(head.contains("Content-Type: text/plain; charset=UTF-8\r\n"));
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(message.sliced(end + 4))),
              u"строка 1\r\nстрока 2\r\n"_s);
}

TEST(Webhook, BodyCarriesTheTextTwiceAndIsSignedAsSent) {
    Notice notice = noticeOf({u"a"_s, u"b"_s});
    notice.payload = QJsonObject{{u"list"_s, u"data.qvp"_s}};
    EXPECT_EQ(webhookBody(notice), R"({"content":"a\nb","list":"data.qvp","text":"a\nb"})");
    // RFC 4231, test case 2.
    EXPECT_EQ(webhookSignature("what do ya want for nothing?", u"Jefe"_s),
              "sha256=5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

}  // namespace
}  // namespace quorvel
