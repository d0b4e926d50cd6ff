#include "history/run_recording.h"

#include <gtest/gtest.h>

#include "history/history_reader.h"
#include "history/history_support.h"
#include "history/sqlite_db.h"
#include "records/record_line.h"
#include "support/printers.h"
#include "support/temp_dir.h"

#include <sqlite3.h>

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::queryNumber;

QString line(const QString& partnerUrl, const QString& link = u"http://me.example/"_s) {
    return BuildRecordLine(partnerUrl, {}, {}, QDate(), {}, {}, link, {});
}

RecordCheck check(int index, const QString& partnerUrl, CheckStatus status,
                  const QString& link = u"http://me.example/"_s) {
    RecordCheck c;
    c.index = index;
    c.outcome.status = status;
    c.partnerUrl = partnerUrl;
    c.link = link;
    return c;
}

// The first record of each identity in the list at the start is the one
// recorded; a record that an edit has moved is still recorded.
TEST(RunRecording, TheFirstOfEachIdentity) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const QString a = u"http://a.example/"_s;
    const QString b = u"http://b.example/"_s;
    RunRecording recording(path, {line(a), line(b), line(a), line(a, u"other"_s), line(b)});
    EXPECT_TRUE(recording.isRecorded(0, {a, u"http://me.example/"_s}));
    EXPECT_FALSE(recording.isRecorded(2, {a, u"http://me.example/"_s}));
    EXPECT_TRUE(recording.isRecorded(3, {a, u"other"_s})) << "another link is another identity";
    EXPECT_FALSE(recording.isRecorded(4, {b, u"http://me.example/"_s}));
    EXPECT_TRUE(recording.isRecorded(7, {u"http://moved.example/"_s, u"x"_s}));

    recording.add(check(2, a, CheckStatus::Missing));  // the copy: not recorded
    recording.add(check(0, a, CheckStatus::Found));
    recording.add(check(3, a, CheckStatus::Found, u"other"_s));
    recording.add(check(1, b, CheckStatus::Found));
    recording.add(check(4, b, CheckStatus::FetchFailed));
    const HistoryRunOutcome outcome = recording.finish(10s);
    EXPECT_EQ(outcome.written, 3);
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM results WHERE status = 1"), 3);

    // Without a history nothing is kept.
    RunRecording none(std::nullopt, {line(a)});
    EXPECT_FALSE(none.keepsHistory());
    none.add(check(0, a, CheckStatus::Found));
    EXPECT_EQ(none.finish(1s).runId, 0);
}

// Overdue is a promise that lapsed while the program watched: the deadline
// has passed, the link is not there, and the deadline is not before the day
// of the record's first check.
TEST(RunRecording, OverdueIsAPromiseThatLapsedAfterTheFirstCheck) {
    const QDate today = QDate::currentDate();
    const QDateTime morning(today.addDays(-10), QTime(9, 0));
    struct Row {
        const char* name;
        QDate deadline;
        CheckStatus status;
        QDateTime firstChecked;
        bool overdue;
    };
    const Row rows[] = {
        {"lapsed after the first check", today.addDays(-3), CheckStatus::Missing, morning, true},
        {"lapsed on the first check's day", today.addDays(-10), CheckStatus::FetchFailed, morning,
         true},
        {"had lapsed before the first check", today.addDays(-11), CheckStatus::Missing, morning,
         false},
        {"no earlier check: this one is the first",
         today.addDays(-3),
         CheckStatus::Missing,
         {},
         false},
        {"the link is there", today.addDays(-3), CheckStatus::Hidden, morning, false},
        {"not passed yet", today, CheckStatus::Missing, morning, false},
        {"no deadline", QDate(), CheckStatus::Missing, morning, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RunRecording::isOverdue(row.deadline, row.status, row.firstChecked), row.overdue);
    }

    // The history keeps the flag by the same rule: a record it sees first in
    // this run had its deadline pass before, one it saw before did not.
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const QString seen = u"http://seen.example/"_s;
    const QString fresh = u"http://fresh.example/"_s;
    ASSERT_EQ(
        test::recordRun(path, morning.toSecsSinceEpoch(),
                        {test::historyEntry({seen, u"http://me.example/"_s}, CheckStatus::Missing,
                                            morning.toSecsSinceEpoch() + 60)})
            .written,
        1);
    RunRecording recording(path, {line(seen), line(fresh)});
    for (const auto& [index, url] : {std::pair{0, seen}, std::pair{1, fresh}}) {
        RecordCheck late = check(index, url, CheckStatus::Missing);
        late.deadline = today.addDays(-3);
        recording.add(late);
    }
    ASSERT_EQ(recording.finish(10s).written, 2);
    const auto summaries = HistoryReader(path).summaries(
        {{seen, u"http://me.example/"_s}, {fresh, u"http://me.example/"_s}});
    ASSERT_TRUE(summaries.ok());
    EXPECT_TRUE(summaries.value.at(0).lastOverdue);
    EXPECT_FALSE(summaries.value.at(1).lastOverdue);
    EXPECT_EQ(summaries.value.at(0).firstChecked, morning.toUTC().addSecs(60));
}

