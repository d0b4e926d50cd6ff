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
    DecodedText decoded = decodeText(QByteArrayView(bytes).first(scan.textEnd(bytes.size())));
    bytes = QByteArray();  // the bytes, the text and the spans never all coexist
    const ReadOutcome outcome =
        decoded.lossy || scan.dataAfterNul() ? ReadOutcome::ReadLossily : ReadOutcome::Read;
    RecordStore records = RecordStore::fromLines(std::move(decoded.text), scan.lines());
    if (records.size() > limits.maxLines) {
        return unreadable(tooManyLines(limits));  // decoding never adds line ends; a safeguard
    }
    return RecordFileContent{outcome, std::move(records), {}};
}

bool withinLimits(const QByteArray& bytes, const RecordFileLimits& limits) {
    if (bytes.size() > limits.maxBytes) {
        return false;
    }
    ByteScan scan;
    scan.advance(bytes, true);
    return scan.lines() <= limits.maxLines;
}

// Windows-1251 without a mark, when every character has its byte and the
// reader would not take the bytes for a mark or for UTF-8.
bool encode8Bit(const RecordStore& records, QByteArray* out) {
    out->resize(records.textSize() + 2 * records.size());
    char* dst = out->data();
    for (QStringView record : records) {
        if (!encodeCodePage(record, dst)) {
            return false;
        }
        dst += record.size();
        *dst++ = '\r';
        *dst++ = '\n';
    }
    // The reader decides on the text before the first NUL (a byte order mark
    // holds none): it must take these bytes for 8-bit ones.
    const qsizetype nul = out->indexOf('\0');
    const TextForm form = detectTextForm(QByteArrayView(*out).first(nul >= 0 ? nul : out->size()));
    return form == TextForm::CodePage || form == TextForm::Ascii;
}

QByteArray encodeUtf8(const RecordStore& records) {
    // Room for the longest form each unit can take.
    qsizetype room = 3;
    for (QStringView record : records) {
        for (const QChar ch : record) {
            const char16_t c = ch.unicode();
            room += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        }
        room += 2;
    }
    QByteArray bytes(room, Qt::Uninitialized);
    char* out = bytes.data();
    std::memcpy(out, "\xEF\xBB\xBF", 3);
    out += 3;
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    for (QStringView record : records) {
        out = encoder.appendToBuffer(out, record);
        *out++ = '\r';
        *out++ = '\n';
    }
    bytes.truncate(out - bytes.constData());
    return bytes;
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
    if (!encode8Bit(records, &bytes)) {
        bytes = QByteArray();  // freed before the UTF-8 form is made
        bytes = encodeUtf8(records);
    }
    if (!withinLimits(bytes, limits)) {
        return std::nullopt;
    }
    return bytes;
}

FileResult writeRecordFile(const QString& path, const RecordStore& records,
                           const RecordFileLimits& limits) {
    const std::optional<QByteArray> bytes = encodeRecordFile(records, limits);
    if (!bytes) {
        return FileResult::failure(QStringLiteral("the list is too large for a record file"));
    }
    return writeFileAtomically(path, *bytes);
}

}  // namespace quorvel
