#pragma once

#include <QByteArrayView>
#include <QString>

namespace quorvel {

// Replaces the file at `path` with `bytes` atomically: the bytes go to a
// temporary file beside it, which then takes the file's name, so a crash, a
// full disk or a power cut leaves either the old file or the new one. On
// failure the old file is untouched, no temporary file is left, and `error`
// (when given) receives the reason. Every file the program writes goes
// through here.
bool writeFileAtomically(const QString& path, QByteArrayView bytes, QString* error = nullptr);

}  // namespace quorvel
