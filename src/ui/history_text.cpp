#include "ui/history_text.h"

#include <QStringList>

#include "checking/deadline.h"
#include "records/record_line.h"

namespace quorvel {

using namespace Qt::StringLiterals;

QString historyTimeText(const QDateTime& time) {
    return time.isValid() ? time.toLocalTime().toString(u"dd.MM.yyyy HH:mm"_s) : QString();
}

namespace {

QString withReason(const QString& words, QStringView reason) {
    return reason.isEmpty() ? words : words + u" ("_s + reasonWords(reason) + u')';
}

QString lastCheckLine(const RecordSummary& summary) {
    return u"последняя проверка "_s + historyTimeText(summary.lastCheckedAt) + u": "_s +
           withReason(statusWords(summary.lastStatus), summary.lastReason);
}

// A deadline that has passed, as of the last check's status.
QStringList overdueLines(const RecordSummary& summary, const RecordFacts& facts) {
    if (!isOverdue(facts.deadline, summary.lastStatus, facts.today)) {
        return {};
    }
    return {u"срок установки ссылки истек "_s +
            parseDeadline(facts.deadline)->toString(u"dd.MM.yyyy"_s)};
}

}  // namespace

QString historyText(const RecordHistory& history, const RecordFacts& facts) {
    const RecordSummary& summary = history.summary;
    if (summary.checks == 0) {
        return (QStringList{kNoChecksYetText} + overdueLines(summary, facts)).join(u'\n');
    }
    QStringList lines;
    if (summary.state == ConfirmedState::None) {
        // One Missing check or fewer than three failures confirm nothing yet.
        lines += lastCheckLine(summary) + u"; состояние еще не подтверждено"_s;
    } else {
        QString line = withReason(stateWords(summary.state), summary.stateReason);
        if (summary.since.isValid()) {
            line += u" с "_s + historyTimeText(summary.since);
        }
        lines += line;
    }
    if (!summary.lastSignals.isEmpty()) {
        lines += u"сигналы страницы: "_s + signalListWords(summary.lastSignals);
    }
    if (facts.hasOwnPage) {
        lines += u"ваша ссылка на партнера: "_s + reciprocalWords(summary.lastReciprocal);
    }
    lines += overdueLines(summary, facts);
    const bool foundNow =
        summary.state == ConfirmedState::Found || summary.state == ConfirmedState::Hidden;
    if (!foundNow && summary.lastFound.isValid()) {
        lines += u"ссылка последний раз найдена "_s + historyTimeText(summary.lastFound);
    }
    // A single odd check does not move the state, but the user should see
    // why the page failed this morning.
    if (summary.state != ConfirmedState::None && stateOf(summary.lastStatus) != summary.state) {
        lines += lastCheckLine(summary);
    }
    for (const HistoryEvent& event : history.events) {
        lines += historyTimeText(event.checkedAt) + u" — "_s +
                 withReason(changeWords(event.change), event.reason);
    }
    return lines.join(u'\n');
}

}  // namespace quorvel
