#pragma once

// The program's few ways to read and write files, in one place: atomic
// replacement, reading with a cap, opening only regular files without
// waiting, and the next free numbered name. Each says why it failed, and
// every caller shows or logs that reason.

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QStringView>

#include <functional>

#include "records/outcome.h"

namespace quorvel {

// Who may read and write a file the program writes: whoever the system's
// defaults let, or its owner alone (a file that holds secrets).
enum class FileAccess { Default, OwnerOnly };

// Replaces the file at `path` with `bytes` atomically: the bytes go to a
// temporary file beside it, which then takes the file's name, so a crash, a
// full disk or a power cut leaves either the old file or the new one. On
// failure the old file is untouched and no temporary file is left. A name
// that belongs to anything but a regular file is never replaced. Every file
// the program writes goes through here. With OwnerOnly, the new file is
// closed to everyone else before its first byte is written.
Outcome<> writeFileAtomically(const QString& path, QByteArrayView bytes,
                              FileAccess access = FileAccess::Default);

// The same for bytes that come in pieces: `produce` hands each piece to the
// sink it gets, which says false once a write failed; `produce` returns
// false to give up (the old file then stays).
using ByteSink = std::function<bool(QByteArrayView)>;
Outcome<> writeFileAtomically(const QString& path,
                              const std::function<bool(const ByteSink&)>& produce,
                              FileAccess access = FileAccess::Default);

// For a file that a library writes itself, by its name: `finished`, a file
// beside `path`, takes the name `path` in one step, as the temporary file of
// writeFileAtomically does. A name that belongs to something other than a
// regular file is never replaced.
Outcome<> replaceFileWith(const QString& path, const QString& finished);

// Why a limited read ended.
enum class ReadEnd { Done, Failed, TooLarge, Refused };

// Reads all of `device` into `out`: TooLarge once more than `limit` bytes
// come, Refused as soon as `goOn` (asked after each piece, with all read so
// far) says no. `out` is empty unless the read is Done.
ReadEnd readAllLimited(QIODevice& device, qint64 limit, QByteArray* out,
                       const std::function<bool(const QByteArray&)>& goOn = {});

// Opens `file` on `path` for reading only when it is a regular file (after
// following links), and without waiting: a FIFO or a device could block the
// open or the read for ever, and it might be swapped in between the look and
// the open.
struct FileOpening {
    enum Outcome { Opened, Missing, NotRegular, Failed } outcome = Failed;
    QString problem;  // why it was not opened
};
FileOpening openRegularFile(const QString& path, QFile* file);

// What trying a name came to.
enum class NameUse { Done, Taken, Failed };
// Tries `use` on the names `base + suffix`, `base + suffix + "2"`, "3", ...
// (up to 9999), passing over a name that anything already has and one that
// `use` finds taken meanwhile; never replaces a file. The name used, or the
// reason there is none (`use` says why it failed through its `error`).
Outcome<QString> useNextFreeName(
    const QString& base, QStringView suffix,
    const std::function<NameUse(const QString& name, QString* error)>& use);

// Whether anything (a file, a folder, a link, even a broken one) has the name.
bool nameTaken(const QString& path);

}  // namespace quorvel
