// Loading and saving a record file of 100000 typical records.
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "records/record_file.h"
#include "records/record_line.h"

namespace {

using namespace quorvel;
using namespace Qt::StringLiterals;

QStringList typicalRecords(int count, bool cyrillic) {
    QStringList records;
    records.reserve(count);
    for (int i = 0; i < count; ++i) {
        records += BuildRecordLine(
            u"http://partner%1.example.com/links/page%2.html"_s.arg(i).arg(i % 7),
            QString::number(100000000 + i), u"webmaster%1@partner.example.com"_s.arg(i),
            QDate(2010, 10, 21).addDays(i % 400), u"http://mysite.example.ru/friends.html"_s,
            u"25"_s, u"http://mysite.example.ru/"_s,
            cyrillic ? u"обмен ссылками, договорились по почте %1"_s.arg(i)
                     : u"link exchange agreed by mail %1"_s.arg(i),
            QLocale(u"ru_RU"_s));
    }
    return records;
}

void loadFile(benchmark::State& state, bool cyrillic) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"data.qvp"_s);
    if (!writeRecordFile(path, typicalRecords(int(state.range(0)), cyrillic))) {
        state.SkipWithError("cannot write the list");
        return;
    }
    const qint64 bytes = QFileInfo(path).size();
    for (auto _ : state) {
        RecordFileContent content = readRecordFile(path);
        benchmark::DoNotOptimize(content.records.size());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void saveFile(benchmark::State& state, bool cyrillic) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"data.qvp"_s);
    const QStringList records = typicalRecords(int(state.range(0)), cyrillic);
    for (auto _ : state) {
        benchmark::DoNotOptimize(writeRecordFile(path, records));
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(path).size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadRecordFile_Cyrillic(benchmark::State& state) {
    loadFile(state, true);
}
void BM_LoadRecordFile_Ascii(benchmark::State& state) {
    loadFile(state, false);
}
void BM_SaveRecordFile_Cyrillic(benchmark::State& state) {
    saveFile(state, true);
}
void BM_SaveRecordFile_Ascii(benchmark::State& state) {
    saveFile(state, false);
}

BENCHMARK(BM_LoadRecordFile_Cyrillic)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadRecordFile_Ascii)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveRecordFile_Cyrillic)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveRecordFile_Ascii)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
