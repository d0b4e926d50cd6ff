#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace quorvel {

// Cuts text into rows and fields as RFC 4180 says: a field in double quotes
// may hold the delimiter, line breaks and doubled quotes; lines end in
// CR LF, CR or LF. It is lenient where writers differ: a quote inside an
// unquoted field is a character, and text after a closing quote joins the
// field. The text may come in pieces; rows come out as they are complete.
class CsvParser {
  public:
    enum class Step {
        Row,       // a row is ready
        NeedMore,  // feed more text, or finish
        End,       // no more rows
        Error,     // see errorLine(); no rows after it
    };
    enum class Problem { None, UnterminatedQuote, TooManyColumns };

    CsvParser(QChar delimiter, qsizetype maxColumns);

    // The line the text begins on, when lines before it were taken away.
    void setFirstLine(qsizetype line) { line_ = rowLine_ = quoteLine_ = line; }
    void feed(QStringView text);
    // No more text will come.
    void finish() { finished_ = true; }

    // The next row into `cells`, with the line it began on (from 1).
    Step next(QStringList* cells, qsizetype* line);

    Problem problem() const { return problem_; }
    qsizetype errorLine() const { return errorLine_; }

  private:
    enum class State { FieldStart, Plain, Quoted, QuoteInQuoted };

    bool endField();
    void lineBreak(QChar c);
    Step fail(Problem problem, qsizetype line);

    QChar delimiter_;
    qsizetype maxColumns_;
    QString buffer_;
    qsizetype pos_ = 0;
    bool finished_ = false;

    State state_ = State::FieldStart;
    QStringList cells_;
    QString field_;
    bool rowStarted_ = false;
    qsizetype line_ = 1;       // the line the parser is on
    qsizetype rowLine_ = 1;    // the line the row in progress began on
    qsizetype quoteLine_ = 1;  // the line the open quote began on
    bool afterCr_ = false;     // the last character was a CR (a LF after it is the same break)
    Problem problem_ = Problem::None;
    qsizetype errorLine_ = 0;
};

// The delimiter, among TAB, ';' and ',', that splits the first rows of
// `text` most consistently: the most rows with the same number of fields
// (more than one), then the more fields, then in that order. `complete`:
// `text` is the whole table, so its last row is whole too. A text that no
// candidate splits gets ','.
QChar detectDelimiter(QStringView text, bool complete, qsizetype rowsToLookAt = 50);

}  // namespace quorvel
