#include "cli/notify_options.h"

#include "cli/cli.h"

namespace quorvel::cli {

QCommandLineOption notifyConfigOption() {
    return valuedOption(QStringLiteral("notify-config"));
}

std::optional<NotifySettings> notifySettingsFor(const Command& command,
                                                const QCommandLineParser& parser) {
    const QString path = parser.isSet(QStringLiteral("notify-config"))
                             ? firstValue(parser, QStringLiteral("notify-config"))
                             : defaultNotifyConfigPath();
    Outcome<NotifySettings> read = readNotifySettings(path);
    if (!read) {
        // Not a matter of the command's options: no pointer to --help.
        reportError(command, read.error);
        return std::nullopt;
    }
    return std::move(read.value);
}

}  // namespace quorvel::cli
