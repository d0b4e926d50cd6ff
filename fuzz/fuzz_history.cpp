// Any bytes as a history file, the way a damaged disk or another program
// may leave it. Reading never changes the file and never fails hard. A run
// on it then refuses the file (a newer or another program's one stays byte
// for byte as it was, with nothing made beside it), or records its checks
// (in the file, mended or new), which a reader then finds, unless the full
// check after the run moved the file aside with them. A check that is not
// recorded is always named in the run's message, which is one line.
//
// The seeds are small histories (pages of 512 bytes) as this program and
// its first version wrote them, and another program's database.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

#include "history/history_reader.h"
#include "history/history_recorder.h"

namespace {

using namespace quorvel;
using namespace std::chrono_literals;

const RecordIdentity kA{QStringLiteral("http://a.example/"), QStringLiteral("http://me.example/")};
const RecordIdentity kB{QStringLiteral("http://b.example/"), QStringLiteral("http://me.example/")};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

HistoryEntry entry(const RecordIdentity& identity, CheckStatus status, qint64 at) {
    RecordOutcome outcome;
    outcome.status = status;
    outcome.count = 4;
    return {identity, historyTime(at), outcome, QString()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // In memory where there is room for it: a history is synced to disk.
    static QTemporaryDir scratch(QDir(QStringLiteral("/dev/shm")).exists()
                                     ? QStringLiteral("/dev/shm/fuzz_history-XXXXXX")
                                     : QDir::tempPath() + QStringLiteral("/fuzz_history-XXXXXX"));
    QDir dir(scratch.path());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        dir.remove(name);
    }
    const QString name = QString::fromUtf16(kHistoryFileName);
    const QString path = dir.filePath(name);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::abort();
        }
    }

    {
        HistoryReader reader(path, 100ms);
        (void)reader.summaries({kA, kB});
        (void)reader.recordHistory(kA);
        (void)reader.eventsOfRun(1);
        (void)reader.eventsOfRun(3);
    }
    if (readAll(path) != bytes) {
        std::abort();  // reading changed the file
    }

    const qint64 startedAt = 1'800'000'000;
    HistoryRecorderOptions options;
    options.busyTimeout = 100ms;
    HistoryRecorder recorder(path, historyTime(startedAt), options);
    recorder.add(entry(kA, CheckStatus::Found, startedAt + 1));
    recorder.add(entry(kB, CheckStatus::Missing, startedAt + 2));
    const HistoryRunOutcome run = recorder.finish(10s);

    const HistoryOpenStatus status = run.open.status;
    if (status == HistoryOpenStatus::NewerSchema || status == HistoryOpenStatus::Foreign) {
        if (readAll(path) != bytes || dir.entryList(QDir::Files) != QStringList{name}) {
            std::abort();  // not ours, yet changed
        }
    }
    if (run.written + run.dropped != 2 || (run.dropped > 0 && run.message.isEmpty())) {
        std::abort();  // a check lost without a word
    }
    if (run.message.contains(u'\n')) {
        std::abort();
    }
    // A file found damaged beyond repair after the run goes aside with the
    // run's checks in it, as the message says.
    if (run.written == 2 && QFile::exists(path)) {
        HistoryReader reader(path, 100ms);
        const Outcome<QList<RecordSummary>> read = reader.summaries({kA, kB});
        if (!read.ok() || read.value.value(0).checks < 1 || read.value.value(1).checks < 1) {
            std::abort();  // recorded, yet not there
        }
    }
    return 0;
}
