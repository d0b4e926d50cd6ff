#include "records/data_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include "support/printers.h"

#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(DataFile, MissingFileKeepsTheListAndIsWrittenOnSave) {
    test::TempDir dir;
    DataFile data(dir.path(u"data.qvp"_s));
    RecordStore list = {u"kept"_s};
    EXPECT_EQ(data.load(&list), ReadOutcome::Missing);
    EXPECT_EQ(list, QStringList{u"kept"_s});

    ASSERT_TRUE(data.save({}));
    EXPECT_EQ(QFileInfo(dir.path(u"data.qvp"_s)).size(), 0) << "an empty list is 0 bytes";
    EXPECT_FALSE(QFileInfo::exists(dir.path(u"data.qvp.bak"_s)));
}

TEST(DataFile, ReadableFileIsReplacedWithoutBackup) {
    test::TempDir dir;
    dir.write(u"data.qvp"_s, "\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\r\n");
    DataFile data(dir.path(u"data.qvp"_s));
    RecordStore list;
    EXPECT_EQ(data.load(&list), ReadOutcome::Read);
    EXPECT_EQ(list, QStringList{u"При"_s});
    ASSERT_TRUE(data.save(list));
    EXPECT_EQ(dir.read(u"data.qvp"_s), QByteArray("\xCF\xF0\xE8\r\n"));
    EXPECT_FALSE(QFileInfo::exists(dir.path(u"data.qvp.bak"_s)));
}

TEST(DataFile, LossyReadKeepsTheOriginalBytesOnce) {
    test::TempDir dir;
    const QByteArray original(
        "\xEF\xBB\xBF"
        "a\xFF"
        "b\r\n");
    dir.write(u"data.qvp"_s, original);
    DataFile data(dir.path(u"data.qvp"_s));
    RecordStore list;
    EXPECT_EQ(data.load(&list), ReadOutcome::ReadLossily);
    EXPECT_EQ(list, QStringList{u"a\uFFFDb"_s});

    list.append(u"new");
    ASSERT_TRUE(data.save(list));
    EXPECT_EQ(dir.read(u"data.qvp.bak"_s), original);
    EXPECT_EQ(readRecordFile(dir.path(u"data.qvp"_s)).records, list);

    // A second write does not take our own file for the original.
    ASSERT_TRUE(data.save(list));
    EXPECT_FALSE(QFileInfo::exists(dir.path(u"data.qvp.bak2"_s)));
    EXPECT_EQ(dir.read(u"data.qvp.bak"_s), original);
}

TEST(DataFile, UnreadableFileIsKeptUnderTheNextFreeBackupName) {
    test::TempDir dir;
    dir.write(u"data.qvp.bak"_s, "first");
    dir.write(u"data.qvp.bak2"_s, "second");
    // Too large to read (sparse, so it costs no disk).
    QFile big(dir.path(u"data.qvp"_s));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.write("head") == 4);
    ASSERT_TRUE(big.resize(kMaxRecordFileBytes + 1));
    big.close();

    DataFile data(dir.path(u"data.qvp"_s));
    RecordStore list = {u"before"_s};
    EXPECT_EQ(data.load(&list), ReadOutcome::Unreadable);
    EXPECT_EQ(list, QStringList{u"before"_s}) << "a failed read leaves the list";

    ASSERT_TRUE(data.save({u"x"_s}));
    EXPECT_EQ(dir.read(u"data.qvp.bak"_s), QByteArray("first"));
    EXPECT_EQ(dir.read(u"data.qvp.bak2"_s), QByteArray("second"));
    EXPECT_EQ(QFileInfo(dir.path(u"data.qvp.bak3"_s)).size(), kMaxRecordFileBytes + 1);
    QFile kept(dir.path(u"data.qvp.bak3"_s));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.read(4), QByteArray("head"));
    EXPECT_EQ(dir.read(u"data.qvp"_s), QByteArray("x\r\n"));
}

TEST(DataFile, NoWriteWhenTheOriginalCannotBeKept) {
    test::TempDir dir;
    // A folder under the data file's name can be neither read nor kept.
    ASSERT_TRUE(QDir().mkpath(dir.path(u"data.qvp/inside"_s)));
    DataFile data(dir.path(u"data.qvp"_s));
    RecordStore list;
    EXPECT_EQ(data.load(&list), ReadOutcome::Unreadable);
    EXPECT_FALSE(data.save({u"x"_s}));
    EXPECT_TRUE(QFileInfo(dir.path(u"data.qvp/inside"_s)).isDir());
}

