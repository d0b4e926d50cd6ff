#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <optional>

#include "notify/notify_settings.h"

namespace quorvel::cli {

struct Command;

// --notify-config PATH.
QCommandLineOption notifyConfigOption();
// The notify settings the command uses (--notify-config's PATH, else the
// default file), read and checked; nothing, after a usage error that says
// why, when they cannot be used.
std::optional<NotifySettings> notifySettingsFor(const Command& command,
                                                const QCommandLineParser& parser);

}  // namespace quorvel::cli
