#include "history/history_recorder.h"

#include <QFileInfo>
#include <QSet>

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <thread>

#include "history/history_reader.h"
#include "history/history_support.h"
#include "history/sqlite_db.h"
#include "support/printers.h"
#include "support/temp_dir.h"

#include <sqlite3.h>

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::historyEntry;
using test::queryNumber;
using test::recordRun;

constexpr qint64 kDay = 86'400;
constexpr qint64 kFirstRun = 1'700'000'000;

const RecordIdentity kPartner{u"http://partner.example/links.html"_s, u"http://mysite.example/"_s};

// An identity is the partner page and your link, each exactly as written.
TEST(History, IdentitiesOfRecords) {
    const RecordIdentity a{u"http://a.example/"_s, u"http://me.example/"_s};
    const RecordIdentity aOtherLink{u"http://a.example/"_s, u"http://me.example/x"_s};
    const RecordIdentity aOtherCase{u"http://A.example/"_s, u"http://me.example/"_s};
    EXPECT_EQ(QSet<RecordIdentity>({a, aOtherLink, a, aOtherCase, aOtherLink, a}).size(), 3);

    const QString line =
        u"<QV_U>http://a.example/</QV_U><QV_I></QV_I><QV_E></QV_E><QV_D></QV_D>"
        u"<QV_4></QV_4><QV_5></QV_5><QV_6>http://me.example/</QV_6><QV_7></QV_7>"_s;
    EXPECT_EQ(identityOf(line), a);
}

