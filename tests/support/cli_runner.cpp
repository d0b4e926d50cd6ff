#include "support/cli_runner.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace quorvel::test {

CliResult runCli(const QStringList& args, const QByteArray& input,
                 const QString& workingDirectory) {
    QProcess process;
    process.setProgram(QStringLiteral(QUORVEL_CLI_PATH));
    process.setArguments(args);
    if (!workingDirectory.isEmpty()) {
        process.setWorkingDirectory(workingDirectory);
    }
    process.start();
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "quorvel-cli did not start";
        return {};
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "quorvel-cli did not finish";
    }
    CliResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

}  // namespace quorvel::test
