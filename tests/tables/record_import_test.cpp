#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

#include "records/record_line.h"
#include "support/printers.h"
#include "tables/table_import.h"
#include "tables/xlsx_parts.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

const QLocale kRussian(QLocale::Russian, QLocale::Russia);

QString fixture(const char* name) {
    return QStringLiteral(QUORVEL_SOURCE_DIR "/tests/fixtures/tables/") + QLatin1StringView(name);
}

// A record as eight values in kFieldCodes order, '|' between them.
QString fieldsText(QStringView line) {
    QStringList values;
    for (const QStringView value : ExtractAllFields(line)) {
        values += value.toString();
    }
    return values.join(u'|');
}

QStringList fieldsTexts(const RecordStore& records) {
    QStringList out;
    for (const QStringView line : records) {
        out += fieldsText(line);
    }
    return out;
}

struct Imported {
    QStringList records;  // fieldsText of each new record
    ImportCounts counts;
    std::optional<TableError> error;
    TablePreview preview;
};

Imported importSource(TableSource source, const RecordStore& existing = {}, bool update = false,
                      TablePlan plan = {}) {
    Imported out;
    TableReader reader(std::move(source), plan.read);
    if (!reader.open()) {
        out.error = reader.error();
        return out;
    }
    out.error = previewTable(reader, plan, 20, &out.preview);
    RecordImport import(existing, update, kRussian);
    if (!out.error) {
        out.error = importTable(reader, out.preview.header, out.preview.mapping, import);
    }
    out.records = fieldsTexts(import.added());
    out.counts = import.counts();
    return out;
}

Imported importBytes(const QByteArray& bytes, const RecordStore& existing = {},
                     bool update = false) {
    return importSource(TableSource::memory(bytes), existing, update);
}

