#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

// A stand-in for systemctl that notes its arguments and starts nothing; its
// user manager is there or not.
class Scheduling : public ::testing::Test {
  protected:
    void useSystemctl(bool userManager) {
        const QByteArray script =
            "#!/bin/sh\necho \"$@\" >> '" + dir_.path(u"systemctl.log"_s).toUtf8() +
            "'\ncase \"$2\" in\n  show-environment) exit " + (userManager ? "0" : "1") +
            ";;\n  is-active) echo active;;\nesac\nexit 0\n";
        dir_.write(u"systemctl"_s, script);
        QFile::setPermissions(dir_.path(u"systemctl"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("QUORVEL_SYSTEMCTL", dir_.path(u"systemctl"_s).toUtf8());
        qputenv("XDG_CONFIG_HOME", dir_.path(u"config"_s).toUtf8());
    }
    void TearDown() override {
        qunsetenv("QUORVEL_SYSTEMCTL");
        qputenv("XDG_CONFIG_HOME", savedConfigHome_);
    }
    QString unitFolder() const { return dir_.path(u"config/systemd/user"_s); }
    QStringList units() const { return QDir(unitFolder()).entryList(QDir::Files, QDir::Name); }
    QByteArray calls() const {
        QFile log(dir_.path(u"systemctl.log"_s));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }
    // A record file in a folder whose name holds what unit files and shells
    // must quote: a space, '%', '$', a quote.
    QString listFile() {
        QDir(dir_.path(QString())).mkpath(u"my links 100% $HOME \"q\""_s);
        const QString name = u"my links 100% $HOME \"q\"/data.qvp"_s;
        dir_.write(name, "<QV_U>partner.example</QV_U>\r\n");
        return dir_.path(name);
    }

    test::TempDir dir_;
    QByteArray savedConfigHome_ = qgetenv("XDG_CONFIG_HOME");
};

TEST_F(Scheduling, InstallsListsAndRemovesATimer) {
    useSystemctl(true);
    const QString file = listFile();
    dir_.write(u"notify.ini"_s, "[webhook]\nurl=http://hooks.test/\n");
    QFile::setPermissions(dir_.path(u"notify.ini"_s), QFile::ReadOwner | QFile::WriteOwner);

    test::CliResult r = test::runCli({u"schedule"_s, u"--daily"_s, u"7:05"_s, u"--notify"_s,
                                      u"--notify-config"_s, dir_.path(u"notify.ini"_s), file});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    ASSERT_EQ(units().size(), 2) << units().join(u' ').toStdString();
    const QString name = units().first().chopped(8);  // without ".service"
    EXPECT_TRUE(name.startsWith(u"quorvel-check-data-")) << name.toStdString();
    EXPECT_EQ(units().last(), name + u".timer");
    EXPECT_EQ(calls(), "--user show-environment\n--user daemon-reload\n--user enable --now " +
                           name.toUtf8() + ".timer\n");
    EXPECT_TRUE(r.out.contains("next run: ")) << r.out.constData();

    const QByteArray timer = dir_.read(u"config/systemd/user/"_s + name + u".timer");
    EXPECT_TRUE(timer.contains("\nOnCalendar=*-*-* 07:05:00\n")) << timer.constData();
    EXPECT_TRUE(timer.contains("\nPersistent=true\n"));
    EXPECT_TRUE(timer.contains("\nWantedBy=timers.target\n"));
    const QByteArray service = dir_.read(u"config/systemd/user/"_s + name + u".service");
    QByteArray quotedFile = file.toUtf8();
    quotedFile.replace("%", "%%").replace("$", "$$").replace("\"", "\\\"");
    const QByteArray exec =
        "\nExecStart=\"" QUORVEL_CLI_PATH "\" \"check\" \"--notify\" \"--notify-config\" \"" +
        dir_.path(u"notify.ini"_s).toUtf8() + "\" \"--\" \"" + quotedFile + "\"\n";
    EXPECT_TRUE(
        service.contains(QByteArray("\nEnvironment=QUORVEL_SCHEDULE=" + name.toUtf8() + "\n")))
        << "its runs are told apart in the history";
    EXPECT_TRUE(service.contains(exec)) << service.constData();

    const QString analyze = QStandardPaths::findExecutable(u"systemd-analyze"_s);
    if (!analyze.isEmpty()) {
        QProcess verify;
        verify.setWorkingDirectory(unitFolder());
        verify.start(analyze, {u"verify"_s, u"--man=no"_s, name + u".service"_s, name + u".timer"});
        ASSERT_TRUE(verify.waitForFinished(60000));
        EXPECT_EQ(verify.exitCode(), 0) << verify.readAllStandardError().constData();
    }

    // Another schedule of the same list replaces it.
    r = test::runCli({u"schedule"_s, u"--every-hours"_s, u"6"_s, file});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(units().size(), 2);
    EXPECT_TRUE(dir_.read(u"config/systemd/user/"_s + name + u".timer")
                    .contains("\nOnCalendar=*-*-* 00/6:00:00\n"));

    r = test::runCli({u"schedule"_s, u"--list"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QList<QByteArray> rows = r.out.split('\n');
    ASSERT_GE(rows.size(), 2);
    EXPECT_EQ(rows[0], "name\tlist\tschedule\tnotify\tnext_run\ttimer");
    const QList<QByteArray> row = rows[1].split('\t');
    ASSERT_EQ(row.size(), 6) << rows[1].constData();
    EXPECT_EQ(row[0], name.toUtf8());
    EXPECT_EQ(row[1], file.toUtf8());
    EXPECT_EQ(row[2], "every 6 hours");
    EXPECT_EQ(row[3], "0");
    EXPECT_TRUE(row[4].endsWith(":00:00") || row[4].contains(":00:00+") ||
                row[4].contains(":00:00-"))
        << row[4].constData();
    EXPECT_EQ(row[5], "active");

    r = test::runCli({u"schedule"_s, u"--remove"_s, file});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(units().isEmpty());
    EXPECT_TRUE(calls().contains(QByteArray("--user disable --now " + name.toUtf8() + ".timer\n")));
    r = test::runCli({u"schedule"_s, u"--list"_s});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty()) << "no schedule, no header";
}

TEST_F(Scheduling, WithoutAUserSystemdTheCrontabLineIsPrinted) {
    useSystemctl(false);
    const QString file = listFile();
    const test::CliResult r = test::runCli({u"schedule"_s, u"--daily"_s, u"07:30"_s, file});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("add this line to your crontab")) << r.err.constData();
    EXPECT_TRUE(units().isEmpty());
    // What the line runs: cron turns "\%" into "%", the shell takes the quotes.
    QByteArray line = r.out.trimmed();
    ASSERT_TRUE(line.startsWith("30 7 * * * ")) << line.constData();
    line = line.mid(11).replace("\\%", "%");
    QProcess shell;
    shell.start(
        u"/bin/sh"_s,
        {u"-c"_s, u"for a in %1; do printf '%s\\n' \"$a\"; done"_s.arg(QString::fromUtf8(line))});
    ASSERT_TRUE(shell.waitForFinished(10000));
    EXPECT_EQ(QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
              (QStringList{QStringLiteral(QUORVEL_CLI_PATH), u"check"_s, u"--"_s, file}));
}

TEST_F(Scheduling, UsageErrors) {
    useSystemctl(true);
    const QString file = listFile();
    struct Row {
        const char* name;
        QStringList args;
        const char* says;
    };
    const Row rows[] = {
        {"no action", {file}, "give one of"},
        {"two actions", {u"--list"_s, u"--daily"_s, u"07:00"_s, file}, "give one of"},
        {"not a time", {u"--daily"_s, u"25:00"_s, file}, "--daily takes a time HH:MM"},
        {"a period that does not divide the day",
         {u"--every-hours"_s, u"5"_s, file},
         "--every-hours takes 1, 2, 3, 4, 6, 8 or 12"},
        {"no record file",
         {u"--daily"_s, u"07:00"_s, dir_.path(u"absent.qvp"_s)},
         "is not a record file"},
        {"notify settings that cannot be used",
         {u"--daily"_s, u"07:00"_s, u"--notify"_s, u"--notify-config"_s, dir_.path(u"absent.ini"_s),
          file},
         "does not exist"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const test::CliResult r = test::runCli(QStringList{u"schedule"_s} + row.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(row.says)) << r.err.constData();
    }
    EXPECT_TRUE(units().isEmpty());
}

}  // namespace
}  // namespace quorvel
