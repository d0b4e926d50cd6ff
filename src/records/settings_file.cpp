#include "records/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringBuilder>
#include <QTemporaryFile>

#include "records/file_io.h"

namespace quorvel {

namespace {

// Far more than templates, views and mappings ever take; a larger file is
// not ours.
constexpr qint64 kMaxSettingsBytes = 4 * 1024 * 1024;
// Another program writing the file holds the lock for a moment only.
constexpr int kLockWaitMs = 10000;

// QSettings reads and writes only files by name: a private copy in the
// temporary folder, closed to everyone else before its first byte.
struct PrivateCopy {
    QTemporaryFile file{QDir::tempPath() + u"/quorvel-ini-XXXXXX.ini"};

    bool make(const QByteArray& bytes) {
        if (!file.open() ||
            !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
            file.write(bytes) != bytes.size() || !file.flush()) {
            return false;
        }
        file.close();
        return true;
    }
};

}  // namespace

QString defaultSettingsPath() {
#ifdef Q_OS_WIN
    QString base = qEnvironmentVariable("APPDATA");
    if (base.isEmpty()) {
        base = QDir::homePath() + u"/AppData/Roaming";
    }
    return QDir::cleanPath(base + u"/Quorvel/" + QStringView(kSettingsFileName));
#else
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + u"/.config";
    }
    return QDir::cleanPath(base + u"/quorvel/" + QStringView(kSettingsFileName));
#endif
}

Outcome<SettingsValues> parseIniBytes(const QByteArray& bytes) {
    using Read = Outcome<SettingsValues>;
    PrivateCopy copy;
    if (!copy.make(bytes)) {
        return Read::failure(u"no private copy for parsing (" % copy.file.errorString() % u')');
    }
    QSettings ini(copy.file.fileName(), QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        return Read::failure(QStringLiteral("not an INI file QSettings can read"));
    }
    Read read;
    const QStringList keys = ini.allKeys();
    for (const QString& key : keys) {
        read.value.insert(key, ini.value(key));
    }
    return read;
}

Outcome<QByteArray> iniBytes(const SettingsValues& values) {
    using Write = Outcome<QByteArray>;
    PrivateCopy copy;
    if (!copy.make(QByteArray())) {
        return Write::failure(u"no private copy for writing (" % copy.file.errorString() % u')');
    }
    {
        QSettings ini(copy.file.fileName(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            ini.setValue(it.key(), it.value());
        }
        ini.sync();
        if (ini.status() != QSettings::NoError) {
            return Write::failure(QStringLiteral("QSettings could not write its INI text"));
        }
    }
    QFile written(copy.file.fileName());
    if (!written.open(QIODevice::ReadOnly)) {
        return Write::failure(written.errorString());
    }
    return Write{written.readAll(), QString()};
}

Outcome<SettingsValues> readSettings(const QString& path) {
    using Read = Outcome<SettingsValues>;
    QFile file;
    const FileOpening opening = openRegularFile(path, &file);
    switch (opening.outcome) {
        case FileOpening::Opened:
            break;
        case FileOpening::Missing:
            return Read();
        case FileOpening::NotRegular:
            return Read::failure(u"'" % path % u"' is not a regular file");
        case FileOpening::Failed:
            return Read::failure(u"cannot read '" % path % u"': " % opening.problem);
    }
    QByteArray bytes;
    switch (readAllLimited(file, kMaxSettingsBytes, &bytes)) {
        case ReadEnd::Done:
            break;
        case ReadEnd::TooLarge:
            return Read::failure(u"'" % path % u"' is over 4 MiB: not a settings file of ours");
        case ReadEnd::Failed:
        case ReadEnd::Refused:
            return Read::failure(u"cannot read '" % path % u"': " % file.errorString());
    }
    Read read = parseIniBytes(bytes);
    if (!read) {
        read.error = u"'" % path % u"': " % read.error;
    }
    return read;
}

Outcome<> updateSettings(const QString& path, const SettingsValues& changes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return Outcome<>::failure(u"cannot make the folder of '" % path % u'\'');
    }
    QLockFile lock(path + u".lock");
    if (!lock.tryLock(kLockWaitMs)) {
        return Outcome<>::failure(u"'" % path % u"' is being written by another program");
    }
    Outcome<SettingsValues> now = readSettings(path);
    if (!now) {
        return Outcome<>::failure(now.error);
    }
    SettingsValues& values = now.value;
    for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
        const QString& key = change.key();
        if (key.endsWith(u'/')) {
            for (auto it = values.begin(); it != values.end();) {
                it = it.key().startsWith(key) ? values.erase(it) : std::next(it);
            }
        } else if (!change.value().isValid()) {
            values.remove(key);
        } else {
            values.insert(key, change.value());
        }
    }
    const Outcome<QByteArray> bytes = iniBytes(values);
    if (!bytes) {
        return Outcome<>::failure(u"'" % path % u"': " % bytes.error);
    }
    return writeFileAtomically(path, bytes.value);
}

}  // namespace quorvel
