#include "ui/history_text.h"

#include <QStringList>

#include "checking/deadline.h"
#include "records/record_line.h"

namespace quorvel {

using namespace Qt::StringLiterals;

QString historyTimeText(const QDateTime& time) {
    return time.isValid() ? time.toLocalTime().toString(u"dd.MM.yyyy HH:mm"_s) : QString();
}

QString lastFoundLine(const QDateTime& lastFound) {
    return historyWindowWords().lastFound + historyTimeText(lastFound);
}

QString reasonLine(QStringView reason) {
    return kReasonText + u": "_s + reasonWords(reason);
}

QString signalsLine(const QStringList& signalNames, const SignalDetails& details) {
    return historyWindowWords().pageSignals + signalListWords(signalNames, details);
}

QString reciprocalLine(CheckStatus reciprocal) {
    return kYourLinkText + u": "_s + reciprocalWords(reciprocal);
}

namespace {

QString withReason(const QString& words, QStringView reason) {
    return reason.isEmpty() ? words : words + u" ("_s + reasonWords(reason) + u')';
}

QString lastCheckLine(const RecordSummary& summary) {
    return historyWindowWords().lastCheck + historyTimeText(summary.lastCheckedAt) + u": "_s +
           withReason(statusWords(summary.lastStatus), summary.lastReason);
}

// A deadline that has passed, as of the last check's status.
QStringList overdueLines(const RecordSummary& summary, const RecordFacts& facts) {
    const QDate deadline = parseDeadline(facts.deadline).value_or(QDate());
    if (!isOverdue(deadline, summary.lastStatus, summary.firstChecked.toLocalTime().date(),
                   facts.today)) {
        return {};
    }
    return {overdueWords(deadline)};
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
        lines += lastCheckLine(summary) + historyWindowWords().notConfirmed;
    } else {
        QString line = summary.renderedOnly
                           ? kRenderedOnlyText
                           : withReason(stateWords(summary.state), summary.stateReason);
        if (summary.since.isValid()) {
            line += historyWindowWords().since + historyTimeText(summary.since);
        }
        lines += line;
    }
    if (!summary.lastSignals.isEmpty()) {
        lines += signalsLine(summary.lastSignals, signalDetails(summary));
    }
    if (!summary.lastAnchor.isEmpty()) {
        lines += QString::fromUtf16(kAnchorHeading) + u": "_s + summary.lastAnchor;
    }
    if (summary.lastExternal >= 0) {
        lines +=
            QString::fromUtf16(kExternalHeading) + u": "_s + QString::number(summary.lastExternal);
    }
    if (facts.hasOwnPage) {
        lines += reciprocalLine(summary.lastReciprocal);
    }
    lines += overdueLines(summary, facts);
    const bool foundNow =
        summary.state == ConfirmedState::Found || summary.state == ConfirmedState::Hidden;
    if (!foundNow && summary.lastFound.isValid()) {
        lines += lastFoundLine(summary.lastFound);
    }
    // A single odd check does not move the state, but the user should see
    // why the page failed this morning.
    if (summary.state != ConfirmedState::None && stateOf(summary.lastStatus) != summary.state) {
        lines += lastCheckLine(summary);
    }
    for (const HistoryEvent& event : history.events) {
        lines += historyTimeText(event.checkedAt) + u" — "_s +
                 withReason(eventWords(event), event.reason);
    }
    return lines.join(u'\n');
}

}  // namespace quorvel
