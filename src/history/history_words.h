#pragma once

// The user's words (Russian) for what the history knows: statuses, confirmed
// states, changes, reasons, page signals and the user's own page. Every
// window and report that tells these things in words takes them from here,
// so that one thing is always called by one name.

#include <QString>
#include <QStringView>

#include <QStringList>

#include <array>

#include "checking/check_outcome.h"
#include "history/confirmed_state.h"
#include "history/history.h"

namespace quorvel {

// "проверок еще не было": a record the history has never seen.
extern const QString kNoChecksYetText;
// The history file exists but cannot be read (a newer program's, damaged,
// locked for too long).
extern const QString kHistoryUnreadableText;

// The state of a record that the overview has no check of yet; of one whose
// last change was a bot wall, with no page loaded since; the start of a
// state not confirmed yet (the last result's words follow); and the mark of
// a deadline that has passed.
extern const QString kNeverCheckedText;
extern const QString kBlockedStateText;
extern const QString kUnconfirmedText;
extern const QString kOverdueMark;

// The words of the check button's legend: "ссылка есть", "ссылка не
// индексируется", "ссылки нет", "не удалось загрузить страницу партнера";
// empty for None.
QString stateWords(ConfirmedState state);
// The same words for the status of a single check.
QString statusWords(CheckStatus status);
// A move of the confirmed state ("ссылка пропала", ...).
QString changeWords(ChangeKind change);
// Why an attempt failed ("адрес не найден", "ответ сервера 404", ...); empty
// for None.
QString failureWords(const FailureReason& reason);
// Why a page that loaded got its verdict ("rel=nofollow", ...); empty for None.
QString verdictReasonWords(VerdictReason reason);
// A reason as the history keeps it (codes as in RecordCheck::reasonCode,
// two attempts joined by "; ") in words; a code this program does not know is
// shown as it is.
QString reasonWords(QStringView reason);
// A page signal by its name ("meta-noindex", ...); an unknown name as it is.
QString signalWords(QStringView name);
// Signals by name joined by ", ".
QString signalListWords(const QStringList& names);
// Which program ran a check: "окно программы" or "quorvel-cli" (Unknown:
// nothing).
QString runSourceWords(RunSource source);
// How many records ended Found, Hidden, Missing and FetchFailed: "есть 3 ·
// скрыты 0 · нет 1 · недоступны 2".
QString tallyWords(const std::array<int, 4>& byStatus);
// The user's own page as the reciprocal check found it ("есть", "нет", ...,
// "еще не проверялась" for None).
QString reciprocalWords(CheckStatus status);

}  // namespace quorvel
