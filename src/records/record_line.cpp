#include "records/record_line.h"

#include <QStringBuilder>

namespace quorvel {

namespace {

constexpr qsizetype kOpenTagLength = 6;  // "<QV_U>"

void appendField(QString& line, char16_t code, QStringView value) {
    const char16_t open[] = {u'<', u'Q', u'V', u'_', code, u'>'};
    const char16_t close[] = {u'<', u'/', u'Q', u'V', u'_', code, u'>'};
    line.append(QStringView(open, 6));
    line.append(value);
    line.append(QStringView(close, 7));
}

}  // namespace

QString BuildRecordLine(const QString& u, const QString& i, const QString& e, QDate deadline,
                        const QString& f4, const QString& f5, const QString& f6, const QString& f7,
                        const QLocale& locale) {
    return recordLineOf({u, i, e, FormatRecordDate(deadline, locale), f4, f5, f6, f7});
}

QString recordLineOf(const std::array<QStringView, 8>& values) {
    QString line;
    qsizetype size = 8 * 13;
    for (const QStringView value : values) {
        size += value.size();
    }
    line.reserve(size);
    for (size_t k = 0; k < values.size(); ++k) {
        appendField(line, kFieldCodes[k], values[k]);
    }
    return line;
}

QString ExtractField(QStringView line, QChar code) {
    return ExtractFieldView(line, code).toString();
}

QStringView ExtractFieldView(QStringView line, QChar code) {
    const char16_t open[] = {u'<', u'Q', u'V', u'_', code.unicode(), u'>'};
    const char16_t close[] = {u'<', u'/', u'Q', u'V', u'_', code.unicode(), u'>'};
    // Positions are 1-based here, 0 meaning "not found", as the rule is stated.
    const qsizetype o = line.indexOf(QStringView(open, 6)) + 1;
    const qsizetype c = line.indexOf(QStringView(close, 7)) + 1;
    const qsizetype start = o + kOpenTagLength;
    const qsizetype count = c - o - kOpenTagLength;
    if (count <= 0 || start > line.size()) {
        return QStringView();
    }
    return line.sliced(start - 1).left(count);
}

std::array<QStringView, 8> ExtractAllFields(QStringView line) {
    // The first opening and the first closing tag of each field, 0-based.
    std::array<qsizetype, 8> open;
    std::array<qsizetype, 8> close;
    open.fill(-1);
    close.fill(-1);
    int missing = 16;
    const qsizetype n = line.size();
    for (qsizetype p = line.indexOf(u'<'); p >= 0 && missing > 0; p = line.indexOf(u'<', p + 1)) {
        const bool closing = p + 1 < n && line[p + 1] == u'/';
        const qsizetype name = p + (closing ? 2 : 1);  // "QV_c>"
        if (name + 5 > n || line.sliced(name, 3) != u"QV_" || line[name + 4] != u'>') {
            continue;
        }
        for (int k = 0; k < 8; ++k) {
            if (line[name + 3] == QChar(kFieldCodes[k])) {
                qsizetype& first = closing ? close[size_t(k)] : open[size_t(k)];
                if (first < 0) {
                    first = p;
                    --missing;
                }
                break;
            }
        }
    }
    std::array<QStringView, 8> fields;
    for (size_t k = 0; k < 8; ++k) {
        // As in ExtractField, with 1-based positions, 0 meaning "not found".
        const qsizetype o = open[k] + 1;
        const qsizetype c = close[k] + 1;
        const qsizetype start = o + kOpenTagLength;
        const qsizetype count = c - o - kOpenTagLength;
        if (count > 0 && start <= n) {
            fields[k] = line.sliced(start - 1).left(count);
        }
    }
    return fields;
}

QString ExtractField(QStringView line, QStringView tagName) {
    if (tagName.size() != 4 || !tagName.startsWith(u"QV_")) {
        return QString();
    }
    for (char16_t code : kFieldCodes) {
        if (tagName.at(3) == QChar(code)) {
            return ExtractField(line, QChar(code));
        }
    }
    return QString();
}

bool holdsFieldTag(QStringView text) {
    for (qsizetype at = text.indexOf(u"QV_"); at >= 0; at = text.indexOf(u"QV_", at + 1)) {
        const bool opening = at >= 1 && text[at - 1] == u'<';
        const bool closing = at >= 2 && text[at - 1] == u'/' && text[at - 2] == u'<';
        if ((opening || closing) && at + 3 < text.size()) {
            for (const char16_t code : kFieldCodes) {
                if (text[at + 3] == QChar(code)) {
                    return true;
                }
            }
        }
    }
    return false;
}

QString recordDateFormat(const QLocale& locale) {
    if (locale.language() == QLocale::C) {
        // The C locale's short format spells the month; use the Russian one.
        return QStringLiteral("dd.MM.yyyy");
    }
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    // Widen every run of 'y' outside quoted literals to "yyyy", so dates keep
    // their century when written and read.
    QString widened;
    widened.reserve(format.size() + 2);
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar ch = format.at(i);
        if (ch == u'\'') {
            quoted = !quoted;
        } else if (!quoted && ch == u'y') {
            qsizetype j = i;
            while (j < format.size() && format.at(j) == u'y') {
                ++j;
            }
            widened += u"yyyy";
            i = j;
            continue;
        }
        widened += ch;
        ++i;
    }
    return widened;
}

QString FormatRecordDate(QDate date, const QLocale& locale) {
    return locale.toString(date, recordDateFormat(locale));
}

std::optional<QDate> ParseRecordDate(QStringView text, const QLocale& locale) {
    const QString format = recordDateFormat(locale);
    const QString input = text.toString();
    QDate date = locale.toDate(input, format);
    if (date.isValid()) {
        return date;
    }
    // A time of day may follow the date after one space.
    static const char16_t* const timeFormats[] = {u"H:mm", u"H:mm:ss", u"h:mm AP", u"h:mm:ss AP"};
    for (const char16_t* timeFormat : timeFormats) {
        const QDateTime dateTime =
            locale.toDateTime(input, format % u' ' % QStringView(timeFormat));
        if (dateTime.isValid()) {
            return dateTime.date();
        }
    }
    return std::nullopt;
}

std::optional<QDate> parseDeadline(QStringView text, const QLocale& locale) {
    if (text.trimmed().isEmpty()) {
        return std::nullopt;  // no deadline
    }
    if (const std::optional<QDate> date = ParseRecordDate(text, locale)) {
        return date;
    }
    for (const char16_t* format : {u"dd.MM.yyyy", u"yyyy-MM-dd"}) {
        const QDate date = QDate::fromString(text.toString(), QString::fromUtf16(format));
        if (date.isValid()) {
            return date;
        }
    }
    return std::nullopt;
}

}  // namespace quorvel
