// Figures of the overview of every partner, printed (not Google Benchmark:
// each is one event), with a data.qvp of 100000 records and a history of
// RUNS runs of all of them (10 unless given):
//  - the first opening: from the button to a table filled from the history;
//  - a refresh after the list changed (a record added), and a sort by a
//    column of words and a search: how long each takes to show, and the
//    longest time the UI thread was blocked meanwhile (a 1 ms timer measures
//    the gaps between its ticks).
// Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_overview [RUNS]
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include "first_paint.h"
#include "history/history_recorder.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "ui/form1.h"
#include "ui/overview_window.h"

using namespace quorvel;
using namespace Qt::StringLiterals;

namespace {

constexpr int kRecords = 100000;
constexpr qint64 kFirstRun = 1'700'000'000;

QString partnerUrl(int i) {
    return u"http://partner%1.example.com/links.html"_s.arg(i);
}

QString record(int i) {
    return BuildRecordLine(partnerUrl(i), u"123456789"_s, u"partner@example.com"_s,
                           QDate(2010, 10, 21), u"http://www.mysite.example.ru/friends.html"_s,
                           u"25"_s, u"http://www.mysite.example.ru/"_s, u"обмен ссылками"_s);
}

// A run where most links are there and a few are not, each record's result
// turning now and then.
void recordRuns(const QString& path, int runs) {
    for (int run = 0; run < runs; ++run) {
        const qint64 start = kFirstRun + run * 86'400;
        HistoryRecorder recorder(path, QDateTime::fromSecsSinceEpoch(start, Qt::UTC),
                                 {.batchSize = 5000, .source = RunSource::CommandLine});
        for (int i = 0; i < kRecords; ++i) {
            const int roll = (i * 7 + run * 13) % 100;
            RecordOutcome outcome;
            outcome.status = roll < 80   ? CheckStatus::Found
                             : roll < 88 ? CheckStatus::Hidden
                             : roll < 95 ? CheckStatus::Missing
                                         : CheckStatus::FetchFailed;
            outcome.count = outcome.status == CheckStatus::FetchFailed ? 0 : 12;
            recorder.add({{partnerUrl(i), u"http://www.mysite.example.ru/"_s},
                          QDateTime::fromSecsSinceEpoch(start + 60, Qt::UTC),
                          outcome,
                          outcome.status == CheckStatus::FetchFailed ? u"http 503"_s : QString(),
                          roll == 3 ? PageSignals(RelSponsored) : PageSignals(0),
                          CheckStatus::Found,
                          false});
        }
        recorder.finish(std::chrono::minutes(10));
    }
}

// The processor time this thread has used, in microseconds: unlike the
// time on the clock, it leaves out the time other programs took the
// processor from it (a busy machine otherwise shows their work as ours).
qint64 microseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}
qint64 threadMicroseconds() {
    return microseconds(CLOCK_THREAD_CPUTIME_ID);
}

// Runs `action`, then the event loop until `done`; prints how long that
// took, how long the action itself held the UI thread, and the longest gap
// between ticks of a 1 ms timer after it: on the clock, and in the UI
// thread's own processor time.
void measure(const char* what, const std::function<void()>& action,
             const std::function<bool()>& done) {
    qint64 longest = 0;
    qint64 longestWork = 0;
    QElapsedTimer tick;
    qint64 lastWork = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longest = std::max(longest, tick.restart());
        const qint64 work = threadMicroseconds();
        longestWork = std::max(longestWork, work - lastWork);
        lastWork = work;
    });
    QElapsedTimer took;
    took.start();
    const qint64 processStart = microseconds(CLOCK_PROCESS_CPUTIME_ID);
    const qint64 commandStart = threadMicroseconds();
    action();
    const qint64 command = took.elapsed();
    const qint64 commandWork = threadMicroseconds() - commandStart;
    tick.start();
    lastWork = threadMicroseconds();
    timer.start();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    timer.stop();
    // Less the timer's own ticks, about 1 ms of the UI thread's time per 100.
    const qint64 processWork = microseconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
    std::printf(
        "%s: %lld ms, %.0f ms of processor time in all threads (the command itself %lld ms, "
        "%.1f ms of processor time); after it, the longest UI-thread block %lld ms on the clock, "
        "%.1f ms of its own processor time\n",
        what, took.elapsed(), double(processWork) / 1000, command, double(commandWork) / 1000,
        longest, double(longestWork) / 1000);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir dir;
    QElapsedTimer preparation;
    preparation.start();
    {
        QStringList records;
        for (int i = 0; i < kRecords; ++i) {
            records += record(i);
        }
        if (const Outcome<> written = writeRecordFile(dir.filePath(u"data.qvp"_s), records);
            !written) {
            std::fprintf(stderr, "cannot write the list: %s\n", qPrintable(written.error));
            return 1;
        }
    }
    recordRuns(dir.filePath(QString::fromUtf16(kHistoryFileName)), runs);
    std::printf("prepared %d records and %d runs in %lld ms\n", kRecords, runs,
                preparation.elapsed());

    QApplication app(argc, argv);
    TForm1::setQuitHookForTests([] {});
    auto form = std::make_unique<TForm1>(dir.path());
    bench::showUntilListPainted(*form);
    OverviewWindow* window = nullptr;
    const auto shown = [&] { return window && window->isVisible() && window->upToDate(); };

    measure(
        "first opening of the overview, to a table filled from the history",
        [&] {
            form->OverviewButtonClick();
            window = form->findChild<OverviewWindow*>();
        },
        shown);
    measure(
        "refresh after a record was added", [&] { form->Button2Click(); },
        [&] { return shown() && window->model()->rowCount() == kRecords + 1; });
    measure(
        "refresh after another record was added", [&] { form->Button2Click(); },
        [&] { return shown() && window->model()->rowCount() == kRecords + 2; });
    auto* table = window->findChild<QTableView*>(u"OverviewTable"_s);
    measure(
        "sort by the state's words", [&] { table->sortByColumn(1, Qt::AscendingOrder); }, shown);
    measure(
        "search in every column",
        [&] { window->findChild<QLineEdit*>(u"OverviewSearch"_s)->setText(u"partner4242"_s); },
        shown);
    form->close();
    return 0;
}
