#pragma once

#include <QByteArray>
#include <QString>

#include "checking/http_client.h"
#include "notify/notice.h"
#include "notify/notify_settings.h"

namespace quorvel {

// The JSON the webhook receives: the notice's payload with the plain text
// under both "text" and "content", the keys two common chat webhooks read.
QByteArray webhookBody(const Notice& notice);

// "sha256=" and the lower-case hex HMAC-SHA256 of `body` under `secret`.
QByteArray webhookSignature(const QByteArray& body, const QString& secret);

// POSTs the notice, signed in X-Quorvel-Signature when there is a secret;
// accepted on a 2xx answer.
DeliveryAnswer sendWebhook(const NotifySettings::Webhook& hook, const Notice& notice,
                           const FetchSettings& settings);

}  // namespace quorvel
