#include "records/file_io.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace quorvel {

namespace {

const QString kNotRegular = QStringLiteral("not a regular file");

}  // namespace

Outcome<> writeFileAtomically(const QString& path, QByteArrayView bytes, FileAccess access) {
    return writeFileAtomically(
        path, [bytes](const ByteSink& sink) { return sink(bytes); }, access);
}

Outcome<> writeFileAtomically(const QString& path,
                              const std::function<bool(const ByteSink&)>& produce,
                              FileAccess access) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        // A FIFO, a device or a folder is never replaced by a file.
        return Outcome<>::failure(kNotRegular);
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
        const QString why =
            failed ? file.errorString() : QStringLiteral("the writing was given up");
        file.cancelWriting();
        return Outcome<>::failure(why);
    }
    if (!file.commit()) {
        return Outcome<>::failure(file.errorString());
    }
    return {};
}

Outcome<> replaceFileWith(const QString& path, const QString& finished) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        return Outcome<>::failure(kNotRegular);
    }
    std::error_code code;
    std::filesystem::rename(std::filesystem::path(finished.toStdU16String()),
                            std::filesystem::path(path.toStdU16String()), code);
    if (code) {
        return Outcome<>::failure(QString::fromStdString(code.message()));
    }
    return {};
}

ReadEnd readAllLimited(QIODevice& device, qint64 limit, QByteArray* out,
                       const std::function<bool(const QByteArray&)>& goOn) {
    out->clear();
    const auto ended = [out](ReadEnd end) {
        out->clear();
        return end;
    };
    constexpr qint64 kChunk = 1 << 16;
    if (!device.isSequential()) {
        const qint64 size = device.size();
        if (size > limit) {
            return ReadEnd::TooLarge;
        }
        // Room for the last read too, which finds the end: the buffer is
        // never moved and never holds the file twice.
        out->reserve(size + kChunk);
    }
    for (;;) {
        const qsizetype had = out->size();
        const qint64 want = qMin(kChunk, limit + 1 - had);
        out->resize(had + want);
        const qint64 got = device.read(out->data() + had, want);
        if (got < 0) {
            return ended(ReadEnd::Failed);
        }
        out->resize(had + got);
        if (out->size() > limit) {
            return ended(ReadEnd::TooLarge);
        }
        if (got > 0 && goOn && !goOn(*out)) {
            return ended(ReadEnd::Refused);
        }
        if (got == 0 &&
            (device.atEnd() || !device.isSequential() || !device.waitForReadyRead(-1))) {
            return ReadEnd::Done;
        }
    }
}

bool nameTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

FileOpening openRegularFile(const QString& path, QFile* file) {
    const auto missingOr = [&](const QString& problem) {
        return nameTaken(path) ? FileOpening{FileOpening::Failed, problem}
                               : FileOpening{FileOpening::Missing, problem};
    };
    const FileOpening notRegular{FileOpening::NotRegular, kNotRegular};
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        return notRegular;
    }
    file->setFileName(path);
    if (!file->open(QIODevice::ReadOnly)) {
        return missingOr(file->errorString());
    }
#else
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        return missingOr(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (!S_ISREG(st.st_mode)) {
        return notRegular;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return missingOr(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return notRegular;
    }
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return FileOpening{FileOpening::Failed, file->errorString()};
    }
#endif
    return FileOpening{FileOpening::Opened, {}};
}

Outcome<QString> useNextFreeName(
    const QString& base, QStringView suffix,
    const std::function<NameUse(const QString& name, QString* error)>& use) {
    for (int n = 1; n < 10000; ++n) {
        const QString name = base + suffix + (n == 1 ? QString() : QString::number(n));
        if (nameTaken(name)) {
            continue;
        }
        QString error;
        switch (use(name, &error)) {
            case NameUse::Done:
                return {name, {}};
            case NameUse::Taken:
                continue;
            case NameUse::Failed:
                return Outcome<QString>::failure(error.isEmpty() ? QStringLiteral("failed")
                                                                 : error);
        }
    }
    return Outcome<QString>::failure(QStringLiteral("no free name"));
}

}  // namespace quorvel