// The reader's view after runs that load, lose and restore a link.
TEST(History, RunsMakeEventsSummariesAndARecordHistory) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const RecordIdentity down{u"http://down.example/"_s, kPartner.link};
    const RecordIdentity never{u"http://never.example/"_s, kPartner.link};

    struct Run {
        CheckStatus partner;
        CheckStatus down;
    };
    const Run runs[] = {
        {CheckStatus::Found, CheckStatus::FetchFailed},
        {CheckStatus::Missing, CheckStatus::FetchFailed},
        {CheckStatus::Missing, CheckStatus::FetchFailed},
        {CheckStatus::Found, CheckStatus::Found},
    };
    std::vector<qint64> runIds;
    for (int i = 0; i < 4; ++i) {
        const qint64 start = kFirstRun + i * kDay;
        const HistoryRunOutcome outcome =
            recordRun(path, start,
                      {historyEntry(kPartner, runs[i].partner, start + 5),
                       historyEntry(down, runs[i].down, start + 7, u"dns; timeout"_s),
                       // A second copy in the same run is not a second check.
                       historyEntry(kPartner, CheckStatus::FetchFailed, start + 9, u"dns"_s)});
        ASSERT_TRUE(outcome.message.isEmpty()) << outcome.message.toStdString();
        EXPECT_EQ(outcome.open.status,
                  i == 0 ? HistoryOpenStatus::Created : HistoryOpenStatus::Opened);
        EXPECT_EQ(outcome.written, 3);
        EXPECT_EQ(outcome.dropped, 0);
        runIds.push_back(outcome.runId);
    }

    HistoryReader reader(path);
    ASSERT_TRUE(reader.outcome().usable()) << reader.outcome().message.toStdString();

    // Run by run, the events with their previous state and since.
    const Outcome<QList<RunEvent>> first = reader.eventsOfRun(runIds[0]);
    ASSERT_TRUE(first.ok()) << first.error.toStdString();
    EXPECT_TRUE(first.value.isEmpty()) << "baselines other than down are quiet";
    EXPECT_TRUE(reader.eventsOfRun(runIds[1]).value.isEmpty()) << "one missing is no event";

    const QList<RunEvent> third = reader.eventsOfRun(runIds[2]).value;
    ASSERT_EQ(third.size(), 2);
    EXPECT_EQ(third[0].identity, kPartner);
    EXPECT_EQ(third[0].event.change, ChangeKind::Lost);
    EXPECT_EQ(third[0].event.previous, ConfirmedState::Found);
    EXPECT_EQ(third[0].event.since, historyTime(kFirstRun + kDay));
    EXPECT_EQ(third[1].identity, down);
    EXPECT_EQ(third[1].event.change, ChangeKind::Down);
    EXPECT_EQ(third[1].event.previous, ConfirmedState::None);
    EXPECT_EQ(third[1].event.reason, u"dns; timeout"_s);
    EXPECT_EQ(third[1].event.since, historyTime(kFirstRun));

    const QList<RunEvent> fourth = reader.eventsOfRun(runIds[3]).value;
    ASSERT_EQ(fourth.size(), 2);
    EXPECT_EQ(fourth[0].event.change, ChangeKind::Restored);
    EXPECT_EQ(fourth[1].event.change, ChangeKind::Up);
    EXPECT_EQ(fourth[1].event.runId, runIds[3]);

    // Summaries in list order, a record never checked included.
    const Outcome<QList<RecordSummary>> summaries =
        reader.summaries({never, kPartner, down, kPartner});
    ASSERT_TRUE(summaries.ok());
    ASSERT_EQ(summaries.value.size(), 4);
    EXPECT_EQ(summaries.value[0].checks, 0);
    EXPECT_EQ(summaries.value[0].lastStatus, CheckStatus::None);
    EXPECT_FALSE(summaries.value[0].since.isValid());
    const RecordSummary& partner = summaries.value[1];
    EXPECT_EQ(partner.checks, 4);
    EXPECT_EQ(partner.lastStatus, CheckStatus::Found);
    EXPECT_EQ(partner.state, ConfirmedState::Found);
    EXPECT_EQ(partner.since, historyTime(kFirstRun + 3 * kDay));
    EXPECT_EQ(partner.lastFound, historyTime(kFirstRun + 3 * kDay + 5));
    EXPECT_EQ(summaries.value[3].checks, 4);

    // One record's history, newest first.
    const Outcome<RecordHistory> history = reader.recordHistory(down);
    ASSERT_TRUE(history.ok());
    EXPECT_EQ(history.value.summary.state, ConfirmedState::Found);
    ASSERT_EQ(history.value.events.size(), 2);
    EXPECT_EQ(history.value.events[0].change, ChangeKind::Up);
    EXPECT_EQ(history.value.events[0].previous, ConfirmedState::Down);
    EXPECT_EQ(history.value.events[0].checkedAt, historyTime(kFirstRun + 3 * kDay + 7));
    EXPECT_EQ(history.value.events[1].change, ChangeKind::Down);
    EXPECT_EQ(history.value.events[1].reason, u"dns; timeout"_s);
    EXPECT_TRUE(reader.recordHistory(never).value.events.isEmpty());
}

