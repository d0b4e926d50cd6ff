#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <optional>

#include "tables/table_reader.h"

namespace quorvel::cli {

struct Command;

// --encoding and --delimiter, of the commands that read tables.
QList<QCommandLineOption> tableReadOptions();
// What they ask for; nothing, after a usage error, for a name not known.
std::optional<TableReadOptions> tableReadSettings(const Command& command,
                                                  const QCommandLineParser& parser);

// Where a table named on the command line is: a file, or standard input for
// "-" (read whole, within the table limits). Nothing, after an error
// message, when standard input cannot be read.
std::optional<TableSource> tableSource(const Command& command, const QString& name);

// "cannot read 'NAME': line 12: unterminated quote", and the like.
QString tableProblemText(const QString& name, const TableError& error);

}  // namespace quorvel::cli
