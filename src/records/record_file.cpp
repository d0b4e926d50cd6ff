#include "records/record_file.h"

#include "records/atomic_file.h"
#include "records/code_page.h"
#include "records/text_decoding.h"

#include <QFile>
#include <QFileInfo>

namespace quorvel {

bool readAllLimited(QIODevice& device, qint64 limit, QByteArray* out) {
    out->clear();
    if (!device.isSequential()) {
        const qint64 size = device.size();
        if (size > limit) {
            return false;
        }
        out->reserve(size);
    }
    constexpr qint64 kChunk = 1 << 16;
    for (;;) {
        const qsizetype had = out->size();
        const qint64 want = qMin(kChunk, limit + 1 - had);
        out->resize(had + want);
        const qint64 got = device.read(out->data() + had, want);
        if (got < 0) {
            out->clear();
            return false;
        }
        out->resize(had + got);
        if (out->size() > limit) {
            out->clear();
            return false;
        }
        if (got == 0 &&
            (device.atEnd() || !device.isSequential() || !device.waitForReadyRead(-1))) {
            return true;
        }
    }
}

RecordFileContent parseRecordFile(const QByteArray& bytes) {
    const DecodedText decoded = decodeText(bytes);
    return RecordFileContent{decoded.lossy ? ReadOutcome::ReadLossily : ReadOutcome::Read,
                             splitLines(decoded.text)};
}

RecordFileContent readRecordFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(path);
        return RecordFileContent{
            info.exists() || info.isSymLink() ? ReadOutcome::Unreadable : ReadOutcome::Missing, {}};
    }
    QByteArray bytes;
    if (!readAllLimited(file, kMaxRecordFileBytes, &bytes)) {
        return RecordFileContent{ReadOutcome::Unreadable, {}};
    }
    return parseRecordFile(bytes);
}

QByteArray encodeRecordFile(const QStringList& records) {
    if (records.isEmpty()) {
        return QByteArray();
    }
    QString text;
    qsizetype size = 0;
    for (const QString& record : records) {
        size += record.size() + 2;
    }
    text.reserve(size);
    for (const QString& record : records) {
        text += record;
        text += u"\r\n";
    }
    QByteArray bytes;
    // The 8-bit form only when reading it back gives exactly this text: no
    // character lost, and no byte pattern that the reader takes for a mark or
    // for UTF-8.
    if (encodeCodePage(text, &bytes) && decodeText(bytes).text == text) {
        return bytes;
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

bool writeRecordFile(const QString& path, const QStringList& records) {
    return writeFileAtomically(path, encodeRecordFile(records));
}

}  // namespace quorvel
