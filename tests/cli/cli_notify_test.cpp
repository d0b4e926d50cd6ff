#include <QFile>

#include <gtest/gtest.h>

#include "notify/notice_servers.h"
#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::NoticeHttpServer;

struct Channels {
    NoticeHttpServer telegram{NoticeHttpServer::Kind::Https443};
    NoticeHttpServer hook;
    test::SmtpServer mail{u"starttls"_s, u"me"_s, u"pw"_s};

    explicit Channels(NoticeHttpServer::Answerer hookAnswer)
        : hook(NoticeHttpServer::Kind::Http, std::move(hookAnswer)) {}

    QByteArray ini() const {
        return "[telegram]\ntoken=42:secret-token\nchat=-100200300\n"
               "[mail]\nurl=smtp://smtp.test:" +
               QByteArray::number(mail.port()) +
               "/client.test\nuser=me\npassword=pw\nfrom=me@example.org\nto=you@example.org\n"
               "[webhook]\nurl=https://hooks.test:" +
               QByteArray::number(hook.port()) + "/h\nsecret=\"k;k\"\n";
    }
    QStringList route() const {
        return {u"--resolve"_s, u"api.telegram.org:443:127.0.0.1"_s,
                u"--resolve"_s, u"smtp.test:%1:127.0.0.1"_s.arg(mail.port()),
                u"--resolve"_s, u"hooks.test:%1:127.0.0.1"_s.arg(hook.port()),
                u"--cacert"_s,  test::noticeCaFile()};
    }
};

QString writeIni(const test::TempDir& dir, const QByteArray& text, QFile::Permissions mode) {
    const QString path = dir.path(u"notify.ini"_s);
    dir.write(u"notify.ini"_s, text);
    QFile::setPermissions(path, mode);
    return path;
}

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

TEST(CliNotify, TestMessageOnEveryChannel) {
    // The webhook here is plain HTTP on its own port, but the settings say
    // https: the hook cannot answer TLS, so that channel fails alone.
    Channels channels(test::checkingSignature("k;k"));
    test::TempDir dir;
    const QString ini = writeIni(dir, channels.ini(), kOwnerOnly);
    test::CliResult r = test::runCli(
        QStringList{u"notify"_s, u"--test"_s, u"--notify-config"_s, ini} + channels.route());
    EXPECT_EQ(r.exitCode, 1) << r.err.constData();
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3) << r.out.constData();
    EXPECT_EQ(lines[0], "telegram: accepted (HTTP 200)");
    EXPECT_EQ(lines[1], "mail: accepted (250)");
    EXPECT_TRUE(lines[2].startsWith("webhook: failed: ")) << lines[2].constData();
    EXPECT_FALSE(r.out.contains("secret-token"));
    ASSERT_EQ(channels.telegram.requests().size(), 1);
    EXPECT_EQ(channels.telegram.requests()[0].json()[u"chat_id"_s].toString(), u"-100200300"_s);
    EXPECT_EQ(channels.mail.messages().size(), 1);

    // Over plain HTTP the hook checks the signature of the secret as quoted.
    QByteArray plain = channels.ini();
    plain.replace("url=https://hooks.test", "url=http://hooks.test");
    writeIni(dir, plain, kOwnerOnly);
    r = test::runCli(QStringList{u"notify"_s, u"--test"_s, u"--notify-config"_s, ini} +
                     channels.route());
    EXPECT_EQ(r.exitCode, 0) << r.out.constData() << r.err.constData();
    EXPECT_TRUE(r.out.endsWith("webhook: accepted (HTTP 204)\n")) << r.out.constData();
}

TEST(CliNotify, SettingsThatCannotBeUsedStopBeforeSending) {
    Channels channels({});
    struct Row {
        const char* name;
        QByteArray text;
        QFile::Permissions mode;
        const char* says;
    };
    const Row rows[] = {
        {"readable by others", channels.ini(), kOwnerOnly | QFile::ReadOther | QFile::ReadGroup,
         "may be read or written by others (mode 0644)"},
        {"no channel", "# empty\n", kOwnerOnly, "names no channel"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        const QString ini = writeIni(dir, row.text, row.mode);
        const test::CliResult r = test::runCli(
            QStringList{u"notify"_s, u"--test"_s, u"--notify-config"_s, ini} + channels.route());
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(row.says)) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_TRUE(channels.telegram.requests().isEmpty());
    EXPECT_TRUE(channels.hook.requests().isEmpty());
    EXPECT_TRUE(channels.mail.messages().isEmpty());
}

}  // namespace
}  // namespace quorvel
