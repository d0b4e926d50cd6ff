#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

namespace quorvel {

// A record file larger than this counts as one that cannot be read.
inline constexpr qint64 kMaxRecordFileBytes = qint64(256) * 1024 * 1024;

enum class ReadOutcome {
    Read,         // every byte decoded
    ReadLossily,  // read, but some bytes were invalid and became U+FFFD
    Missing,      // no such file
    Unreadable,   // it exists but cannot be opened or read, or is too large
};

struct RecordFileContent {
    ReadOutcome outcome = ReadOutcome::Missing;
    QStringList records;  // empty unless the outcome is Read or ReadLossily
};

inline bool wasRead(ReadOutcome outcome) {
    return outcome == ReadOutcome::Read || outcome == ReadOutcome::ReadLossily;
}

// Reads all of `device` into `out`, failing once more than `limit` bytes come.
bool readAllLimited(QIODevice& device, qint64 limit, QByteArray* out);

// The records held by the bytes of a record file, and whether decoding lost
// anything.
RecordFileContent parseRecordFile(const QByteArray& bytes);
// Reads a whole record file. The caller replaces its list only on success.
RecordFileContent readRecordFile(const QString& path);

// The bytes of a record file: each record followed by CR LF. Windows-1251
// without a mark when that reads back as exactly the same text, else UTF-8
// with the mark EF BB BF. An empty list gives no bytes.
QByteArray encodeRecordFile(const QStringList& records);
// Writes the records atomically: the file is either the old one or the new
// one, never a mix. Returns false when the write failed.
bool writeRecordFile(const QString& path, const QStringList& records);

}  // namespace quorvel
