#include "notify/notice_transport.h"

#include <QUrl>

#include <algorithm>
#include <cstring>

#include "checking/curl_rules.h"

namespace quorvel {

namespace {

constexpr char kUserAgent[] = "Quorvel/1.0";

struct Transfer {
    CurlEasy easy{curl_easy_init()};
    CurlList headers;
    CurlList resolve;
    CurlList recipients;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    QByteArray received;
    QByteArray upload;
    qsizetype uploaded = 0;

    static size_t onBody(char* data, size_t size, size_t count, void* self) {
        auto* t = static_cast<Transfer*>(self);
        const size_t n = size * count;
        const qsizetype room = kMaxAnswerBytes - t->received.size();
        t->received.append(data, std::min(qsizetype(n), std::max<qsizetype>(room, 0)));
        return n;  // the rest is read and dropped; the total limit bounds it
    }

    static size_t onRead(char* buffer, size_t size, size_t count, void* self) {
        auto* t = static_cast<Transfer*>(self);
        const size_t n = std::min(size * count, size_t(t->upload.size() - t->uploaded));
        std::memcpy(buffer, t->upload.constData() + t->uploaded, n);
        t->uploaded += qsizetype(n);
        return n;
    }

    // The rules of every transfer, the stall limit, and the host mapping of
    // `url`, whose scheme is one of `protocols`.
    bool prepare(const QString& url, const FetchSettings& settings, const char* protocols,
                 int defaultPort) {
        CURL* h = easy.get();
        if (!h) {
            return false;
        }
        applyTransferRules(h, settings, protocols);
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(settings.totalTimeoutMs));
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                         long(std::max(1, settings.stallTimeoutMs / 1000)));
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
        const QUrl parsed(url);
        const QByteArray host = parsed.host(QUrl::FullyEncoded).toLower().toLatin1();
        applyHostMapping(h, settings, host, parsed.port(defaultPort), resolve);
        curl_easy_setopt(h, CURLOPT_URL, parsed.toEncoded().constData());
        return true;
    }

    TransportAnswer perform() {
        TransportAnswer answer;
        const CURLcode code = curl_easy_perform(easy.get());
        long status = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
        answer.status = int(status);
        answer.body = received;
        if (code != CURLE_OK) {
            answer.error = errorBuffer[0] != '\0' ? QString::fromUtf8(errorBuffer)
                                                  : QString::fromUtf8(curl_easy_strerror(code));
        }
        answer.accepted = code == CURLE_OK;
        return answer;
    }
};

int defaultPortOf(const QString& url) {
    const QString scheme = QUrl(url).scheme();
    if (scheme == u"https") {
        return 443;
    }
    if (scheme == u"smtps") {
        return 465;
    }
    if (scheme == u"smtp") {
        return 25;
    }
    return 80;
}

}  // namespace

TransportAnswer postRequest(const QString& url, const QByteArray& body,
                            const QList<QByteArray>& headers, const FetchSettings& settings) {
    initNetwork();
    Transfer t;
    if (!t.prepare(url, settings, "http,https", defaultPortOf(url))) {
        return {false, 0, {}, QStringLiteral("the HTTP library could not be set up")};
    }
    CURL* h = t.easy.get();
    for (const QByteArray& line : headers) {
        appendTo(t.headers, line);
    }
    appendTo(t.headers, QByteArray("User-Agent: ") + kUserAgent);
    appendTo(t.headers, "Expect:");  // no wait for a "100 Continue" that may never come
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, t.headers.get());
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
    TransportAnswer answer = t.perform();
    if (answer.accepted && (answer.status < 200 || answer.status > 299)) {
        answer.accepted = false;
        answer.error = u"HTTP " % QString::number(answer.status);
    }
    return answer;
}

TransportAnswer sendMailMessage(const MailEnvelope& envelope, const QByteArray& message,
                                const FetchSettings& settings) {
    initNetwork();
    Transfer t;
    if (!t.prepare(envelope.url, settings, "smtp,smtps", defaultPortOf(envelope.url))) {
        return {false, 0, {}, QStringLiteral("the mail library could not be set up")};
    }
    CURL* h = t.easy.get();
    // smtp:// goes on only once STARTTLS has made the connection private.
    curl_easy_setopt(h, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!envelope.user.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, envelope.user.toUtf8().constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, envelope.password.toUtf8().constData());
    }
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, (u'<' % envelope.from % u'>').toUtf8().constData());
    for (const QString& to : envelope.to) {
        appendTo(t.recipients, (u'<' % to % u'>').toUtf8());
    }
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, t.recipients.get());
    t.upload = message;
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &Transfer::onRead);
    curl_easy_setopt(h, CURLOPT_READDATA, &t);
    return t.perform();
}

}  // namespace quorvel
