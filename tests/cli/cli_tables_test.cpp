#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "history/history_support.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

QString fixture(const char* name) {
    return QStringLiteral(QUORVEL_SOURCE_DIR "/tests/fixtures/tables/") + QLatin1StringView(name);
}

QByteArray fieldsOf(const QString& file) {
    return test::runCli({u"fields"_s, file}).out;
}

TEST(CliImport, UsageErrorsWriteNothing) {
    test::TempDir dir;
    dir.write(u"old.qvp"_s, "<QV_U>old</QV_U>\r\n");
    const QString table = fixture("webmaster.csv");
    const QString out = dir.path(u"new.qvp"_s);
    const QString old = dir.path(u"old.qvp"_s);
    struct Case {
        const char* name;
        QStringList args;
        const char* says;
    };
    const Case cases[] = {
        {"no target", {table}, "either --append-to"},
        {"both targets", {u"--output"_s, out, u"--append-to"_s, old, table}, "either --append-to"},
        {"an existing output", {u"--output"_s, old, table}, "--force"},
        {"no table", {u"--output"_s, out}, "no TABLE"},
        {"a field that is none", {u"--map"_s, u"url=X"_s, u"--output"_s, out, table}, "--map"},
        {"a delimiter that is none",
         {u"--delimiter"_s, u"|"_s, u"--output"_s, out, table},
         "--delimiter"},
        {"an encoding that is none",
         {u"--encoding"_s, u"ebcdic"_s, u"--output"_s, out, table},
         "encoding"},
        {"a column that is not there",
         {u"--map"_s, u"nope=U"_s, u"--output"_s, out, table},
         "no column 'nope'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::CliResult r = test::runCli(QStringList{u"import"_s} + c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_EQ(dir.read(u"old.qvp"_s), "<QV_U>old</QV_U>\r\n");
    }
}

TEST(CliImport, OneBadTableAndNothingIsWritten) {
    test::TempDir dir;
    dir.write(u"list.qvp"_s, "<QV_U>old</QV_U>\r\n");
    dir.write(u"broken.csv"_s, "url\nhttp://a.example/\n\"never closed\n");
    dir.write(u"binary.csv"_s, QByteArray("url\0", 4));
    const test::CliResult r = test::runCli({u"import"_s, u"--append-to"_s, dir.path(u"list.qvp"_s),
                                            dir.path(u"broken.csv"_s), fixture("webmaster.csv"),
                                            dir.path(u"binary.csv"_s), dir.path(u"missing.csv"_s)});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("broken.csv': line 3: unterminated quote")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("binary.csv': not a table")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("missing.csv'")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("nothing written")) << r.err.toStdString();
    EXPECT_EQ(dir.read(u"list.qvp"_s), "<QV_U>old</QV_U>\r\n");
}

TEST(CliImport, AppendsAndUpdatesByTheDuplicateRule) {
    test::TempDir dir;
    // Windows-1251 in, Windows-1251 out while every character fits.
    dir.write(u"list.qvp"_s,
              "<QV_U>https://c.example.ru/about</QV_U><QV_I></QV_I><QV_E></QV_E><QV_D></QV_D>"
              "<QV_4></QV_4><QV_5>5</QV_5><QV_6>https://my-site.ru/</QV_6><QV_7>\xF1\xF2\xE0\xF0"
              "\xFB\xE9</QV_7>\r\n");
    const QString list = dir.path(u"list.qvp"_s);
    test::CliResult r = test::runCli(
        {u"import"_s, u"--append-to"_s, list, fixture("webmaster.csv"), fixture("excel_ru.csv")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.err,
              "added: 4, updated: 0, skipped: duplicates 1, without address 0, with record tags 0; "
              "unreadable dates: 0\n");
    QByteArray bytes = dir.read(u"list.qvp"_s);
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.contains("\xE4\xEE\xE3\xEE\xE2\xEE\xF0\xE8\xEB\xE8\xF1\xFC"))
        << "договорились";
    EXPECT_EQ(fieldsOf(list).count('\n'), 5);

    // With --update a row puts its values into the record that is there;
    // a new character makes the file UTF-8. Standard input is a table too.
    r = test::runCli({u"import"_s, u"--update"_s, u"--no-header"_s, u"--map"_s, u"1=U"_s,
                      u"--map"_s, u"2=6"_s, u"--map"_s, u"3=7"_s, u"--append-to"_s, list, u"-"_s},
                     "https://c.example.ru/about\thttps://my-site.ru/\t\xE2\x9C\x93 ok\n");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith("added: 0, updated: 1,")) << r.err.toStdString();
    bytes = dir.read(u"list.qvp"_s);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF<QV_U>https://c.example.ru/about</QV_U>"));
    EXPECT_TRUE(fieldsOf(list).startsWith(
        "https://c.example.ru/about\t\t\t\t\t5\thttps://my-site.ru/\t\xE2\x9C\x93 ok\n"));
}

