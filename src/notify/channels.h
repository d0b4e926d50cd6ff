#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include "checking/http_client.h"
#include "notify/notice.h"
#include "notify/notify_settings.h"

namespace quorvel {

enum class NoticeChannel { Telegram, Mail, Webhook };

// "telegram", "mail", "webhook": the channel's section in notify.ini, and its
// name in messages and in the history.
QString channelName(NoticeChannel channel);
// The channels the settings configure, in that order.
QList<NoticeChannel> channelsOf(const NotifySettings& settings);

// Sends the notice on one channel, under `fetch`'s host mappings and CA file;
// `from` skips the messages of a chat accepted before. The answer names the
// server's reply and holds none of the settings' secrets.
DeliveryAnswer deliverNotice(NoticeChannel channel, const NotifySettings& settings,
                             const Notice& notice, const FetchSettings& fetch, int from = 0);

// The short message that tells the user a channel works.
Notice testNotice(const QDateTime& now);

}  // namespace quorvel
