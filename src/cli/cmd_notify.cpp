#include "cli/cli.h"
#include "cli/notify_options.h"
#include "notify/channels.h"

namespace quorvel::cli {

extern const Command kNotifyCommand;

namespace {

int runNotify(const QStringList& args) {
    QCommandLineParser parser;
    const QString testOption = QStringLiteral("test");
    if (!parseCommandLine(kNotifyCommand, args,
                          connectionOptions() << notifyConfigOption() << flagOption(testOption),
                          parser)) {
        return kExitUsage;
    }
    if (!parser.isSet(testOption)) {
        return usageError(kNotifyCommand, QStringLiteral("say --test"));
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(kNotifyCommand,
                          u"unexpected argument '" % parser.positionalArguments().first() % u'\'');
    }
    const std::optional<FetchSettings> fetch = connectionSettings(kNotifyCommand, parser);
    if (!fetch) {
        return kExitUsage;
    }
    const std::optional<NotifySettings> settings = notifySettingsFor(kNotifyCommand, parser);
    if (!settings) {
        return kExitUsage;
    }
    const Notice notice = testNotice(QDateTime::currentDateTime());
    bool allAccepted = true;
    for (const NoticeChannel channel : channelsOf(*settings)) {
        const DeliveryAnswer answer = deliverNotice(channel, *settings, notice, *fetch);
        allAccepted = allAccepted && answer.accepted;
        const QString line =
            answer.accepted ? QString(channelName(channel) % u": accepted (" % answer.answer % u')')
                            : QString(channelName(channel) % u": failed: " % answer.answer);
        writeOut((line % u'\n').toUtf8());
    }
    return allAccepted ? kExitOk : kExitNegative;
}

}  // namespace

extern const Command kNotifyCommand = {
    "notify",
    "--test [--notify-config PATH] [--resolve HOST:PORT:ADDRESS]... [--cacert FILE]",
    "send a test message to every channel of the notify settings",
    "Sends a short test message to every channel that the notify settings\n"
    "configure (Telegram, mail, webhook) and prints what each answered, one line\n"
    "per channel: 'telegram: accepted (HTTP 200)' or 'mail: failed: ' and the\n"
    "server's answer.\n"
    "\n"
    "  --notify-config PATH  read the settings from PATH instead of\n"
    "                        $XDG_CONFIG_HOME/quorvel/notify.ini\n"
    "                        (~/.config/quorvel/notify.ini)\n"
    "  --resolve HOST:PORT:ADDRESS   connect to ADDRESS for HOST and PORT\n"
    "  --cacert FILE                 trust the CA certificates in FILE instead of\n"
    "                                the system's\n"
    "\n"
    "The settings file holds secrets: it is refused when anyone but its owner\n"
    "may read or write it (chmod 600 it). Its sections, each optional:\n"
    "\n"
    "  [telegram]\n"
    "  token=123456:ABC...\n"
    "  chat=123456789          ; or @channelname\n"
    "  [mail]\n"
    "  url=smtps://smtp.example.org:465   ; or smtp://host:587 with STARTTLS\n"
    "  user=me@example.org\n"
    "  password=\"a;b,c\"        ; a value with ; , \" or \\ in double quotes\n"
    "  from=me@example.org\n"
    "  to=me@example.org, partner-desk@example.org\n"
    "  [webhook]\n"
    "  url=https://hooks.example.org/quorvel\n"
    "  secret=...              ; optional: X-Quorvel-Signature: sha256=HEX\n"
    "\n"
    "Exit status: 0 when every channel accepted, 1 when any failed, 2 on a usage\n"
    "error (also a settings file that cannot be used).\n",
    runNotify,
};

}  // namespace quorvel::cli
