#pragma once

// The user's words (Russian) for what the history knows: statuses, confirmed
// states, changes, reasons, page signals and the user's own page. Every
// window, export and notice that tells these things in words takes them
// from here, so that one thing is always called by one name. What only the
// window says is in the window's own words (ui/window_words.h).

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include "checking/check_outcome.h"
#include "history/confirmed_state.h"
#include "history/history.h"

namespace quorvel {

// The record list's column captions, left to right (the fields in
// kListColumnFields order): "страница партнера", "ваша ссылка", "дата", ...
const QStringList& listColumnWords();
// What the history knows of a record, column by column, in the order an
// export of the list adds them after the eight fields. The overview shows
// them too, under the same captions, where it shows them at all.
enum class HistoryColumn {
    State,
    Since,
    LastFound,
    Reason,
    Count,
    OverLimit,
    Signals,
    Reciprocal,
    Overdue,
};
inline constexpr int kHistoryColumns = 9;
// A column's caption: "состояние", "с", "последний раз найдена", "причина",
// "ссылок на странице", "превышен лимит", "сигналы", "ваша ссылка на
// партнера", "просрочен".
QString historyColumnWords(HistoryColumn column);
// Every column's caption, in that order.
const QStringList& exportHistoryColumnWords();
// A fact that holds, in a table's cell: "да".
QString yesWords();

// The state of a record that the overview has no check of yet; of one whose
// last change was a bot wall, with no page loaded since; and the start of a
// state not confirmed yet (the last result's words follow).
extern const QString kNeverCheckedText;
extern const QString kBlockedStateText;
extern const QString kUnconfirmedText;

// What the user's own page says of the partner ("ваша ссылка на партнера"),
// and the why of a check ("причина"): captions and the start of lines.
extern const QString kYourLinkText;
extern const QString kReasonText;

// The words of the check button's legend: "ссылка есть", "ссылка не
// индексируется", "ссылки нет", "не удалось загрузить страницу партнера";
// empty for None.
QString stateWords(ConfirmedState state);
// The same words for the status of a single check.
QString statusWords(CheckStatus status);
// The state of a record that has been checked, as the overview and the
// export tell it: kBlockedStateText while `blocked` (its last change was a
// bot wall, and no page has loaded since), else its confirmed state, else
// kUnconfirmedText and the last check's words; a found state that stands on a
// rendering is kRenderedOnlyText.
QString checkedStateWords(const RecordSummary& summary, bool blocked);
// A move of the confirmed state ("ссылка пропала", ...).
QString changeWords(ChangeKind change);
// Why an attempt failed ("адрес не найден", "ответ сервера 404", ...); empty
// for None.
QString failureWords(const FailureReason& reason);
// Why a page that loaded got its verdict ("rel=nofollow", ...); empty for None.
QString verdictReasonWords(VerdictReason reason);
// A reason as the history keeps it (codes as in RecordCheck::reasonCode,
// two attempts joined by "; ") in words; a code this program does not know is
// shown as it is. A reason never repeats itself: two attempts that failed
// alike are told once, two that failed otherwise as "закрыта защитой от
// ботов (первый адрес); второй адрес: адрес не найден".
QString reasonWords(QStringView reason);
// A TLS failure by the certificate problem the library named: "сертификат
// просрочен", "сертификат самоподписанный", "сертификат выдан другому
// имени", or "сертификат не проверен: " and the library's text; without a
// problem, "ошибка TLS-соединения".
QString tlsWords(QStringView problem);
// A page signal by its name ("meta-noindex", ...); an unknown name as it is.
QString signalWords(QStringView name);
// A deadline that passed without the link: "срок установки ссылки истек
// 20.10.2010".
QString overdueWords(QDate deadline);
// Signals by name joined by ", ".
QString signalListWords(const QStringList& names);
// The addresses and the agent that some signals name.
struct SignalDetails {
    QString nearLink;     // other-link-to-you
    QString canonical;    // canonical-elsewhere
    QString robotsAgent;  // robots-disallow
};
// Signals by name joined by ", ", each with what it names: "на странице
// есть другая ссылка на ваш сайт: АДРЕС", "страница указывает каноническим
// другой адрес: АДРЕС", "robots.txt запрещает страницу для Googlebot".
QString signalListWords(const QStringList& names, const SignalDetails& details);
// The details of a record's last check.
SignalDetails signalDetails(const RecordSummary& summary);

// The state of a record whose link is there only after the page's scripts
// have run.
extern const QString kRenderedOnlyText;
// The user's own page as the reciprocal check found it ("есть", "нет", ...,
// "еще не проверялась" for None).
QString reciprocalWords(CheckStatus status);

// Notices of a run's changes.
// A group of changes of one kind, before its count: "пропали ссылки",
// "недоступны", ...
QString changeGroupWords(ChangeKind change);
// A run's totals: "проверено 480: есть 451, скрыты 9, нет 12, недоступны 8".
QString runTotalsWords(int checked, int found, int hidden, int missing, int failed);
// When a notice's run began: "проверка 11.12.2026 07:00" (local time).
QString runTimeWords(const QDateTime& started);
// Since when a change holds: "с 11.12.2026 04:14" (local time).
QString sinceWords(const QDateTime& since);
// The test message of the notice channels.
extern const QString kNoticeTestSubject;
extern const QString kNoticeTestText;

}  // namespace quorvel