// Power-loss damage: zero bytes in the middle of the file. The text ends at
// the first of them, and the bytes after it survive in the backup.
TEST(DataFile, NulDamageKeepsTheWholeFile) {
    test::TempDir dir;
    QByteArray original;
    for (int i = 0; i < 2000; ++i) {
        original += "<QV_U>partner" + QByteArray::number(i) + ".example</QV_U>\r\n";
        if (i == 999) {
            original += QByteArray(4096, '\0');
        }
    }
    dir.write(u"data.qvp"_s, original);
    DataFile data(dir.path(u"data.qvp"_s));
    RecordStore list;
    EXPECT_EQ(data.load(&list), ReadOutcome::ReadLossily);
    EXPECT_EQ(list.size(), 1000);
    ASSERT_TRUE(data.save(list));
    EXPECT_EQ(dir.read(u"data.qvp.bak"_s), original);
    EXPECT_EQ(readRecordFile(dir.path(u"data.qvp"_s)).records, list);
}

// A list that has outgrown the file (LF became CR LF, say) is not written:
// the old file stays, no backup is made, and the next start reads it.
TEST(DataFile, AListTooLargeToReadBackIsNotWritten) {
    test::TempDir dir;
    const QByteArray original = QByteArray("a\n").repeated(10) + '\0' + "tail";
    dir.write(u"data.qvp"_s, original);
    const RecordFileLimits limits{26, 100};
    DataFile data(dir.path(u"data.qvp"_s), limits);
    RecordStore list;
    ASSERT_EQ(data.load(&list), ReadOutcome::ReadLossily);
    EXPECT_FALSE(data.save(list)) << "30 bytes with CR LF";
    EXPECT_EQ(dir.read(u"data.qvp"_s), original);
    EXPECT_FALSE(QFileInfo::exists(dir.path(u"data.qvp.bak"_s)));
    list.remove(0, 3);
    ASSERT_TRUE(data.save(list)) << "21 bytes";
    EXPECT_EQ(dir.read(u"data.qvp.bak"_s), original);
}

#ifndef Q_OS_WIN
TEST(DataFile, AFifoIsNeitherReadNorReplaced) {
    test::TempDir dir;
    const QByteArray path = QFile::encodeName(dir.path(u"data.qvp"_s));
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    DataFile data(dir.path(u"data.qvp"_s));
    RecordStore list;
    EXPECT_EQ(data.load(&list), ReadOutcome::Unreadable);
    EXPECT_FALSE(data.save({u"x"_s}));
    struct stat st {};
    ASSERT_EQ(::stat(path.constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_FALSE(QFileInfo::exists(dir.path(u"data.qvp.bak"_s)));
}
#endif

// A project file loaded lossily is kept once before the first save over it.
TEST(LossyReads, KeepTheOriginalBeforeTheFirstWriteOver) {
    test::TempDir dir;
    const QByteArray damaged("a\r\n\0b\r\n", 7);
    dir.write(u"p.qvp"_s, damaged);
    dir.write(u"clean.qvp"_s, "c\r\n");
    LossyReads reads;
    reads.noteRead(dir.path(u"p.qvp"_s), readRecordFile(dir.path(u"p.qvp"_s)).outcome);
    reads.noteRead(dir.path(u"clean.qvp"_s), readRecordFile(dir.path(u"clean.qvp"_s)).outcome);

    EXPECT_TRUE(reads.keepBeforeWriting(dir.path(u"clean.qvp"_s)));
    EXPECT_FALSE(QFileInfo::exists(dir.path(u"clean.qvp.bak"_s)));
#ifdef Q_OS_WIN
    const QString alias = dir.path(u"p.qvp"_s);  // links are shortcut files there
#else
    // Reached through another name, it is the same file.
    ASSERT_TRUE(QFile::link(dir.path(u"p.qvp"_s), dir.path(u"alias.qvp"_s)));
    const QString alias = dir.path(u"alias.qvp"_s);
#endif
    EXPECT_TRUE(reads.keepBeforeWriting(alias));
    EXPECT_EQ(dir.read(u"p.qvp.bak"_s), damaged);
    ASSERT_TRUE(writeRecordFile(dir.path(u"p.qvp"_s), {u"a"_s}));
    EXPECT_TRUE(reads.keepBeforeWriting(dir.path(u"p.qvp"_s)));
    EXPECT_FALSE(QFileInfo::exists(dir.path(u"p.qvp.bak2"_s))) << "our own file is not kept";
}

TEST(DataFile, BackupNamesAreNeverReused) {
    test::TempDir dir;
    dir.write(u"f"_s, "one");
    EXPECT_EQ(keepBackup(dir.path(u"f"_s)).value, dir.path(u"f.bak"_s));
    dir.write(u"f"_s, "two");  // a new file under the same name
    EXPECT_EQ(keepBackup(dir.path(u"f"_s)).value, dir.path(u"f.bak2"_s));
    EXPECT_EQ(dir.read(u"f.bak"_s), QByteArray("one"));
    EXPECT_EQ(dir.read(u"f.bak2"_s), QByteArray("two"));
    EXPECT_TRUE(keepBackup(dir.path(u"none"_s)).value.isEmpty());
    EXPECT_TRUE(keepBackup(dir.path(u"none"_s), BackupMethod::Link).value.isEmpty());
}

}  // namespace
}  // namespace quorvel
