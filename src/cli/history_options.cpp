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

}  // namespace quorvel::cli
