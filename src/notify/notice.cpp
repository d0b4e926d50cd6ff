#include "notify/notice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace quorvel {

QString Notice::plainText() const {
    QStringList texts;
    for (const NoticeLine& line : lines) {
        texts += line.text;
    }
    return texts.join(u'\n');
}

QString Notice::toJson() const {
    QJsonArray array;
    for (const NoticeLine& line : lines) {
        array.append(QJsonArray{line.text, line.heading});
    }
    const QJsonObject object{{QStringLiteral("subject"), subject},
                             {QStringLiteral("lines"), array},
                             {QStringLiteral("payload"), payload}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

Notice Notice::fromJson(const QString& json) {
    const QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
    Notice notice;
    notice.subject = object.value(QStringLiteral("subject")).toString();
    for (const QJsonValue line : object.value(QStringLiteral("lines")).toArray()) {
        notice.lines.append({line[0].toString(), line[1].toBool()});
    }
    notice.payload = object.value(QStringLiteral("payload")).toObject();
    return notice;
}

}  // namespace quorvel
