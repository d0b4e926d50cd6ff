#include "cli/history_options.h"

#include <QDir>
#include <QFileInfo>

#include "cli/cli.h"

namespace quorvel::cli {

QList<QCommandLineOption> historyOptions(bool canSkip) {
    QList<QCommandLineOption> options{valuedOption(QStringLiteral("history"))};
    if (canSkip) {
        options += flagOption(QStringLiteral("no-history"));
    }
    return options;
}

std::optional<QString> historyPathFor(const QCommandLineParser& parser, const QString& file) {
    if (parser.optionNames().contains(QStringLiteral("no-history"))) {
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("history"))) {
        return firstValue(parser, QStringLiteral("history"));
    }
    if (file == u"-") {
        return std::nullopt;
    }
    return QFileInfo(file).absoluteDir().filePath(QString::fromUtf16(kHistoryFileName));
}

QJsonValue reportTime(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}

QString localReportTime(const QDateTime& time) {
    if (!time.isValid()) {
        return QString();
    }
    const QDateTime local = time.toLocalTime();
    const int offset = local.offsetFromUtc() / 60;
    return local.toString(u"yyyy-MM-ddTHH:mm:ss") % (offset < 0 ? u'-' : u'+') %
           QString::number(qAbs(offset) / 60).rightJustified(2, u'0') % u':' %
           QString::number(qAbs(offset) % 60).rightJustified(2, u'0');
}

}  // namespace quorvel::cli
