#include "notify/mail.h"

#include <QLocale>
#include <QRandomGenerator>

#include "notify/notice_transport.h"

namespace quorvel {

namespace {

// 45 bytes make 60 base64 characters: with "=?UTF-8?B?" and "?=", 72.
constexpr qsizetype kWordBytes = 45;

QByteArray wrapped(const QByteArray& base64) {
    QByteArray out;
    for (qsizetype i = 0; i < base64.size(); i += 76) {
        out += base64.mid(i, 76) + "\r\n";
    }
    return out;
}

QByteArray rfc5322Date(const QDateTime& now) {
    const int offset = now.offsetFromUtc() / 60;
    const int hours = qAbs(offset) / 60;
    const int minutes = qAbs(offset) % 60;
    return QLocale::c().toString(now, u"ddd, dd MMM yyyy hh:mm:ss ").toLatin1() +
           (offset < 0 ? '-' : '+') + QByteArray::number(hours).rightJustified(2, '0') +
           QByteArray::number(minutes).rightJustified(2, '0');
}

}  // namespace

QByteArray encodedHeaderWords(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    while (start < utf8.size()) {
        qsizetype end = std::min(start + kWordBytes, utf8.size());
        // Back to the start of a character: continuation bytes are 10xxxxxx.
        while (end < utf8.size() && end > start + 1 && (uchar(utf8.at(end)) & 0xC0) == 0x80) {
            --end;
        }
        if (!out.isEmpty()) {
            out += "\r\n ";
        }
        out += "=?UTF-8?B?" + utf8.mid(start, end - start).toBase64() + "?=";
        start = end;
    }
    return out;
}

QByteArray mailMessage(const NotifySettings::Mail& mail, const Notice& notice,
                       const QDateTime& now) {
    const QByteArray from = mail.from.toUtf8();
    const QByteArray domain = from.mid(from.lastIndexOf('@') + 1);
    const QByteArray id = QByteArray::number(QRandomGenerator::system()->generate64(), 16) + '.' +
                          QByteArray::number(now.toMSecsSinceEpoch()) + "@" + domain;
    QString text = notice.plainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    return "Date: " + rfc5322Date(now) + "\r\n" + "From: <" + from + ">\r\n" + "To: <" +
           mail.to.join(u">, <").toUtf8() + ">\r\n" +
           "Subject: " + encodedHeaderWords(notice.subject) + "\r\n" + "Message-ID: <" + id +
           ">\r\n" +
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" +
           wrapped((text + u"\r\n").toUtf8().toBase64());
}

DeliveryAnswer sendMail(const NotifySettings::Mail& mail, const Notice& notice,
                        const FetchSettings& settings) {
    const MailEnvelope envelope{mail.url, mail.user, mail.password, mail.from, mail.to};
    const TransportAnswer answer = sendMailMessage(
        envelope, mailMessage(mail, notice, QDateTime::currentDateTime()), settings);
    if (answer.accepted) {
        return {true, QString::number(answer.status), 1};
    }
    QString error = answer.error;
    if (answer.status != 0 && !error.contains(QString::number(answer.status))) {
        error += u" (server reply " % QString::number(answer.status) % u')';
    }
    if (!mail.password.isEmpty()) {
        error.replace(mail.password, QStringLiteral("<password>"));
    }
    return {false, error, 0};
}

}  // namespace quorvel
