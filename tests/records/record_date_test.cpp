#include "records/record_line.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

struct LocaleCase {
    const char16_t* locale;  // empty: the C locale
    const char16_t* format;
    const char16_t* written;  // 21 October 2010
};

QLocale localeOf(const LocaleCase& c) {
    return c.locale[0] ? QLocale(QString::fromUtf16(c.locale)) : QLocale::c();
}

class RecordDates : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(RecordDates, WriteAndReadInOneFourDigitYearFormat) {
    const LocaleCase& c = GetParam();
    const QLocale locale = localeOf(c);
    EXPECT_EQ(recordDateFormat(locale), QString::fromUtf16(c.format));
    EXPECT_EQ(FormatRecordDate(QDate(2010, 10, 21), locale), QString::fromUtf16(c.written));

    for (const QDate date : {QDate(2010, 10, 21), QDate(1999, 1, 2), QDate(2049, 12, 31),
                             QDate(2051, 2, 28), QDate(2100, 3, 1)}) {
        EXPECT_EQ(ParseRecordDate(FormatRecordDate(date, locale), locale), date)
            << date.toString(Qt::ISODate).toStdString();
    }
    // A time of day may follow the date.
    const QString written = QString::fromUtf16(c.written);
    EXPECT_EQ(ParseRecordDate(QString(written + u" 13:45"), locale), QDate(2010, 10, 21));
    EXPECT_EQ(ParseRecordDate(QString(written + u" 13:45:10"), locale), QDate(2010, 10, 21));
    EXPECT_EQ(ParseRecordDate(QString(written + u" 9:05"), locale), QDate(2010, 10, 21));

    // Anything else fails quietly.
    const QStringList bad = {QString(),      written + u"x",  u' ' + written, written + u" 25:00",
                             written + u" ", u"2010-10-21"_s, u"garbage"_s};
    for (const QString& text : bad) {
        EXPECT_FALSE(ParseRecordDate(text, locale).has_value()) << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, RecordDates,
                         ::testing::Values(LocaleCase{u"ru_RU", u"dd.MM.yyyy", u"21.10.2010"},
                                           LocaleCase{u"en_US", u"M/d/yyyy", u"10/21/2010"},
                                           LocaleCase{u"de_DE", u"dd.MM.yyyy", u"21.10.2010"},
                                           LocaleCase{u"", u"dd.MM.yyyy", u"21.10.2010"}));

TEST(RecordDates, OutOfRangeDayOrMonthFails) {
    const QLocale ru(u"ru_RU"_s);
    EXPECT_FALSE(ParseRecordDate(u"32.10.2010", ru).has_value());
    EXPECT_FALSE(ParseRecordDate(u"21.13.2010", ru).has_value());
    EXPECT_FALSE(ParseRecordDate(u"29.02.2011", ru).has_value());
    EXPECT_EQ(ParseRecordDate(u"29.02.2012", ru), QDate(2012, 2, 29));
}

TEST(RecordDates, AnotherLocalesDateFailsOrReadsDifferently) {
    const QString us = FormatRecordDate(QDate(2010, 10, 21), QLocale(u"en_US"_s));
    EXPECT_FALSE(ParseRecordDate(us, QLocale(u"ru_RU"_s)).has_value());
    const QString ru = FormatRecordDate(QDate(2010, 3, 4), QLocale(u"ru_RU"_s));
    EXPECT_NE(ParseRecordDate(ru, QLocale(u"en_US"_s)), QDate(2010, 3, 4));
}

TEST(RecordDates, FormatsWithLiteralTextRoundTrip) {
    // Bulgarian short dates end in a quoted literal.
    const QLocale bg(u"bg_BG"_s);
    const QString format = recordDateFormat(bg);
    EXPECT_TRUE(format.contains(u"yyyy")) << format.toStdString();
    EXPECT_EQ(ParseRecordDate(FormatRecordDate(QDate(2010, 10, 21), bg), bg), QDate(2010, 10, 21));
}

}  // namespace
}  // namespace quorvel
