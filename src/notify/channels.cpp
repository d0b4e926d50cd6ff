#include "notify/channels.h"

#include <QJsonArray>
#include <QJsonObject>

#include "history/history_words.h"
#include "notify/mail.h"
#include "notify/telegram.h"
#include "notify/webhook.h"

namespace quorvel {

QString channelName(NoticeChannel channel) {
    switch (channel) {
        case NoticeChannel::Telegram:
            return QStringLiteral("telegram");
        case NoticeChannel::Mail:
            return QStringLiteral("mail");
        case NoticeChannel::Webhook:
            break;
    }
    return QStringLiteral("webhook");
}

QList<NoticeChannel> channelsOf(const NotifySettings& settings) {
    QList<NoticeChannel> list;
    if (settings.hasTelegram()) {
        list += NoticeChannel::Telegram;
    }
    if (settings.hasMail()) {
        list += NoticeChannel::Mail;
    }
    if (settings.hasWebhook()) {
        list += NoticeChannel::Webhook;
    }
    return list;
}

DeliveryAnswer deliverNotice(NoticeChannel channel, const NotifySettings& settings,
                             const Notice& notice, const FetchSettings& fetch, int from) {
    DeliveryAnswer answer;
    switch (channel) {
        case NoticeChannel::Telegram:
            answer = sendTelegram(settings.telegram, telegramMessages(notice), from, fetch);
            break;
        case NoticeChannel::Mail:
            answer = sendMail(settings.mail, notice, fetch);
            break;
        case NoticeChannel::Webhook:
            answer = sendWebhook(settings.webhook, notice, fetch);
            break;
    }
    // Whatever a server or the library repeated of a request, no secret leaves.
    for (const QString& secret : settings.secrets()) {
        answer.answer.replace(secret, QStringLiteral("***"));
    }
    return answer;
}

Notice testNotice(const QDateTime& now) {
    Notice notice;
    notice.subject = kNoticeTestSubject;
    notice.lines = {{kNoticeTestSubject, true}, {kNoticeTestText, false}};
    notice.payload = QJsonObject{{QStringLiteral("list"), QString()},
                                 {QStringLiteral("run"), now.toString(Qt::ISODate)},
                                 {QStringLiteral("totals"), QJsonObject()},
                                 {QStringLiteral("changes"), QJsonArray()}};
    return notice;
}

}  // namespace quorvel
