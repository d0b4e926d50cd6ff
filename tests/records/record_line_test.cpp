#include "records/record_line.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

struct ExtractCase {
    const char* what;
    const char16_t* line;
    char16_t code;
    const char16_t* expected;
};

constexpr char16_t kWellFormedText[] =
    u"<QV_U>U</QV_U><QV_I>I</QV_I><QV_E>E</QV_E><QV_D>D</QV_D>"
    u"<QV_4>4</QV_4><QV_5>5</QV_5><QV_6>6</QV_6><QV_7>7</QV_7>";
const QString kWellFormed = QString::fromUtf16(kWellFormedText);

class ExtractFieldTable : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractFieldTable, ReadsByFirstOccurrences) {
    const ExtractCase& c = GetParam();
    EXPECT_EQ(ExtractField(QStringView(c.line), QChar(c.code)), QString::fromUtf16(c.expected))
        << c.what;
    // The one-pass form agrees, field by field.
    const std::array<QStringView, 8> all = ExtractAllFields(QStringView(c.line));
    for (size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(all[k], ExtractField(QStringView(c.line), QChar(kFieldCodes[k])))
            << c.what << ", field " << char(kFieldCodes[k]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractFieldTable,
    ::testing::Values(
        ExtractCase{"plain", u"<QV_U>http://a.example/</QV_U>", u'U', u"http://a.example/"},
        ExtractCase{"empty value", u"<QV_U></QV_U>", u'U', u""},
        ExtractCase{"closing tag absent", u"<QV_U>abc", u'U', u""},
        ExtractCase{"closing before opening", u"</QV_U>x<QV_U>y", u'U', u""},
        ExtractCase{"opening absent: positions 6 to c-1", u"abcdefgh</QV_7>", u'7', u"fgh"},
        ExtractCase{"opening absent, c = 7", u"abcdef</QV_7>", u'7', u"f"},
        ExtractCase{"opening absent, c = 6", u"abcde</QV_7>", u'7', u""},
        ExtractCase{"opening absent, c < 6", u"ab</QV_7>", u'7', u""},
        ExtractCase{"two U fields: the first", u"<QV_U>one</QV_U><QV_U>two</QV_U>", u'U', u"one"},
        ExtractCase{"tags are case-sensitive", u"<qv_u>a</qv_u>", u'U', u""},
        ExtractCase{"empty line", u"", u'U', u""}, ExtractCase{"end marker", u"NIL", u'5', u""},
        ExtractCase{"fields in any order", u"<QV_7>n</QV_7><QV_U>u</QV_U>", u'U', u"u"},
        ExtractCase{"value with line break", u"<QV_7>a\r\nb</QV_7>", u'7', u"a\r\nb"},
        ExtractCase{"opening tag at the very end", u"x</QV_U><QV_U>", u'U', u""},
        ExtractCase{"Cyrillic value", u"<QV_7>Привет</QV_7>", u'7', u"Привет"},
        ExtractCase{"tags inside tags", u"<QV_<QV_U>a</QV_</QV_U><QV_6></QV_6", u'U', u"a</QV_"},
        ExtractCase{"a well-formed line", kWellFormedText, u'5', u"5"}));

TEST(ExtractField, ByTagNameAndByCodeAgree) {
    for (char16_t code : kFieldCodes) {
        const QString tag = u"QV_" + QString(QChar(code));
        EXPECT_EQ(ExtractField(kWellFormed, tag), QString(QChar(code)));
        EXPECT_EQ(ExtractField(kWellFormed, QChar(code)), QString(QChar(code)));
    }
    EXPECT_EQ(ExtractField(kWellFormed, u"QV_X"), QString());
    EXPECT_EQ(ExtractField(kWellFormed, u"QV_UU"), QString());
}

QString buildLine(const QString& u, const QString& i = {}, const QString& e = {},
                  const QString& f4 = {}, const QString& f5 = {}, const QString& f6 = {},
                  const QString& f7 = {}) {
    return BuildRecordLine(u, i, e, QDate(2010, 10, 21), f4, f5, f6, f7, QLocale(u"ru_RU"));
}

TEST(BuildRecordLine, WritesTheEightTaggedValuesInOrder) {
    EXPECT_EQ(BuildRecordLine(u"u"_s, u"i"_s, u"e"_s, QDate(2010, 10, 21), u"4"_s, u"5"_s, u"6"_s,
                              u"7"_s, QLocale(u"ru_RU")),
              u"<QV_U>u</QV_U><QV_I>i</QV_I><QV_E>e</QV_E><QV_D>21.10.2010</QV_D>"
              u"<QV_4>4</QV_4><QV_5>5</QV_5><QV_6>6</QV_6><QV_7>7</QV_7>");
    EXPECT_EQ(BuildRecordLine({}, {}, {}, QDate(), {}, {}, {}, {}),
              u"<QV_U></QV_U><QV_I></QV_I><QV_E></QV_E><QV_D></QV_D>"
              u"<QV_4></QV_4><QV_5></QV_5><QV_6></QV_6><QV_7></QV_7>");
}

TEST(BuildRecordLine, RoundTripsValuesWithoutTags) {
    const QString values[7] = {u"http://партнёр.example/links.html?a=1&b=<2>"_s,
                               u"123456789"_s,
                               u"  mail@example.com "_s,
                               u"http://example.org/мои\\страницы"_s,
                               u"$A"_s,
                               u"<a href=\"x\">"_s,
                               u"QV_U </QV_ notes \t with tab"_s};
    const QString line =
        buildLine(values[0], values[1], values[2], values[3], values[4], values[5], values[6]);
    EXPECT_EQ(ExtractField(line, QChar(u'U')), values[0]);
    EXPECT_EQ(ExtractField(line, QChar(u'I')), values[1]);
    EXPECT_EQ(ExtractField(line, QChar(u'E')), values[2]);
    EXPECT_EQ(ExtractField(line, QChar(u'D')), u"21.10.2010");
    EXPECT_EQ(ExtractField(line, QChar(u'4')), values[3]);
    EXPECT_EQ(ExtractField(line, QChar(u'5')), values[4]);
    EXPECT_EQ(ExtractField(line, QChar(u'6')), values[5]);
    EXPECT_EQ(ExtractField(line, QChar(u'7')), values[6]);
}

TEST(BuildRecordLine, TagsInsideValuesShiftWhatIsReadBack) {
    // A value holding its own closing tag is cut before it.
    EXPECT_EQ(ExtractField(buildLine(u"a</QV_U>b"_s), QChar(u'U')), u"a");

    // An opening tag of a later field inside a value: that field starts there
    // and runs to its real closing tag, tags in between included.
    const QString early = buildLine(u"x<QV_E>y"_s, u"i"_s, u"e"_s);
    EXPECT_EQ(ExtractField(early, QChar(u'E')), u"y</QV_U><QV_I>i</QV_I><QV_E>e");
    EXPECT_EQ(ExtractField(early, QChar(u'U')), u"x<QV_E>y");

    // A closing tag of a later field before that field's opening tag: empty.
    EXPECT_EQ(ExtractField(buildLine(u"x</QV_E>"_s, u""_s, u"e"_s), QChar(u'E')), u"");

    // Its own opening tag, or tags of earlier fields, change nothing.
    const QString harmless = buildLine(u"u"_s, u"i"_s, u"<QV_E>z</QV_U><QV_I>"_s);
    EXPECT_EQ(ExtractField(harmless, QChar(u'E')), u"<QV_E>z</QV_U><QV_I>");
    EXPECT_EQ(ExtractField(harmless, QChar(u'U')), u"u");
    EXPECT_EQ(ExtractField(harmless, QChar(u'I')), u"i");
}

}  // namespace
}  // namespace quorvel
