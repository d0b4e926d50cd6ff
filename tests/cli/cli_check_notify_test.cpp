#include <QDate>
#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>

#include "history/history_support.h"
#include "notify/notice_servers.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::NoticeHttpServer;
using test::RawServer;

// A partner page that carries the link until the test takes it away.
struct Partner {
    std::atomic<bool> linked{true};
    RawServer server{[this](const RawServer::Connection& c) {
        c.send(test::httpResponse(
            "200 OK", linked.load() ? "<a href=http://me.example.com/>me</a>" : "<p>gone</p>"));
    }};
    QString url() const { return u"partner.test:%1/links.html"_s.arg(server.port()); }
};

struct ListWithNotices {
    Partner partner;
    test::TempDir dir;
    QString list = dir.path(u"links.qvp"_s);
    QString ini = dir.path(u"notify.ini"_s);

    ListWithNotices() {
        EXPECT_TRUE(writeRecordFile(
            list, {BuildRecordLine(partner.url(), {}, u"desk@partner.test"_s, QDate(), {}, u"5"_s,
                                   u"me.example.com"_s, u"spoke on\tMonday"_s)}));
    }
    void settings(const QByteArray& text) {
        dir.write(u"notify.ini"_s, text);
        QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner);
    }
    QStringList args(const QStringList& more = {}) const {
        return QStringList{
                   u"check"_s,           u"--notify"_s,
                   u"--notify-config"_s, ini,
                   u"--resolve"_s,       u"partner.test:%1:127.0.0.1"_s.arg(partner.server.port()),
                   u"--resolve"_s,       u"api.telegram.org:443:127.0.0.1"_s,
                   u"--cacert"_s,        test::noticeCaFile()} +
               more + QStringList{list};
    }
    // Found, then missing twice: the third run confirms the loss.
    void loseTheLink(const QStringList& more = {}) {
        for (const bool linked : {true, false}) {
            partner.linked = linked;
            const test::CliResult r = test::runCli(args(more));
            EXPECT_EQ(r.exitCode, linked ? 0 : 1) << r.err.constData();
        }
        partner.linked = false;
    }
};

const QByteArray kTelegram = "[telegram]\ntoken=42:bot-token\nchat=@links\n";

QStringList texts(const NoticeHttpServer& server) {
    QStringList list;
    for (const test::ReceivedRequest& r : server.requests()) {
        list += r.json()[u"text"_s].toString();
    }
    return list;
}

// One message per run that moved a confirmed state, none otherwise; the rows
// and the exit status are the check's.
TEST(CliCheckNotify, ARunThatLosesALinkSendsOneNotice) {
    NoticeHttpServer telegram(NoticeHttpServer::Kind::Https443);
    ListWithNotices setup;
    setup.settings(kTelegram);
    setup.loseTheLink({u"--changes"_s});
    EXPECT_TRUE(telegram.requests().isEmpty()) << "no change, no message";

    qputenv("TZ", "Asia/Yekaterinburg");  // +05:00 all year
    const test::CliResult r = test::runCli(setup.args({u"--changes"_s}));
    qunsetenv("TZ");
    EXPECT_EQ(r.exitCode, 1) << r.err.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 3) << r.out.constData();
    EXPECT_EQ(
        lines[0],
        "index\tstatus\tcount\tover_limit\tpartner_url\treason\tsignals\treciprocal\t"
        "overdue\tanchor\tnear_link\tcanonical\texternal\tchange\tprevious\tsince\temail\tnotes");
    const QList<QByteArray> row = lines[1].split('\t');
    ASSERT_EQ(row.size(), 18) << lines[1].constData();
    EXPECT_EQ(row[13], "lost");
    EXPECT_TRUE(row[15].endsWith("+05:00")) << row[15].constData();
    EXPECT_EQ(row[16], "desk@partner.test");
    EXPECT_EQ(row[17], "spoke on\\tMonday");

    const QStringList sent = texts(telegram);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(sent[0].startsWith(u"links.qvp, проверка "_s)) << sent[0].toStdString();
    EXPECT_TRUE(
        sent[0].contains(u": проверено 1: есть 0, скрыты 0, нет 1, недоступны 0\n"
                         u"<b>пропали ссылки (1)</b>\n"_s +
                         setup.partner.url() + u" — desk@partner.test — с "))
        << sent[0].toStdString();

    // As a schedule's service runs it: the history tells its run apart.
    qputenv("QUORVEL_SCHEDULE", "quorvel-check-links");
    const test::CliResult again = test::runCli(setup.args());
    qunsetenv("QUORVEL_SCHEDULE");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(telegram.requests().size(), 1) << "nothing moved: nothing sent";
    const QString history = setup.dir.path(u"quorvel-history.sqlite"_s);
    EXPECT_EQ(test::queryNumber(history, "SELECT count(*) FROM runs WHERE source = 'schedule'"), 1);
    EXPECT_EQ(test::queryNumber(history, "SELECT count(*) FROM runs WHERE source = 'quorvel-cli'"),
              3);
}

