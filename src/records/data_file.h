#pragma once

#include "records/file_io.h"
#include "records/record_file.h"

#include <QString>
#include <QStringList>

namespace quorvel {

inline constexpr char16_t kDataFileName[] = u"data.qvp";

// The automatic data file: read once at start-up, written once at closing.
// When the start-up read was lossy or impossible, the closing write first
// keeps the file's original bytes under a new backup name, so that writing
// the list never destroys data the program could not understand.
class DataFile {
  public:
    explicit DataFile(QString path, const RecordFileLimits& limits = {});

    // Reads the file. `records` is replaced only when the file could be read.
    ReadOutcome load(RecordStore* records);
    // Writes the list; fails when it was not written: the backup that must
    // come first could not be made, the list is too large for a record file,
    // the name belongs to something other than a regular file (which is never
    // replaced), or the write failed.
    Outcome<> save(const RecordStore& records);

  private:
    QString path_;
    RecordFileLimits limits_;
    ReadOutcome outcome_ = ReadOutcome::Missing;
    bool backupKept_ = false;
};

enum class BackupMethod {
    Copy,  // a file of its own
    Link,  // a second name for the same bytes (needs no read access), else a copy
};

// Record files the user opened that could only be read lossily. Before the
// program writes over one of them, it keeps the original bytes under a backup
// name, once, so a save never silently drops what the read could not take in.
class LossyReads {
  public:
    // Notes how `path` was read; a later clean read forgets it again.
    void noteRead(const QString& path, ReadOutcome outcome);
    // To call before writing `path`: keeps its bytes when it is a file noted
    // as read lossily. Fails when that backup was needed and failed.
    Outcome<> keepBeforeWriting(const QString& path);

  private:
    QStringList paths_;  // canonical paths
};

// Keeps the current content of `path` under the first free name of
// path.bak, path.bak2, path.bak3, ... without ever replacing an existing file.
// The backup's path, or why no backup could be made.
Outcome<QString> keepBackup(const QString& path, BackupMethod method = BackupMethod::Copy);

}  // namespace quorvel
