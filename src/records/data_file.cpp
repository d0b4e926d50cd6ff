#include "records/data_file.h"

#include <QFile>
#include <QFileInfo>

#include "records/file_io.h"

#ifdef Q_OS_WIN
#include <QDir>

#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#endif

namespace quorvel {

namespace {

// A hard link keeps the original bytes without reading them, so even a file
// that cannot be read can be kept; it fails atomically if the name is taken.
// Links are not always available (FAT, some network shares): Failed, and a
// copy is tried instead.
NameUse linkFile(const QString& from, const QString& to) {
#ifdef Q_OS_WIN
    const QString target = QDir::toNativeSeparators(to);
    const QString source = QDir::toNativeSeparators(from);
    if (CreateHardLinkW(reinterpret_cast<const wchar_t*>(target.utf16()),
                        reinterpret_cast<const wchar_t*>(source.utf16()), nullptr)) {
        return NameUse::Done;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? NameUse::Taken
                                                                       : NameUse::Failed;
#else
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) {
        return NameUse::Done;
    }
    return errno == EEXIST ? NameUse::Taken : NameUse::Failed;
#endif
}

NameUse copyFile(const QString& from, const QString& to, QString* error) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = source.errorString();
        return NameUse::Failed;
    }
    QFile target(to);
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = target.errorString();
        return nameTaken(to) ? NameUse::Taken : NameUse::Failed;
    }
    const auto failed = [&](const QString& why) {
        *error = why;
        target.close();
        target.remove();
        return NameUse::Failed;
    };
    char buffer[1 << 16];
    for (;;) {
        const qint64 got = source.read(buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            return failed(source.errorString());
        }
        if (target.write(buffer, got) != got) {
            return failed(target.errorString());
        }
    }
    if (!target.flush()) {
        return failed(target.errorString());
    }
    return NameUse::Done;
}

}  // namespace

Outcome<QString> keepBackup(const QString& path, BackupMethod method) {
    return useNextFreeName(path, u".bak", [&](const QString& name, QString* error) {
        if (method == BackupMethod::Link) {
            const NameUse linked = linkFile(path, name);
            if (linked != NameUse::Failed) {
                return linked;
            }
        }
        return copyFile(path, name, error);
    });
}

DataFile::DataFile(QString path, const RecordFileLimits& limits)
    : path_(std::move(path)), limits_(limits) {}

ReadOutcome DataFile::load(RecordStore* records) {
    RecordFileContent content = readRecordFile(path_, limits_);
    outcome_ = content.outcome;
    if (wasRead(outcome_)) {
        *records = std::move(content.records);
    }
    return outcome_;
}

Outcome<> DataFile::save(const RecordStore& records) {
    const QFileInfo info(path_);
    if (info.exists() && !info.isFile()) {
        // A FIFO, a device or a folder under our name stays.
        return Outcome<>::failure(QStringLiteral("not a regular file"));
    }
    // Encoded first: a list too large to be read back is not written at all,
    // and leaves no backup behind.
    const std::optional<QByteArray> bytes = encodeRecordFile(records, limits_);
    if (!bytes) {
        return Outcome<>::failure(QStringLiteral("the list is too large for a record file"));
    }
    const bool mustKeep =
        outcome_ == ReadOutcome::ReadLossily || outcome_ == ReadOutcome::Unreadable;
    if (mustKeep && !backupKept_) {
        // A file that has disappeared since start-up leaves nothing to keep.
        if (info.exists() || info.isSymLink()) {
            // A copy is a file of its own; only a file that cannot be read is
            // kept by a second link to its bytes.
            const BackupMethod method =
                outcome_ == ReadOutcome::Unreadable ? BackupMethod::Link : BackupMethod::Copy;
            const Outcome<QString> backup = keepBackup(path_, method);
            if (!backup) {
                return Outcome<>::failure(u"the original could not be kept: " + backup.error);
            }
        }
        backupKept_ = true;
    }
    return writeFileAtomically(path_, *bytes);
}

void LossyReads::noteRead(const QString& path, ReadOutcome outcome) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) {
        return;
    }
    paths_.removeAll(canonical);
    if (outcome == ReadOutcome::ReadLossily) {
        paths_.append(canonical);
    }
}

Outcome<> LossyReads::keepBeforeWriting(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty() || !paths_.contains(canonical)) {
        return {};
    }
    const Outcome<QString> backup = keepBackup(canonical);
    if (!backup) {
        return Outcome<>::failure(u"the original could not be kept: " + backup.error);
    }
    // What is written now is the program's own file.
    paths_.removeAll(canonical);
    return {};
}

}  // namespace quorvel
