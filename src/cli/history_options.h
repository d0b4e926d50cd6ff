#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

#include "history/history.h"

namespace quorvel::cli {

// --history PATH and, for check, --no-history.
QList<QCommandLineOption> historyOptions(bool canSkip);
// The history file a command uses for FILE: --history's PATH, else
// quorvel-history.sqlite beside FILE; none with --no-history, or for standard
// input without --history (it has no place beside it).
std::optional<QString> historyPathFor(const QCommandLineParser& parser, const QString& file);

// A time for a report: ISO 8601 in UTC, or an empty text for no time.
QJsonValue reportTime(const QDateTime& time);

}  // namespace quorvel::cli
