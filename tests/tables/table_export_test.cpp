#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include "history/history_support.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "support/printers.h"
#include "support/temp_dir.h"
#include "tables/table_export.h"
#include "tables/table_import.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

const ExportFormat kFormats[] = {ExportFormat::Xlsx, ExportFormat::CsvExcel, ExportFormat::Csv};

const char* nameOf(ExportFormat format) {
    return format == ExportFormat::Xlsx       ? "xlsx"
           : format == ExportFormat::CsvExcel ? "csv-excel"
                                              : "csv";
}

QList<TableRow> readBack(const QString& path) {
    TableReader reader(TableSource::file(path));
    EXPECT_TRUE(reader.open()) << path.toStdString();
    QList<TableRow> rows;
    TableRow row;
    while (reader.next(&row)) {
        rows += row;
    }
    EXPECT_FALSE(reader.error());
    return rows;
}

RecordStore importBack(const QString& path) {
    TableReader reader(TableSource::file(path));
    EXPECT_TRUE(reader.open());
    TablePreview preview;
    EXPECT_FALSE(previewTable(reader, {}, 20, &preview));
    const RecordStore none;
    RecordImport import(none, false);
    EXPECT_FALSE(importTable(reader, preview.header, preview.mapping, import));
    return import.added();
}

// Records as the editor makes them, with what spreadsheets like to mangle:
// Cyrillic, numbers, dates, formulas, apostrophes, quotes and delimiters.
RecordStore sampleRecords() {
    const QDate date(2026, 9, 15);
    return RecordStore{
        BuildRecordLine(u"http://партнер.рф/ссылки"_s, u"123456789"_s, u"a@b.ru"_s, date,
                        u"http://my-site.ru/friends"_s, u"10"_s, u"http://my-site.ru/"_s,
                        u"=HYPERLINK(\"http://evil.example\";\"x\"), ; \"quoted\""_s),
        BuildRecordLine(u"https://b.example.com/p?a=1,b=2"_s, u""_s, u""_s, QDate(), u""_s, u"5"_s,
                        u"+7 999"_s, u"-5"_s),
        BuildRecordLine(u"c.example.org"_s, u"0042"_s, u"@user"_s, date.addDays(1), u""_s, u"007"_s,
                        u"'=already guarded"_s, u"tab\tinside; 1.5"_s),
    };
}

TEST(TableExport, ExportThenImportGivesTheSameRecords) {
    test::TempDir dir;
    const RecordStore records = sampleRecords();
    for (const ExportFormat format : kFormats) {
        SCOPED_TRACE(nameOf(format));
        const QString path = dir.path(QString::fromLatin1(nameOf(format)));
        ExportOptions options;
        options.format = format;
        const ExportOutcome outcome = exportRecords(path, records, options);
        ASSERT_TRUE(outcome.ok()) << outcome.detail.toStdString();
        const RecordStore back = importBack(path);
        EXPECT_EQ(back, records);
        EXPECT_EQ(encodeRecordFile(back), encodeRecordFile(records)) << "byte for byte";
    }
}

