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
    // Reads what the program writes until its standard error holds `text`,
    // at most `boundMs`; false when it did not come. What was read is kept
    // for finish().
    bool waitForErr(const QByteArray& text, int boundMs = 10000);
    // Collects the output and waits for the end (killed after `timeoutMs`).
    CliResult finish(int timeoutMs = 120000);

  private:
    // Reads what is there within `ms`; false once both streams have ended.
    bool readSome(int ms);

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool outOpen_ = true;
    bool errOpen_ = true;
    CliResult read_;  // what has been read so far
    bool finished_ = false;
};

// Runs quorvel-cli with the arguments and the given standard input.
CliResult runCli(const QStringList& args, const QByteArray& input = {},
                 const QString& workingDirectory = {});

}  // namespace quorvel::test
