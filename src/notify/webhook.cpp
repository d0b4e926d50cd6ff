#include "notify/webhook.h"

#include <QJsonDocument>
#include <QMessageAuthenticationCode>

#include "notify/notice_transport.h"

namespace quorvel {

namespace {

// What an answer's body says, on one short line.
QString answerStart(const QByteArray& body) {
    QString text = QString::fromUtf8(body.left(400)).simplified();
    if (text.size() > 200) {
        text = text.left(200) + u"...";
    }
    return text;
}

}  // namespace

QByteArray webhookBody(const Notice& notice) {
    QJsonObject body = notice.payload;
    const QString text = notice.plainText();
    body.insert(QStringLiteral("text"), text);
    body.insert(QStringLiteral("content"), text);
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QByteArray webhookSignature(const QByteArray& body, const QString& secret) {
    return "sha256=" +
           QMessageAuthenticationCode::hash(body, secret.toUtf8(), QCryptographicHash::Sha256)
               .toHex();
}

DeliveryAnswer sendWebhook(const NotifySettings::Webhook& hook, const Notice& notice,
                           const FetchSettings& settings) {
    const QByteArray body = webhookBody(notice);
    QList<QByteArray> headers{"Content-Type: application/json"};
    if (!hook.secret.isEmpty()) {
        headers += "X-Quorvel-Signature: " + webhookSignature(body, hook.secret);
    }
    const TransportAnswer answer = postRequest(hook.url, body, headers, settings);
    if (answer.accepted) {
        return {true, u"HTTP " % QString::number(answer.status), 1};
    }
    QString error = answer.error;
    const QString said = answerStart(answer.body);
    if (!said.isEmpty()) {
        error += u": " % said;
    }
    if (!hook.secret.isEmpty()) {
        error.replace(hook.secret, QStringLiteral("<secret>"));
    }
    return {false, error, 0};
}

}  // namespace quorvel