TEST(TableExport, FormatsAsTheirReadersExpectThem) {
    test::TempDir dir;
    const RecordStore records = sampleRecords();
    ExportOptions options;
    options.format = ExportFormat::CsvExcel;
    ASSERT_TRUE(exportRecords(dir.path(u"e.csv"_s), records, options).ok());
    const QByteArray excel = dir.read(u"e.csv"_s);
    EXPECT_TRUE(excel.startsWith("\xEF\xBB\xBF\xD1\x81\xD1\x82\xD1\x80"))
        << "a mark, then Cyrillic";
    EXPECT_TRUE(excel.contains(
        ";\"'=HYPERLINK(\"\"http://evil.example\"\";\"\"x\"\"), ; \"\"quoted\"\"\";"))
        << "guarded, quoted, quotes doubled";
    EXPECT_TRUE(excel.contains(";'+7 999;")) << excel.toStdString();
    EXPECT_TRUE(excel.contains(";'-5;"));
    EXPECT_TRUE(excel.contains(";'@user;"));
    EXPECT_TRUE(excel.contains(";''=already guarded;"));
    EXPECT_TRUE(excel.endsWith(";;;;;;;;;\r\n"));
    EXPECT_EQ(excel.count("\r\n"), 4);

    options.format = ExportFormat::Csv;
    ASSERT_TRUE(exportRecords(dir.path(u"p.csv"_s), records, options).ok());
    const QByteArray plain = dir.read(u"p.csv"_s);
    EXPECT_TRUE(plain.startsWith("\xD1\x81")) << "no mark";
    EXPECT_TRUE(plain.contains("\r\n\"https://b.example.com/p?a=1,b=2\",")) << plain.toStdString();

    // In a workbook no value is a formula: texts stay texts, unguarded.
    options.format = ExportFormat::Xlsx;
    const QString book = dir.path(u"b.xlsx"_s);
    ASSERT_TRUE(exportRecords(book, records, options).ok());
    const QList<TableRow> rows = readBack(book);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].cells, exportHeader());
    EXPECT_EQ(rows[1].cell(7), u"=HYPERLINK(\"http://evil.example\";\"x\"), ; \"quoted\"");
    EXPECT_EQ(rows[2].cell(1), u"+7 999");
    EXPECT_EQ(rows[3].cell(3), u"0042") << "an ICQ number keeps its zeros";
    EXPECT_FALSE(rows[3].isNumber(3));
    EXPECT_TRUE(rows[1].isNumber(2)) << "a deadline is a date";
    EXPECT_FALSE(rows[2].isNumber(2)) << "none is none";
    QuaZip zip(book);
    ASSERT_TRUE(zip.open(QuaZip::mdUnzip));
    ASSERT_TRUE(zip.setCurrentFile(u"xl/worksheets/sheet1.xml"_s));
    QuaZipFile sheet(&zip);
    ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
    const QByteArray xml = sheet.readAll();
    EXPECT_FALSE(xml.contains("<f>")) << "no formula anywhere";
    EXPECT_TRUE(xml.contains("<pane ySplit=\"1\"")) << "the header row is frozen";
    ASSERT_TRUE(zip.setCurrentFile(u"xl/workbook.xml"_s));
    QuaZipFile workbook(&zip);
    ASSERT_TRUE(workbook.open(QIODevice::ReadOnly));
    EXPECT_TRUE(workbook.readAll().contains("_xlnm._FilterDatabase")) << "a filter";
}