// The facts beyond the verdict, the user's side of the exchange and a row
// of blocked checks, as the reader gives them back.
TEST(History, NewFactsReciprocalEventsAndBlockedRows) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const RecordIdentity walled{u"http://walled.example/"_s, kPartner.link};
    const QString blocked = u"blocked challenge; blocked http 429 retry-after 30"_s;

    struct Run {
        CheckStatus partner;
        PageSignals signals;
        CheckStatus reciprocal;
        // A deadline that had passed without the link: the end of its day; 0
        // for none.
        qint64 deadlineEndsAt;
        CheckStatus walled;
    };
    using St = CheckStatus;
    const Run runs[] = {
        {St::Found, MetaNoindex | RelUgc, St::Found, 0, St::Found},
        // Late, but with a deadline that had passed before the first check:
        // not kept as overdue.
        {St::Missing, 0, St::Missing, kFirstRun, St::FetchFailed},
        // The partner's link and the user's own are both confirmed lost, and
        // the deadline lapsed after the first check.
        {St::Missing, 0, St::Missing, kFirstRun + kDay, St::FetchFailed},
        // The user's page fails: the reciprocal state stays missing.
        {St::Found, 0, St::FetchFailed, 0, St::FetchFailed},
        {St::Found, RelSponsored | HeaderNofollow, St::Hidden, 0, St::FetchFailed},
    };
    std::vector<qint64> runIds;
    for (int i = 0; i < int(std::size(runs)); ++i) {
        const qint64 start = kFirstRun + i * kDay;
        HistoryEntry partner = historyEntry(kPartner, runs[i].partner, start + 5);
        partner.pageSignals = runs[i].signals;
        partner.reciprocal = runs[i].reciprocal;
        partner.overdue = runs[i].deadlineEndsAt != 0;
        partner.deadlineEndsAt = runs[i].deadlineEndsAt;
        const HistoryRunOutcome outcome = recordRun(
            path, start,
            {partner, historyEntry(walled, runs[i].walled, start + 7,
                                   runs[i].walled == St::FetchFailed ? blocked : QString())});
        ASSERT_EQ(outcome.written, 2) << outcome.message.toStdString();
        runIds.push_back(outcome.runId);
    }

    HistoryReader reader(path);
    EXPECT_TRUE(reader.eventsOfRun(runIds[1]).value.isEmpty());
    const QList<RunEvent> lost = reader.eventsOfRun(runIds[2]).value;
    ASSERT_EQ(lost.size(), 3);
    EXPECT_EQ(lost[0].event.change, ChangeKind::Lost) << "the partner's event comes first";
    EXPECT_EQ(lost[1].identity, kPartner);
    EXPECT_EQ(lost[1].event.change, ChangeKind::ReciprocalLost);
    EXPECT_EQ(lost[1].event.previous, ConfirmedState::Found);
    EXPECT_EQ(lost[1].event.state, ConfirmedState::Missing);
    EXPECT_EQ(lost[1].event.since, historyTime(kFirstRun + kDay));
    EXPECT_TRUE(lost[1].event.reason.isEmpty());
    EXPECT_EQ(lost[2].event.change, ChangeKind::Overdue) << "the deadline lapsed in this run";

    // Three blocked checks in a row: reported once, the state stays found.
    const QList<RunEvent> third = reader.eventsOfRun(runIds[3]).value;
    ASSERT_EQ(third.size(), 2);
    EXPECT_EQ(third[0].event.change, ChangeKind::Restored);
    EXPECT_EQ(third[1].identity, walled);
    EXPECT_EQ(third[1].event.change, ChangeKind::Blocked);
    EXPECT_EQ(third[1].event.previous, ConfirmedState::Found);
    EXPECT_EQ(third[1].event.state, ConfirmedState::Found);
    EXPECT_EQ(third[1].event.since, historyTime(kFirstRun + kDay));
    EXPECT_EQ(third[1].event.reason, blocked);

    const QList<RunEvent> fourth = reader.eventsOfRun(runIds[4]).value;
    ASSERT_EQ(fourth.size(), 1) << "a fourth blocked check reports nothing";
    EXPECT_EQ(fourth[0].event.change, ChangeKind::ReciprocalRestored);
    EXPECT_EQ(fourth[0].event.state, ConfirmedState::Hidden);

    const QList<RecordSummary> summaries = reader.summaries({kPartner, walled}).value;
    ASSERT_EQ(summaries.size(), 2);
    const RecordSummary& partner = summaries[0];
    EXPECT_EQ(partner.lastSignals, (QStringList{u"header-nofollow"_s, u"rel-sponsored"_s}));
    EXPECT_EQ(partner.lastReciprocal, CheckStatus::Hidden);
    EXPECT_FALSE(partner.lastOverdue);
    EXPECT_EQ(partner.reciprocalState, ConfirmedState::Hidden);
    EXPECT_EQ(partner.reciprocalSince, historyTime(kFirstRun + 4 * kDay));
    const RecordSummary& wall = summaries[1];
    EXPECT_EQ(wall.state, ConfirmedState::Found);
    EXPECT_EQ(wall.since, historyTime(kFirstRun));
    EXPECT_EQ(wall.lastStatus, CheckStatus::FetchFailed);
    EXPECT_EQ(wall.lastReason, blocked);
    EXPECT_TRUE(wall.lastSignals.isEmpty());
    EXPECT_EQ(wall.reciprocalState, ConfirmedState::None);

    // Every result keeps its own facts.
    EXPECT_EQ(queryNumber(path,
                          "SELECT run FROM results WHERE signals = 'meta-noindex,rel-ugc' "
                          "AND reciprocal = 1 AND overdue = 0"),
              runIds[0]);
    EXPECT_EQ(queryNumber(path, "SELECT run FROM results WHERE overdue = 1"), runIds[2]);
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM results WHERE reciprocal = 4"), 1);

    // One record's history holds every kind, newest first.
    const QList<HistoryEvent> events = reader.recordHistory(kPartner).value.events;
    QStringList changes;
    for (const HistoryEvent& event : events) {
        changes << changeName(event.change).toString();
    }
    EXPECT_EQ(changes, (QStringList{u"reciprocal-restored"_s, u"restored"_s, u"overdue"_s,
                                    u"reciprocal-lost"_s, u"lost"_s}));
}

