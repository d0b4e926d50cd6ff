#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace quorvel {

// An unattended check of one record file: every day at a time, or every few
// hours, with or without notices.
struct ScheduleRequest {
    QString listFile;  // absolute path of the record file
    std::optional<QTime> dailyAt;
    int everyHours = 0;  // when there is no daily time: 1, 2, 3, 4, 6, 8 or 12
    bool notify = false;
    QString notifyConfig;  // absolute; empty for the default file
    QString program;       // absolute path of quorvel-cli
};

// The periods that divide a day, so that every run is as far from the next.
bool isSchedulePeriod(int hours);

// "quorvel-check-NAME" for a record file: its base name in the letters unit
// names allow and a short hash of its whole path, so that two lists of the
// same name in two folders have two schedules.
QString scheduleName(const QString& listFile);

// The command a scheduled check runs.
QStringList scheduledCommand(const ScheduleRequest& request);
// "every day at 07:00" or "every 6 hours".
QString scheduleWords(const ScheduleRequest& request);
// The next time the schedule runs after `now`.
QDateTime nextScheduledRun(const ScheduleRequest& request, const QDateTime& now);

// The systemd user units of a schedule: a oneshot service that runs the
// check and a persistent timer (a run missed while the machine was off
// happens after it starts).
struct ScheduleUnits {
    QByteArray service;
    QByteArray timer;
};
ScheduleUnits scheduleUnits(const ScheduleRequest& request);
// $XDG_CONFIG_HOME/systemd/user (~/.config/systemd/user).
QString userUnitFolder();

// The line for a crontab that runs the same check.
QString crontabLine(const ScheduleRequest& request);

// A schedule as its timer file tells it.
struct InstalledSchedule {
    QString name;  // quorvel-check-NAME
    ScheduleRequest request;
};
// The schedules in the user unit folder, by name.
QList<InstalledSchedule> installedSchedules();

struct ScheduleOutcome {
    enum class Result {
        Done,
        NoUserSystemd,  // nothing installed: `crontab` holds the line to add instead
        Failed,         // `message` says why
    };
    Result result = Result::Failed;
    QString message;  // what was done, or why not
    QString crontab;  // NoUserSystemd: the crontab line
    // Done, installing: lingering is off, so checks run only while the user
    // is logged in.
    bool lingerAdvice = false;
};

// Writes and starts the schedule's timer (systemd: the units, a reload,
// enable --now; Windows: a task of the Task Scheduler). Replaces a schedule
// of the same list.
ScheduleOutcome installSchedule(const ScheduleRequest& request);
// Stops and removes the schedule of a record file.
ScheduleOutcome removeSchedule(const QString& listFile);
// Whether the user's timer is active ("active", "inactive"), or an empty text
// when that cannot be asked.
QString scheduleState(const QString& name);

}  // namespace quorvel
