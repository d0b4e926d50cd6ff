#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>

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

struct ParsedArgs {
    QHash<QString, QStringList> options;  // option name (with "--") -> its values, in order
    QStringList positional;

    QString value(const QString& name) const { return options.value(name).value(0); }
    bool has(const QString& name) const { return options.contains(name); }
};

// Options as "--name VALUE" or "--name=VALUE" for names in `valued`, "--name"
// for names in `flags`; "--" ends the options; "-" is an argument. On a bad
// option it reports a usage error and returns nothing.
std::optional<ParsedArgs> parseArgs(const Command& command, const QStringList& args,
                                    const QStringList& valued, const QStringList& flags = {});

// Reads a whole input file; "-" is standard input. False when it cannot be read.
bool readInput(const QString& name, qint64 limit, QByteArray* out);
// Reads a record file as the window does; "-" is standard input, whatever it is.
RecordFileContent readRecordInput(const QString& name);
// "cannot read 'NAME'", with the reason when there is one.
QString cannotRead(const QString& name, const RecordFileContent& content);

// Collects output and writes it out in pieces, so a long listing or a huge
// field never sits whole in memory.
class OutputBuffer {
  public:
    ~OutputBuffer() { flush(); }
    OutputBuffer& operator+=(QStringView text);
    OutputBuffer& operator+=(const QString& text) { return *this += QStringView(text); }
    OutputBuffer& operator+=(QChar c) { return *this += QStringView(&c, 1); }
    // A field for one-line output: backslash, TAB, CR and LF as \\, \t, \r, \n.
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
