// The check history: what adding a check costs the thread that reports
// finished records, how fast the writer thread stores checks, what a whole
// run costs from opening to closing, and the file's size after 250 runs of
// 2000 records (with the cost of opening and reading a file that size).
// Every check carries the facts beyond its verdict (page signals, the
// user's own page, the overdue flag) in realistic shares.
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <span>
#include <vector>

#include "history/history_file.h"
#include "history/history_reader.h"
#include "history/history_recorder.h"
#include "history/history_store.h"

namespace {

using namespace quorvel;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

constexpr int kRecords = 2000;
constexpr qint64 kFirstRun = 1'700'000'000;
constexpr qint64 kDay = 86'400;

// A partner list as webmasters keep it: most links stay put, a few pages
// hide or lose the link, a few servers fail for a while or sit behind a bot
// wall. Most records name the user's own page, most of them one shared
// page that links back; some partners carry sponsored or ugc links or
// robots rules; some placement deadlines have passed.
struct Partner {
    RecordIdentity identity;
    CheckStatus usual;
    QString usualReason;
    PageSignals signals = 0;
    CheckStatus reciprocal = CheckStatus::None;  // None: no own page in the record
    bool deadlinePassed = false;
};

PageSignals usualSignals(int roll) {
    if (roll < 70) {
        return 0;
    }
    if (roll < 82) {
        return RelSponsored;
    }
    if (roll < 86) {
        return RelUgc;
    }
    if (roll < 91) {
        return MetaNoindex;
    }
    if (roll < 94) {
        return MetaNoindex | MetaNofollow;
    }
    if (roll < 97) {
        return HeaderNoindex | HeaderNofollow;
    }
    return MetaNofollow | RelSponsored;
}

std::vector<Partner> partnerList() {
    static const QString kFailures[] = {
        u"dns; dns"_s,
        u"timeout; timeout"_s,
        u"http 404; http 404"_s,
        u"http 503; connect"_s,
        u"tls certificate has expired; tls certificate has expired"_s,
        u"connect; connect"_s,
        u"blocked challenge; blocked challenge"_s,
        u"http 403; blocked challenge"_s,
    };
    QRandomGenerator random(1);
    std::vector<Partner> partners;
    for (int i = 0; i < kRecords; ++i) {
        const QString url = u"http://www.partner-site-%1.ru/%2/links%3.html"_s.arg(i)
                                .arg(i % 3 ? u"catalog"_s : u"friends/partners"_s)
                                .arg(i % 7);
        const int kind = int(random.bounded(100));
        Partner p{{url, u"http://www.my-shop.example.ru/"_s}, CheckStatus::Found, QString()};
        if (kind >= 97) {
            p.usual = CheckStatus::FetchFailed;
            p.usualReason = kFailures[random.bounded(int(std::size(kFailures)))];
        } else if (kind >= 93) {
            p.usual = CheckStatus::Missing;
        } else if (kind >= 88) {
            p.usual = CheckStatus::Hidden;
            p.usualReason = kind % 2 ? u"nofollow"_s : u"noindex"_s;
        }
        p.signals = usualSignals(int(random.bounded(100)));
        const int own = int(random.bounded(100));
        p.reciprocal = own >= 85   ? CheckStatus::None
                       : own >= 80 ? CheckStatus::Missing
                       : own >= 77 ? CheckStatus::Hidden
                                   : CheckStatus::Found;
        p.deadlinePassed = random.bounded(100) < 30;
        partners.push_back(std::move(p));
    }
    return partners;
}

// The checks of run `run`: the usual result, and now and then a page that
// fails, is rate-limited or loses the link for a run, or a run in which the
// user's own page did not load.
std::vector<HistoryEntry> runEntries(const std::vector<Partner>& partners, int run) {
    QRandomGenerator random(quint32(run) + 100);
    std::vector<HistoryEntry> entries;
    entries.reserve(partners.size());
    const qint64 start = kFirstRun + run * kDay;
    const bool ownPageFailed = random.bounded(100) < 2;
    for (size_t i = 0; i < partners.size(); ++i) {
        const Partner& partner = partners[i];
        RecordOutcome outcome;
        outcome.status = partner.usual;
        QString reason = partner.usualReason;
        const int roll = int(random.bounded(1000));
        if (roll < 15) {
            outcome.status = CheckStatus::FetchFailed;
            reason = u"timeout; connect"_s;
        } else if (roll < 20) {
            outcome.status = CheckStatus::FetchFailed;
            reason = u"blocked http 429 retry-after 30; blocked http 429 retry-after 30"_s;
        } else if (roll < 30) {
            outcome.status = CheckStatus::Missing;
            reason.clear();
        }
        outcome.count = outcome.status == CheckStatus::FetchFailed ? 0 : int(20 + i % 60);
        outcome.overLimit = outcome.count > 70;
        const bool there =
            outcome.status == CheckStatus::Found || outcome.status == CheckStatus::Hidden;
        PageSignals signals = 0;
        if (outcome.status != CheckStatus::FetchFailed) {
            // The rel values belong to the anchor that decided the verdict.
            signals =
                there ? partner.signals : PageSignals(partner.signals & ~(RelSponsored | RelUgc));
        }
        CheckStatus reciprocal = partner.reciprocal;
        if (ownPageFailed && reciprocal != CheckStatus::None) {
            reciprocal = CheckStatus::FetchFailed;
        }
        entries.push_back({partner.identity,
                           QDateTime::fromSecsSinceEpoch(start + qint64(i) / 20, Qt::UTC), outcome,
                           reason, signals, reciprocal, partner.deadlinePassed && !there});
    }
    return entries;
}

HistoryRunOutcome recordRun(const QString& path, int run,
                            const std::vector<HistoryEntry>& entries) {
    HistoryRecorder recorder(path, QDateTime::fromSecsSinceEpoch(kFirstRun + run * kDay, Qt::UTC));
    for (const HistoryEntry& entry : entries) {
        recorder.add(entry);
    }
    return recorder.finish(600s);
}

// The cost of add() on the caller's thread, while the writer stores: one
// run of 200000 distinct records.
void BM_AddOnCallerThread(benchmark::State& state) {
    QTemporaryDir dir;
    std::vector<HistoryEntry> entries;
    const std::vector<HistoryEntry> run = runEntries(partnerList(), 0);
    for (int i = 0; i < 100; ++i) {
        for (HistoryEntry entry : run) {
            entry.identity.partnerUrl += QString::number(i);
            entries.push_back(std::move(entry));
        }
    }
    HistoryRecorder recorder(dir.filePath(u"quorvel-history.sqlite"_s),
                             QDateTime::currentDateTimeUtc());
    size_t next = 0;
    for (auto _ : state) {
        recorder.add(entries[next++]);
    }
    state.SetItemsProcessed(state.iterations());
    // Outside the timed loop: the writer catches up.
    const auto finishStart = std::chrono::steady_clock::now();
    const HistoryRunOutcome outcome = recorder.finish(600s);
    state.counters["written"] = double(outcome.written);
    state.counters["finish_s"] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - finishStart).count();
}
BENCHMARK(BM_AddOnCallerThread)->Unit(benchmark::kNanosecond)->Iterations(200000);

