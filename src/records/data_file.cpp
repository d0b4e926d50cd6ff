#include "records/data_file.h"

#include <QFile>
#include <QFileInfo>

#include "records/atomic_file.h"

#ifdef Q_OS_WIN
#include <QDir>

#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#endif

namespace quorvel {

namespace {

enum class LinkResult { Done, NameTaken, Unsupported };

// A hard link keeps the original bytes without reading them, so even a file
// that cannot be read can be kept; it fails atomically if the name is taken.
// Links are not always available (FAT, network shares): Unsupported.
LinkResult linkFile(const QString& from, const QString& to) {
#ifdef Q_OS_WIN
    const QString target = QDir::toNativeSeparators(to);
    const QString source = QDir::toNativeSeparators(from);
    if (CreateHardLinkW(reinterpret_cast<const wchar_t*>(target.utf16()),
                        reinterpret_cast<const wchar_t*>(source.utf16()), nullptr)) {
        return LinkResult::Done;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? LinkResult::NameTaken
                                                                       : LinkResult::Unsupported;
#else
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) {
        return LinkResult::Done;
    }
    return errno == EEXIST ? LinkResult::NameTaken : LinkResult::Unsupported;
#endif
}

enum class CopyResult { Done, NameTaken, Failed };

CopyResult copyFile(const QString& from, const QString& to) {
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        return CopyResult::Failed;
    }
    QFile target(to);
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return QFileInfo::exists(to) ? CopyResult::NameTaken : CopyResult::Failed;
    }
    char buffer[1 << 16];
    for (;;) {
        const qint64 got = source.read(buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0 || target.write(buffer, got) != got) {
            target.close();
            target.remove();
            return CopyResult::Failed;
        }
    }
    if (!target.flush()) {
        target.close();
        target.remove();
        return CopyResult::Failed;
    }
    return CopyResult::Done;
}

}  // namespace

QString keepBackup(const QString& path, BackupMethod method) {
    for (int n = 1; n < 10000; ++n) {
        const QString name =
            n == 1 ? QString(path + u".bak") : QString(path + u".bak" + QString::number(n));
        if (QFileInfo::exists(name) || QFileInfo(name).isSymLink()) {
            continue;
        }
        if (method == BackupMethod::Link) {
            const LinkResult linked = linkFile(path, name);
            if (linked == LinkResult::Done) {
                return name;
            }
            if (linked == LinkResult::NameTaken) {
                continue;
            }
        }
        switch (copyFile(path, name)) {
            case CopyResult::Done:
                return name;
            case CopyResult::NameTaken:
                continue;
            case CopyResult::Failed:
                return QString();
        }
    }
    return QString();
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

bool DataFile::save(const RecordStore& records) {
    const QFileInfo info(path_);
    if (info.exists() && !info.isFile()) {
        return false;  // a FIFO, a device or a folder under our name stays
    }
    // Encoded first: a list too large to be read back is not written at all,
    // and leaves no backup behind.
    const std::optional<QByteArray> bytes = encodeRecordFile(records, limits_);
    if (!bytes) {
        return false;
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
            if (keepBackup(path_, method).isEmpty()) {
                return false;
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

bool LossyReads::keepBeforeWriting(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty() || !paths_.contains(canonical)) {
        return true;
    }
    if (keepBackup(canonical).isEmpty()) {
        return false;
    }
    // What is written now is the program's own file.
    paths_.removeAll(canonical);
    return true;
}

}  // namespace quorvel
