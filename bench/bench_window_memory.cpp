// Peak memory of the window reading its data file, printed (one event per
// process, so not Google Benchmark): the process's peak resident size before
// the window is made, once it has read the data.qvp of DIRECTORY, and once
// the record list has been painted for the first time; and the time from the
// start of main to that paint.
// scripts/bench-memory runs it on files of every shape; by hand:
//   QT_QPA_PLATFORM=offscreen scripts/netns-run build/bench/bench_window_memory DIRECTORY
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>

#include <cstdio>
#include <cstdlib>

#include "first_paint.h"
#include "ui/form1.h"

using namespace quorvel;
using namespace Qt::StringLiterals;

namespace {

// VmHWM of this process, in KiB.
long long peakKib() {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_window_memory DIRECTORY\n");
        return 2;
    }
    QApplication app(argc, argv);
    const long long before = peakKib();
    auto* form = new TForm1(QString::fromLocal8Bit(argv[1]));  // reads data.qvp
    const long long read = peakKib();
    auto* list = form->findChild<QListView*>(u"ListBox1"_s);
    bench::showUntilListPainted(*form);
    std::printf("records=%d shown_ms=%lld before_kib=%lld read_kib=%lld peak_kib=%lld\n",
                list->model()->rowCount(), sinceStart.elapsed(), before, read, peakKib());
    std::fflush(stdout);
    // Neither the closing write nor the clean-up is part of the figure.
    std::_Exit(0);
}
