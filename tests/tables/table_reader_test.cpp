#include <QStringEncoder>

#include <gtest/gtest.h>

#include "support/printers.h"
#include "support/temp_dir.h"
#include "tables/csv_parser.h"
#include "tables/table_reader.h"
#include "tables/xlsx_parts.h"
#include "tables/xlsx_reader.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

struct Read {
    bool opened = false;
    TableLayout layout;
    QList<TableRow> rows;
    std::optional<TableError> error;

    QList<QStringList> cells() const {
        QList<QStringList> out;
        for (const TableRow& row : rows) {
            out += row.cells;
        }
        return out;
    }
};

Read readAll(const QByteArray& bytes, TableReadOptions options = {}, TableLimits limits = {}) {
    Read read;
    TableReader reader(TableSource::memory(bytes), options, limits);
    read.opened = reader.open();
    read.layout = reader.layout();
    TableRow row;
    while (read.opened && reader.next(&row)) {
        read.rows += row;
    }
    read.error = reader.error();
    return read;
}

QByteArray utf16(const QString& text, bool bigEndian = false) {
    QStringEncoder encoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE);
    return QByteArray(bigEndian ? "\xFE\xFF" : "\xFF\xFE") + QByteArray(encoder(text));
}

QByteArray cp1251(const QString& text) {
    QStringEncoder encoder("windows-1251");
    return encoder(text);
}

