#include "tables/csv_parser.h"

#include <QHash>

#include <limits>

namespace quorvel {

CsvParser::CsvParser(QChar delimiter, qsizetype maxColumns)
    : delimiter_(delimiter), maxColumns_(maxColumns) {}

void CsvParser::feed(QStringView text) {
    if (pos_ == buffer_.size()) {
        buffer_.clear();
        pos_ = 0;
    }
    buffer_.append(text);
}

bool CsvParser::endField() {
    cells_.append(std::move(field_));
    field_ = QString();
    return cells_.size() <= maxColumns_;
}

void CsvParser::lineBreak(QChar c) {
    ++line_;
    afterCr_ = c == u'\r';
}

CsvParser::Step CsvParser::fail(Problem problem, qsizetype line) {
    problem_ = problem;
    errorLine_ = line;
    cells_.clear();
    field_.clear();
    buffer_.clear();
    pos_ = 0;
    return Step::Error;
}

CsvParser::Step CsvParser::next(QStringList* cells, qsizetype* line) {
    if (problem_ != Problem::None) {
        return Step::Error;
    }
    const auto emitRow = [&] {
        *cells = std::move(cells_);
        cells_ = QStringList();
        *line = rowLine_;
        rowStarted_ = false;
        state_ = State::FieldStart;
        return Step::Row;
    };
    const auto isBreak = [](QChar c) { return c == u'\r' || c == u'\n'; };
    const QChar* data = buffer_.constData();
    const qsizetype n = buffer_.size();
    while (pos_ < n) {
        QChar c = data[pos_];
        if (afterCr_ && c == u'\n') {
            // The LF of a CR LF: the break is counted already.
            afterCr_ = false;
            if (state_ == State::Quoted) {
                field_ += c;
            }
            ++pos_;
            continue;
        }
        afterCr_ = false;
        switch (state_) {
            case State::FieldStart:
                if (!rowStarted_) {
                    rowStarted_ = true;
                    rowLine_ = line_;
                }
                if (c == u'"') {
                    state_ = State::Quoted;
                    quoteLine_ = line_;
                    ++pos_;
                } else if (c == delimiter_) {
                    ++pos_;
                    if (!endField()) {
                        return fail(Problem::TooManyColumns, rowLine_);
                    }
                } else if (isBreak(c)) {
                    ++pos_;
                    lineBreak(c);
                    if (!endField()) {
                        return fail(Problem::TooManyColumns, rowLine_);
                    }
                    return emitRow();
                } else {
                    state_ = State::Plain;
                }
                break;
            case State::Plain: {
                qsizetype end = pos_;
                while (end < n && data[end] != delimiter_ && !isBreak(data[end])) {
                    ++end;
                }
                field_.append(QStringView(data + pos_, end - pos_));
                pos_ = end;
                if (end == n) {
                    break;
                }
                c = data[pos_++];
                state_ = State::FieldStart;
                if (!endField()) {
                    return fail(Problem::TooManyColumns, rowLine_);
                }
                if (isBreak(c)) {
                    lineBreak(c);
                    return emitRow();
                }
                break;
            }
            case State::Quoted: {
                qsizetype end = pos_;
                while (end < n && data[end] != u'"' && !isBreak(data[end])) {
                    ++end;
                }
                field_.append(QStringView(data + pos_, end - pos_));
                pos_ = end;
                if (end == n) {
                    break;
                }
                c = data[pos_++];
                if (c == u'"') {
                    state_ = State::QuoteInQuoted;
                } else {
                    field_ += c;
                    lineBreak(c);
                }
                break;
            }
            case State::QuoteInQuoted:
                if (c == u'"') {
                    field_ += c;
                    state_ = State::Quoted;
                    ++pos_;
                } else if (c == delimiter_ || isBreak(c)) {
                    ++pos_;
                    state_ = State::FieldStart;
                    if (!endField()) {
                        return fail(Problem::TooManyColumns, rowLine_);
                    }
                    if (isBreak(c)) {
                        lineBreak(c);
                        return emitRow();
                    }
                } else {
                    state_ = State::Plain;  // text after the closing quote joins the field
                }
                break;
        }
    }
    if (!finished_) {
        buffer_.clear();
        pos_ = 0;
        return Step::NeedMore;
    }
    if (state_ == State::Quoted) {
        return fail(Problem::UnterminatedQuote, quoteLine_);
    }
    if (rowStarted_) {
        if (!endField()) {
            return fail(Problem::TooManyColumns, rowLine_);
        }
        return emitRow();
    }
    return Step::End;
}

QChar detectDelimiter(QStringView text, bool complete, qsizetype rowsToLookAt) {
    struct Score {
        qsizetype agreeing = 0;  // rows with the most common field count
        qsizetype fields = 0;    // that count
    };
    QChar best = u',';
    Score bestScore;
    for (const QChar candidate : {QChar(u'\t'), QChar(u';'), QChar(u',')}) {
        CsvParser parser(candidate, std::numeric_limits<qsizetype>::max());
        parser.feed(text);
        if (complete) {
            parser.finish();
        }
        QHash<qsizetype, qsizetype> rowsByFields;
        QStringList cells;
        qsizetype line = 0;
        for (qsizetype rows = 0; rows < rowsToLookAt;) {
            if (parser.next(&cells, &line) != CsvParser::Step::Row) {
                break;
            }
            if (cells.size() == 1 && cells.first().isEmpty()) {
                continue;  // a blank line says nothing
            }
            ++rowsByFields[cells.size()];
            ++rows;
        }
        Score score;
        for (auto it = rowsByFields.cbegin(); it != rowsByFields.cend(); ++it) {
            if (it.key() > 1 && (it.value() > score.agreeing ||
                                 (it.value() == score.agreeing && it.key() > score.fields))) {
                score = Score{it.value(), it.key()};
            }
        }
        if (score.agreeing > bestScore.agreeing ||
            (score.agreeing == bestScore.agreeing && score.fields > bestScore.fields)) {
            best = candidate;
            bestScore = score;
        }
    }
    return best;
}

}  // namespace quorvel
