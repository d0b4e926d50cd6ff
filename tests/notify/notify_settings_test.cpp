#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

#include "notify/notify_settings.h"
#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

mode_t modeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    return st.st_mode & 0777;
}

void writeWithMode(const test::TempDir& dir, const QString& name, const QByteArray& text,
                   mode_t mode) {
    dir.write(name, text);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path(name)).constData(), mode), 0);
}

NotifySettings fullSettings() {
    NotifySettings s;
    s.telegram = {u"123456:ABC-def_ghi"_s, u"@channelname"_s};
    s.mail = {u"smtps://smtp.example.org:465"_s,
              u"me@example.org"_s,
              u"secret"_s,
              u"me@example.org"_s,
              {u"me@example.org"_s, u"partner-desk@example.org"_s}};
    s.webhook = {u"https://hooks.example.org/quorvel"_s, u"s3cret"_s};
    return s;
}

// What the program writes, QSettings reads back as it was, whatever the
// value holds; and nobody but the owner may read the file.
TEST(NotifySettings, WrittenValuesReadBackThroughQSettings) {
    struct Row {
        const char* name;
        QString value;
    };
    const Row rows[] = {
        {"comma makes a list", u"a,b"_s},
        {"semicolon starts a comment", u"pass;word"_s},
        {"quotes", u"say \"hi\""_s},
        {"backslashes", u"C:\\dir\\x41"_s},
        {"equals sign", u"a=b"_s},
        {"spaces at both ends", u"  padded  "_s},
        {"typed value of QSettings", u"@Invalid()"_s},
        {"leading at sign", u"@@channel"_s},
        {"Cyrillic", u"пароль, ёж"_s},
        {"everything", u" \"a\\b\";c,d=e @ "_s},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        const QString path = dir.path(u"quorvel/notify.ini"_s);
        NotifySettings s = fullSettings();
        s.mail.password = row.value;
        s.webhook.secret = row.value;
        s.telegram.chat = row.value;
        const Outcome<> written = writeNotifySettings(path, s);
        ASSERT_TRUE(written) << written.error.toStdString();
        EXPECT_EQ(modeOf(path), 0600u);

        QSettings ini(path, QSettings::IniFormat);
        EXPECT_EQ(ini.value(u"mail/password"_s).toString(), row.value);
        EXPECT_EQ(ini.value(u"webhook/secret"_s).toString(), row.value);
        const Outcome<NotifySettings> read = readNotifySettings(path);
        ASSERT_TRUE(read) << read.error.toStdString();
        EXPECT_EQ(read.value.mail.password, row.value);
        EXPECT_EQ(read.value.telegram.chat, row.value);
        EXPECT_EQ(read.value.mail.to, s.mail.to);
    }
}

TEST(NotifySettings, RewritingAnOpenFileClosesItBeforeTheSecretsGoIn) {
    test::TempDir dir;
    const QString path = dir.path(u"notify.ini"_s);
    writeWithMode(dir, u"notify.ini"_s, "[webhook]\nurl=http://h.test/\n", 0644);
    const Outcome<> written = writeNotifySettings(path, fullSettings());
    ASSERT_TRUE(written) << written.error.toStdString();
    EXPECT_EQ(modeOf(path), 0600u);
}

// The file as a user writes it by hand: comments, a list of addresses, a
// quoted value.
TEST(NotifySettings, ReadsAHandWrittenFile) {
    test::TempDir dir;
    writeWithMode(dir, u"notify.ini"_s,
                  "[telegram]\n"
                  "token=123456:ABC-def\n"
                  "chat=123456789          ; or @channelname\n"
                  "[mail]\n"
                  "url=smtp://smtp.example.org:587/client.example.org   ; STARTTLS\n"
                  "user=me@example.org\n"
                  "password=\"p;a,s\\\"s\"\n"
                  "from=me@example.org\n"
                  "to=me@example.org, partner-desk@example.org\n"
                  "[webhook]\n"
                  "url=http://192.168.1.5:8080/hook\n",
                  0600);
    const Outcome<NotifySettings> read = readNotifySettings(dir.path(u"notify.ini"_s));
    ASSERT_TRUE(read) << read.error.toStdString();
    const NotifySettings& s = read.value;
    EXPECT_EQ(s.telegram.chat, u"123456789"_s);
    EXPECT_EQ(s.mail.url, u"smtp://smtp.example.org:587/client.example.org"_s);
    EXPECT_EQ(s.mail.password, u"p;a,s\"s"_s);
    EXPECT_EQ(s.mail.to, (QStringList{u"me@example.org"_s, u"partner-desk@example.org"_s}));
    EXPECT_EQ(s.webhook.url, u"http://192.168.1.5:8080/hook"_s);
    EXPECT_TRUE(s.webhook.secret.isEmpty());
    EXPECT_EQ(s.secrets(), QStringList{u"123456:ABC-def"_s} << u"p;a,s\"s"_s);
}

