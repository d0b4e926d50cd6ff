#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quorvel::test {

struct CliResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the built quorvel-cli with the arguments and the given standard input.
CliResult runCli(const QStringList& args, const QByteArray& input = {},
                 const QString& workingDirectory = {});

}  // namespace quorvel::test
