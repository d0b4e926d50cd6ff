#include "records/record_file.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <cstring>

#include "records/code_page.h"
#include "records/text_decoding.h"

namespace quorvel {

namespace {

// What the raw bytes of a record file tell before any decoding: the byte
// order mark, where the text ends (at the first NUL) and how many lines the
// text holds. It is fed as the bytes come in, so that a file with too many
// lines is refused long before it has all been read.
class ByteScan {
  public:
    // Looks at the bytes it has not seen yet; `atEnd` once no more will come.
    void advance(QByteArrayView bytes, bool atEnd) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        const qsizetype n = bytes.size();
        if (unitSize_ == 0) {
            if (n < 3 && !atEnd) {
                return;  // too early to tell the mark
            }
            if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
                unitSize_ = 2;
                pos_ = 2;
            } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
                unitSize_ = 2;
                bigEndian_ = true;
                pos_ = 2;
            } else {
                unitSize_ = 1;
                pos_ = n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF ? 3 : 0;
            }
        }
        if (nul_ < 0) {
            if (unitSize_ == 1) {
                for (; pos_ < n && nul_ < 0; ++pos_) {
                    unit(p[pos_]);
                }
            } else {
                for (; pos_ + 1 < n && nul_ < 0; pos_ += 2) {
                    unit(bigEndian_ ? char16_t(p[pos_] << 8 | p[pos_ + 1])
                                    : char16_t(p[pos_ + 1] << 8 | p[pos_]));
                }
                if (atEnd && pos_ < n && nul_ < 0) {
                    lineOpen_ = true;  // a last odd byte decodes as a character
                    pos_ = n;
                }
            }
        }
        if (nul_ >= 0) {
            for (; pos_ < n && !dataAfterNul_; ++pos_) {
                dataAfterNul_ = p[pos_] != 0;
            }
            pos_ = n;  // past the text, nothing more to learn
        }
    }

    // Never falls as more bytes come, so it can refuse a file early.
    qsizetype lines() const { return lineEnds_ + (lineOpen_ ? 1 : 0); }
    // Where the text ends: the offset of the first NUL, or the end.
    qsizetype textEnd(qsizetype size) const { return nul_ >= 0 ? nul_ : size; }
    bool dataAfterNul() const { return dataAfterNul_; }

  private:
    void unit(char16_t c) {
        if (c == u'\r') {
            ++lineEnds_;
            afterCr_ = true;
            lineOpen_ = false;
        } else if (c == u'\n') {
            if (!afterCr_) {
                ++lineEnds_;
            }
            afterCr_ = false;
            lineOpen_ = false;
        } else if (c == 0) {
            nul_ = pos_;
        } else {
            afterCr_ = false;
            lineOpen_ = true;
        }
    }

    int unitSize_ = 0;  // 0 until the mark is known
    bool bigEndian_ = false;
    qsizetype pos_ = 0;  // the next byte to look at
    qsizetype nul_ = -1;
    bool dataAfterNul_ = false;
    qsizetype lineEnds_ = 0;
    bool afterCr_ = false;
    bool lineOpen_ = false;  // characters after the last line end
};

RecordFileContent unreadable(const QString& problem) {
    return RecordFileContent{ReadOutcome::Unreadable, {}, problem};
}

QString tooLarge(const RecordFileLimits& limits) {
    return QStringLiteral("larger than %1 bytes").arg(limits.maxBytes);
}

QString tooManyLines(const RecordFileLimits& limits) {
    return QStringLiteral("more than %1 lines").arg(limits.maxLines);
}

// The records of bytes that have been scanned whole and are within the limits.
RecordFileContent decodeRecords(QByteArray bytes, const ByteScan& scan,
                                const RecordFileLimits& limits) {
    const qsizetype textEnd = scan.textEnd(bytes.size());
    DecodedText decoded = decodeText(QByteArrayView(bytes).first(textEnd));
    QString lost;
    if (scan.dataAfterNul()) {
        lost = QStringLiteral(
                   "a NUL byte at offset %1 ends the text; the %2 bytes after it "
                   "are not read")
                   .arg(textEnd)
                   .arg(bytes.size() - textEnd - 1);
    } else if (decoded.lossy) {
        lost = QStringLiteral("bytes that its encoding does not allow read as U+FFFD");
    }
    bytes = QByteArray();  // the bytes, the text and the spans never all coexist
    const ReadOutcome outcome = lost.isEmpty() ? ReadOutcome::Read : ReadOutcome::ReadLossily;
    RecordStore records = RecordStore::fromLines(std::move(decoded.text), scan.lines());
    if (records.size() > limits.maxLines) {
        return unreadable(tooManyLines(limits));  // decoding never adds line ends; a safeguard
    }
    return RecordFileContent{outcome, std::move(records), lost};
}

