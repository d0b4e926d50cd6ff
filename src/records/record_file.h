#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <optional>

#include "records/file_io.h"
#include "records/record_store.h"

namespace quorvel {

// A record file larger than this, or with more lines than that, counts as one
// that cannot be read; the program never writes one either.
inline constexpr qint64 kMaxRecordFileBytes = qint64(256) * 1024 * 1024;
inline constexpr qsizetype kMaxRecordFileLines = 4000000;

struct RecordFileLimits {
    qint64 maxBytes = kMaxRecordFileBytes;
    qsizetype maxLines = kMaxRecordFileLines;
};

enum class ReadOutcome {
    Read,         // every byte decoded
    ReadLossily,  // read, but some bytes were invalid and became U+FFFD, or
                  // something other than NUL bytes followed the NUL that ends the text
    Missing,      // no such file
    Unreadable,   // it exists but cannot be opened or read, is no regular file,
                  // or is over the limits
};

struct RecordFileContent {
    ReadOutcome outcome = ReadOutcome::Missing;
    RecordStore records;  // empty unless the outcome is Read or ReadLossily
    QString problem;      // why it is Unreadable, or what a lossy read lost: for messages
};

inline bool wasRead(ReadOutcome outcome) {
    return outcome == ReadOutcome::Read || outcome == ReadOutcome::ReadLossily;
}

// The records held by the bytes of a record file, and whether decoding lost
// anything. Bytes over the limits give Unreadable.
RecordFileContent parseRecordFile(QByteArray bytes, const RecordFileLimits& limits = {});
// Reads a record file from an open device (standard input, say), stopping as
// soon as the limits are passed.
RecordFileContent readRecordDevice(QIODevice& device, const RecordFileLimits& limits = {});
// Reads a whole record file. Only a regular file (after following links) is
// read, and opening never waits for a writer. The caller replaces its list
// only on success.
RecordFileContent readRecordFile(const QString& path, const RecordFileLimits& limits = {});

// The bytes of a record file: each record followed by CR LF. Windows-1251
// without a mark when that reads back as exactly the same text, else UTF-8
// with the mark EF BB BF. An empty list gives no bytes. Nothing when the
// bytes would be over the limits, so that every file written reads back.
std::optional<QByteArray> encodeRecordFile(const RecordStore& records,
                                           const RecordFileLimits& limits = {});
// Writes the records atomically: the file is either the old one or the new
// one, never a mix. Fails (the old file then stays) when the write failed or
// the file would be over the limits.
Outcome<> writeRecordFile(const QString& path, const RecordStore& records,
                          const RecordFileLimits& limits = {});

// Records handed over one at a time, in list order, each time the sequence
// is run: a list that is made as it is written, never held as lines.
using RecordVisitor = std::function<void(QStringView)>;
using RecordSequence = std::function<void(const RecordVisitor&)>;
// The same write for such records: they are gone through once to choose the
// form, and again to write the file in pieces.
Outcome<> writeRecordFile(const QString& path, const RecordSequence& records,
                          const RecordFileLimits& limits = {});

}  // namespace quorvel
