#include "tables/table_reader.h"

#include <QBuffer>
#include <QFile>

#include "records/text_decoding.h"
#include "tables/csv_parser.h"
#include "tables/xlsx_reader.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kChunk = 1 << 16;
// How much of a text table the delimiter is guessed from: its first rows
// nearly always fit.
constexpr qint64 kSampleBytes = 1 << 20;

bool isUtf16(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
}

// One pass over the bytes of a text table, before any row is read: how many
// lines it has, whether it holds a NUL byte, whether it is valid UTF-8.
struct TextScan {
    qsizetype lines = 0;
    bool nul = false;
    bool validUtf8 = true;
};

class TextLineCounter {
  public:
    explicit TextLineCounter(bool utf16, bool bigEndian) : utf16_(utf16), bigEndian_(bigEndian) {}

    void add(QByteArrayView bytes, TextScan* scan) {
        if (!utf16_) {
            for (const char byte : bytes) {
                unit(char16_t(static_cast<unsigned char>(byte)), scan);
            }
            return;
        }
        for (const char byte : bytes) {
            if (!half_) {
                half_ = static_cast<unsigned char>(byte) | 0x100;
                continue;
            }
            const auto first = char16_t(half_ & 0xFF);
            const auto second = char16_t(static_cast<unsigned char>(byte));
            half_ = 0;
            unit(char16_t(bigEndian_ ? first << 8 | second : second << 8 | first), scan);
        }
    }
    qsizetype lines() const { return lineEnds_ + (open_ || half_ ? 1 : 0); }

  private:
    void unit(char16_t c, TextScan* scan) {
        if (c == u'\n') {
            lineEnds_ += afterCr_ ? 0 : 1;
            afterCr_ = false;
            open_ = false;
            return;
        }
        afterCr_ = c == u'\r';
        lineEnds_ += afterCr_ ? 1 : 0;
        open_ = !afterCr_;
        if (c == 0) {
            scan->nul = true;
        }
    }

    bool utf16_;
    bool bigEndian_;
    int half_ = 0;  // the first byte of a UTF-16 unit, with bit 8 set
    qsizetype lineEnds_ = 0;
    bool afterCr_ = false;
    bool open_ = false;
};

}  // namespace

class TableReader::Backend {
  public:
    virtual ~Backend() = default;
    virtual bool next(TableRow* row, std::optional<TableError>* error) = 0;
    virtual std::optional<TableError> rewind() = 0;
};

namespace {

class XlsxBackend : public TableReader::Backend {
  public:
    XlsxBackend(std::unique_ptr<QIODevice> device, const TableLimits& limits)
        : reader_(std::move(device), limits) {}
    std::optional<TableError> open() { return reader_.open(); }
    bool dates1904() const { return reader_.dates1904(); }
    bool next(TableRow* row, std::optional<TableError>* error) override {
        return reader_.next(row, error);
    }
    std::optional<TableError> rewind() override { return reader_.rewind(); }

  private:
    XlsxReader reader_;
};

class TextBackend : public TableReader::Backend {
  public:
    TextBackend(std::unique_ptr<QIODevice> device, const TableLimits& limits)
        : device_(std::move(device)), limits_(limits) {}

