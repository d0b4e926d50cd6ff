// The notice of a run over a long list: finding the changed records' index
// and e-mail in the list, building the Russian text, the subject and the
// webhook's JSON, and cutting the text into chat messages. Measured for a
// run that changed 1% and 10% of 100000 records (a bad day: a hosting
// company gone, most of its partners down or without the link).
#include <QStringList>
#include <QTimeZone>

#include <benchmark/benchmark.h>

#include "cli/check_notices.h"
#include "notify/digest.h"
#include "notify/telegram.h"
#include "records/record_line.h"

namespace {

using namespace quorvel;
using namespace Qt::StringLiterals;

constexpr int kRecords = 100'000;
constexpr qint64 kRunStarted = 1'765'430'000;

QString partnerUrl(int i) {
    return u"https://partner-%1.example/links/page-%2.html"_s.arg(i).arg(i % 37);
}

const RecordStore& list() {
    static const RecordStore records = [] {
        QStringList lines;
        lines.reserve(kRecords);
        for (int i = 0; i < kRecords; ++i) {
            lines += BuildRecordLine(
                partnerUrl(i), {}, i % 3 ? u"desk@partner-%1.example"_s.arg(i) : QString(), QDate(),
                {}, u"50"_s, u"https://mysite.example/"_s, u"обмен с %1"_s.arg(i));
        }
        return RecordStore(lines);
    }();
    return records;
}

// Every `every`-th record changed: lost, down, hidden or restored in turn.
DigestInput runInput(int every) {
    DigestInput input;
    input.list = u"data.qvp"_s;
    input.runStarted = QDateTime::fromSecsSinceEpoch(kRunStarted, QTimeZone::utc());
    input.totals = {{CheckStatus::Found, kRecords - kRecords / every},
                    {CheckStatus::Missing, kRecords / every / 2},
                    {CheckStatus::FetchFailed, kRecords / every / 2}};
    constexpr ChangeKind kinds[] = {ChangeKind::Lost, ChangeKind::Down, ChangeKind::Hidden,
                                    ChangeKind::Restored};
    for (int i = 0, n = 0; i < kRecords; i += every, ++n) {
        const ChangeKind kind = kinds[n % 4];
        const QDateTime since = QDateTime::fromSecsSinceEpoch(kRunStarted - n, QTimeZone::utc());
        input.events.append(
            {{partnerUrl(i), u"https://mysite.example/"_s},
             {1, since, kind, ConfirmedState::Found,
              kind == ChangeKind::Down ? ConfirmedState::Down : ConfirmedState::Missing, since,
              kind == ChangeKind::Down ? u"connect"_s : QString()}});
    }
    NoticeQueue queue;
    cli::setRecordLookup(&queue, list());
    input.lookup = queue.lookup;
    return input;
}

void BM_RunNotice(benchmark::State& state) {
    const DigestInput input = runInput(int(state.range(0)));
    qsizetype messages = 0;
    for (auto _ : state) {
        const Notice notice = buildDigest(input);
        const QStringList parts = telegramMessages(notice);
        messages = parts.size();
        benchmark::DoNotOptimize(notice.toJson());
    }
    state.counters["changes"] = double(input.events.size());
    state.counters["chat_messages"] = double(messages);
}
BENCHMARK(BM_RunNotice)->Arg(100)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