TEST(NotifySettings, RefusesWhatCannotBeUsed) {
    struct Row {
        const char* name;
        QByteArray text;
        mode_t mode;
        const char* says;  // a part of the message
    };
    const QByteArray hook = "[webhook]\nurl=https://hooks.example.org/x\n";
    const Row rows[] = {
        {"readable by others", hook, 0644, "mode 0644"},
        {"writable by the group", hook, 0620, "mode 0620"},
        {"names no channel", "; nothing yet\n", 0600, "names no channel"},
        {"a typo of a key", hook + "[mail]\npasswrd=x\n", 0600, "unknown key 'mail/passwrd'"},
        {"an unquoted comma", hook + "secret=a,b\n", 0600,
         "[webhook] secret holds an unquoted ','"},
        {"a token that leaves the path", "[telegram]\ntoken=1:A/../x\nchat=1\n", 0600,
         "not a bot token"},
        {"telegram without chat", "[telegram]\ntoken=1:A\n", 0600, "needs both token and chat"},
        {"mail over another scheme", "[mail]\nurl=http://m.test\nfrom=a@b\nto=c@d\n", 0600,
         "[mail] url must be"},
        {"mail without recipients", "[mail]\nurl=smtps://m.test\nfrom=a@b\n", 0600,
         "[mail] to names no address"},
        {"a recipient that is no address", "[mail]\nurl=smtps://m.test\nfrom=a@b\nto=c@d, x\n",
         0600, "'x' is not a mail address"},
        {"a webhook of another scheme", "[webhook]\nurl=ftp://h.test/\n", 0600,
         "[webhook] url must be"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        writeWithMode(dir, u"notify.ini"_s, row.text, row.mode);
        const Outcome<NotifySettings> read = readNotifySettings(dir.path(u"notify.ini"_s));
        EXPECT_FALSE(read);
        EXPECT_TRUE(read.error.contains(QLatin1StringView(row.says))) << read.error.toStdString();
    }
    test::TempDir dir;
    EXPECT_TRUE(readNotifySettings(dir.path(u"absent.ini"_s)).error.contains(u"does not exist"));
}

// notify.ini is read as one small regular file: anything else put in its
// place is refused at once, for running and for editing alike.
TEST(NotifySettings, OnlyASmallRegularFileIsRead) {
    const QByteArray hook = "[webhook]\nurl=https://hooks.example.org/x\n";
    const auto padded = [&hook](qsizetype size) -> QByteArray {
        return hook + "; " + QByteArray(size - hook.size() - 3, 'x') + '\n';
    };
    struct Row {
        const char* name;
        std::function<void(const test::TempDir&)> make;
        const char* says;  // empty: read
    };
    const Row rows[] = {
        {"a FIFO",
         [](const test::TempDir& dir) {
             ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path(u"notify.ini"_s)).constData(), 0600), 0);
         },
         "is not a regular file"},
        {"a link to a FIFO",
         [](const test::TempDir& dir) {
             ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path(u"fifo"_s)).constData(), 0600), 0);
             ASSERT_TRUE(QFile::link(dir.path(u"fifo"_s), dir.path(u"notify.ini"_s)));
         },
         "is not a regular file"},
        {"just over 64 KiB",
         [&](const test::TempDir& dir) {
             writeWithMode(dir, u"notify.ini"_s, padded(64 * 1024 + 1), 0600);
         },
         "is over 64 KiB"},
        {"64 KiB",
         [&](const test::TempDir& dir) {
             writeWithMode(dir, u"notify.ini"_s, padded(64 * 1024), 0600);
         },
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        row.make(dir);
        for (const auto read : {readNotifySettings, readNotifySettingsForEditing}) {
            const Outcome<NotifySettings> settings = read(dir.path(u"notify.ini"_s));
            if (*row.says == 0) {
                EXPECT_TRUE(settings) << settings.error.toStdString();
                EXPECT_EQ(settings.value.webhook.url, u"https://hooks.example.org/x"_s);
            } else {
                EXPECT_TRUE(settings.error.contains(QLatin1StringView(row.says)))
                    << settings.error.toStdString();
            }
        }
    }
}

TEST(NotifySettings, DefaultPathFollowsXdgConfigHome) {
    const QByteArray before = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(defaultNotifyConfigPath(), u"/tmp/cfg/quorvel/notify.ini"_s);
    qputenv("XDG_CONFIG_HOME", "");
    EXPECT_TRUE(defaultNotifyConfigPath().endsWith(u"/.config/quorvel/notify.ini"));
    qputenv("XDG_CONFIG_HOME", before);
}

}  // namespace
}  // namespace quorvel
