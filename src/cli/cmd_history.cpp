#include <QJsonArray>

#include "checking/deadline.h"
#include "cli/cli.h"
#include "cli/history_options.h"
#include "cli/report.h"
#include "history/history_reader.h"
#include "records/record_file.h"
#include "records/record_line.h"

namespace quorvel::cli {

extern const Command kHistoryCommand;

namespace {

int runHistory(const QStringList& args);

}  // namespace

extern const Command kHistoryCommand = {
    "history",
    "[--format tsv|csv|json] [--history PATH] FILE",
    "show what earlier checks found for every partner of a record file",
    "Reads FILE and the check history (quorvel-history.sqlite beside FILE, or\n"
    "PATH) and prints one row per record, in list order:\n"
    "\n"
    "  index        position in the file, from 0\n"
    "  status       what the last check found (as in check), none if never checked\n"
    "  reason       why, as in check\n"
    "  state        the confirmed state: found, hidden, missing (two checks in a\n"
    "               row that loaded the page), down (three failed checks in a\n"
    "               row), or empty while nothing is confirmed\n"
    "  since        when the confirmed state began, on your clock with its\n"
    "               offset (2026-12-11T04:14:14+03:00)\n"
    "  last_found   the last check that found the link (Found or Hidden; ISO\n"
    "               8601, UTC)\n"
    "  checks       how many checks the history holds for the record\n"
    "  signals      what the page said to search engines at the last check (as in\n"
    "               check)\n"
    "  reciprocal   whether your page linked to the partner at the last check\n"
    "  overdue      1 when the deadline (field D) has passed, the last check\n"
    "               did not find the link, and the deadline is not before the\n"
    "               day of the record's first check (a deadline that had passed\n"
    "               before the record was ever checked is not reported)\n"
    "  partner_url  the partner page (field U)\n"
    "  anchor, near_link, canonical, external   what the last check learnt of\n"
    "               the link (as in check)\n"
    "  rendered_only  1 when the confirmed state is found only because a browser\n"
    "               (check --render) saw the link after the page's scripts ran\n"
    "\n"
    "Changes of your side of the exchange (reciprocal-lost, reciprocal-restored)\n"
    "are printed by check --changes.\n"
    "\n"
    "A record is known to the history by its partner page and your link (fields\n"
    "U and 6): editing either starts a new history for it.\n"
    "\n"
    "  --format tsv|csv|json   as in check\n"
    "  --history PATH          the history file to read\n"
    "\n"
    "Exit status: 0, or 2 on a usage error, a file that cannot be read, or a\n"
    "history that cannot be read.\n",
    runHistory,
};

namespace {

int runHistory(const QStringList& args) {
    QCommandLineParser parser;
    if (!parseCommandLine(kHistoryCommand, args, historyOptions(false) << formatOption(), parser)) {
        return kExitUsage;
    }
    const std::optional<Format> format = reportFormat(kHistoryCommand, parser);
    if (!format) {
        return kExitUsage;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        return usageError(kHistoryCommand, QStringLiteral("give exactly one FILE"));
    }
    const QString& file = files.first();
    const std::optional<QString> path = historyPathFor(parser, file);
    if (!path) {
        return usageError(
            kHistoryCommand,
            QStringLiteral("standard input has no history beside it: give --history"));
    }
    const RecordFileContent content = readRecordInput(file);
    if (!wasRead(content.outcome)) {
        reportError(kHistoryCommand, cannotRead(file, content));
        return kExitUsage;
    }
    reportLosses(kHistoryCommand, file, content);
    QList<RecordIdentity> identities;
    identities.reserve(content.records.size());
    for (const QStringView line : content.records) {
        identities += identityOf(line);
    }
    HistoryReader reader(*path);
    const Outcome<QList<RecordSummary>> summaries = reader.summaries(identities);
    if (!summaries.ok()) {
        // The history's messages name it already ("history: ...").
        writeErr(QStringLiteral("quorvel-cli: ") + summaries.error);
        return kExitUsage;
    }
    ReportWriter report(
        *format,
        {QStringLiteral("index"), QStringLiteral("status"), QStringLiteral("reason"),
         QStringLiteral("state"), QStringLiteral("since"), QStringLiteral("last_found"),
         QStringLiteral("checks"), QStringLiteral("signals"), QStringLiteral("reciprocal"),
         QStringLiteral("overdue"), QStringLiteral("partner_url"), QStringLiteral("anchor"),
         QStringLiteral("near_link"), QStringLiteral("canonical"), QStringLiteral("external"),
         QStringLiteral("rendered_only")});
    const QDate today = QDate::currentDate();
    for (qsizetype i = 0; i < identities.size(); ++i) {
        const RecordSummary& s = summaries.value.at(i);
        // Late as of today: the deadline in the file against the last check,
        // for a deadline that lapsed after the record's first check.
        const bool overdue = isOverdue(ExtractField(content.records.view(i), QChar(u'D')),
                                       s.lastStatus, s.firstChecked.toLocalTime().date(), today);
        report.write({qint64(i), QString::fromLatin1(statusName(s.lastStatus)), s.lastReason,
                      stateName(s.state).toString(), localIsoTime(s.since), reportTime(s.lastFound),
                      s.checks, QJsonArray::fromStringList(s.lastSignals),
                      QString::fromLatin1(statusName(s.lastReciprocal)), overdue ? 1 : 0,
                      identities.at(i).partnerUrl, s.lastAnchor, s.lastNearLink, s.lastCanonical,
                      s.lastExternal >= 0 ? QJsonValue(s.lastExternal) : QJsonValue(),
                      s.renderedOnly ? 1 : 0});
    }
    report.finish();
    return kExitOk;
}

}  // namespace

}  // namespace quorvel::cli
