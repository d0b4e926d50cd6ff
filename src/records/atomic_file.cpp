#include "records/atomic_file.h"

#include <QFileInfo>
#include <QSaveFile>

namespace quorvel {

bool writeFileAtomically(const QString& path, QByteArrayView bytes, QString* error,
                         FileAccess access) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        // A FIFO, a device or a folder is never replaced by a file.
        if (error) {
            *error = QStringLiteral("not a regular file");
        }
        return false;
    }
    QSaveFile file(path);
    // Unbuffered, so that a failed write says why at once; a buffered one
    // fails only in commit, which loses the reason while cleaning up.
    bool open = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (open && access == FileAccess::OwnerOnly) {
        // The temporary file takes an existing file's mode, or the default
        // one: closed before any secret goes in.
        open = file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    // A short write (a disk that just filled up) is no error yet; the next
    // write is, and it carries the reason.
    for (qsizetype done = 0; open && done < bytes.size();) {
        const qint64 n = file.write(bytes.data() + done, bytes.size() - done);
        open = n > 0;
        done += open ? n : 0;
    }
    if (!open) {
        if (error) {
            *error = file.errorString();
        }
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

}  // namespace quorvel
