#pragma once

#include <QByteArrayView>
#include <QString>

namespace quorvel {

// Who may read and write a file the program writes: whoever the system's
// defaults let, or its owner alone (a file that holds secrets).
enum class FileAccess { Default, OwnerOnly };

// Replaces the file at `path` with `bytes` atomically: the bytes go to a
// temporary file beside it, which then takes the file's name, so a crash, a
// full disk or a power cut leaves either the old file or the new one. On
// failure the old file is untouched, no temporary file is left, and `error`
// (when given) receives the reason. Every file the program writes goes
// through here. With OwnerOnly, the new file is closed to everyone else before
// its first byte is written.
bool writeFileAtomically(const QString& path, QByteArrayView bytes, QString* error = nullptr,
                         FileAccess access = FileAccess::Default);

}  // namespace quorvel
