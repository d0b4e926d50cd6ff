// Figures of the window, printed (not Google Benchmark: each is one event):
//  - start-up: from the start of main to the first painted record list,
//    with a data.qvp of 100000 records;
//  - responsiveness: the longest time the UI thread was blocked during a
//    check of 2000 records against a loopback server (a 1 ms timer measures
//    the gaps between its ticks).
// Run offscreen, in a loopback-only namespace:
//   QT_QPA_PLATFORM=offscreen scripts/netns-run build/bench/bench_window
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "first_paint.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "support/raw_server.h"
#include "ui/form1.h"

using namespace quorvel;
using namespace Qt::StringLiterals;

namespace {

QString record(const QString& url) {
    return BuildRecordLine(url, u"123456789"_s, u"partner@example.com"_s, QDate(2010, 10, 21),
                           u"http://www.mysite.example.ru/friends.html"_s, u"25"_s,
                           u"http://www.mysite.example.ru/"_s, u"обмен ссылками"_s);
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    QTemporaryDir dir;
    {
        QStringList records;
        for (int i = 0; i < 100000; ++i) {
            records += record(u"http://partner%1.example.com/links.html"_s.arg(i));
        }
        if (const Outcome<> written = writeRecordFile(dir.filePath(u"data.qvp"_s), records);
            !written) {
            std::fprintf(stderr, "cannot write the list: %s\n", qPrintable(written.error));
            return 1;
        }
    }
    const qint64 preparation = sinceStart.elapsed();

    QApplication app(argc, argv);
    TForm1::setQuitHookForTests([] {});
    auto form = std::make_unique<TForm1>(dir.path());
    bench::showUntilListPainted(*form);
    std::printf("start-up with 100000 records, to the first painted list: %lld ms\n",
                sinceStart.elapsed() - preparation);

    // A check of 2000 records against a server that answers after 20 ms.
    test::RawServer server([](const test::RawServer::Connection& c) {
        if (c.pause(20)) {
            c.send(
                "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n"
                "<a href=http://www.mysite.example.ru/>x</a>");
        }
    });
    QStringList records;
    for (int i = 0; i < 2000; ++i) {
        records += record(u"127.0.0.1:%1/p%2.html"_s.arg(server.port()).arg(i));
    }
    form->records()->setRecords(records);
    qint64 longest = 0;
    QElapsedTimer tick;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { longest = std::max(longest, tick.restart()); });
    QElapsedTimer run;
    run.start();
    tick.start();
    timer.start();
    form->ToolButton3Click();
    while (form->checkRun().state() != CheckRun::State::Idle) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    timer.stop();
    int found = 0;
    for (int i = 0; i < 2000; ++i) {
        found += form->checkRun().results().statusAt(i) == CheckStatus::Found;
    }
    std::printf("check of 2000 records: %lld ms, %d found, longest UI-thread block: %lld ms\n",
                run.elapsed(), found, longest);
    std::fflush(stdout);
    form->close();
    return 0;
}
