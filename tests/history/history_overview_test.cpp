#include <gtest/gtest.h>

#include "history/history_reader.h"
#include "history/history_support.h"
#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::historyEntry;
using test::recordRun;

constexpr qint64 kDay = 86'400;
constexpr qint64 kFirstRun = 1'700'000'000;
const QString kLink = u"http://mysite.example/"_s;

// A list's overview counts this list's records only, each identity once,
// in the list's last runs; a record's facts come with it.
TEST(HistoryOverview, RecordsAndTheListsLastRuns) {
    test::TempDir dir;
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const RecordIdentity lost{u"http://lost.example/"_s, kLink};
    const RecordIdentity walled{u"http://walled.example/"_s, kLink};
    const RecordIdentity never{u"http://never.example/"_s, kLink};
    const RecordIdentity other{u"http://other-list.example/"_s, kLink};  // not in the list

    struct Run {
        CheckStatus lost;
        CheckStatus walled;
        QString walledReason;
    };
    const Run runs[] = {
        {CheckStatus::Found, CheckStatus::FetchFailed, u"blocked challenge"_s},
        {CheckStatus::Found, CheckStatus::FetchFailed, u"blocked challenge"_s},
        {CheckStatus::Missing, CheckStatus::FetchFailed, u"blocked challenge"_s},  // blocked
        {CheckStatus::Missing, CheckStatus::FetchFailed, u"dns"_s},  // lost; still no page
    };
    for (int i = 0; i < 4; ++i) {
        const qint64 start = kFirstRun + i * kDay;
        HistoryEntry last = historyEntry(lost, runs[i].lost, start + 5);
        last.outcome.overLimit = i == 3;
        ASSERT_EQ(
            recordRun(path, start,
                      {last, historyEntry(walled, runs[i].walled, start + 6, runs[i].walledReason),
                       historyEntry(other, CheckStatus::Found, start + 7)},
                      {.source = i == 0 ? RunSource::CommandLine : RunSource::Window})
                .written,
            3);
    }
    // Another list's run, later than all of this list's.
    ASSERT_EQ(recordRun(path, kFirstRun + 4 * kDay,
                        {historyEntry(other, CheckStatus::Missing, kFirstRun + 4 * kDay)})
                  .written,
              1);

    HistoryReader reader(path);
    const Outcome<ListOverview> overview = reader.overview({lost, walled, never, lost}, 3);
    ASSERT_TRUE(overview.ok()) << overview.error.toStdString();
    const QList<RunTally>& strip = overview.value.runs;
    ASSERT_EQ(strip.size(), 3) << "the last three runs of this list";
    EXPECT_EQ(strip[0].startedAt, historyTime(kFirstRun + kDay)) << "oldest first";
    EXPECT_EQ(strip[0].source, RunSource::Window);
    EXPECT_EQ(strip[0].byStatus, (std::array<int, 4>{1, 0, 0, 1}));
    EXPECT_EQ(strip[1].byStatus, (std::array<int, 4>{0, 0, 1, 1}));
    EXPECT_EQ(strip[2].byStatus, (std::array<int, 4>{0, 0, 1, 1}))
        << "the other list's record and the copy of a record count nothing";
    EXPECT_EQ(strip[2].startedAt, historyTime(kFirstRun + 3 * kDay));

    const QList<RecordOverview>& records = overview.value.records;
    ASSERT_EQ(records.size(), 4);
    EXPECT_EQ(records[0].summary.state, ConfirmedState::Missing);
    EXPECT_EQ(records[0].summary.firstChecked, historyTime(kFirstRun + 5));
    EXPECT_EQ(records[0].lastCount, 12);
    EXPECT_TRUE(records[0].lastOverLimit);
    EXPECT_TRUE(records[0].changedInLatestRun) << "lost in the latest run";
    EXPECT_FALSE(records[0].blockedSince.isValid());
    EXPECT_EQ(records[1].blockedSince, historyTime(kFirstRun))
        << "a failed load after the wall tells nothing new";
    EXPECT_FALSE(records[1].changedInLatestRun) << "blocked one run earlier";
    EXPECT_EQ(records[2].summary.checks, 0);
    EXPECT_FALSE(records[2].summary.firstChecked.isValid());
    EXPECT_EQ(records[3].summary.checks, records[0].summary.checks);
    EXPECT_TRUE(records[3].changedInLatestRun);

    // A page that loads ends the wall.
    const qint64 start = kFirstRun + 5 * kDay;
    ASSERT_EQ(
        recordRun(path, start, {historyEntry(walled, CheckStatus::Missing, start + 1)}).written, 1);
    const Outcome<ListOverview> after = HistoryReader(path).overview({lost, walled}, 60);
    ASSERT_TRUE(after.ok());
    EXPECT_FALSE(after.value.records[1].blockedSince.isValid());
    EXPECT_FALSE(after.value.records[0].changedInLatestRun) << "not in the latest run";
    EXPECT_EQ(after.value.runs.size(), 5);
    EXPECT_EQ(after.value.runs.last().byStatus, (std::array<int, 4>{0, 0, 1, 0}));
}

// Without a history every record is one never checked, and there are no runs.
TEST(HistoryOverview, NoHistoryYet) {
    test::TempDir dir;
    HistoryReader reader(dir.path(QString::fromUtf16(kHistoryFileName)));
    const Outcome<ListOverview> overview = reader.overview({{u"http://a.example/"_s, kLink}}, 60);
    ASSERT_TRUE(overview.ok());
    ASSERT_EQ(overview.value.records.size(), 1);
    EXPECT_EQ(overview.value.records[0].summary.checks, 0);
    EXPECT_TRUE(overview.value.runs.isEmpty());
}

}  // namespace
}  // namespace quorvel
