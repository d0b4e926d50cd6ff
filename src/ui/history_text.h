#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

#include "history/history.h"
#include "ui/window_words.h"

namespace quorvel {

// The check history in the user's words: what the history window of one
// record shows, in the words of the history's table.

// A history time in local time, to the minute; an invalid time is empty.
QString historyTimeText(const QDateTime& time);

// Lines of the history window's text that the list's hints show too.
QString lastFoundLine(const QDateTime& lastFound);
QString reasonLine(QStringView reason);
QString signalsLine(const QStringList& signalNames, const SignalDetails& details = {});
QString reciprocalLine(CheckStatus reciprocal);

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