TEST(TableImport, FilesAsTheirMakersWriteThem) {
    struct Case {
        const char* file;
        QStringList records;
    };
    const QStringList russianExcel{
        u"http://partner-one.ru/links.html||admin@partner-one.ru|15.09.2026|||"
        "http://my-site.ru/|договорились, 500 руб."_s,
        u"partner-two.ru/friends|||01.10.2026|||http://my-site.ru/catalog/|"_s,
        u"http://partner-three.ru/||info@partner-three.ru||||http://my-site.ru/|обмен; ждем "
        "ответа"_s};
    const Case cases[] = {
        {"excel_ru.csv", russianExcel},
        {"excel_utf8.csv", russianExcel},
        {"google_sheets.csv",
         {u"https://blog.example.org/partners||ann@example.org|15.09.2026|||https://my-site.ru/|"
          "first, second"_s,
          u"https://news.example.net/links|||01.10.2026|||https://my-site.ru/shop/|Ежемесячно"_s,
          u"https://old.example.com/||||||https://my-site.ru/|"_s}},
        {"backlinks_utf16.tsv",
         {u"https://links.example.com/week-12||||||https://my-site.ru/|мой \"сайт\""_s,
          u"https://catalog.example.net/web/||||||https://my-site.ru/shop/|shop second line"_s}},
        {"monitor_template.csv",
         {u"https://guest.example.com/post-1|||31.12.2026|||https://my-site.ru/|guest post | "
          "paid yearly"_s,
          u"https://forum.example.org/t/55||||||https://my-site.ru/forum/|forum"_s}},
        {"search_console.csv",
         {u"https://a.example.com/page-1|||||||"_s, u"https://b.example.com/|||||||"_s}},
        {"webmaster.csv",
         {u"https://c.example.ru/about||||||https://my-site.ru/|"_s,
          u"https://d.example.ru/||||||https://my-site.ru/contacts|"_s}},
        {"own_export_excel.csv",
         {u"http://partner.example.com/page||mail@partner.example.com|21.10.2026|"
          "http://my-site.ru/friends|10|http://my-site.ru/|=не формула; заметка"_s}},
        {"bare_list.txt",
         {u"http://e.example.com/|||||||"_s, u"www.f.example.com/links|||||||"_s,
          u"g.example.org|||||||"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Imported imported = importSource(TableSource::file(fixture(c.file)));
        ASSERT_FALSE(imported.error);
        EXPECT_EQ(imported.records, c.records);
        EXPECT_EQ(imported.counts.added, c.records.size());
    }
}

TEST(TableImport, HeadersMapByTheirWholeName) {
    struct Case {
        const char* name;
        QStringList header;
        ColumnMapping mapping;
    };
    using F = ImportField;
    const Case cases[] = {
        {"case, spaces and punctuation do not matter",
         {u" Source_URL "_s, u"TARGET URL"_s, u"E-Mail"_s, u"Макс. ссылок"_s, u"ICQ"_s},
         {F::PartnerPage, F::YourLink, F::Email, F::MaxLinks, F::Icq}},
        {"a part of a header is not a name",
         {u"ваша ссылка на партнера"_s, u"url-адрес страницы"_s, u"anchors"_s, u"ваша ссылка"_s},
         {F::None, F::None, F::None, F::YourLink}},
        {"the first of two columns keeps the field; notes take every column",
         {u"URL"_s, u"Tags"_s, u"Source"_s, u"Notes"_s, u"Anchor"_s},
         {F::PartnerPage, F::Notes, F::None, F::Notes, F::Notes}},
        {"our own list's captions",
         {u"страница партнера"_s, u"ваша ссылка"_s, u"дата"_s, u"icq"_s, u"e-mail"_s,
          u"ваша страница"_s, u"максимальное количество"_s, u"дополнительно"_s, u"состояние"_s},
         {F::PartnerPage, F::YourLink, F::Deadline, F::Icq, F::Email, F::OwnPage, F::MaxLinks,
          F::Notes, F::None}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mapHeader(c.header), c.mapping);
    }
    EXPECT_FALSE(looksLikeHeader({u"http://a.example/"_s, u"ссылки"_s}));
    EXPECT_TRUE(looksLikeHeader({u"x"_s, u"Почта"_s}));
}

TEST(TableImport, WithoutHeaderTheAddressColumnsMap) {
    const Imported imported = importBytes(
        "Иван;ivan@example.com;http://a.example.com/x;www.my-site.ru;пример.рф/ссылки\n"
        "Петр;petr@example.com;b.example.org;https://my-site.ru/p;\n");
    ASSERT_FALSE(imported.error);
    EXPECT_FALSE(imported.preview.header);
    EXPECT_EQ(imported.preview.mapping,
              (ColumnMapping{ImportField::None, ImportField::None, ImportField::PartnerPage,
                             ImportField::YourLink, ImportField::None}));
    EXPECT_EQ(imported.records, (QStringList{u"http://a.example.com/x||||||www.my-site.ru|"_s,
                                             u"b.example.org||||||https://my-site.ru/p|"_s}));
    for (const char* text : {"http://a.example", "a.example.com:8080/x?y=1", "пример.рф"}) {
        EXPECT_TRUE(isWebAddress(QString::fromUtf8(text))) << text;
    }
    for (const char* text : {"ivan@example.com", "1.5", "12.10.2026", "text with. dots", "a.b c"}) {
        EXPECT_FALSE(isWebAddress(QString::fromUtf8(text))) << text;
    }
}

TEST(TableImport, ValuesAndDeadlines) {
    const Imported imported = importBytes(
        "url,deadline,notes,notes,limit\n"
        "http://a.example/,2026-09-15 10:00:00,\"  two\r\nlines  \",,\" 7 \"\n"
        "http://b.example/,\"Sep 15, 2026\",,second column,\n"
        "http://c.example/,someday,x,y,\n"
        "http://d.example/,03/04/2026,,,\n"
        "http://e.example/,13/04/2026,,,\n"
        "http://f.example/,2026-02-30,,,\n"
        "http://g.example/,,<QV_6>forged</QV_6>,,\n"
        "http://h.example/,,a </QV_7> cut,,\n"
        "  ,,nothing to check,,\n"
        ",,,,\n");
    ASSERT_FALSE(imported.error);
    EXPECT_EQ(
        imported.records,
        (QStringList{u"http://a.example/|||15.09.2026||7||two lines"_s,
                     u"http://b.example/|||15.09.2026||||second column"_s,
                     u"http://c.example/|||||||x | y"_s,
                     // d/M for the whole column: a value of it has a first part over 12.
                     u"http://d.example/|||03.04.2026||||"_s,
                     u"http://e.example/|||13.04.2026||||"_s, u"http://f.example/|||||||"_s}));
    EXPECT_EQ(imported.counts.badDates, 2);
    EXPECT_EQ(imported.counts.withTags, 2);
    EXPECT_EQ(imported.counts.noAddress, 1) << "a blank row is no row at all";

    // Without a first part over 12 the month comes first.
    const Imported usOrder = importBytes("url;deadline\nhttp://a.example/;03/04/2026\n");
    EXPECT_EQ(usOrder.records, QStringList{u"http://a.example/|||04.03.2026||||"_s});
    // And in a spreadsheet a date is a day number.
    const Imported sheet = importSource(TableSource::memory(test::workbook(
        "<row><c t=\"inlineStr\"><is><t>url</t></is></c><c t=\"inlineStr\"><is><t>срок</t></is>"
        "</c><c t=\"inlineStr\"><is><t>icq</t></is></c></row>"
        "<row><c t=\"inlineStr\"><is><t>http://a.example/</t></is></c><c s=\"1\"><v>46280</v></c>"
        "<c><v>123456789</v></c></row>")));
    ASSERT_FALSE(sheet.error) << sheet.error->detail.toStdString();
    EXPECT_EQ(sheet.records, QStringList{u"http://a.example/|123456789||15.09.2026||||"_s});
}

TEST(TableImport, DuplicatesByTheHistorysIdentity) {
    const RecordStore existing{
        BuildRecordLine(u"http://a.example/"_s, u"1"_s, u""_s, QDate(2026, 1, 2), u""_s, u"5"_s,
                        u"http://my.example/"_s, u"old"_s, kRussian),
        u"<QV_U>http://b.example/</QV_U>"_s};
    const QByteArray table =
        "url,link,icq,notes\n"
        "http://a.example/,http://my.example/,,new\n"     // there already
        "http://a.example/,http://other.example/,,\n"     // another link: another record
        "http://b.example/,,77,\n"                        // the second existing record
        "http://c.example/,,,first\n"                     // new
        "http://c.example/,,,second\n"                    // the same as the row before
        "http://a.example/,http://my.example/,,again\n";  // in the file twice
    Imported skipped = importBytes(table, existing);
    EXPECT_EQ(skipped.records, (QStringList{u"http://a.example/||||||http://other.example/|"_s,
                                            u"http://c.example/|||||||first"_s}));
    EXPECT_EQ(skipped.counts.duplicates, 4);
    EXPECT_EQ(skipped.counts.updated, 0);

    TableReader reader(TableSource::memory(table));
    ASSERT_TRUE(reader.open());
    TablePreview preview;
    ASSERT_FALSE(previewTable(reader, {}, 20, &preview));
    RecordImport import(existing, true, kRussian);
    ASSERT_FALSE(importTable(reader, preview.header, preview.mapping, import));
    EXPECT_EQ(import.counts().updated, 2);
    EXPECT_EQ(import.counts().added, 2);
    EXPECT_EQ(import.counts().duplicates, 2);
    ASSERT_EQ(import.updates().size(), 2);
    // Only the non-empty mapped values replace the old ones.
    EXPECT_EQ(fieldsText(import.updates().value(0)),
              u"http://a.example/|1||02.01.2026||5|http://my.example/|new"_s);
    EXPECT_EQ(fieldsText(import.updates().value(1)), u"http://b.example/|77||||||"_s);
    RecordStore list = existing;
    import.applyTo(&list);
    EXPECT_EQ(list.size(), 4);
    EXPECT_EQ(list.at(0), import.updates().value(0));
}

TEST(TableImport, FormulaGuardComesOffAsItWentOn) {
    for (const char* text : {"=SUM(A1)", "+7 999", "-5", "@user", "\tx", "'=already", "''-x",
                             "plain", "'plain", "", "'", "it's"}) {
        const QString value = QString::fromUtf8(text);
        SCOPED_TRACE(text);
        EXPECT_EQ(withoutFormulaGuard(withFormulaGuard(value)), value);
        EXPECT_EQ(withFormulaGuard(value) != value, needsFormulaGuard(value));
    }
    EXPECT_EQ(withFormulaGuard(u"=1+1"_s), u"'=1+1");
    EXPECT_EQ(withFormulaGuard(u"'x"_s), u"'x");
}

}  // namespace
}  // namespace quorvel