// A lapsed deadline is news in the run that first finds it, not in every run
// after; it is news again only after the link was there in between. A
// record's first check is no news of its deadline.
TEST(History, OverdueIsToldOncePerLapse) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const RecordIdentity late{u"http://late.example/"_s, kPartner.link};
    struct Run {
        CheckStatus status;
        bool overdue;
        bool told;
    };
    using St = CheckStatus;
    const Run runs[] = {
        {St::Missing, true, false},  // first check
        {St::Found, false, false},      {St::Missing, true, true}, {St::Missing, true, false},
        {St::FetchFailed, true, false}, {St::Found, false, false}, {St::Missing, true, true},
    };
    for (int i = 0; i < int(std::size(runs)); ++i) {
        SCOPED_TRACE(i);
        const qint64 start = kFirstRun + i * kDay;
        HistoryEntry entry = historyEntry(late, runs[i].status, start + 5);
        entry.overdue = runs[i].overdue;
        // A deadline that lapsed after the record's first check.
        entry.deadlineEndsAt = runs[i].overdue ? kFirstRun + kDay : 0;
        const HistoryRunOutcome outcome = recordRun(path, start, {entry});
        ASSERT_EQ(outcome.written, 1) << outcome.message.toStdString();
        QList<RunEvent> told;
        for (const RunEvent& event : HistoryReader(path).eventsOfRun(outcome.runId).value) {
            if (event.event.change == ChangeKind::Overdue) {
                told += event;
            }
        }
        ASSERT_EQ(told.size(), runs[i].told ? 1 : 0);
        if (runs[i].told) {
            const HistoryEvent& event = told[0].event;
            EXPECT_EQ(event.since, historyTime(start));
            EXPECT_EQ(event.previous, event.state) << "a deadline moves no state";
            EXPECT_EQ(event.state, ConfirmedState::Found) << "one Missing check confirms nothing";
        }
    }
}