TEST(CliImport, OutputWithHeaderNamesAndForce) {
    test::TempDir dir;
    const QString out = dir.path(u"out.qvp"_s);
    dir.write(u"out.qvp"_s, "old\r\n");
    dir.write(u"t.csv"_s, "Who;Where;Mail\nIvan;http://a.example/;ivan@example.com\n");
    const test::CliResult r =
        test::runCli({u"import"_s, u"--map"_s, u"where=U"_s, u"--map"_s, u"Mail=E"_s, u"--output"_s,
                      out, u"--force"_s, dir.path(u"t.csv"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(fieldsOf(out), "http://a.example/\t\tivan@example.com\t\t\t\t\t\n");
}

TEST(CliExport, WritesTheTableAndReadsBackTheSameRecords) {
    test::TempDir dir;
    const QString list = dir.path(u"list.qvp"_s);
    test::TempDir other;
    const QStringList records{
        BuildRecordLine(u"http://a.example/"_s, u"1"_s, u"a@b.ru"_s, QDate(2026, 9, 15), {}, u"5"_s,
                        u"http://my.example/"_s, u"=1+1 примечание"_s),
        BuildRecordLine(u"http://b.example/"_s, {}, {}, QDate(), {}, u"5"_s, {}, {})};
    ASSERT_TRUE(writeRecordFile(list, records));
    // The history beside the file is read unless told otherwise.
    const qint64 start = QDateTime(QDate(2026, 3, 1), QTime(10, 0)).toSecsSinceEpoch();
    test::recordRun(dir.path(u"quorvel-history.sqlite"_s), start,
                    {test::historyEntry(identityOf(records[0]), CheckStatus::Found, start)});

    test::CliResult r =
        test::runCli({u"export"_s, list, u"--output"_s, other.path(u"list.xlsx"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(other.read(u"list.xlsx"_s).startsWith("PK")) << "xlsx by its name";
    r = test::runCli(
        {u"import"_s, u"--output"_s, other.path(u"back.qvp"_s), other.path(u"list.xlsx"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(other.read(u"back.qvp"_s), dir.read(u"list.qvp"_s));

    r = test::runCli({u"export"_s, u"--format"_s, u"csv-excel"_s, list, u"--output"_s,
                      other.path(u"list.txt"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray csv = other.read(u"list.txt"_s);
    EXPECT_TRUE(csv.startsWith("\xEF\xBB\xBF")) << csv.toStdString();
    EXPECT_TRUE(csv.contains(";'=1+1 \xD0\xBF")) << "the guard against formulas";
    const QByteArray found = u"ссылка есть"_s.toUtf8();
    EXPECT_TRUE(csv.contains(QByteArray(";" + found + ";"))) << "the history's words";

    r = test::runCli(
        {u"export"_s, u"--no-history"_s, list, u"--output"_s, other.path(u"plain.csv"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(other.read(u"plain.csv"_s).contains(found));
}

TEST(CliExport, UsageErrorsAndUnreadableFiles) {
    test::TempDir dir;
    dir.write(u"l.qvp"_s, "<QV_U>a</QV_U>\r\n");
    const QString list = dir.path(u"l.qvp"_s);
    const QString out = dir.path(u"o.csv"_s);
    struct Case {
        const char* name;
        QStringList args;
        const char* says;
    };
    const Case cases[] = {
        {"no output", {list}, "--output"},
        {"two files", {list, list, u"--output"_s, out}, "exactly one FILE"},
        {"a format that is none", {u"--format"_s, u"ods"_s, list, u"--output"_s, out}, "ods"},
        {"both history options",
         {u"--history"_s, out, u"--no-history"_s, list, u"--output"_s, out},
         "not both"},
        {"a file that is not there", {dir.path(u"none.qvp"_s), u"--output"_s, out}, "none.qvp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::CliResult r = test::runCli(QStringList{u"export"_s} + c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out));
    }
}

}  // namespace
}  // namespace quorvel
