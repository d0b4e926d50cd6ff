#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "checking/http_client.h"
#include "notify/notice.h"
#include "notify/notify_settings.h"

namespace quorvel {

// A header value as RFC 2047 encoded words (UTF-8, base64), each at most 75
// characters and holding whole characters, folded onto continuation lines.
QByteArray encodedHeaderWords(const QString& text);

// The notice as a mail: Date (at `now`, with its offset), From, To, an encoded
// Subject, a Message-ID, and a text/plain UTF-8 body in base64; CRLF lines.
QByteArray mailMessage(const NotifySettings::Mail& mail, const Notice& notice,
                       const QDateTime& now);

// Sends the notice to every address of `to`.
DeliveryAnswer sendMail(const NotifySettings::Mail& mail, const Notice& notice,
                        const FetchSettings& settings);

}  // namespace quorvel
