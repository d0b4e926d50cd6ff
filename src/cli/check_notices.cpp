#include "cli/check_notices.h"

#include <QFileInfo>

#include "cli/cli.h"
#include "cli/notify_options.h"
#include "records/record_line.h"

namespace quorvel::cli {

namespace {

void report(const NoticeReport& report) {
    for (const QString& problem : report.problems) {
        writeErr(u"notify: " % problem);
    }
}

}  // namespace

QList<QCommandLineOption> checkNoticeOptions() {
    return {flagOption(QStringLiteral("notify")), notifyConfigOption()};
}

bool checkNoticeQueue(const Command& command, const QCommandLineParser& parser, const QString& file,
                      const std::optional<QString>& historyPath, const FetchSettings& fetch,
                      std::optional<NoticeQueue>* queue) {
    if (!parser.isSet(QStringLiteral("notify"))) {
        if (parser.isSet(QStringLiteral("notify-config"))) {
            usageError(command, QStringLiteral("--notify-config needs --notify"));
            return false;
        }
        return true;
    }
    if (!historyPath) {
        // What was sent is kept in the history: without one a notice could
        // be lost or sent twice.
        usageError(command, QStringLiteral("--notify needs a history (--history PATH)"));
        return false;
    }
    std::optional<NotifySettings> settings = notifySettingsFor(command, parser);
    if (!settings) {
        return false;
    }
    NoticeQueue q;
    q.historyPath = *historyPath;
    q.list = file == u"-" ? file : QFileInfo(file).fileName();
    q.settings = std::move(*settings);
    q.fetch = fetch;
    q.fetch.userAgent.clear();
    q.fetch.browserHeaders = false;
    *queue = std::move(q);
    return true;
}

void setRecordLookup(NoticeQueue* queue, const RecordStore& records) {
    // Read when a notice is built: one pass over the list for the records
    // its changes name.
    queue->lookup = [records](const QSet<RecordIdentity>& wanted) {
        QHash<RecordIdentity, DigestRecord> found;
        for (qsizetype i = 0; i < records.size() && found.size() < wanted.size(); ++i) {
            const QStringView line = records.view(i);
            const RecordIdentity identity = identityOf(line);
            if (wanted.contains(identity) && !found.contains(identity)) {
                found.insert(identity, {int(i), ExtractFieldView(line, QChar(u'E')).toString()});
            }
        }
        return found;
    };
}

void sendLeftNotices(const NoticeQueue& queue) {
    report(sendOpenNotices(queue, QDateTime::currentDateTimeUtc()));
}

void sendRunNotice(const NoticeQueue& queue, qint64 runId, const QDateTime& runStarted,
                   const std::map<CheckStatus, int>& totals) {
    if (runId != 0) {
        if (const Outcome<> kept = keepRunNotice(queue, runId, runStarted, totals); !kept) {
            writeErr(u"notify: " % kept.error);
        }
    }
    report(sendOpenNotices(queue, QDateTime::currentDateTimeUtc()));
}

}  // namespace quorvel::cli
