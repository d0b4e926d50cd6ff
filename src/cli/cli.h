#pragma once

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>
#include <span>

#include "checking/http_client.h"
#include "records/record_file.h"

namespace quorvel::cli {

// Exit statuses shared by all subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNegative = 1;  // the command ran; its answer is "no"
inline constexpr int kExitUsage = 2;     // bad arguments or an unreadable file

struct Command {
    const char* name;
    const char* synopsis;  // arguments, after "quorvel-cli NAME"
    const char* summary;   // one line for the command list
    const char* help;      // the rest of "quorvel-cli NAME --help"
    int (*run)(const QStringList& args);
};

// The subcommands, in the order --help lists them.
std::span<const Command> commands();

// Runs the command line (argv[0] excluded) and returns the exit status.
int runCli(const QStringList& args);

void writeOut(QByteArrayView bytes);
void writeErr(const QString& text);  // UTF-8, a line end added
// "quorvel-cli: NAME: message" on standard error.
void reportError(const Command& command, const QString& message);
// A usage error: the message and a hint to --help; returns kExitUsage.
int usageError(const Command& command, const QString& message);

// Parses a command's arguments (after its name) into `parser`, with `options`: a valued one
// as "--name VALUE" or "--name=VALUE", a flag as "--name". "--" ends the options, "-" is an
// argument, and options may follow arguments. On a bad option it reports a usage error and returns
// false.
bool parseCommandLine(const Command& command, const QStringList& args,
                      const QList<QCommandLineOption>& options, QCommandLineParser& parser);

// An option that takes a value. What it means is told by the command's own help text.
QCommandLineOption valuedOption(const QString& name);
// An option that takes none.
QCommandLineOption flagOption(const QString& name);

// An option's value; given more than once, its first value counts.
QString firstValue(const QCommandLineParser& parser, const QString& name);

// A whole number an option gives, `fallback` when it is not given; nothing,
// after a usage error ("--NAME takes WHAT, not 'TEXT'"), when its value is no
// whole number or one that `fits` refuses.
std::optional<int> wholeNumberOption(const Command& command, const QCommandLineParser& parser,
                                     const QString& name, int fallback, QStringView what,
                                     const std::function<bool(int)>& fits);
// One from `low` to `high`: "a whole number from LOW to HIGH".
std::optional<int> wholeNumberOption(const Command& command, const QCommandLineParser& parser,
                                     const QString& name, int fallback, int low, int high);

// The options of every command that connects to a server: --resolve (any
// number) and --cacert.
QList<QCommandLineOption> connectionOptions();
// The options of the commands that download pages: those, --user-agent and --browser.
QList<QCommandLineOption> downloadOptions();
// The settings connectionOptions() ask for; nothing, after a usage error, when a --resolve is
// not a host mapping.
std::optional<FetchSettings> connectionSettings(const Command& command,
                                                const QCommandLineParser& parser);
// The settings downloadOptions() ask for; nothing after a usage error.
std::optional<FetchSettings> downloadSettings(const Command& command,
                                              const QCommandLineParser& parser);

// Reads a whole input file; "-" is standard input. False when it cannot be read.
bool readInput(const QString& name, qint64 limit, QByteArray* out);
// Reads a record file as the window does; "-" is standard input, whatever it is.
RecordFileContent readRecordInput(const QString& name);
// "cannot read 'NAME'", with the reason when there is one.
QString cannotRead(const QString& name, const RecordFileContent& content);
// One line on standard error when the file was read with losses (what was
// lost), so that records dropped after a NUL never go unnoticed.
void reportLosses(const Command& command, const QString& name, const RecordFileContent& content);

// A field for one-line output: backslash, TAB, CR and LF as \\, \t, \r, \n.
QString escapeField(QStringView text);

// Collects output and writes it out in pieces, so a long listing or a huge
// field never sits whole in memory.
class OutputBuffer {
  public:
    ~OutputBuffer() { flush(); }
    OutputBuffer& operator+=(QStringView text);
    OutputBuffer& operator+=(const QString& text) { return *this += QStringView(text); }
    OutputBuffer& operator+=(QChar c) { return *this += QStringView(&c, 1); }
    // A field escaped as escapeField does it.
    void appendEscaped(QStringView text);
    void flush() { write(true); }

  private:
    static constexpr qsizetype kFlushUnits = 1 << 16;
    void write(bool all);
    void spill() {
        if (text_.size() >= kFlushUnits) {
            write(false);
        }
    }
    QString text_;
};

}  // namespace quorvel::cli