// The writer's own work: runs of 2000 checks in transactions of 500 (the
// recorder's batch), each check with its state, streak and pruning, on a
// history that already holds the partners.
void BM_WriterThroughput(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"quorvel-history.sqlite"_s);
    const std::vector<Partner> partners = partnerList();
    recordRun(path, 0, runEntries(partners, 0));
    OpenedHistory opened = openHistory(path, OpenPurpose::Run, {});
    HistoryStore store(opened.db);
    int run = 1;
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<HistoryEntry> entries = runEntries(partners, run);
        HistoryStore::WriteStatus status;
        const QDateTime started = QDateTime::fromSecsSinceEpoch(kFirstRun + run * kDay, Qt::UTC);
        const qint64 runId =
            store.beginRun(started, RunSource::CommandLine, false, QString(), &status);
        state.ResumeTiming();
        for (size_t at = 0; at < entries.size(); at += 500) {
            store.write(std::span(entries).subspan(at, std::min<size_t>(500, entries.size() - at)),
                        runId, started.toSecsSinceEpoch());
        }
        ++run;
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_WriterThroughput)->Unit(benchmark::kMillisecond)->Iterations(150);

// One run of 2000 checks from start to finish, as a program sees it: open
// with the integrity check, register the run, write, close. Iteration k
// records run k into the same file.
void BM_RunStartToFinish(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"quorvel-history.sqlite"_s);
    const std::vector<Partner> partners = partnerList();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<HistoryEntry> entries = runEntries(partners, run);
        state.ResumeTiming();
        recordRun(path, run++, entries);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_RunStartToFinish)->Unit(benchmark::kMillisecond)->Iterations(30)->UseRealTime();

// 250 runs of 2000 records into one file; reports the file's size, then
// what opening that file for a run and reading it cost.
void BM_SizeAfter250Runs(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"quorvel-history.sqlite"_s);
    const std::vector<Partner> partners = partnerList();
    constexpr int kRuns = 250;
    for (auto _ : state) {
        for (int run = 0; run < kRuns; ++run) {
            state.PauseTiming();
            const std::vector<HistoryEntry> entries = runEntries(partners, run);
            state.ResumeTiming();
            recordRun(path, run, entries);
        }
    }
    state.counters["file_MiB"] = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
    state.counters["bytes_per_record"] = double(QFileInfo(path).size()) / kRecords;
    state.SetItemsProcessed(qint64(kRuns) * kRecords);

    // Opening the grown file for an empty run: the integrity check reads it all.
    const auto openStart = std::chrono::steady_clock::now();
    recordRun(path, kRuns, {});
    state.counters["open_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - openStart)
            .count();

    // The command line's history of the whole list.
    QList<RecordIdentity> identities;
    for (const Partner& p : partners) {
        identities.append(p.identity);
    }
    const auto readStart = std::chrono::steady_clock::now();
    HistoryReader reader(path);
    benchmark::DoNotOptimize(reader.summaries(identities).value.size());
    state.counters["summaries_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - readStart)
            .count();
}
BENCHMARK(BM_SizeAfter250Runs)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
