#pragma once

// The program's own settings, quorvel.ini: what it remembers between starts
// (the last run the window showed, an import's mapping, saved views, letter
// templates, a report's look). One INI file per user, read and written
// through the file helper, so a FIFO in its place never blocks and a crash
// never leaves half a file. Every write is a read-modify-write under a lock
// file, so two programs that change different keys keep both changes.

#include <QMap>
#include <QString>
#include <QVariant>

#include "records/outcome.h"

namespace quorvel {

inline constexpr char16_t kSettingsFileName[] = u"quorvel.ini";

// Keys as QSettings spells them: "group/key".
using SettingsValues = QMap<QString, QVariant>;

// $XDG_CONFIG_HOME/quorvel/quorvel.ini (~/.config when it is unset); on
// Windows %APPDATA%\Quorvel\quorvel.ini.
QString defaultSettingsPath();

// The file's values; a missing file is an empty set. Only a regular file is
// read, and at most 4 MiB of it.
Outcome<SettingsValues> readSettings(const QString& path);

// Applies `changes` to the file as it is now: a key with an invalid QVariant is
// removed, a key ending in '/' removes that whole group, any other key is
// set. Makes the folder when it is missing.
Outcome<> updateSettings(const QString& path, const SettingsValues& changes);

// INI text and back, as QSettings reads and writes it (also for files that
// are not quorvel.ini).
Outcome<SettingsValues> parseIniBytes(const QByteArray& bytes);
Outcome<QByteArray> iniBytes(const SettingsValues& values);

}  // namespace quorvel