// A check kept back for a second look is replaced by that look, or goes in
// as it was when there is none.
TEST(RunRecording, ChecksKeptBack) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const QString a = u"http://a.example/"_s;
    const QString b = u"http://b.example/"_s;
    RunRecording recording(path, {line(a), line(b)});
    recording.keepBack(check(0, a, CheckStatus::FetchFailed));
    recording.keepBack(check(1, b, CheckStatus::FetchFailed));
    recording.add(check(0, a, CheckStatus::Found));
    recording.addKeptBack();
    EXPECT_EQ(recording.finish(10s).written, 2);
    HistoryReader reader(path);
    const auto summaries =
        reader.summaries({{a, u"http://me.example/"_s}, {b, u"http://me.example/"_s}});
    ASSERT_TRUE(summaries.ok());
    EXPECT_EQ(summaries.value.at(0).lastStatus, CheckStatus::Found);
    EXPECT_EQ(summaries.value.at(1).lastStatus, CheckStatus::FetchFailed);
}

// Runs that end while the file is held are written when it is free, one
// run after the other; a run that cannot get to the file within its bound
// gives up on its own.
TEST(RunRecording, RunsEndingInTheBackgroundKeepTheirOrder) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const QString a = u"http://a.example/"_s;
    {
        RunRecording first(path, {line(a)});
        ASSERT_EQ(first.finish(10s).written, 0) << "the file exists from here on";
    }
    SqliteDatabase holder;
    ASSERT_EQ(holder.open(path, SQLITE_OPEN_READWRITE, {}), SQLITE_OK);
    ASSERT_EQ(holder.exec("BEGIN IMMEDIATE"), SQLITE_OK);

    auto earlier = std::make_unique<RunRecording>(path, RecordStore{line(a)});
    earlier->add(check(0, a, CheckStatus::Found));
    earlier->finishInBackground(60s);
    RunRecording later(path, {line(a)}, std::move(earlier));
    later.add(check(0, a, CheckStatus::Missing));
    later.finishInBackground(60s);

    holder.exec("ROLLBACK");
    holder.close();
    EXPECT_EQ(later.finish(20s).written, 1);
    HistoryReader reader(path);
    const auto summaries = reader.summaries({{a, u"http://me.example/"_s}});
    ASSERT_TRUE(summaries.ok());
    EXPECT_EQ(summaries.value.at(0).checks, 2);
    EXPECT_EQ(summaries.value.at(0).lastStatus, CheckStatus::Missing) << "the later run last";
    EXPECT_TRUE(summaries.value.at(0).lastFound.isValid());

    ASSERT_EQ(holder.open(path, SQLITE_OPEN_READWRITE, {}), SQLITE_OK);
    ASSERT_EQ(holder.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    HistoryRecorderOptions patient;
    patient.busyTimeout = 10min;  // only the bound ends the wait
    RunRecording held(path, {line(a)}, nullptr, patient);
    held.add(check(0, a, CheckStatus::Found));
    held.finishInBackground(200ms);
    const HistoryRunOutcome outcome = held.finish(20s);
    EXPECT_EQ(outcome.written, 0);
    EXPECT_EQ(outcome.dropped, 1);
    holder.exec("ROLLBACK");
}

}  // namespace
}  // namespace quorvel