// A promised date that lapsed since the program first saw the record is told
// once, as its own change, in the rows of --changes and in the notice.
TEST(CliCheckNotify, ALapsedDeadlineIsToldOnce) {
    NoticeHttpServer telegram(NoticeHttpServer::Kind::Https443);
    ListWithNotices setup;
    setup.settings(kTelegram);
    const QDate yesterday = QDate::currentDate().addDays(-1);
    ASSERT_TRUE(writeRecordFile(
        setup.list, {BuildRecordLine(setup.partner.url(), {}, u"desk@partner.test"_s, yesterday, {},
                                     u"5"_s, u"me.example.com"_s, {})}));
    // The history first saw the record a month ago, with the link in place.
    const qint64 monthAgo = QDateTime::currentSecsSinceEpoch() - 30 * 86'400;
    test::recordRun(setup.dir.path(u"quorvel-history.sqlite"_s), monthAgo,
                    {test::historyEntry({setup.partner.url(), u"me.example.com"_s},
                                        CheckStatus::Found, monthAgo + 5)});
    setup.partner.linked = false;

    const test::CliResult r = test::runCli(setup.args({u"--changes"_s}));
    EXPECT_EQ(r.exitCode, 1) << r.err.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 3) << r.out.constData();
    const QList<QByteArray> row = lines[1].split('\t');
    ASSERT_EQ(row.size(), 18) << lines[1].constData();
    EXPECT_EQ(row[8], "1");
    EXPECT_EQ(row[13], "overdue");
    EXPECT_EQ(row[14], "found") << "one Missing check confirms nothing";
    const QStringList sent = texts(telegram);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(sent[0].contains(u"<b>просрочен срок установки (1)</b>\n"_s + setup.partner.url() +
                                 u" — desk@partner.test — с "))
        << sent[0].toStdString();

    // The second Missing check confirms the loss; the deadline is old news.
    const test::CliResult again = test::runCli(setup.args({u"--changes"_s}));
    EXPECT_EQ(again.exitCode, 1) << again.err.constData();
    const QList<QByteArray> next = again.out.split('\n');
    ASSERT_EQ(next.size(), 3) << again.out.constData();
    EXPECT_EQ(next[1].split('\t').value(13), "lost");
    const QStringList both = texts(telegram);
    ASSERT_EQ(both.size(), 2);
    EXPECT_FALSE(both[1].contains(u"просрочен"_s)) << both[1].toStdString();
}

