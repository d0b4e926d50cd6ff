#include "records/atomic_file.h"

#include <QFileInfo>
#include <QSaveFile>

namespace quorvel {

bool writeFileAtomically(const QString& path, QByteArrayView bytes, QString* error) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        // A FIFO, a device or a folder is never replaced by a file.
        if (error) {
            *error = QStringLiteral("not a regular file");
        }
        return false;
    }
    QSaveFile file(path);
    // Unbuffered, and written until the system refuses, so that a failing
    // write reports its own reason (a full disk, say) instead of "Unknown
    // error": a short write sets no error of its own.
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qsizetype done = 0; written && done < bytes.size();) {
        const qint64 n = file.write(bytes.data() + done, bytes.size() - done);
        written = n > 0;
        done += n;
    }
    written = written && file.commit();
    if (!written) {
        if (error) {
            *error = file.errorString();
        }
        file.cancelWriting();
    }
    return written;
}

}  // namespace quorvel