// A piece of the file goes to the sink once it is about this large.
constexpr qsizetype kWritePiece = 1 << 20;

// One pass over the records as they are to be written: the lines the reader
// will count, and whether the 8-bit form may stand without a mark: every
// character has its byte, and the reader would take the bytes neither for a
// mark nor for UTF-8. The 8-bit bytes go to `keep`, when given, as long as
// that form is possible.
class FormCheck {
  public:
    explicit FormCheck(QByteArray* keep = nullptr) : keep_(keep) {}

    void add(QStringView record) {
        countLines(record);
        if (!encodable_) {
            return;
        }
        QByteArray& bytes = keep_ ? *keep_ : scratch_;
        const qsizetype at = keep_ ? bytes.size() : 0;
        bytes.resize(at + record.size() + 2);
        char* dst = bytes.data() + at;
        if (!encodeCodePage(record, dst)) {
            encodable_ = false;
            bytes = QByteArray();
            return;
        }
        dst[record.size()] = '\r';
        dst[record.size() + 1] = '\n';
        const QByteArrayView piece(dst, record.size() + 2);
        size_ += piece.size();
        // The reader decides on the bytes before the first NUL.
        if (beforeNul_) {
            const qsizetype nul = piece.indexOf('\0');
            form_.add(nul >= 0 ? piece.first(nul) : piece);
            beforeNul_ = nul < 0;
        }
    }

    bool eightBit() const {
        const TextForm form = form_.form();
        return encodable_ && (form == TextForm::CodePage || form == TextForm::Ascii);
    }
    qint64 eightBitSize() const { return size_; }
    // Every record ends in CR LF; line ends after the first NUL do not count.
    qsizetype lines() const { return lineEnds_; }

  private:
    void countLines(QStringView record) {
        if (nul_) {
            return;
        }
        for (const QChar ch : record) {
            const char16_t c = ch.unicode();
            if (c > u'\r') {
                afterCr_ = false;
            } else if (c == u'\r') {
                ++lineEnds_;
                afterCr_ = true;
            } else if (c == u'\n') {
                lineEnds_ += afterCr_ ? 0 : 1;
                afterCr_ = false;
            } else if (c == 0) {
                nul_ = true;
                return;
            } else {
                afterCr_ = false;
            }
        }
        ++lineEnds_;  // the record's own CR LF
        afterCr_ = false;
    }

    QByteArray* keep_;
    QByteArray scratch_;
    bool encodable_ = true;
    qint64 size_ = 0;
    TextFormDetector form_;
    bool beforeNul_ = true;
    qsizetype lineEnds_ = 0;
    bool afterCr_ = false;
    bool nul_ = false;
};

// The records' bytes in the form chosen, to `sink` in pieces: the 8-bit
// code page, or UTF-8 after its mark. False when the sink said so.
bool encodeRecords(const RecordSequence& records, bool eightBit, const ByteSink& sink) {
    QByteArray buffer;
    buffer.reserve(kWritePiece + (1 << 16));
    if (!eightBit) {
        buffer = "\xEF\xBB\xBF";
    }
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    bool written = true;
    records([&](QStringView record) {
        if (!written) {
            return;
        }
        const qsizetype at = buffer.size();
        if (eightBit) {
            buffer.resize(at + record.size());
            encodeCodePage(record, buffer.data() + at);
        } else {
            buffer.resize(at + 3 * record.size());  // the longest form a unit takes
            buffer.truncate(encoder.appendToBuffer(buffer.data() + at, record) - buffer.data());
        }
        buffer += "\r\n";
        if (buffer.size() >= kWritePiece) {
            written = sink(buffer);
            buffer.clear();
        }
    });
    return written && sink(buffer);
}

