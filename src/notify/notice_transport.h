#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "checking/http_client.h"

namespace quorvel {

// What a server made of one request of a notice.
struct TransportAnswer {
    bool accepted = false;  // HTTP: a status from 200 to 299; SMTP: the message was taken
    int status = 0;         // the HTTP status or the last SMTP reply code; 0 without an answer
    QByteArray body;        // HTTP: the start of the answer's body
    QString error;          // why it was not accepted, in words (no secret in it)
};

// At most this much of an answer's body is kept: enough for any error text.
inline constexpr qsizetype kMaxAnswerBytes = 64 * 1024;

// POSTs `body` to `url` (http or https) with the header lines `headers`,
// under the program's rules for every transfer (limits, no proxy, verified
// certificates, the settings' host mappings and CA file) plus a stall limit.
// No redirect is followed: a notice goes where it was meant to or fails.
TransportAnswer postRequest(const QString& url, const QByteArray& body,
                            const QList<QByteArray>& headers, const FetchSettings& settings);

struct MailEnvelope {
    QString url;  // smtps:// or smtp://; the path, when there is one, is the EHLO name
    QString user;
    QString password;
    QString from;
    QStringList to;
};

// Sends `message` (headers and body, CRLF lines) through the server of
// `envelope.url`: TLS from the start with smtps://, or STARTTLS required
// with smtp://; certificates verified; one RCPT TO per recipient.
TransportAnswer sendMailMessage(const MailEnvelope& envelope, const QByteArray& message,
                                const FetchSettings& settings);

}  // namespace quorvel
