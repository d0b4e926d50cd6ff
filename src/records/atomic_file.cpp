#include "records/atomic_file.h"

#include <QSaveFile>

namespace quorvel {

bool writeFileAtomically(const QString& path, QByteArrayView bytes, QString* error) {
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(bytes.data(), bytes.size()) == bytes.size() && file.commit();
    if (!written) {
        if (error) {
            *error = file.errorString();
        }
        file.cancelWriting();
    }
    return written;
}

}  // namespace quorvel