TEST(TableExport, HistoryColumnsInTheWindowsWords) {
    test::TempDir dir;
    const QString history = dir.path(u"quorvel-history.sqlite"_s);
    const RecordStore records{
        BuildRecordLine(u"http://a.example/"_s, {}, {}, QDate(), u"http://my.example/"_s, u"5"_s,
                        u"http://my.example/"_s, {}),
        BuildRecordLine(u"http://b.example/"_s, {}, {}, QDate(), {}, u"5"_s,
                        u"http://my.example/"_s, {}),
        BuildRecordLine(u"http://never.example/"_s, {}, {}, QDate(), {}, u"5"_s,
                        u"http://my.example/"_s, {}),
    };
    const qint64 start = QDateTime(QDate(2026, 3, 1), QTime(10, 0)).toSecsSinceEpoch();
    HistoryEntry found = test::historyEntry(identityOf(records.view(0)), CheckStatus::Found, start);
    found.outcome.count = 12;
    found.outcome.overLimit = true;
    found.pageSignals = PageSignal::RelUgc;
    found.reciprocal = CheckStatus::Missing;
    HistoryEntry failed =
        test::historyEntry(identityOf(records.view(1)), CheckStatus::FetchFailed, start, u"dns"_s);
    failed.overdue = true;  // a deadline that lapsed after the first check
    failed.deadlineEndsAt = start + 3600;
    test::recordRun(history, start, {found, failed});

    ExportOptions options;
    options.format = ExportFormat::Csv;
    options.historyPath = history;
    const QString csv = dir.path(u"h.csv"_s);
    const ExportOutcome outcome = exportRecords(csv, records, options);
    ASSERT_TRUE(outcome.ok());
    EXPECT_TRUE(outcome.historyProblem.isEmpty());
    const QString since = QDateTime::fromSecsSinceEpoch(start).toString(u"dd.MM.yyyy HH:mm"_s);
    QList<TableRow> rows = readBack(csv);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[1].cells.sliced(8),
              (QStringList{u"ссылка есть"_s, since, since, QString(), u"12"_s, u"да"_s,
                           u"rel=ugc"_s, u"нет"_s, QString()}));
    EXPECT_EQ(rows[2].cells.sliced(8),
              (QStringList{u"не подтверждено: не удалось загрузить страницу партнера"_s, QString(),
                           QString(), u"адрес не найден"_s, QString(), QString(), QString(),
                           QString(), u"да"_s}));
    EXPECT_EQ(rows[3].cells.sliced(8), QStringList(9)) << "never checked: nothing";

    // A workbook has the same words, its times and count as numbers.
    options.format = ExportFormat::Xlsx;
    options.columnWidths = {300, 200};
    const QString book = dir.path(u"h.xlsx"_s);
    ASSERT_TRUE(exportRecords(book, records, options).ok());
    rows = readBack(book);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[1].cell(8), u"ссылка есть");
    EXPECT_TRUE(rows[1].isNumber(9));
    EXPECT_TRUE(rows[1].isNumber(12));
    EXPECT_EQ(rows[1].cell(12), u"12");
    EXPECT_EQ(rows[2].cell(11), u"адрес не найден");

    // A history that cannot be read leaves its columns empty, and says so.
    dir.write(u"bad.sqlite"_s, "this is no database, not at all, not even close.");
    options.historyPath = dir.path(u"bad.sqlite"_s);
    options.format = ExportFormat::Csv;
    const ExportOutcome unread = exportRecords(csv, records, options);
    EXPECT_TRUE(unread.ok());
    EXPECT_FALSE(unread.historyProblem.isEmpty());
    EXPECT_EQ(readBack(csv)[1].cells.sliced(8), QStringList(9));
}

TEST(TableExport, FailuresLeaveTheOldFile) {
    test::TempDir dir;
    dir.write(u"old.xlsx"_s, "old");
    dir.write(u"old.csv"_s, "old");
    RecordStore records = sampleRecords();
    records.append(BuildRecordLine(u"http://long.example/"_s, {}, {}, QDate(), {}, {}, {},
                                   QString(40000, u'я')));
    ExportOptions options;
    const ExportOutcome tooLong = exportRecords(dir.path(u"old.xlsx"_s), records, options);
    EXPECT_EQ(tooLong.problem, ExportOutcome::Problem::CellTooLong);
    EXPECT_EQ(tooLong.row, 5);
    EXPECT_EQ(dir.read(u"old.xlsx"_s), "old");

    QDir(dir.path(QString())).mkdir(u"folder.csv"_s);
    for (const ExportFormat format : kFormats) {
        SCOPED_TRACE(nameOf(format));
        options.format = format;
        const ExportOutcome folder = exportRecords(dir.path(u"folder.csv"_s), records, options);
        EXPECT_EQ(folder.problem, ExportOutcome::Problem::WriteFailed);
        EXPECT_FALSE(folder.detail.isEmpty());
    }
    EXPECT_EQ(QDir(dir.path(QString())).entryList(QDir::Files),
              (QStringList{u"old.csv"_s, u"old.xlsx"_s}))
        << "no temporary file is left";
}

}  // namespace
}  // namespace quorvel
