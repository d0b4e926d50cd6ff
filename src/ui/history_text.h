#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

#include "history/history.h"

namespace quorvel {

// The check history in the user's words: what the history window of one
// record shows. Every word the window uses comes from here.

// "проверок еще не было": a record the history has never seen.
extern const QString kNoChecksYetText;
// The history file exists but cannot be read (a newer program's, damaged,
// locked for too long).
extern const QString kHistoryUnreadableText;

// A record the overview has no check of yet; the state of a record whose
// last change was a bot wall, with no page loaded since; the start of a
// state not confirmed yet (the last result's words follow); and the mark of
// a deadline that has passed.
extern const QString kNeverCheckedText;
extern const QString kBlockedStateText;
extern const QString kUnconfirmedText;
extern const QString kOverdueMark;

// A confirmed state in the words of the check button's legend ("ссылка
// есть", ...); None has none.
QString stateWords(ConfirmedState state);
// The state a single check speaks for.
ConfirmedState stateOf(CheckStatus status);
// A signal's name ("meta-noindex", ...) in the user's words, and a list of
// them joined by ", ".
QString signalWords(QStringView name);
QString signalListWords(const QStringList& names);
// The user's own page as the reciprocal check found it; None is a record
// whose page has not been looked at yet.
QString reciprocalWords(CheckStatus status);
// Which program ran a check: the window or quorvel-cli (Unknown: nothing).
QString runSourceWords(RunSource source);
// How many records ended Found, Hidden, Missing and FetchFailed: "есть 3 ·
// скрыты 0 · нет 1 · недоступны 2".
QString tallyWords(const std::array<int, 4>& byStatus);
// A history time in local time, to the minute; an invalid time is empty.
QString historyTimeText(const QDateTime& time);

// A reason code ("dns", "http 404", "tls certificate has expired", two
// attempts joined by "; ") in Russian; a code this program does not know is
// shown as it is.
QString reasonWords(QStringView reason);

// What the record itself says, beside its history: whether it names the
// user's own page (QV_4) and its deadline (QV_D).
struct RecordFacts {
    bool hasOwnPage = false;
    QString deadline;
    QDate today = QDate::currentDate();
};

// The window's text: the confirmed state and since when; the page's signals,
// the user's side of the exchange and a deadline that has passed; when the
// link was last found, the last check when it disagrees with the state,
// then the changes, newest first. Times are shown in local time.
QString historyText(const RecordHistory& history, const RecordFacts& facts = {});

}  // namespace quorvel
