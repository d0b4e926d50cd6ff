#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "checking/http_client.h"
#include "notify/notice.h"
#include "notify/notify_settings.h"

namespace quorvel {

// The longest message the chat accepts, in characters.
inline constexpr int kTelegramMessageLimit = 4096;

// `text` with '&', '<' and '>' written as entities, for a message in HTML mode.
QString escapeTelegramHtml(QStringView text);

// The notice as one or more HTML messages of at most `limit` characters each,
// headings in bold: cut only between lines, unless one line alone is longer
// (then it is cut, never inside an entity or a surrogate pair).
QStringList telegramMessages(const Notice& notice, int limit = kTelegramMessageLimit);

// How the sender waits: a second between two messages, and what a 429 answer
// asks for. Tests may count instead of sleeping.
using Pause = std::function<void(int milliseconds)>;
void sleepFor(int milliseconds);

// Sends the messages from number `from` on (the earlier ones were accepted
// before), at most one a second. A 429 answer's retry_after is waited for (at
// most 60 s) and that message sent once more. Stops at the first message that
// is not accepted; the error names the server's answer, never the token.
DeliveryAnswer sendTelegram(const NotifySettings::Telegram& channel, const QStringList& messages,
                            int from, const FetchSettings& settings, const Pause& pause = sleepFor);

}  // namespace quorvel
