#include <QJsonArray>
#include <QSysInfo>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "history/delivery_log.h"
#include "history/history_schema.h"
#include "history/history_support.h"
#include "notify/digest.h"
#include "notify/notice_queue.h"
#include "notify/notice_servers.h"
#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::NoticeHttpServer;

const RecordIdentity kGone{u"https://gone.example/links"_s, u"me.example"_s};
const RecordIdentity kDown{u"https://down.example/"_s, u"me.example"_s};
const RecordIdentity kBack{u"https://back.example/"_s, u"me.example"_s};

RunEvent eventOf(const RecordIdentity& identity, ChangeKind change, ConfirmedState previous,
                 ConfirmedState state, qint64 since, const QString& reason = {}) {
    return {identity,
            {1, historyTime(since), change, previous, state, historyTime(since), reason, {}, {}}};
}

// A notice groups a run's changes, the worst news first, each with its
// count, and tells who to write to.
TEST(Digest, GroupsCountsAndLines) {
    DigestInput input;
    input.list = u"data.qvp"_s;
    input.runStarted = historyTime(1'765'430'000);
    input.totals = {{CheckStatus::Found, 451},
                    {CheckStatus::Hidden, 9},
                    {CheckStatus::Missing, 12},
                    {CheckStatus::FetchFailed, 8}};
    input.events = {
        eventOf(kBack, ChangeKind::Restored, ConfirmedState::Missing, ConfirmedState::Found,
                1'765'430'000),
        eventOf(kGone, ChangeKind::Lost, ConfirmedState::Found, ConfirmedState::Missing,
                1'765'340'000),
        eventOf(kDown, ChangeKind::Down, ConfirmedState::Found, ConfirmedState::Down, 1'765'250'000,
                u"http 404; dns"_s),
        eventOf(kBack, ChangeKind::ReciprocalLost, ConfirmedState::Found, ConfirmedState::Missing,
                1'765'430'000),
        eventOf(kDown, ChangeKind::Lost, ConfirmedState::Hidden, ConfirmedState::Missing,
                1'765'340'000),
    };
    input.lookup = [](const QSet<RecordIdentity>& wanted) {
        EXPECT_EQ(wanted, (QSet<RecordIdentity>{kGone, kDown, kBack}));
        // kBack is no longer in the list.
        return QHash<RecordIdentity, DigestRecord>{{kGone, {4, u"partner@gone.example"_s}},
                                                   {kDown, {7, QString()}}};
    };
    const Notice notice = buildDigest(input);
    const QString at = historyTime(1'765'430'000).toLocalTime().toString(u"dd.MM.yyyy HH:mm");
    const QString lostSince =
        historyTime(1'765'340'000).toLocalTime().toString(u"dd.MM.yyyy HH:mm");
    const QString downSince =
        historyTime(1'765'250'000).toLocalTime().toString(u"dd.MM.yyyy HH:mm");
    QStringList headings;
    for (const NoticeLine& line : notice.lines) {
        if (line.heading) {
            headings += line.text;
        }
    }
    EXPECT_EQ(headings, (QStringList{u"пропали ссылки (2)"_s, u"недоступны (1)"_s,
                                     u"пропали ваши ссылки на партнеров (1)"_s,
                                     u"ссылки снова на месте (1)"_s}));
    EXPECT_EQ(notice.lines.value(0).text,
              u"data.qvp, проверка "_s + at +
                  u": проверено 480: есть 451, скрыты 9, нет 12, недоступны 8");
    EXPECT_EQ(notice.lines.value(2).text,
              u"https://gone.example/links — partner@gone.example — с "_s + lostSince);
    EXPECT_EQ(notice.lines.value(5).text,
              u"https://down.example/ — с "_s + downSince +
                  u" — ответ сервера 404 (первый адрес); второй адрес: адрес не найден");
    EXPECT_EQ(notice.subject,
              u"Quorvel: пропали ссылки (2), недоступны (1), пропали ваши ссылки на партнеров (1), "
              u"ссылки снова на месте (1)"_s);

    const QJsonObject payload = notice.payload;
    EXPECT_EQ(payload[u"list"_s].toString(), u"data.qvp"_s);
    EXPECT_EQ(payload[u"totals"_s][u"checked"_s].toInt(), 480);
    const QJsonArray changes = payload[u"changes"_s].toArray();
    ASSERT_EQ(changes.size(), 5);
    EXPECT_EQ(changes[0][u"index"_s].toInt(), 4);
    EXPECT_EQ(changes[0][u"change"_s].toString(), u"lost"_s);
    EXPECT_EQ(changes[0][u"previous"_s].toString(), u"found"_s);
    EXPECT_EQ(changes[0][u"email"_s].toString(), u"partner@gone.example"_s);
    EXPECT_EQ(changes[2][u"reason"_s].toString(), u"http 404; dns"_s);
    EXPECT_TRUE(changes[4][u"index"_s].isNull()) << "a record no longer in the list";

    // The notice as kept in the history reads back whole.
    const Notice kept = Notice::fromJson(notice.toJson());
    EXPECT_EQ(kept.plainText(), notice.plainText());
    EXPECT_EQ(kept.subject, notice.subject);
    EXPECT_EQ(kept.payload, notice.payload);
    EXPECT_EQ(kept.lines.value(1).heading, true);

    input.events.clear();
    EXPECT_TRUE(buildDigest(input).isEmpty()) << "no change, no notice";
}

// A lapsed deadline is bad news, told after the lost links and before the
// good news.
TEST(Digest, OverdueComesBetweenTheBadAndTheGoodNews) {
    DigestInput input;
    input.list = u"data.qvp"_s;
    input.runStarted = historyTime(1'765'430'000);
    input.totals = {{CheckStatus::Found, 2}, {CheckStatus::Missing, 1}};
    input.events = {
        eventOf(kBack, ChangeKind::Restored, ConfirmedState::Missing, ConfirmedState::Found,
                1'765'430'000),
        eventOf(kDown, ChangeKind::Overdue, ConfirmedState::Missing, ConfirmedState::Missing,
                1'765'430'000),
        eventOf(kGone, ChangeKind::Lost, ConfirmedState::Found, ConfirmedState::Missing,
                1'765'340'000),
    };
    input.lookup = [](const QSet<RecordIdentity>&) {
        return QHash<RecordIdentity, DigestRecord>{};
    };
    QStringList headings;
    for (const NoticeLine& line : buildDigest(input).lines) {
        if (line.heading) {
            headings += line.text;
        }
    }
    EXPECT_EQ(headings, (QStringList{u"пропали ссылки (1)"_s, u"просрочен срок установки (1)"_s,
                                     u"ссылки снова на месте (1)"_s}));
}

TEST(Digest, EveryChangeHasItsGroup) {
    const QList<ChangeKind> order = digestOrder();
    for (int c = 0; c <= int(kLastChangeKind); ++c) {
        EXPECT_TRUE(order.contains(ChangeKind(c)))
            << changeName(ChangeKind(c)).toString().toStdString();
    }
}

// A history of every earlier version takes the tables of notices; its runs
// asked for none.
TEST(DeliveryLog, MigratesEveryEarlierVersion) {
    for (int version = 1; version < kFirstVersionWithDeliveries; ++version) {
        SCOPED_TRACE(version);
        test::TempDir dir;
        const QString path = dir.path(u"h.sqlite"_s);
        {
            SqliteDatabase db;
            ASSERT_EQ(db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, {}), SQLITE_OK);
            ASSERT_EQ(db.exec("BEGIN"), SQLITE_OK);
            ASSERT_EQ(migrateHistorySchema(db, 0, version), SQLITE_OK);
            ASSERT_EQ(db.exec("INSERT INTO runs (started) VALUES (1700000000), (1700086400)"),
                      SQLITE_OK);
            ASSERT_EQ(db.exec("COMMIT"), SQLITE_OK);
        }
        DeliveryLog log(path);
        ASSERT_TRUE(log.outcome().usable()) << log.outcome().message.toStdString();
        EXPECT_EQ(test::queryNumber(path, "PRAGMA user_version"), kHistorySchemaVersion);
        EXPECT_EQ(test::queryNumber(path,
                                    "SELECT count(*) FROM runs WHERE notify = 0 AND "
                                    "ended IS NULL AND list = ''"),
                  2);
        EXPECT_EQ(test::queryNumber(path, "SELECT count(*) FROM deliveries"), 0);
        const auto awaiting = log.runsAwaitingNotice(historyTime(1'800'000'000));
        ASSERT_TRUE(awaiting.ok()) << awaiting.error.toStdString();
        EXPECT_TRUE(awaiting.value.isEmpty());
    }
}

// The history of a partner that lost the link: the third run confirms it.
qint64 recordLoss(const QString& path, bool notify) {
    test::recordRun(path, 1'765'000'000,
                    {test::historyEntry(kGone, CheckStatus::Found, 1'765'000'010)});
    test::recordRun(path, 1'765'100'000,
                    {test::historyEntry(kGone, CheckStatus::Missing, 1'765'100'010)});
    HistoryRecorderOptions options;
    options.notify = notify;
    options.list = u"links.qvp"_s;
    const HistoryRunOutcome third =
        test::recordRun(path, 1'765'200'000,
                        {test::historyEntry(kGone, CheckStatus::Missing, 1'765'200'010)}, options);
    EXPECT_NE(third.runId, 0);
    return third.runId;
}

struct Hook {
    int failFirst = 0;  // answers 500 to as many requests first
    NoticeHttpServer server{NoticeHttpServer::Kind::Http, [this](int n, const auto&) {
                                return n < failFirst ? NoticeHttpServer::Answer{500, "down", {}}
                                                     : NoticeHttpServer::Answer{204, {}, {}};
                            }};

    NoticeQueue queueFor(const QString& historyPath) const {
        NoticeQueue queue;
        queue.historyPath = historyPath;
        queue.list = u"links.qvp"_s;
        queue.settings.webhook.url = u"http://hooks.test:%1/h"_s.arg(server.port());
        queue.fetch.resolve = QStringList{u"hooks.test:%1:127.0.0.1"_s.arg(server.port())};
        queue.lookup = [](const QSet<RecordIdentity>&) {
            return QHash<RecordIdentity, DigestRecord>{{kGone, {0, u"p@gone.example"_s}}};
        };
        return queue;
    }
};

TEST(NoticeQueue, FailedDeliveryIsTriedAgainAndNeverResentAfterSuccess) {
    test::TempDir dir;
    const QString path = dir.path(u"h.sqlite"_s);
    const qint64 run = recordLoss(path, true);
    Hook hook;
    hook.failFirst = 1;
    const NoticeQueue queue = hook.queueFor(path);
    const QDateTime now = QDateTime::currentDateTimeUtc();

    // The run that made the change keeps its notice; the hook is down.
    ASSERT_TRUE(
        keepRunNotice(queue, run, historyTime(1'765'200'000), {{CheckStatus::Missing, 1}}).ok());
    NoticeReport report = sendOpenNotices(queue, now);
    EXPECT_EQ(report.sent, 0);
    ASSERT_EQ(report.problems.size(), 1) << report.problems.join(u'\n').toStdString();
    EXPECT_TRUE(report.problems[0].startsWith(u"webhook: the notice of the check of "))
        << report.problems[0].toStdString();
    EXPECT_TRUE(report.problems[0].endsWith(u"HTTP 500: down")) << report.problems[0].toStdString();
    EXPECT_EQ(test::queryNumber(path, "SELECT attempts FROM deliveries WHERE state = 'failed'"), 1);

    // The next time, the same notice goes out; after that, never again.
    report = sendOpenNotices(queue, now);
    EXPECT_EQ(report.sent, 1);
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join(u'\n').toStdString();
    report = sendOpenNotices(queue, now);
    EXPECT_EQ(report.sent, 0);
    ASSERT_EQ(hook.server.requests().size(), 2);
    EXPECT_EQ(hook.server.requests()[0].body, hook.server.requests()[1].body);
    const QJsonObject body = hook.server.requests()[1].json();
    EXPECT_EQ(body[u"list"_s].toString(), u"links.qvp"_s);
    EXPECT_TRUE(body[u"text"_s].toString().contains(u"пропали ссылки (1)"));
    EXPECT_EQ(test::queryNumber(path,
                                "SELECT count(*) FROM deliveries WHERE state = 'sent' AND "
                                "attempts = 2 AND parts = 1 AND last_error = ''"),
              1);

    // A notice kept once is kept once, whoever builds it again.
    EXPECT_TRUE(keepRunNotice(queue, run, historyTime(1'765'200'000), {}).ok());
    EXPECT_EQ(sendOpenNotices(queue, now).sent, 0);
}

// A program stopped after its run was written, before it kept the notice:
// the next one builds it from the history. Runs that asked for none, or
// changed nothing, send nothing.
TEST(NoticeQueue, NoticeOfAStoppedProgramIsBuiltByTheNext) {
    test::TempDir dir;
    const QString path = dir.path(u"h.sqlite"_s);
    recordLoss(path, true);
    HistoryRecorderOptions quiet;
    quiet.notify = true;
    test::recordRun(path, 1'765'300'000,
                    {test::historyEntry(kGone, CheckStatus::Missing, 1'765'300'010)}, quiet);
    const QString other = dir.path(u"other.sqlite"_s);
    recordLoss(other, false);

    Hook hook;
    EXPECT_EQ(sendOpenNotices(hook.queueFor(path), QDateTime::currentDateTimeUtc()).sent, 1);
    EXPECT_EQ(sendOpenNotices(hook.queueFor(other), QDateTime::currentDateTimeUtc()).sent, 0);
    ASSERT_EQ(hook.server.requests().size(), 1);
    const QJsonObject body = hook.server.requests()[0].json();
    EXPECT_EQ(body[u"totals"_s][u"missing"_s].toInt(), 1) << "from the run's results";
    EXPECT_EQ(body[u"changes"_s][0][u"email"_s].toString(), u"p@gone.example"_s);
    EXPECT_EQ(test::queryNumber(path, "SELECT count(*) FROM notices WHERE notice = ''"), 1);
}

// A send cut off before its answer was noted counts as not sent; one that
// another live program has under way is left to it.
TEST(NoticeQueue, SendsUnderWayAreLeftToTheirProgramUnlessItIsGone) {
    struct Row {
        const char* name;
        QString claimedBy;
        qint64 claimedSecondsAgo;
        bool sent;
    };
    const QString host = QSysInfo::machineHostName();
    const Row rows[] = {
        {"a live program of this host", host + u":1", 5, false},
        {"a program of this host that is gone", host + u":999999999", 5, true},
        {"another host, recently", u"elsewhere:1"_s, 5, false},
        {"another host, long ago", u"elsewhere:1"_s, 3600, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        const QString path = dir.path(u"h.sqlite"_s);
        const qint64 run = recordLoss(path, true);
        Hook hook;
        const NoticeQueue queue = hook.queueFor(path);
        ASSERT_TRUE(keepRunNotice(queue, run, historyTime(1'765'200'000), {}).ok());
        const QDateTime now = QDateTime::currentDateTimeUtc();
        {
            DeliveryLog log(path);
            const QList<OpenDelivery> open = log.openDeliveries({u"webhook"_s}).value;
            ASSERT_EQ(open.size(), 1);
            const Outcome<bool> claimed =
                log.claim(open[0], row.claimedBy, now.addSecs(-row.claimedSecondsAgo));
            ASSERT_TRUE(claimed.ok() && claimed.value) << claimed.error.toStdString();
        }
        EXPECT_EQ(sendOpenNotices(queue, now).sent, row.sent ? 1 : 0);
        EXPECT_EQ(hook.server.requests().size(), row.sent ? 1 : 0);
    }
}

}  // namespace
}  // namespace quorvel