qint64 utf8Size(const RecordSequence& records) {
    qint64 size = 0;
    encodeRecords(records, false, [&size](QByteArrayView bytes) {
        size += bytes.size();
        return true;
    });
    return size;
}

RecordSequence sequenceOf(const RecordStore& records) {
    return [&records](const RecordVisitor& visit) {
        for (const QStringView record : records) {
            visit(record);
        }
    };
}

}  // namespace

RecordFileContent parseRecordFile(QByteArray bytes, const RecordFileLimits& limits) {
    if (bytes.size() > limits.maxBytes) {
        return unreadable(tooLarge(limits));
    }
    ByteScan scan;
    scan.advance(bytes, true);
    if (scan.lines() > limits.maxLines) {
        return unreadable(tooManyLines(limits));
    }
    return decodeRecords(std::move(bytes), scan, limits);
}

RecordFileContent readRecordDevice(QIODevice& device, const RecordFileLimits& limits) {
    // The lines are counted as the bytes come, so an endless input of blank
    // lines is refused long before the cap on bytes.
    ByteScan scan;
    QByteArray bytes;
    switch (readAllLimited(device, limits.maxBytes, &bytes, [&](const QByteArray& read) {
        scan.advance(read, false);
        return scan.lines() <= limits.maxLines;
    })) {
        case ReadEnd::Failed:
            return unreadable(device.errorString());
        case ReadEnd::TooLarge:
            return unreadable(tooLarge(limits));
        case ReadEnd::Refused:
            return unreadable(tooManyLines(limits));
        case ReadEnd::Done:
            break;
    }
    scan.advance(bytes, true);
    if (scan.lines() > limits.maxLines) {
        return unreadable(tooManyLines(limits));
    }
    return decodeRecords(std::move(bytes), scan, limits);
}

RecordFileContent readRecordFile(const QString& path, const RecordFileLimits& limits) {
    QFile file;
    const FileOpening opening = openRegularFile(path, &file);
    switch (opening.outcome) {
        case FileOpening::Opened:
            break;
        case FileOpening::Missing:
            return RecordFileContent{ReadOutcome::Missing, {}, {}};
        case FileOpening::NotRegular:
        case FileOpening::Failed:
            return unreadable(opening.problem);
    }
    if (file.size() > limits.maxBytes) {
        return unreadable(tooLarge(limits));
    }
    return readRecordDevice(file, limits);
}

std::optional<QByteArray> encodeRecordFile(const RecordStore& records,
                                           const RecordFileLimits& limits) {
    if (records.isEmpty()) {
        return QByteArray();
    }
    // Each character takes at least one byte in either form: the 8-bit form
    // is the smallest the file can be.
    if (records.textSize() + 2 * records.size() > limits.maxBytes ||
        records.size() > limits.maxLines) {
        return std::nullopt;
    }
    QByteArray bytes;
    bytes.reserve(records.textSize() + 2 * records.size());
    FormCheck check(&bytes);
    for (const QStringView record : records) {
        check.add(record);
    }
    if (check.lines() > limits.maxLines) {
        return std::nullopt;
    }
    if (check.eightBit()) {
        return bytes;
    }
    bytes = QByteArray();  // freed before the UTF-8 form is made
    encodeRecords(sequenceOf(records), false, [&bytes](QByteArrayView piece) {
        bytes += piece;
        return true;
    });
    if (bytes.size() > limits.maxBytes) {
        return std::nullopt;
    }
    return bytes;
}

Outcome<> writeRecordFile(const QString& path, const RecordStore& records,
                          const RecordFileLimits& limits) {
    return writeRecordFile(path, sequenceOf(records), limits);
}

Outcome<> writeRecordFile(const QString& path, const RecordSequence& records,
                          const RecordFileLimits& limits) {
    FormCheck check;
    records([&check](QStringView record) { check.add(record); });
    if (check.lines() > limits.maxLines) {
        return Outcome<>::failure(tooManyLines(limits));
    }
    const bool eightBit = check.eightBit();
    if ((eightBit ? check.eightBitSize() : utf8Size(records)) > limits.maxBytes) {
        return Outcome<>::failure(tooLarge(limits));
    }
    return writeFileAtomically(
        path, [&](const ByteSink& sink) { return encodeRecords(records, eightBit, sink); });
}

}  // namespace quorvel