// What a check learnt of the link is kept with it; a new text of a found link
// is a change, and a link that only scripts write holds the state found
// through runs that did not render the page.
TEST(History, LinkFactsAnchorChangesAndRenderedFinds) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const RecordIdentity scripted{u"http://scripted.example/"_s, kPartner.link};
    using St = CheckStatus;

    struct Run {
        St partner;
        QString anchor;
        St scripted;
        int rendered;  // -1 not rendered, 0 the link not there either, 1 there
    };
    const Run runs[] = {
        {St::Found, u"окна"_s, St::Missing, 1},
        {St::Hidden, u"окна"_s, St::Missing, -1},
        {St::Found, u"купить окна"_s, St::Missing, -1},
        {St::Found, u"купить окна"_s, St::Missing, 0},
        {St::Found, u"купить окна"_s, St::Missing, 0},
    };
    std::vector<qint64> runIds;
    std::vector<RecordSummary> scriptedAfter;
    for (int i = 0; i < int(std::size(runs)); ++i) {
        const qint64 start = kFirstRun + i * kDay;
        HistoryEntry partner = historyEntry(kPartner, runs[i].partner, start + 5);
        partner.anchor = runs[i].anchor;
        partner.canonical = u"http://partner.example/"_s;
        partner.robotsAgent = u"Googlebot"_s;
        partner.pageSignals = CanonicalElsewhere | RobotsDisallow;
        partner.external = 40 + i;
        HistoryEntry script = historyEntry(scripted, runs[i].scripted, start + 6);
        script.nearLink = u"https://www.mysite.example/"_s;
        script.pageSignals = OtherLinkToYou | (runs[i].rendered == 1 ? RenderedFound : 0);
        script.rendered = runs[i].rendered >= 0;
        const HistoryRunOutcome outcome = recordRun(path, start, {partner, script});
        ASSERT_EQ(outcome.written, 2) << outcome.message.toStdString();
        runIds.push_back(outcome.runId);
        scriptedAfter.push_back(HistoryReader(path).summaries({scripted}).value.value(0));
    }

    HistoryReader reader(path);
    const QList<RunEvent> third = reader.eventsOfRun(runIds[2]).value;
    ASSERT_EQ(third.size(), 2);
    EXPECT_EQ(third[0].event.change, ChangeKind::Indexable);
    EXPECT_EQ(third[1].event.change, ChangeKind::AnchorChanged);
    EXPECT_EQ(third[1].event.previousAnchor, u"окна"_s);
    EXPECT_EQ(third[1].event.anchor, u"купить окна"_s);
    EXPECT_EQ(third[1].event.state, ConfirmedState::Found);
    EXPECT_TRUE(reader.eventsOfRun(runIds[1]).value.size() == 1) << "hidden, the same text";
    EXPECT_TRUE(reader.eventsOfRun(runIds[3]).value.isEmpty());

    // Found only rendered, then unrendered runs that are no evidence, then two
    // rendered misses: one lost, in the last run.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(scriptedAfter[size_t(i)].state, ConfirmedState::Found) << i;
        EXPECT_TRUE(scriptedAfter[size_t(i)].renderedOnly) << i;
    }
    EXPECT_EQ(scriptedAfter[3].state, ConfirmedState::Found);
    EXPECT_FALSE(scriptedAfter[3].renderedOnly);
    const QList<RunEvent> last = reader.eventsOfRun(runIds[4]).value;
    ASSERT_EQ(last.size(), 1);
    EXPECT_EQ(last[0].identity, scripted);
    EXPECT_EQ(last[0].event.change, ChangeKind::Lost);
    EXPECT_EQ(last[0].event.since, historyTime(kFirstRun + 3 * kDay));
    EXPECT_EQ(scriptedAfter[4].lastNearLink, u"https://www.mysite.example/"_s);
    EXPECT_EQ(scriptedAfter[4].lastExternal, -1) << "no count was given";

    const RecordHistory partner = reader.recordHistory(kPartner).value;
    EXPECT_EQ(partner.summary.lastAnchor, u"купить окна"_s);
    EXPECT_EQ(partner.summary.lastCanonical, u"http://partner.example/"_s);
    EXPECT_EQ(partner.summary.lastRobotsAgent, u"Googlebot"_s);
    EXPECT_EQ(partner.summary.lastExternal, 44);
    ASSERT_EQ(partner.checks.size(), 5);
    EXPECT_EQ(partner.checks[4].anchor, u"окна"_s);
    EXPECT_EQ(partner.checks[4].external, 40);
    EXPECT_EQ(partner.events.first().change, ChangeKind::AnchorChanged);
    const QList<PastCheck> scriptChecks = reader.recordHistory(scripted).value.checks;
    ASSERT_EQ(scriptChecks.size(), 5);
    EXPECT_TRUE(scriptChecks[4].rendered);
    EXPECT_FALSE(scriptChecks[3].rendered);
}