    // Looks at all the bytes once and settles the layout.
    std::optional<TableError> open(const TableReadOptions& options, TableLayout* layout) {
        QByteArray head(4, Qt::Uninitialized);
        head.truncate(qMax<qint64>(0, device_->peek(head.data(), head.size())));
        const ByteOrderMark mark = byteOrderMark(head);
        layout->encoding = options.encoding.value_or(mark.encoding);
        // A mark is skipped only when it is the mark of the encoding read.
        markLength_ = mark.length > 0 && mark.encoding == layout->encoding ? mark.length : 0;
        layout->byteOrderMark = markLength_ > 0;

        const bool utf16 = isUtf16(layout->encoding);
        TextLineCounter counter(utf16, layout->encoding == TextEncoding::Utf16BE);
        TextScan scan;
        QByteArray carry;  // a UTF-8 sequence cut at a chunk's end
        QByteArray chunk;
        device_->seek(markLength_);
        for (;;) {
            chunk.resize(kChunk);
            const qint64 got = device_->read(chunk.data(), chunk.size());
            if (got < 0) {
                return TableError{TableProblem::Unreadable, 0, device_->errorString()};
            }
            if (got == 0) {
                break;
            }
            chunk.truncate(got);
            counter.add(chunk, &scan);
            if (counter.lines() > limits_.maxLines) {
                return TableError{TableProblem::TooManyLines, 0, {}};
            }
            if (scan.nul && !utf16) {
                return TableError{TableProblem::Binary, 0, {}};
            }
            if (scan.validUtf8 && !utf16) {
                carry += chunk;
                const qsizetype whole = wholeUtf8Prefix(carry);
                scan.validUtf8 = isValidUtf8(QByteArrayView(carry).first(whole));
                carry.remove(0, whole);
            }
        }
        if (!carry.isEmpty()) {
            scan.validUtf8 = false;
        }
        if (!options.encoding && markLength_ == 0) {
            layout->encoding = scan.validUtf8 ? TextEncoding::Utf8 : TextEncoding::Windows1251;
        }
        encoding_ = layout->encoding;

        QString sample;
        bool complete = false;
        if (auto problem = start(&sample, kSampleBytes, &complete)) {
            return problem;
        }
        if (options.delimiter) {
            delimiter_ = *options.delimiter;
        } else if (!sepDelimiter_.isNull()) {
            delimiter_ = sepDelimiter_;
        } else {
            delimiter_ = detectDelimiter(sample, complete);
        }
        layout->delimiter = delimiter_;
        layout->delimiterFromSep = !sepDelimiter_.isNull() && !options.delimiter;
        return rewind();
    }

    bool next(TableRow* row, std::optional<TableError>* error) override {
        if (!parser_) {
            return false;
        }
        for (;;) {
            switch (parser_->next(&row->cells, &row->line)) {
                case CsvParser::Step::Row:
                    row->numbers.clear();
                    return true;
                case CsvParser::Step::End:
                    parser_.reset();
                    return false;
                case CsvParser::Step::Error:
                    *error = TableError{parser_->problem() == CsvParser::Problem::UnterminatedQuote
                                            ? TableProblem::UnterminatedQuote
                                            : TableProblem::TooManyColumns,
                                        parser_->errorLine(),
                                        {}};
                    parser_.reset();
                    return false;
                case CsvParser::Step::NeedMore:
                    break;
            }
            QString text;
            if (auto problem = readText(&text)) {
                *error = problem;
                parser_.reset();
                return false;
            }
            if (text.isNull()) {
                parser_->finish();
            } else {
                parser_->feed(text);
            }
        }
    }

    std::optional<TableError> rewind() override {
        QString first;
        bool complete = false;
        if (auto problem = start(&first, 0, &complete)) {
            return problem;
        }
        parser_ = std::make_unique<CsvParser>(delimiter_, limits_.maxColumns);
        parser_->setFirstLine(firstLine_);
        parser_->feed(first);
        if (complete) {
            parser_->finish();
        }
        return std::nullopt;
    }

  private:
    // Goes back to the text's first character and decodes at least
    // `atLeast` bytes and the whole first line into `text`, without a first
    // line "sep=X" (noted in sepDelimiter_). `complete`: that was all.
    std::optional<TableError> start(QString* text, qint64 atLeast, bool* complete) {
        if (!device_->seek(markLength_)) {
            return TableError{TableProblem::Unreadable, 0, device_->errorString()};
        }
        decoder_ = std::make_unique<ChunkDecoder>(encoding_);
        qint64 taken = 0;
        *complete = false;
        for (;;) {
            const bool lineEnded = text->contains(u'\n') || text->contains(u'\r');
            if (lineEnded && taken >= atLeast) {
                break;
            }
            QString more;
            if (auto problem = readText(&more)) {
                return problem;
            }
            if (more.isNull()) {
                *complete = true;
                break;
            }
            taken += kChunk;
            *text += more;
        }
        // Excel's hint: a first line "sep=;" names the delimiter.
        sepDelimiter_ = QChar();
        firstLine_ = 1;
        const qsizetype end = [&] {
            for (qsizetype i = 0; i < text->size(); ++i) {
                if (text->at(i) == u'\r' || text->at(i) == u'\n') {
                    return i;
                }
            }
            return text->size();
        }();
        if (end == 5 && text->startsWith(u"sep=", Qt::CaseInsensitive) && text->at(4) != u'"') {
            sepDelimiter_ = text->at(4);
            qsizetype skip = end;
            if (skip < text->size() && text->at(skip) == u'\r') {
                ++skip;
            }
            if (skip < text->size() && text->at(skip) == u'\n') {
                ++skip;
            }
            text->remove(0, skip);
            firstLine_ = 2;
        }
        return std::nullopt;
    }

