#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace quorvel::test {

struct CliResult {
    int exitCode = -1;  // -1 when it did not exit normally
    QByteArray out;
    QByteArray err;
};

// The built quorvel-cli (or another program of ours) as a child process. Spawned without Qt's
// process machinery, so that it also works under ThreadSanitizer.
class CliProcess {
  public:
    CliProcess(const QStringList& args, const QByteArray& input = {},
               const QString& workingDirectory = {}, const char* program = QUORVEL_CLI_PATH);
    ~CliProcess();
    pid_t pid() const { return pid_; }
    // Collects the output and waits for the end (killed after `timeoutMs`).
    CliResult finish(int timeoutMs = 120000);

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool finished_ = false;
};

// Runs quorvel-cli with the arguments and the given standard input.
CliResult runCli(const QStringList& args, const QByteArray& input = {},
                 const QString& workingDirectory = {});

}  // namespace quorvel::test
