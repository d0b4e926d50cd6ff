#include "records/file_io.h"

#include <QDir>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

TEST(AtomicFile, ReplacesTheFileWhole) {
    test::TempDir dir;
    const QString path = dir.path(u"f.txt"_s);
    ASSERT_TRUE(writeFileAtomically(path, "old"));
    ASSERT_TRUE(writeFileAtomically(path, "new bytes"));
    EXPECT_EQ(dir.read(u"f.txt"_s), "new bytes");
    EXPECT_EQ(filesIn(dir.path({})), QStringList{u"f.txt"_s});

    const Outcome<> failed = writeFileAtomically(dir.path(u"no/such/dir/f.txt"_s), "x");
    EXPECT_FALSE(failed);
    EXPECT_FALSE(failed.error.isEmpty()) << "the reason is kept";
}

// A FIFO, a device or a folder under the name is never turned into a file.
TEST(AtomicFile, OnlyARegularFileIsReplaced) {
    test::TempDir dir;
    const QString fifo = dir.path(u"fifo"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(dir.path(u"folder"_s)));
    for (const QString& path : {fifo, dir.path(u"folder"_s)}) {
        const Outcome<> failed = writeFileAtomically(path, "x");
        EXPECT_FALSE(failed);
        EXPECT_EQ(failed.error, u"not a regular file");
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(filesIn(dir.path({})).isEmpty());
}

TEST(AtomicFile, AnInterruptedWriteLeavesTheOldFile) {
    test::TempDir dir;
    const QString path = dir.path(u"f.txt"_s);
    ASSERT_TRUE(writeFileAtomically(path, "old"));

    // The file size limit makes the write fail part way through.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome<> written = writeFileAtomically(path, QByteArray(100000, 'x'));
    const QString error = written.error;
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(dir.read(u"f.txt"_s), "old");
    EXPECT_EQ(filesIn(dir.path({})), QStringList{u"f.txt"_s}) << "no temporary file is left";
}

// A real full disk: a tiny tmpfs in a mount namespace of a child process.
TEST(AtomicFile, AFullDiskLeavesTheOldFileAndSaysSo) {
    test::TempDir dir;
    const QByteArray mountPoint = QFile::encodeName(dir.path({}));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0) {
            _exit(77);  // no mount namespace here
        }
        const QString path = dir.path(u"f.txt"_s);
        const bool old = writeFileAtomically(path, "old").ok();
        const Outcome<> bigWrite = writeFileAtomically(path, QByteArray(1 << 20, 'x'));
        const bool big = bigWrite.ok();
        const QString error = bigWrite.error;
        const bool intact = dir.read(u"f.txt"_s) == "old";
        const bool clean = filesIn(dir.path({})) == QStringList{u"f.txt"_s};
        _exit(old && !big && error.contains(u"space"_s) && intact && clean ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "no mount namespace for a small file system";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "the failed write must keep the old file, say why, and leave no temporary file";
}

}  // namespace
}  // namespace quorvel