// A channel that fails keeps the rows and the exit status, is named on
// standard error, and is tried again by the next check; one that took the
// notice never gets it again.
TEST(CliCheckNotify, FailedChannelIsTriedAgainByTheNextCheck) {
    std::atomic<bool> hookDown{true};
    NoticeHttpServer hook(NoticeHttpServer::Kind::Http, [&](int, const auto&) {
        return hookDown ? NoticeHttpServer::Answer{503, "maintenance", {}}
                        : NoticeHttpServer::Answer{200, "{}", {}};
    });
    NoticeHttpServer telegram(NoticeHttpServer::Kind::Https443);
    ListWithNotices setup;
    setup.settings(kTelegram +
                   "[webhook]\nurl=http://hooks.test:" + QByteArray::number(hook.port()) + "/h\n");
    const QStringList route{u"--resolve"_s, u"hooks.test:%1:127.0.0.1"_s.arg(hook.port())};
    setup.loseTheLink(route);

    test::CliResult r = test::runCli(setup.args(route));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.count('\n'), 1) << "the row is printed";
    EXPECT_TRUE(r.err.startsWith("notify: webhook: the notice of the check of "))
        << r.err.constData();
    EXPECT_TRUE(r.err.contains("HTTP 503: maintenance")) << r.err.constData();
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_EQ(telegram.requests().size(), 1);
    EXPECT_EQ(hook.requests().size(), 1);

    hookDown = false;
    setup.partner.linked = true;  // this run's own change goes out too, after the old one
    r = test::runCli(setup.args(route));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    ASSERT_EQ(hook.requests().size(), 3);
    EXPECT_EQ(hook.requests()[1].body, hook.requests()[0].body)
        << "the old notice first, as it was";
    EXPECT_TRUE(hook.requests()[2].json()[u"text"_s].toString().contains(u"ссылки снова на месте"));
    ASSERT_EQ(telegram.requests().size(), 2) << "telegram had the first one already";

    r = test::runCli(setup.args(route));
    EXPECT_EQ(hook.requests().size(), 3);
    EXPECT_EQ(telegram.requests().size(), 2);
}

// Killed after the server took the message and before the history noted it:
// the next check sends it once more, and that is the only duplicate.
TEST(CliCheckNotify, KillBetweenSendAndNoteSendsAtMostOnceMore) {
    std::atomic<pid_t> victim{0};
    NoticeHttpServer telegram(NoticeHttpServer::Kind::Https443, [&](int, const auto&) {
        if (const pid_t pid = victim.exchange(0); pid > 0) {
            ::kill(pid, SIGKILL);  // the answer never reaches the program
        }
        return NoticeHttpServer::Answer{};
    });
    ListWithNotices setup;
    setup.settings(kTelegram);
    setup.loseTheLink();

    test::CliProcess killed(setup.args());
    victim = killed.pid();
    const test::CliResult k = killed.finish();
    EXPECT_EQ(k.exitCode, -1) << "killed";
    ASSERT_EQ(telegram.requests().size(), 1);

    setup.partner.linked = false;  // nothing new moves
    test::CliResult r = test::runCli(setup.args());
    EXPECT_EQ(r.exitCode, 1) << r.err.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    const QStringList sent = texts(telegram);
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[1], sent[0]);

    r = test::runCli(setup.args());
    EXPECT_EQ(telegram.requests().size(), 2) << "never a third time";
}

TEST(CliCheckNotify, UsageErrorsComeBeforeTheRun) {
    NoticeHttpServer telegram(NoticeHttpServer::Kind::Https443);
    ListWithNotices setup;
    setup.settings(kTelegram);
    struct Row {
        const char* name;
        QStringList args;
        QByteArray input;
        const char* says;
    };
    const Row rows[] = {
        {"no history", setup.args({u"--no-history"_s}), {}, "--notify needs a history"},
        {"standard input", setup.args().mid(0, 10) << u"-"_s, "", "--notify needs a history"},
        {"a config without --notify",
         {u"check"_s, u"--notify-config"_s, setup.ini, setup.list},
         {},
         "--notify-config needs --notify"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const test::CliResult r = test::runCli(row.args, row.input);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(row.says)) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty());
    }
    QFile::setPermissions(setup.ini, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const test::CliResult r = test::runCli(setup.args());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("(mode 0604)")) << r.err.constData();
    EXPECT_TRUE(r.out.isEmpty()) << "refused before the run";
    EXPECT_TRUE(telegram.requests().isEmpty());
}

}  // namespace
}  // namespace quorvel
