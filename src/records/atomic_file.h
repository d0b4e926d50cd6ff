#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>

namespace quorvel {

// Replaces the file at `path` with `bytes` atomically: the bytes go to a
// temporary file beside it, which then takes the file's name, so a crash, a
// full disk or a power cut leaves either the old file or the new one. On
// failure the old file is untouched, no temporary file is left, and `error`
// (when given) receives the reason. Every file the program writes goes
// through here.
bool writeFileAtomically(const QString& path, QByteArrayView bytes, QString* error = nullptr);

// The same for bytes that come in pieces: `produce` hands each piece to the
// sink it gets, which says false once a write failed; `produce` returns
// false to give up (the old file then stays, and `error` is left empty
// unless a write failed).
using ByteSink = std::function<bool(QByteArrayView)>;
bool writeFileAtomically(const QString& path, const std::function<bool(const ByteSink&)>& produce,
                         QString* error = nullptr);

// For a file that a library writes itself, by its name: `finished`, a file
// beside `path`, takes the name `path` in one step, as the temporary file of
// writeFileAtomically does. A name that belongs to something other than a
// regular file is never replaced.
bool replaceFileWith(const QString& path, const QString& finished, QString* error = nullptr);

}  // namespace quorvel
