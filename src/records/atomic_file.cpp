#include "records/atomic_file.h"

#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

namespace quorvel {

namespace {

bool isOtherThanAFile(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        // A FIFO, a device or a folder is never replaced by a file.
        if (error) {
            *error = QStringLiteral("not a regular file");
        }
        return true;
    }
    return false;
}

}  // namespace

bool writeFileAtomically(const QString& path, QByteArrayView bytes, QString* error) {
    return writeFileAtomically(
        path, [bytes](const ByteSink& sink) { return sink(bytes); }, error);
}

bool writeFileAtomically(const QString& path, const std::function<bool(const ByteSink&)>& produce,
                         QString* error) {
    if (isOtherThanAFile(path, error)) {
        return false;
    }
    QSaveFile file(path);
    // Unbuffered, so that a failed write says why at once; a buffered one
    // fails only in commit, which loses the reason while cleaning up.
    bool open = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    bool failed = !open;
    const ByteSink sink = [&](QByteArrayView bytes) {
        // A short write (a disk that just filled up) is no error yet; the
        // next write is, and it carries the reason.
        for (qsizetype done = 0; open && done < bytes.size();) {
            const qint64 n = file.write(bytes.data() + done, bytes.size() - done);
            open = n > 0;
            done += open ? n : 0;
        }
        failed = failed || !open;
        return open;
    };
    const bool produced = open && produce(sink);
    if (failed || !produced) {
        if (error) {
            *error = failed ? file.errorString() : QString();
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

bool replaceFileWith(const QString& path, const QString& finished, QString* error) {
    if (isOtherThanAFile(path, error)) {
        return false;
    }
    std::error_code code;
    std::filesystem::rename(std::filesystem::path(finished.toStdU16String()),
                            std::filesystem::path(path.toStdU16String()), code);
    if (code) {
        if (error) {
            *error = QString::fromStdString(code.message());
        }
        return false;
    }
    return true;
}

}  // namespace quorvel
