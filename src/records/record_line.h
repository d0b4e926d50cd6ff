#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace quorvel {

// The eight fields of a partner record, in the order they stand in the line.
inline constexpr char16_t kFieldCodes[8] = {u'U', u'I', u'E', u'D', u'4', u'5', u'6', u'7'};

// The record list's columns, left to right, by their field's place in
// kFieldCodes: U, 6, D, I, E, 4, 5, 7.
inline constexpr int kListColumnFields[8] = {0, 6, 3, 1, 2, 4, 5, 7};

// "<QV_U>value</QV_U><QV_I>...</QV_7>": the eight tagged values, nothing else.
// The values come in field order: partner page (U), ICQ (I), e-mail (E),
// deadline (D), own page (4), maximum of outgoing links (5), your link (6),
// notes (7).
QString BuildRecordLine(const QString& u, const QString& i, const QString& e, QDate deadline,
                        const QString& f4, const QString& f5, const QString& f6, const QString& f7,
                        const QLocale& locale = QLocale::system());

// The line of eight values given as text, in kFieldCodes order, the deadline
// as it is to stand: what BuildRecordLine makes, for values that are
// already text.
QString recordLineOf(const std::array<QStringView, 8>& values);

// The value of one field, by its code ('U', 'I', ..., '7'). Only the first
// opening and the first closing tag count, wherever they stand; a missing or
// misplaced tag gives the empty text or a shifted value, never a failure.
QString ExtractField(QStringView line, QChar code);
// The same as a view into `line`, without a copy.
QStringView ExtractFieldView(QStringView line, QChar code);
// All eight fields by the same rule, in kFieldCodes order, from one pass
// over the line instead of sixteen searches: for long lines.
std::array<QStringView, 8> ExtractAllFields(QStringView line);
// The same by tag name ("QV_U"); any other name gives the empty text.
QString ExtractField(QStringView line, QStringView tagName);

// Whether a text holds the start of a field's tag ("<QV_" or "</QV_" and a
// field's code): a value that does would forge or cut another field of its
// line, and a line without any is no record.
bool holdsFieldTag(QStringView text);

// The short date format that deadlines are written and read in: the locale's
// own, with the year always four digits wide; the "C" locale uses dd.MM.yyyy.
QString recordDateFormat(const QLocale& locale = QLocale::system());
QString FormatRecordDate(QDate date, const QLocale& locale = QLocale::system());
// A date in that format, optionally followed by a time of day; nothing else.
std::optional<QDate> ParseRecordDate(QStringView text, const QLocale& locale = QLocale::system());
// A deadline as any program of ours may have written it: the locale's format
// (ParseRecordDate), then dd.MM.yyyy, then yyyy-MM-dd, so that a job under
// another locale reads the window's dates.
std::optional<QDate> parseDeadline(QStringView text, const QLocale& locale = QLocale::system());

}  // namespace quorvel