TEST(History, NoFileYetAnswersEmptyAndCreatesNothing) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    HistoryReader reader(path);
    EXPECT_EQ(reader.outcome().status, HistoryOpenStatus::Absent);
    EXPECT_TRUE(reader.outcome().message.isEmpty());
    const Outcome<QList<RecordSummary>> summaries = reader.summaries({kPartner});
    EXPECT_TRUE(summaries.ok());
    ASSERT_EQ(summaries.value.size(), 1);
    EXPECT_EQ(summaries.value[0].lastStatus, CheckStatus::None);
    EXPECT_TRUE(reader.recordHistory(kPartner).ok());
    EXPECT_FALSE(QFileInfo::exists(path));
}

// More runs than are kept: the last results stay, the streaks and the count
// of checks stay whole.
TEST(History, KeepsTheLastRunsResultsAndEveryStreak) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const RecordIdentity steady{u"http://steady.example/"_s, kPartner.link};
    const int runs = kKeptRunsPerRecord + 30;
    // The flapping record changes its result every ten runs: 13 streaks.
    for (int i = 0; i < runs; ++i) {
        const qint64 start = kFirstRun + i * kDay;
        const bool up = (i / 10) % 2 == 0;
        const HistoryRunOutcome outcome =
            recordRun(path, start,
                      {historyEntry(kPartner, up ? CheckStatus::Found : CheckStatus::FetchFailed,
                                    start + 1, up ? QString() : u"http 500"_s),
                       historyEntry(steady, CheckStatus::Found, start + 2)});
        ASSERT_EQ(outcome.written, 2) << "run " << i << ": " << outcome.message.toStdString();
    }

    const char* results =
        "SELECT count(*) FROM results JOIN records ON records.id = results.record "
        "WHERE partner_url = 'http://partner.example/links.html'";
    EXPECT_EQ(queryNumber(path, results), kKeptRunsPerRecord);
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM results"), 2 * kKeptRunsPerRecord);
    EXPECT_EQ(queryNumber(path,
                          "SELECT min(run) FROM results JOIN records ON records.id = "
                          "results.record WHERE partner_url = 'http://steady.example/'"),
              queryNumber(path, "SELECT max(id) FROM runs") - kKeptRunsPerRecord + 1)
        << "the oldest results go first";
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM streaks"), 13 + 1);
    EXPECT_EQ(queryNumber(path, "SELECT sum(checks) FROM streaks"), 2 * runs);
    EXPECT_EQ(queryNumber(path, "SELECT min(first_time) FROM streaks"), kFirstRun + 1);

    HistoryReader reader(path);
    const QList<RecordSummary> summaries = reader.summaries({kPartner, steady}).value;
    ASSERT_EQ(summaries.size(), 2);
    EXPECT_EQ(summaries[0].checks, runs);
    EXPECT_EQ(summaries[1].checks, runs);
    // Down (at the third failure of each failing ten) and up, six times each.
    EXPECT_EQ(reader.recordHistory(kPartner).value.events.size(), 12);
}

// The window and a cron job may write the same history at the same time:
// both runs' results are kept, and neither sees "database is locked".
TEST(History, TwoWritersAtOnceFromTwoProcessesAndTwoThreads) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    constexpr int kRecords = 1500;
    // Every writer records the same identities, so they contend for the
    // same rows.
    std::vector<HistoryEntry> entries;
    for (int i = 0; i < kRecords; ++i) {
        entries.push_back(historyEntry({u"http://p%1.example/"_s.arg(i), kPartner.link},
                                       i % 3 ? CheckStatus::Found : CheckStatus::Missing,
                                       kFirstRun + i));
    }
    // Small batches and no delay: the writers take turns at the lock
    // hundreds of times.
    HistoryRecorderOptions options;
    options.batchSize = 20;
    options.batchDelay = 0ms;
    const auto write = [&](qint64 start) {
        HistoryRecorder recorder(path, historyTime(start), options);
        for (const HistoryEntry& entry : entries) {
            recorder.add(entry);
            if (entry.checkedAt.toSecsSinceEpoch() % 50 == 0) {
                std::this_thread::yield();
            }
        }
        return recorder.finish(60s);
    };

