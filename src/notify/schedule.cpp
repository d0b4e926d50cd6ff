#include "notify/schedule.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "notify/notify_settings.h"
#include "records/file_io.h"

namespace quorvel {

namespace {

constexpr char16_t kPrefix[] = u"quorvel-check-";
constexpr int kCommandTimeoutMs = 30000;

// A path or a text for a line of a unit file, between double quotes: the
// escapes of C, and '%' and '$' doubled, or systemd would expand them.
QString unitQuoted(const QString& text) {
    QString out;
    for (const QChar ch : text) {
        if (ch == u'\\' || ch == u'"') {
            out += u'\\';
        } else if (ch == u'%' || ch == u'$') {
            out += ch;
        }
        out += ch;
    }
    return u'"' % out % u'"';
}

QString descriptionText(const QString& text) {
    QString out = text;
    return out.replace(u'%', QStringLiteral("%%"));
}

// A word for the shell of a crontab line: in single quotes, and a '%' (which
// cron turns into a line break) escaped.
QString shellQuoted(const QString& text) {
    QString out = text;
    out.replace(u'\'', QStringLiteral("'\\''"));
    out.replace(u'%', QStringLiteral("\\%"));
    return u'\'' % out % u'\'';
}

QString timerFile(const QString& name) {
    return userUnitFolder() + u'/' + name + u".timer";
}

#ifndef Q_OS_WIN
QString serviceFile(const QString& name) {
    return userUnitFolder() + u'/' + name + u".service";
}

// Runs a tool with its arguments: its exit code (-1 when it did not run or
// did not end), its output into `out` when given.
int runTool(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, args);
    if (!process.waitForStarted(kCommandTimeoutMs) || !process.waitForFinished(kCommandTimeoutMs) ||
        process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (out) {
        *out = process.readAllStandardOutput();
    }
    return process.exitCode();
}

// The user's systemd; tests name a stand-in, so that nothing is started.
QString systemctl() {
    const QString own = qEnvironmentVariable("QUORVEL_SYSTEMCTL");
    return own.isEmpty() ? QStringLiteral("systemctl") : own;
}

int userSystemctl(const QStringList& args, QByteArray* out = nullptr) {
    return runTool(systemctl(), QStringList{QStringLiteral("--user")} + args, out);
}

bool hasUserSystemd() {
    return userSystemctl({QStringLiteral("show-environment")}) == 0;
}

bool lingering() {
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("LOGNAME"));
    return !user.isEmpty() && QFileInfo::exists(u"/var/lib/systemd/linger/" % user);
}
#endif

// The comments of a timer file that say what it runs, so that --list can
// tell it without asking systemd.
QByteArray describedBy(const ScheduleRequest& r) {
    QByteArray text =
        "# Written by quorvel-cli schedule; quorvel-cli schedule --remove removes it.\n";
    text += "# list: " + r.listFile.toUtf8() + '\n';
    if (r.dailyAt) {
        text += "# daily: " + r.dailyAt->toString(u"HH:mm").toUtf8() + '\n';
    } else {
        text += "# every-hours: " + QByteArray::number(r.everyHours) + '\n';
    }
    text += QByteArray("# notify: ") + (r.notify ? "yes" : "no") + '\n';
    if (!r.notifyConfig.isEmpty()) {
        text += "# notify-config: " + r.notifyConfig.toUtf8() + '\n';
    }
    text += "# program: " + r.program.toUtf8() + '\n';
    return text;
}

std::optional<ScheduleRequest> readDescription(const QByteArray& timer) {
    ScheduleRequest r;
    for (const QByteArray& line : timer.split('\n')) {
        const auto value = [&line](const char* key) {
            return QString::fromUtf8(line.mid(qstrlen(key)));
        };
        if (line.startsWith("# list: ")) {
            r.listFile = value("# list: ");
        } else if (line.startsWith("# daily: ")) {
            r.dailyAt = QTime::fromString(value("# daily: "), u"HH:mm");
        } else if (line.startsWith("# every-hours: ")) {
            r.everyHours = value("# every-hours: ").toInt();
        } else if (line.startsWith("# notify: ")) {
            r.notify = value("# notify: ") == u"yes";
        } else if (line.startsWith("# notify-config: ")) {
            r.notifyConfig = value("# notify-config: ");
        } else if (line.startsWith("# program: ")) {
            r.program = value("# program: ");
        }
    }
    if (r.listFile.isEmpty() || (!(r.dailyAt && r.dailyAt->isValid()) && r.everyHours <= 0)) {
        return std::nullopt;
    }
    return r;
}

ScheduleOutcome failed(const QString& message) {
    return {ScheduleOutcome::Result::Failed, message, {}, false};
}

}  // namespace

bool isSchedulePeriod(int hours) {
    return hours >= 1 && hours <= 12 && 24 % hours == 0;
}

