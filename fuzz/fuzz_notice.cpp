// Any text of partners and servers in a notice: the chat's messages stay
// within their limit, lose no character and never cut an entity or a
// surrogate pair short of the limit's need; the mail subject's encoded words
// decode back to the subject.
#include <cstdint>
#include <cstdlib>

#include "notify/mail.h"
#include "notify/telegram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const int limit = 6 + data[0] % 64;  // room for the longest entity
    const QString text = QString::fromUtf8(
        QByteArrayView(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    quorvel::Notice notice;
    for (const QString& line : text.split(u'\n')) {
        notice.lines.append({line, line.startsWith(u'#')});
    }
    const QStringList messages = quorvel::telegramMessages(notice, limit);
    QString whole;
    for (const QString& message : messages) {
        if (message.isEmpty() || message.size() > limit || message.back().isHighSurrogate()) {
            std::abort();
        }
        whole += message;
    }
    // Every character of the escaped lines is there, in order; only line
    // breaks between messages and the headings' bold go.
    QString expected;
    for (const quorvel::NoticeLine& line : notice.lines) {
        expected += quorvel::escapeTelegramHtml(line.text);
    }
    whole.remove(u'\n');
    whole.remove(QStringLiteral("<b>"));
    whole.remove(QStringLiteral("</b>"));
    expected.remove(u'\n');
    if (whole != expected) {
        std::abort();
    }

    const QByteArray header = quorvel::encodedHeaderWords(text);
    QByteArray decoded;
    for (const QByteArray& line : header.split('\n')) {
        const QByteArray word = line.trimmed();
        if (word.isEmpty()) {
            continue;
        }
        if (word.size() > 75 || !word.startsWith("=?UTF-8?B?") || !word.endsWith("?=")) {
            std::abort();
        }
        decoded += QByteArray::fromBase64(word.sliced(10, word.size() - 12));
    }
    if (decoded != text.toUtf8()) {
        std::abort();
    }
    return 0;
}