#ifdef Q_OS_WIN
    // Windows locks a file for a handle, not for a process: a third
    // connection on a thread of its own contends as another process would.
    HistoryRunOutcome third;
    std::thread child([&] { third = write(kFirstRun + 3); });
#else
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const HistoryRunOutcome outcome = write(kFirstRun + 3);
        const bool ok = outcome.written == kRecords && outcome.message.isEmpty();
        if (!ok) {
            fprintf(stderr, "child: %lld written; %s\n", outcome.written,
                    qPrintable(outcome.message));
        }
        _exit(ok ? 0 : 1);
    }
#endif
    HistoryRunOutcome first;
    HistoryRunOutcome second;
    std::thread other([&] { first = write(kFirstRun + 1); });
    second = write(kFirstRun + 2);
    other.join();
#ifdef Q_OS_WIN
    child.join();
    for (const HistoryRunOutcome* outcome : {&first, &second, &third}) {
#else
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process failed";
    for (const HistoryRunOutcome* outcome : {&first, &second}) {
#endif
        EXPECT_TRUE(outcome->message.isEmpty()) << outcome->message.toStdString();
        EXPECT_EQ(outcome->written, kRecords);
    }
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM runs"), 3);
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM results"), 3 * kRecords);
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM records WHERE checks = 3"), kRecords);
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM records WHERE state = 'missing'"),
              kRecords / 3)
        << "three Missing checks from three runs confirm missing";
}

// finish() never waits much beyond its bound, even when another program
// holds the file's write lock for longer than the busy timeout allows.
TEST(History, FinishWithinItsBoundWhileTheFileIsLocked) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    ASSERT_EQ(
        recordRun(path, kFirstRun, {historyEntry(kPartner, CheckStatus::Found, kFirstRun)}).written,
        1);

    SqliteDatabase holder;
    ASSERT_EQ(holder.open(path, SQLITE_OPEN_READWRITE, {}), SQLITE_OK);
    ASSERT_EQ(holder.exec("BEGIN IMMEDIATE"), SQLITE_OK);

    HistoryRecorderOptions options;
    options.busyTimeout = 10min;  // far beyond the test's timeout: only abandoning ends it
    for (const auto bound : {0ms, 200ms}) {
        SCOPED_TRACE(bound.count());
        HistoryRecorder recorder(path, historyTime(kFirstRun + kDay), options);
        for (int i = 0; i < 1000; ++i) {
            recorder.add(historyEntry({u"http://p%1.example/"_s.arg(i), kPartner.link},
                                      CheckStatus::Found, kFirstRun + kDay));
        }
        const HistoryRunOutcome outcome = recorder.finish(bound);
        EXPECT_EQ(outcome.written, 0);
        EXPECT_EQ(outcome.dropped, 1000);
        // Cut off while opening or while waiting to write: either way it says so.
        EXPECT_TRUE(outcome.message.startsWith(u"history: "_s));
        EXPECT_TRUE(outcome.message.endsWith(u"not recorded"_s) ||
                    outcome.message.endsWith(u"not recorded (time ran out)"_s))
            << outcome.message.toStdString();
    }
    holder.exec("ROLLBACK");
    holder.close();
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM results"), 1);

    // Without a lock, a recorder dropped at once neither hangs nor loses count.
    HistoryRecorder recorder(path, historyTime(kFirstRun + 2 * kDay), options);
    for (int i = 0; i < 5000; ++i) {
        recorder.add(historyEntry({u"http://p%1.example/"_s.arg(i), kPartner.link},
                                  CheckStatus::Found, kFirstRun + 2 * kDay));
    }
    const HistoryRunOutcome outcome = recorder.finish(0ms);
    EXPECT_EQ(outcome.written + outcome.dropped, 5000);
}

}  // namespace
}  // namespace quorvel