QString scheduleName(const QString& listFile) {
    QString base;
    for (const QChar ch : QFileInfo(listFile).completeBaseName()) {
        const char16_t c = ch.unicode();
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
        base += plain ? ch : QChar(u'_');
    }
    base = base.left(32);
    if (base.isEmpty()) {
        base = QStringLiteral("list");
    }
    const QByteArray hash =
        QCryptographicHash::hash(listFile.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return QString::fromUtf16(kPrefix) % base % u'-' % QString::fromLatin1(hash);
}

QStringList scheduledCommand(const ScheduleRequest& r) {
    QStringList command{r.program, QStringLiteral("check")};
    if (r.notify) {
        command += QStringLiteral("--notify");
        if (!r.notifyConfig.isEmpty()) {
            command << QStringLiteral("--notify-config") << r.notifyConfig;
        }
    }
    // "--" so that a list whose name begins with a dash is still a file.
    command << QStringLiteral("--") << r.listFile;
    return command;
}

QString scheduleWords(const ScheduleRequest& r) {
    if (r.dailyAt) {
        return u"every day at " % r.dailyAt->toString(u"HH:mm");
    }
    return r.everyHours == 1 ? QStringLiteral("every hour")
                             : u"every " % QString::number(r.everyHours) % u" hours";
}

QDateTime nextScheduledRun(const ScheduleRequest& r, const QDateTime& now) {
    const QDate today = now.date();
    if (r.dailyAt) {
        QDateTime next(today, *r.dailyAt);
        return next > now ? next : QDateTime(today.addDays(1), *r.dailyAt);
    }
    const int period = std::max(1, r.everyHours);
    for (int hour = 0; hour < 24; hour += period) {
        const QDateTime next(today, QTime(hour, 0));
        if (next > now) {
            return next;
        }
    }
    return QDateTime(today.addDays(1), QTime(0, 0));
}

ScheduleUnits scheduleUnits(const ScheduleRequest& r) {
    QStringList exec;
    for (const QString& word : scheduledCommand(r)) {
        exec += unitQuoted(word);
    }
    const QString what = descriptionText(u"Quorvel link check of " % r.listFile);
    ScheduleUnits units;
    units.service = describedBy(r) +
                    "\n[Unit]\n"
                    "Description=" +
                    what.toUtf8() +
                    "\n\n[Service]\n"
                    "Type=oneshot\n"
                    // Its runs are told apart from others in the history.
                    "Environment=QUORVEL_SCHEDULE=" +
                    scheduleName(r.listFile).toUtf8() +
                    "\n"
                    "ExecStart=" +
                    exec.join(u' ').toUtf8() +
                    "\n"
                    // A record without the link is the check's answer, not a failure.
                    "SuccessExitStatus=1\n"
                    // The rows are in the history; the journal keeps the errors.
                    "StandardOutput=null\n";
    const QByteArray calendar =
        r.dailyAt ? QByteArray("*-*-* " + r.dailyAt->toString(u"HH:mm").toLatin1() + ":00")
                  : QByteArray("*-*-* 00/" + QByteArray::number(r.everyHours) + ":00:00");
    units.timer = describedBy(r) +
                  "\n[Unit]\n"
                  "Description=" +
                  (what % u", " % scheduleWords(r)).toUtf8() +
                  "\n\n[Timer]\n"
                  "OnCalendar=" +
                  calendar +
                  "\n"
                  "Persistent=true\n"
                  "\n[Install]\n"
                  "WantedBy=timers.target\n";
    return units;
}

QString userUnitFolder() {
    return userConfigFolder() + u"/systemd/user";
}

QString crontabLine(const ScheduleRequest& r) {
    const QString when = r.dailyAt ? QString(QString::number(r.dailyAt->minute()) % u' ' %
                                             QString::number(r.dailyAt->hour()) % u" * * *")
                                   : QString(u"0 */" % QString::number(r.everyHours) % u" * * *");
    QStringList words;
    for (const QString& word : scheduledCommand(r)) {
        words += shellQuoted(word);
    }
    return when % u' ' % words.join(u' ');
}

QList<InstalledSchedule> installedSchedules() {
    QList<InstalledSchedule> list;
    const QDir folder(userUnitFolder());
    const QStringList names =
        folder.entryList({QString::fromUtf16(kPrefix) + u"*.timer"}, QDir::Files, QDir::Name);
    for (const QString& file : names) {
        // Only a regular file: a FIFO under a timer's name would block here.
        QFile timer;
        if (openRegularFile(folder.filePath(file), &timer).outcome != FileOpening::Opened) {
            continue;
        }
        if (std::optional<ScheduleRequest> r = readDescription(timer.read(64 * 1024))) {
            list += InstalledSchedule{file.chopped(6), std::move(*r)};
        }
    }
    return list;
}

#ifndef Q_OS_WIN

ScheduleOutcome installSchedule(const ScheduleRequest& request) {
    if (!hasUserSystemd()) {
        return {ScheduleOutcome::Result::NoUserSystemd,
                QStringLiteral("there is no user systemd here"), crontabLine(request), false};
    }
    const QString name = scheduleName(request.listFile);
    if (!QDir().mkpath(userUnitFolder())) {
        return failed(u"cannot create '" % userUnitFolder() % u'\'');
    }
    const ScheduleUnits units = scheduleUnits(request);
    Outcome<> written = writeFileAtomically(serviceFile(name), units.service);
    if (written) {
        written = writeFileAtomically(timerFile(name), units.timer);
    }
    if (!written) {
        return failed(u"cannot write the units of " % name % u": " % written.error);
    }
    if (userSystemctl({QStringLiteral("daemon-reload")}) != 0 ||
        userSystemctl({QStringLiteral("enable"), QStringLiteral("--now"), name + u".timer"}) != 0) {
        return failed(u"systemctl --user could not start " % name % u".timer");
    }
    return {ScheduleOutcome::Result::Done,
            u"installed " % name % u".timer: " % scheduleWords(request) % u", " % request.listFile,
            {},
            !lingering()};
}

ScheduleOutcome removeSchedule(const QString& listFile) {
    const QString name = scheduleName(listFile);
    const bool present = QFileInfo::exists(timerFile(name)) || QFileInfo::exists(serviceFile(name));
    const bool systemd = hasUserSystemd();
    if (systemd && present) {
        userSystemctl({QStringLiteral("disable"), QStringLiteral("--now"), name + u".timer"});
    }
    const auto removed = [](const QString& path) {
        return QFile::remove(path) || !QFileInfo::exists(path);
    };
    const bool timerGone = removed(timerFile(name));
    if (!timerGone || !removed(serviceFile(name))) {
        return failed(u"cannot remove the units of " % name);
    }
    if (!systemd) {
        return {ScheduleOutcome::Result::NoUserSystemd,
                QStringLiteral("there is no user systemd here"), QString(), false};
    }
    if (!present) {
        return failed(u"no schedule for '" % listFile % u'\'');
    }
    userSystemctl({QStringLiteral("daemon-reload")});
    return {ScheduleOutcome::Result::Done, u"removed " % name % u".timer", {}, false};
}

QString scheduleState(const QString& name) {
    QByteArray out;
    if (userSystemctl({QStringLiteral("is-active"), name + u".timer"}, &out) < 0) {
        return QString();
    }
    return QString::fromUtf8(out).trimmed();
}

#else

// Windows: the Task Scheduler runs the same command, through schtasks.exe.
// A task under the folder "Quorvel" per record file, named as the units are.

namespace {

QString taskName(const QString& listFile) {
    return u"Quorvel\\" % scheduleName(listFile);
}

int schtasks(const QStringList& args, QByteArray* out = nullptr) {
    QProcess process;
    process.start(QStringLiteral("schtasks.exe"), args);
    if (!process.waitForStarted(kCommandTimeoutMs) || !process.waitForFinished(kCommandTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (out) {
        *out = process.readAllStandardOutput();
    }
    return process.exitCode();
}

}  // namespace

ScheduleOutcome installSchedule(const ScheduleRequest& request) {
    QStringList words;
    for (const QString& word : scheduledCommand(request)) {
        words += u'"' % QDir::toNativeSeparators(word) % u'"';
    }
    QStringList args{QStringLiteral("/Create"),  QStringLiteral("/F"),  QStringLiteral("/TN"),
                     taskName(request.listFile), QStringLiteral("/TR"), words.join(u' ')};
    if (request.dailyAt) {
        args << QStringLiteral("/SC") << QStringLiteral("DAILY") << QStringLiteral("/ST")
             << request.dailyAt->toString(u"HH:mm");
    } else {
        args << QStringLiteral("/SC") << QStringLiteral("HOURLY") << QStringLiteral("/MO")
             << QString::number(request.everyHours) << QStringLiteral("/ST")
             << QStringLiteral("00:00");
    }
    // The timer files' description, kept beside the task for --list.
    const ScheduleUnits units = scheduleUnits(request);
    if (!QDir().mkpath(userUnitFolder())) {
        return failed(u"cannot create '" % userUnitFolder() % u'\'');
    }
    if (const Outcome<> written =
            writeFileAtomically(timerFile(scheduleName(request.listFile)), units.timer);
        !written) {
        return failed(u"cannot write the schedule's description: " % written.error);
    }
    if (schtasks(args) != 0) {
        return failed(QStringLiteral("schtasks could not create the task"));
    }
    return {ScheduleOutcome::Result::Done,
            u"installed the task " % taskName(request.listFile) % u": " % scheduleWords(request),
            {},
            false};
}

ScheduleOutcome removeSchedule(const QString& listFile) {
    QFile::remove(timerFile(scheduleName(listFile)));
    if (schtasks({QStringLiteral("/Delete"), QStringLiteral("/F"), QStringLiteral("/TN"),
                  taskName(listFile)}) != 0) {
        return failed(u"no schedule for '" % listFile % u'\'');
    }
    return {ScheduleOutcome::Result::Done, u"removed the task " % taskName(listFile), {}, false};
}

QString scheduleState(const QString& name) {
    QByteArray out;
    if (schtasks({QStringLiteral("/Query"), QStringLiteral("/TN"), u"Quorvel\\" % name}, &out) !=
        0) {
        return QStringLiteral("inactive");
    }
    return QStringLiteral("active");
}

#endif

}  // namespace quorvel
