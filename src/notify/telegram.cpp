#include "notify/telegram.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <thread>

#include "notify/notice_transport.h"

namespace quorvel {

namespace {

constexpr int kBetweenMessagesMs = 1000;
constexpr int kLongestRetryAfterS = 60;

// Where a line too long for one message may be cut at or before `end`: not
// inside an entity nor between the halves of a surrogate pair.
qsizetype cutBefore(QStringView html, qsizetype end) {
    const QStringView head = html.first(end);
    qsizetype cut = end;
    const qsizetype amp = head.lastIndexOf(u'&');
    if (amp > 0 && head.sliced(amp).indexOf(u';') < 0) {
        cut = amp;  // an entity that would end past the cut
    }
    if (cut < html.size() && html.at(cut).isLowSurrogate()) {
        --cut;
    }
    return cut;
}

QString hidden(QString text, const QString& token) {
    return token.isEmpty() ? text : text.replace(token, QStringLiteral("<token>"));
}

}  // namespace

QString escapeTelegramHtml(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        switch (ch.unicode()) {
            case u'&':
                out += u"&amp;";
                break;
            case u'<':
                out += u"&lt;";
                break;
            case u'>':
                out += u"&gt;";
                break;
            default:
                out += ch;
        }
    }
    return out;
}

QStringList telegramMessages(const Notice& notice, int limit) {
    QStringList messages;
    QString current;
    const auto push = [&] {
        if (!current.isEmpty()) {
            messages += current;
            current.clear();
        }
    };
    for (const NoticeLine& line : notice.lines) {
        QString html = escapeTelegramHtml(line.text);
        if (line.heading && html.size() + 7 <= limit) {
            html = u"<b>" % html % u"</b>";
        }
        const qsizetype needed = current.isEmpty() ? html.size() : current.size() + 1 + html.size();
        if (needed <= limit) {
            current += (current.isEmpty() ? QString() : QStringLiteral("\n")) + html;
            continue;
        }
        push();
        QStringView rest(html);
        while (rest.size() > limit) {
            const qsizetype cut = cutBefore(rest, limit);
            messages += rest.first(cut).toString();
            rest = rest.sliced(cut);
        }
        current = rest.toString();
    }
    push();
    return messages;
}

void sleepFor(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DeliveryAnswer sendTelegram(const NotifySettings::Telegram& channel, const QStringList& messages,
                            int from, const FetchSettings& settings, const Pause& pause) {
    DeliveryAnswer outcome;
    outcome.sent = from;
    const QString url = u"https://api.telegram.org/bot" % channel.token % u"/sendMessage";
    for (qsizetype i = from; i < messages.size(); ++i) {
        if (i > from) {
            pause(kBetweenMessagesMs);
        }
        QJsonObject body{{QStringLiteral("chat_id"), channel.chat},
                         {QStringLiteral("text"), messages.at(i)},
                         {QStringLiteral("parse_mode"), QStringLiteral("HTML")},
                         {QStringLiteral("link_preview_options"),
                          QJsonObject{{QStringLiteral("is_disabled"), true}}}};
        const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
        const QList<QByteArray> headers{"Content-Type: application/json"};
        TransportAnswer answer = postRequest(url, bytes, headers, settings);
        if (answer.status == 429) {
            const QJsonObject reply = QJsonDocument::fromJson(answer.body).object();
            const int wait = reply.value(QStringLiteral("parameters"))
                                 .toObject()
                                 .value(QStringLiteral("retry_after"))
                                 .toInt(1);
            pause(std::clamp(wait, 0, kLongestRetryAfterS) * 1000);
            answer = postRequest(url, bytes, headers, settings);
        }
        if (!answer.accepted) {
            const QString description = QJsonDocument::fromJson(answer.body)
                                            .object()
                                            .value(QStringLiteral("description"))
                                            .toString();
            QString error = answer.error;
            if (!description.isEmpty()) {
                error += u": " % description;
            }
            outcome.answer = hidden(error, channel.token);
            return outcome;
        }
        outcome.sent = int(i) + 1;
        outcome.answer = u"HTTP " % QString::number(answer.status);
    }
    outcome.accepted = true;
    return outcome;
}

}  // namespace quorvel
