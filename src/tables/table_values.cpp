#include "tables/table_values.h"

#include "records/record_line.h"
#include "tables/xlsx_reader.h"

namespace quorvel {

namespace {

bool isGuarded(QChar ch) {
    return ch == u'=' || ch == u'+' || ch == u'-' || ch == u'@' || ch == u'\t' || ch == u'\r';
}

// The first character after the leading apostrophes, if any.
qsizetype apostrophes(QStringView value) {
    qsizetype n = 0;
    while (n < value.size() && value[n] == u'\'') {
        ++n;
    }
    return n;
}

// Reads digits at `at` (at most `most`); -1 when there is none.
int digits(QStringView text, qsizetype& at, int most) {
    int value = 0;
    int count = 0;
    while (at < text.size() && count < most && text[at].isDigit() && text[at].unicode() < 128) {
        value = value * 10 + (text[at].unicode() - u'0');
        ++at;
        ++count;
    }
    return count == 0 ? -1 : value;
}

// Three numbers separated by `separator`: widths of 1-2, 1-2 and 4 digits
// ("dd.MM.yyyy", "M/d/yyyy"), or 4, 1-2, 1-2 for `yearFirst`. Anything after
// them must begin with a space or, for year-first dates, a 'T' (a time).
bool threeNumbers(QStringView text, QChar separator, bool yearFirst, int parts[3]) {
    qsizetype at = 0;
    const int widths[3] = {yearFirst ? 4 : 2, 2, yearFirst ? 2 : 4};
    for (int i = 0; i < 3; ++i) {
        const qsizetype start = at;
        parts[i] = digits(text, at, widths[i]);
        if (parts[i] < 0 || (widths[i] == 4 && at - start != 4)) {
            return false;
        }
        if (i < 2) {
            if (at >= text.size() || text[at] != separator) {
                return false;
            }
            ++at;
        }
    }
    return at == text.size() || text[at] == u' ' || (yearFirst && text[at] == u'T');
}

}  // namespace

QString cellValue(QStringView cell) {
    QString value;
    value.reserve(cell.size());
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const QChar ch = cell[i];
        if (ch == u'\r' || ch == u'\n') {
            value += u' ';
            if (ch == u'\r' && i + 1 < cell.size() && cell[i + 1] == u'\n') {
                ++i;
            }
        } else {
            value += ch;
        }
    }
    return value.trimmed();
}

bool needsFormulaGuard(QStringView value) {
    const qsizetype n = apostrophes(value);
    return n < value.size() && isGuarded(value[n]);
}

QString withFormulaGuard(const QString& value) {
    return needsFormulaGuard(value) ? u'\'' + value : value;
}

QString withoutFormulaGuard(const QString& value) {
    const qsizetype n = apostrophes(value);
    return n > 0 && n < value.size() && isGuarded(value[n]) ? value.sliced(1) : value;
}

DeadlineColumn::DeadlineColumn(const QLocale& locale, bool dates1904)
    : locale_(locale), dates1904_(dates1904) {}

DeadlineColumn::Reading DeadlineColumn::read(QStringView value, bool number, QDate* date) {
    value = value.trimmed();
    if (value.isEmpty()) {
        return Reading::Empty;
    }
    const auto found = [date](QDate d) {
        *date = d;
        return d.isValid() ? Reading::Date : Reading::Unreadable;
    };
    if (number) {
        bool ok = false;
        const double serial = value.toDouble(&ok);
        return ok ? found(dateFromSerial(serial, dates1904_)) : Reading::Unreadable;
    }
    int p[3];
    if (threeNumbers(value, u'.', false, p)) {
        return found(QDate(p[2], p[1], p[0]));
    }
    if (threeNumbers(value, u'-', true, p)) {
        return found(QDate(p[0], p[1], p[2]));
    }
    if (threeNumbers(value, u'/', false, p)) {
        firstOver12_ = firstOver12_ || p[0] > 12;
        secondOver12_ = secondOver12_ || p[1] > 12;
        return Reading::Slashed;
    }
    // "Sep 15, 2026", and the month in full.
    const QString text = value.toString();
    for (const char16_t* format : {u"MMM d, yyyy", u"MMMM d, yyyy"}) {
        const QDate d = QLocale::c().toDate(text, QString::fromUtf16(format));
        if (d.isValid()) {
            return found(d);
        }
    }
    // The user's own short format, as the window writes deadlines.
    if (const std::optional<QDate> d = ParseRecordDate(value, locale_)) {
        return found(*d);
    }
    return Reading::Unreadable;
}

std::optional<QDate> DeadlineColumn::resolve(QStringView value) const {
    int p[3];
    if (!threeNumbers(value.trimmed(), u'/', false, p)) {
        return std::nullopt;
    }
    bool dayFirst = firstOver12_;
    if (!firstOver12_ && !secondOver12_) {
        // Nothing in the column tells: the user's own format does, when it
        // is day first with slashes; else the month comes first.
        const QString own = recordDateFormat(locale_);
        dayFirst = own.startsWith(u'd') && own.contains(u'/');
    }
    const QDate date = dayFirst ? QDate(p[2], p[1], p[0]) : QDate(p[2], p[0], p[1]);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

}  // namespace quorvel
