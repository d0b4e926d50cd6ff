#include <QCoreApplication>
#include <QFileInfo>

#include "cli/cli.h"
#include "cli/history_options.h"
#include "cli/notify_options.h"
#include "cli/report.h"
#include "notify/schedule.h"

namespace quorvel::cli {

extern const Command kScheduleCommand;

namespace {

int listSchedules() {
    ReportWriter report(
        Format::Tsv,
        {QStringLiteral("name"), QStringLiteral("list"), QStringLiteral("schedule"),
         QStringLiteral("notify"), QStringLiteral("next_run"), QStringLiteral("timer")},
        ReportWriter::TsvHeader::BeforeFirstRow);
    const QDateTime now = QDateTime::currentDateTime();
    for (const InstalledSchedule& s : installedSchedules()) {
        const QString state = scheduleState(s.name);
        report.write({s.name, s.request.listFile, scheduleWords(s.request),
                      s.request.notify ? 1 : 0, localIsoTime(nextScheduledRun(s.request, now)),
                      state.isEmpty() ? QStringLiteral("unknown") : state});
    }
    report.finish();
    return kExitOk;
}

int runSchedule(const QStringList& args) {
    QCommandLineParser parser;
    const QString dailyOption = QStringLiteral("daily");
    const QString hoursOption = QStringLiteral("every-hours");
    const QString listOption = QStringLiteral("list");
    const QString removeOption = QStringLiteral("remove");
    const QString notifyOption = QStringLiteral("notify");
    if (!parseCommandLine(
            kScheduleCommand, args,
            {valuedOption(dailyOption), valuedOption(hoursOption), flagOption(listOption),
             flagOption(removeOption), flagOption(notifyOption), notifyConfigOption()},
            parser)) {
        return kExitUsage;
    }
    int actions = 0;
    for (const QString& option : {dailyOption, hoursOption, listOption, removeOption}) {
        actions += parser.isSet(option) ? 1 : 0;
    }
    if (actions != 1) {
        return usageError(kScheduleCommand,
                          QStringLiteral("give one of --daily, --every-hours, --list, --remove"));
    }
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(listOption)) {
        if (!files.isEmpty()) {
            return usageError(kScheduleCommand, QStringLiteral("--list takes no FILE"));
        }
        return listSchedules();
    }
    if (files.size() != 1 || files.first() == u"-") {
        return usageError(kScheduleCommand, QStringLiteral("give exactly one record FILE"));
    }
    const QFileInfo info(files.first());
    if (files.first().contains(u'\n') || files.first().contains(u'\r')) {
        return usageError(kScheduleCommand, QStringLiteral("a FILE name with a line break"));
    }
    const QString listFile = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    if (parser.isSet(removeOption)) {
        const ScheduleOutcome outcome = removeSchedule(listFile);
        if (outcome.result == ScheduleOutcome::Result::NoUserSystemd) {
            reportError(kScheduleCommand,
                        u"there is no user systemd here: remove the line of your crontab "
                        u"(crontab -e) that checks '" %
                            listFile % u'\'');
            return kExitUsage;
        }
        if (outcome.result == ScheduleOutcome::Result::Failed) {
            reportError(kScheduleCommand, outcome.message);
            return kExitNegative;
        }
        writeOut((outcome.message % u'\n').toUtf8());
        return kExitOk;
    }
    if (!info.isFile()) {
        return usageError(kScheduleCommand, u"'" % files.first() % u"' is not a record file");
    }

    ScheduleRequest request;
    request.listFile = listFile;
    request.program = QCoreApplication::applicationFilePath();
    request.notify = parser.isSet(notifyOption);
    if (parser.isSet(dailyOption)) {
        const QString text = firstValue(parser, dailyOption);
        const QTime at = QTime::fromString(text, u"H:mm");
        if (!at.isValid() || text.size() > 5) {
            return usageError(kScheduleCommand,
                              u"--daily takes a time HH:MM, not '" % text % u'\'');
        }
        request.dailyAt = at;
    } else {
        const std::optional<int> hours = wholeNumberOption(
            kScheduleCommand, parser, hoursOption, 0,
            u"1, 2, 3, 4, 6, 8 or 12 (a period that divides the day)", isSchedulePeriod);
        if (!hours) {
            return kExitUsage;
        }
        request.everyHours = *hours;
    }
    if (parser.isSet(QStringLiteral("notify-config")) && !request.notify) {
        return usageError(kScheduleCommand, QStringLiteral("--notify-config needs --notify"));
    }
    if (request.notify) {
        // Told now, not at the first run in the night.
        if (!notifySettingsFor(kScheduleCommand, parser)) {
            return kExitUsage;
        }
        if (parser.isSet(QStringLiteral("notify-config"))) {
            request.notifyConfig =
                QFileInfo(firstValue(parser, QStringLiteral("notify-config"))).absoluteFilePath();
        }
    }
    const ScheduleOutcome outcome = installSchedule(request);
    switch (outcome.result) {
        case ScheduleOutcome::Result::NoUserSystemd:
            reportError(kScheduleCommand,
                        QStringLiteral("there is no user systemd here: add this line to your "
                                       "crontab (crontab -e) instead"));
            writeOut((outcome.crontab % u'\n').toUtf8());
            return kExitUsage;
        case ScheduleOutcome::Result::Failed:
            reportError(kScheduleCommand, outcome.message);
            return kExitNegative;
        case ScheduleOutcome::Result::Done:
            break;
    }
    writeOut((outcome.message % u"\nnext run: " %
              localIsoTime(nextScheduledRun(request, QDateTime::currentDateTime())) % u'\n')
                 .toUtf8());
    if (outcome.lingerAdvice) {
        writeOut(QStringLiteral("Your checks run only while you are logged in. To run them also "
                                "when you are not:\n  loginctl enable-linger\n")
                     .toUtf8());
    }
    return kExitOk;
}

}  // namespace

extern const Command kScheduleCommand = {
    "schedule",
    "(--daily HH:MM | --every-hours N) [--notify [--notify-config PATH]] FILE\n"
    "                         | --list | --remove FILE",
    "check a record file on a schedule, also when nobody is logged in",
    "Installs a systemd user timer that runs 'quorvel-cli check FILE' (with\n"
    "--notify: 'check --notify FILE') on a schedule, with the history beside\n"
    "FILE: ~/.config/systemd/user/quorvel-check-NAME.timer and .service (under\n"
    "$XDG_CONFIG_HOME when it is set). A run missed while the machine was off\n"
    "happens after it starts. One schedule per record file: a new one replaces\n"
    "the old.\n"
    "\n"
    "  --daily HH:MM        every day at that time\n"
    "  --every-hours N      every N hours from midnight: 1, 2, 3, 4, 6, 8 or 12\n"
    "  --notify             send what changed to the channels of the notify\n"
    "                       settings (see 'quorvel-cli notify --help')\n"
    "  --notify-config PATH  those settings from PATH\n"
    "  --list               print every schedule: name, list, schedule, notify,\n"
    "                       next_run, timer (active or inactive)\n"
    "  --remove FILE        stop and remove the schedule of FILE\n"
    "\n"
    "Checks run while your user's systemd runs: while you are logged in, or\n"
    "always after 'loginctl enable-linger' (advised when it is off).\n"
    "Without a user systemd nothing is installed: the crontab line that does the\n"
    "same is printed instead, and the exit status is 2.\n"
    "\n"
    "Exit status: 0 done, 1 systemd refused, 2 a usage error or no user systemd.\n",
    runSchedule,
};

}  // namespace quorvel::cli
