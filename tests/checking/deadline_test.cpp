#include "checking/deadline.h"

#include <gtest/gtest.h>

#include "records/record_line.h"
#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(Deadline, OverdueAroundToday) {
    const QDate today(2026, 12, 10);
    struct Row {
        const char* what;
        QString deadline;
        CheckStatus last;
        bool overdue;
    };
    const Row rows[] = {
        {"yesterday, missing", u"09.12.2026"_s, CheckStatus::Missing, true},
        {"yesterday, never checked", u"09.12.2026"_s, CheckStatus::None, true},
        {"yesterday, page down", u"2026-12-09"_s, CheckStatus::FetchFailed, true},
        {"yesterday, but the link is there", u"09.12.2026"_s, CheckStatus::Found, false},
        {"yesterday, there but hidden", u"09.12.2026"_s, CheckStatus::Hidden, false},
        {"today is not late yet", u"10.12.2026"_s, CheckStatus::Missing, false},
        {"tomorrow", u"11.12.2026"_s, CheckStatus::Missing, false},
        {"a date with a time of day", u"01.01.2020 12:30"_s, CheckStatus::Missing, true},
        {"unreadable", u"soon"_s, CheckStatus::Missing, false},
        {"empty", QString(), CheckStatus::Missing, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(isOverdue(row.deadline, row.last, today), row.overdue);
    }
}

// A job under another locale still reads the window's dates.
TEST(Deadline, OtherLocalesFormats) {
    const QLocale us(u"en_US"_s);
    EXPECT_EQ(parseDeadline(u"21.10.2010", us), QDate(2010, 10, 21));
    EXPECT_EQ(parseDeadline(u"2010-10-21", us), QDate(2010, 10, 21));
    EXPECT_EQ(parseDeadline(FormatRecordDate(QDate(2010, 10, 21), us), us), QDate(2010, 10, 21));
    EXPECT_FALSE(parseDeadline(u"10/21/2010", QLocale(u"ru_RU"_s)).has_value());
    EXPECT_FALSE(parseDeadline(u"31.02.2010", us).has_value());
}

}  // namespace
}  // namespace quorvel