    // The next piece of text; a null text at the end.
    std::optional<TableError> readText(QString* text) {
        QByteArray chunk(kChunk, Qt::Uninitialized);
        const qint64 got = device_->read(chunk.data(), chunk.size());
        if (got < 0) {
            return TableError{TableProblem::Unreadable, 0, device_->errorString()};
        }
        if (got == 0) {
            *text = QString();
            return std::nullopt;
        }
        chunk.truncate(got);
        *text = decoder_->decode(chunk);
        if (text->isNull()) {
            *text = u""_s;  // bytes that made no character yet are not the end
        }
        return std::nullopt;
    }

    std::unique_ptr<QIODevice> device_;
    TableLimits limits_;
    TextEncoding encoding_ = TextEncoding::Utf8;
    qsizetype markLength_ = 0;
    QChar delimiter_ = u',';
    QChar sepDelimiter_;
    qsizetype firstLine_ = 1;
    std::unique_ptr<ChunkDecoder> decoder_;
    std::unique_ptr<CsvParser> parser_;
};

}  // namespace

TableReader::TableReader(TableSource source, TableReadOptions options, TableLimits limits)
    : source_(std::move(source)), options_(options), limits_(limits) {}

TableReader::~TableReader() = default;

bool TableReader::open() {
    backend_.reset();
    error_.reset();
    const auto failed = [this](TableProblem problem, const QString& detail = {}) {
        error_ = TableError{problem, 0, detail};
        return false;
    };
    std::unique_ptr<QIODevice> device;
    if (source_.inMemory) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(source_.bytes);
        buffer->open(QIODevice::ReadOnly);
        device = std::move(buffer);
    } else {
        auto file = std::make_unique<QFile>();
        const FileOpening opening = openRegularFile(source_.path, file.get());
        switch (opening.outcome) {
            case FileOpening::Opened:
                break;
            case FileOpening::NotRegular:
                return failed(TableProblem::NotRegularFile);
            case FileOpening::Missing:
            case FileOpening::Failed:
                return failed(TableProblem::Unreadable, opening.problem);
        }
        device = std::move(file);
    }
    if (device->size() > limits_.maxBytes) {
        return failed(TableProblem::TooLarge);
    }
    const QByteArray head = device->peek(4);
    if (head == "PK\x03\x04" || head == "PK\x05\x06") {
        layout_ = TableLayout{};
        layout_.format = TableFormat::Xlsx;
        auto xlsx = std::make_unique<XlsxBackend>(std::move(device), limits_);
        if (auto problem = xlsx->open()) {
            error_ = problem;
            return false;
        }
        layout_.dates1904 = xlsx->dates1904();
        backend_ = std::move(xlsx);
        return true;
    }
    layout_ = TableLayout{};
    auto text = std::make_unique<TextBackend>(std::move(device), limits_);
    if (auto problem = text->open(options_, &layout_)) {
        error_ = problem;
        return false;
    }
    backend_ = std::move(text);
    return true;
}

bool TableReader::next(TableRow* row) {
    if (!backend_ || error_) {
        return false;
    }
    return backend_->next(row, &error_);
}

bool TableReader::rewind() {
    if (!backend_) {
        return false;
    }
    error_.reset();
    if (auto problem = backend_->rewind()) {
        error_ = problem;
        return false;
    }
    return true;
}

}  // namespace quorvel