TEST(TableReader, DetectsEncodingDelimiterAndSeparatorHint) {
    struct Case {
        const char* name;
        QByteArray bytes;
        TextEncoding encoding;
        QChar delimiter;
        QStringList first;
    };
    const Case cases[] = {
        {"Windows-1251 without a mark, semicolons",
         cp1251(u"Донор;Срок\r\nпример.рф;01.02.2026\r\n"_s),
         TextEncoding::Windows1251,
         u';',
         {u"Донор"_s, u"Срок"_s}},
        {"UTF-8 with a mark",
         "\xEF\xBB\xBF\xD0\x94\xD0\xB0;b\r\nc;d\r\n",
         TextEncoding::Utf8,
         u';',
         {u"Да"_s, u"b"_s}},
        {"UTF-8 without a mark, commas (the semicolon inside quotes does not count)",
         "url,notes\nhttp://a.example/,\"x; y; z\"\nhttp://b.example/,\xD1\x8F\n",
         TextEncoding::Utf8,
         u',',
         {u"url"_s, u"notes"_s}},
        {"UTF-16LE with a mark, TAB",
         utf16(u"\"a\"\t\"b\"\r\n\"c\"\t\"d\"\r\n"_s),
         TextEncoding::Utf16LE,
         u'\t',
         {u"a"_s, u"b"_s}},
        {"UTF-16BE with a mark",
         utf16(u"a;b\nc;d\n"_s, true),
         TextEncoding::Utf16BE,
         u';',
         {u"a"_s, u"b"_s}},
        {"Excel's sep= line wins over the majority and is skipped",
         "sep=;\r\na,b;c\r\nd,e;f\r\ng,h;i\r\n",
         TextEncoding::Utf8,
         u';',
         {u"a,b"_s, u"c"_s}},
        {"a line that is no sep= hint is a row",
         "sep=ab\nq\n",
         TextEncoding::Utf8,
         u',',
         {u"sep=ab"_s}},
        {"the most rows with one field count beat more fields in fewer rows",
         "a,b;c;d\ne,f\ng,h\ni,j\n",
         TextEncoding::Utf8,
         u',',
         {u"a"_s, u"b;c;d"_s}},
        {"one address per line: nothing splits",
         "http://a.example/\nhttp://b.example/\n",
         TextEncoding::Utf8,
         u',',
         {u"http://a.example/"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Read read = readAll(c.bytes);
        ASSERT_TRUE(read.opened);
        EXPECT_EQ(read.layout.encoding, c.encoding);
        EXPECT_EQ(read.layout.delimiter, c.delimiter);
        ASSERT_FALSE(read.rows.isEmpty());
        EXPECT_EQ(read.rows.first().cells, c.first);
        EXPECT_FALSE(read.error);
    }
}

TEST(TableReader, OverridesWin) {
    const QByteArray koi8 = QStringEncoder("KOI8-R")(u"Срок,Почта\n"_s);
    Read read = readAll(koi8);
    EXPECT_EQ(read.layout.encoding, TextEncoding::Windows1251) << "not UTF-8: the default guess";
    read = readAll(koi8, {TextEncoding::Koi8R, u';'});
    EXPECT_EQ(read.layout.encoding, TextEncoding::Koi8R);
    EXPECT_EQ(read.cells(), QList<QStringList>{{u"Срок,Почта"_s}});

    // A UTF-16 file without its mark holds NUL bytes: no table, unless the
    // user says what it is.
    QByteArray bare = utf16(u"a\tb\n"_s).sliced(2);
    EXPECT_EQ(readAll(bare).error->problem, TableProblem::Binary);
    read = readAll(bare, {TextEncoding::Utf16LE, {}});
    EXPECT_EQ(read.cells(), (QList<QStringList>{{u"a"_s, u"b"_s}}));

    // A mark of another encoding than the one chosen is text.
    read = readAll("\xEF\xBB\xBFx\n", {TextEncoding::Windows1252, {}});
    EXPECT_EQ(read.cells(), QList<QStringList>{{u"ï»¿x"_s}});
}

TEST(TableReader, QuotesAsRfc4180AndCountsLines) {
    const Read read = readAll(
        "a,\"b,\"\"c\"\"\",d\r\n"
        "\"two\r\nlines\",\"\",x\r\n"
        "lone cr,\"q\"tail\rnext,say \"hi\"\n"
        "\n"
        "last,no,break");
    ASSERT_TRUE(read.opened);
    EXPECT_EQ(read.cells(), (QList<QStringList>{{u"a"_s, u"b,\"c\""_s, u"d"_s},
                                                {u"two\r\nlines"_s, u""_s, u"x"_s},
                                                {u"lone cr"_s, u"qtail"_s},
                                                {u"next"_s, u"say \"hi\""_s},
                                                {u""_s},
                                                {u"last"_s, u"no"_s, u"break"_s}}));
    QList<qsizetype> lines;
    for (const TableRow& row : read.rows) {
        lines += row.line;
    }
    EXPECT_EQ(lines, (QList<qsizetype>{1, 2, 4, 5, 6, 7}));
    EXPECT_FALSE(read.error);
}

TEST(TableReader, RowsCutAcrossChunksComeOutWhole) {
    // Fields and a UTF-8 character split at every place of the decoder's pieces.
    QByteArray bytes = "h1;h2\n";
    QList<QStringList> expected{{u"h1"_s, u"h2"_s}};
    for (int i = 0; i < 20000; ++i) {
        const QString value = u"\"значение %1\nстрока\"\";\""_s.arg(i);
        bytes += "x" + QByteArray::number(i) + ";" + value.toUtf8() + "\n";
        expected.append({u"x"_s + QString::number(i), u"значение %1\nстрока\";"_s.arg(i)});
    }
    const Read read = readAll(bytes);
    EXPECT_EQ(read.layout.encoding, TextEncoding::Utf8);
    EXPECT_EQ(read.cells(), expected);
    EXPECT_EQ(read.rows.last().line, 2 * 20000);
}

TEST(TableReader, ProblemsSayWhatAndWhere) {
    struct Case {
        const char* name;
        QByteArray bytes;
        TableLimits limits;
        TableProblem problem;
        qsizetype line;
        qsizetype rowsBefore;  // read before the problem showed
    };
    TableLimits small;
    small.maxBytes = 64;
    small.maxLines = 3;
    small.maxColumns = 4;
    const Case cases[] = {
        {"an unterminated quote, from the line it opened on",
         "a,b\nc,\"d\ne\nf\n",
         {},
         TableProblem::UnterminatedQuote,
         2,
         1},
        {"a NUL byte", QByteArray("a,b\n\0c,d\n", 9), {}, TableProblem::Binary, 0, 0},
        {"over the byte limit", QByteArray(65, 'a'), small, TableProblem::TooLarge, 0, 0},
        {"over the line limit", "a\nb\nc\nd\n", small, TableProblem::TooManyLines, 0, 0},
        {"blank lines count too", "\n\n\n\n", small, TableProblem::TooManyLines, 0, 0},
        {"a row over the column limit", "a\nb,c,d,e,f\n", small, TableProblem::TooManyColumns, 2,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Read read = readAll(c.bytes, {}, c.limits);
        ASSERT_TRUE(read.error);
        EXPECT_EQ(read.error->problem, c.problem);
        EXPECT_EQ(read.error->line, c.line);
        EXPECT_EQ(read.rows.size(), c.rowsBefore);
    }
}

TEST(TableReader, FilesAreReadOnlyWhenRegular) {
    test::TempDir dir;
    dir.write(u"t.csv"_s, "a;b\n");
    TableReader reader(TableSource::file(dir.path(u"t.csv"_s)));
    ASSERT_TRUE(reader.open());
    TableRow row;
    ASSERT_TRUE(reader.next(&row));
    EXPECT_EQ(row.cells, (QStringList{u"a"_s, u"b"_s}));
    EXPECT_FALSE(reader.next(&row));
    ASSERT_TRUE(reader.rewind());
    ASSERT_TRUE(reader.next(&row));
    EXPECT_EQ(row.cells.first(), u"a");

    TableReader folder(TableSource::file(dir.path(QString())));
    EXPECT_FALSE(folder.open());
    EXPECT_EQ(folder.error()->problem, TableProblem::NotRegularFile);
    TableReader missing(TableSource::file(dir.path(u"none.csv"_s)));
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(missing.error()->problem, TableProblem::Unreadable);
}

TEST(XlsxReader, FirstSheetWithStringsNumbersAndGaps) {
    const QByteArray book = test::workbook(
        // Row 1: shared strings; row 2 has a gap in its columns; row 4
        // comes after an absent row 3; cells without a reference follow on.
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
        "<c r=\"C1\" t=\"s\"><v>2</v></c></row>"
        "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>http://a.example/</t></is></c>"
        "<c r=\"C2\" s=\"3\"><v>46280</v></c><c r=\"E2\" t=\"str\"><f>A1</f><v>formula</v></c>"
        "</row>"
        "<row r=\"4\"><c t=\"s\"><v>3</v></c><c t=\"b\"><v>1</v></c><c><v>5</v></c></row>",
        "<si><t>Донор</t></si><si><t xml:space=\"preserve\"> Акцептор </t></si>"
        "<si><r><t>Ср</t></r><r><rPr><b/></rPr><t>ок</t></r><rPh><t>СРОК</t></rPh></si>"
        "<si><t>tab_x0009_in &amp; out</t></si>");
    const Read read = readAll(book);
    ASSERT_TRUE(read.opened) << read.error->detail.toStdString();
    EXPECT_EQ(read.layout.format, TableFormat::Xlsx);
    EXPECT_EQ(read.cells(),
              (QList<QStringList>{{u"Донор"_s, u" Акцептор "_s, u"Срок"_s},
                                  {u"http://a.example/"_s, u""_s, u"46280"_s, u""_s, u"formula"_s},
                                  {u"tab\tin & out"_s, u"1"_s, u"5"_s}}));
    ASSERT_EQ(read.rows.size(), 3);
    EXPECT_TRUE(read.rows[1].isNumber(2));
    EXPECT_FALSE(read.rows[1].isNumber(4)) << "a formula's text";
    EXPECT_FALSE(read.rows[2].isNumber(1)) << "a boolean";
    EXPECT_EQ(read.rows[2].line, 4);
    EXPECT_FALSE(read.error);
    EXPECT_EQ(dateFromSerial(46280), QDate(2026, 9, 15));
    EXPECT_EQ(dateFromSerial(46280.75), QDate(2026, 9, 15));
    EXPECT_EQ(dateFromSerial(44818, true), QDate(2026, 9, 15));
    EXPECT_FALSE(dateFromSerial(-3).isValid());
}

TEST(XlsxReader, DamagedAndHostileWorkbooks) {
    TableLimits tight;
    tight.maxLines = 2;
    tight.maxCells = 40;
    struct Case {
        const char* name;
        QByteArray bytes;
        TableLimits limits;
        TableProblem problem;
    };
    const Case cases[] = {
        {"a zip without a workbook", test::zipOf({{u"a.txt"_s, "x"}}), {}, TableProblem::NoSheet},
        {"a workbook without sheets",
         test::zipOf({{u"xl/workbook.xml"_s, "<workbook><sheets/></workbook>"}}),
         {},
         TableProblem::NoSheet},
        {"a broken zip", QByteArray("PK\x03\x04garbage", 11), {}, TableProblem::BadWorkbook},
        {"more rows than the limit", test::workbook("<row/><row/><row><c><v>1</v></c></row>"),
         tight, TableProblem::TooManyLines},
        {"a far cell reference asks for a huge row",
         test::workbook("<row><c r=\"XFE1\"><v>1</v></c></row>"), tight,
         TableProblem::TooManyColumns},
        {"far cells in few rows add up",
         test::workbook("<row><c r=\"Z1\"><v>1</v></c></row><row><c r=\"Z2\"><v>1</v></c></row>"),
         tight, TableProblem::TooManyCells},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Read read = readAll(c.bytes, {}, c.limits);
        ASSERT_TRUE(read.error);
        EXPECT_EQ(read.error->problem, c.problem);
    }
    // The document type declaration, spelled out.
    const QByteArray laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE sst [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><sst><si><t>&b;</t></si></sst>";
    const QByteArray book =
        test::zipOf({{u"xl/workbook.xml"_s,
                      "<workbook xmlns:r=\"r\"><sheets><sheet r:id=\"a\"/></sheets></workbook>"},
                     {u"xl/sharedStrings.xml"_s, laughs}});
    const Read read = readAll(book);
    ASSERT_TRUE(read.error);
    EXPECT_EQ(read.error->problem, TableProblem::BadWorkbook);
}

TEST(XlsxReader, ZipBombStopsAtTheByteLimit) {
    // 300 MiB of rows that each hold one long text, a few hundred KiB packed.
    const QByteArray xmlRow =
        "<row><c t=\"inlineStr\"><is><t>" + QByteArray(1 << 16, 'a') + "</t></is></c></row>";
    const QByteArray block = xmlRow.repeated((1 << 20) / xmlRow.size());
    int blocks = 0;
    const QByteArray book = test::zipWithStream(
        {{u"xl/workbook.xml"_s,
          "<workbook xmlns:r=\"r\"><sheets><sheet r:id=\"a\"/></sheets></workbook>"}},
        u"xl/worksheets/sheet1.xml"_s, [&] {
            if (blocks > 300) {
                return QByteArray();
            }
            return ++blocks == 1 ? "<worksheet><sheetData>" + block : block;
        });
    ASSERT_LT(book.size(), 4 << 20);
    TableLimits limits;
    limits.maxLines = std::numeric_limits<qsizetype>::max();  // only the bytes stop it
    TableReader reader(TableSource::memory(book), {}, limits);
    ASSERT_TRUE(reader.open());
    TableRow row;
    qsizetype rows = 0;
    while (reader.next(&row)) {
        ++rows;
    }
    ASSERT_TRUE(reader.error());
    EXPECT_EQ(reader.error()->problem, TableProblem::TooLarge);
    EXPECT_LE(rows * xmlRow.size(), limits.maxBytes);
}

}  // namespace
}  // namespace quorvel
