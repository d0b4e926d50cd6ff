#pragma once

// The user's words (Russian) for what the history knows: statuses, confirmed
// states, changes, reasons, page signals and the user's own page. Every
// window and report that tells these things in words takes them from here,
// so that one thing is always called by one name.

#include <QString>
#include <QStringView>

#include "checking/check_outcome.h"
#include "history/confirmed_state.h"

namespace quorvel {

// "проверок еще не было": a record the history has never seen.
extern const QString kNoChecksYetText;
// The history file exists but cannot be read (a newer program's, damaged,
// locked for too long).
extern const QString kHistoryUnreadableText;

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
// The user's own page as the reciprocal check found it ("есть", "нет", ...,
// "еще не проверялась" for None).
QString reciprocalWords(CheckStatus status);

}  // namespace quorvel
