#include "checking/address.h"

#include <curl/curl.h>

#include <memory>

#include "checking/text_helpers.h"

namespace quorvel {

namespace {

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlText {
    char* text = nullptr;
    ~CurlText() { curl_free(text); }
};

// Whether the text begins with a URL scheme followed by "://".
bool hasScheme(QStringView text) {
    const qsizetype sep = text.indexOf(u"://");
    if (sep <= 0) {
        return false;
    }
    for (qsizetype i = 0; i < sep; ++i) {
        const char16_t c = text[i].unicode();
        const bool alpha = (c | 0x20) >= u'a' && (c | 0x20) <= u'z';
        const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!alpha && !(i > 0 && other)) {
            return false;
        }
    }
    return true;
}

QString curlError(CURLUcode code) {
    return QString::fromUtf8(curl_url_strerror(code));
}

}  // namespace

QString firstAddressOf(QStringView partnerUrl) {
    if (ToLowerRuLat(partnerUrl).startsWith(u"http")) {
        return partnerUrl.toString();
    }
    return u"http://" + partnerUrl.toString();
}

QString secondAddressOf(QStringView firstAddress) {
    // An https address keeps TLS: its variant never steps down to plain http.
    const bool secure = firstAddress.startsWith(u"https://", Qt::CaseInsensitive);
    QStringView rest = firstAddress;
    if (rest.startsWith(u"http://")) {
        rest = rest.sliced(7);
    }
    if (rest.startsWith(u"https://")) {
        rest = rest.sliced(8);
    }
    if (rest.startsWith(u"www.")) {
        return rest.toString();
    }
    const QStringView prefix = secure ? QStringView(u"https://www.") : QStringView(u"http://www.");
    return prefix + rest;
}

QByteArray hostKeyOf(QStringView host) {
    while (host.size() > 1 && host.endsWith(u'.')) {
        host.chop(1);
    }
    bool plain = true;  // ASCII, and nothing a URL would read as more than a host
    for (const QChar c : host) {
        plain = plain && c.unicode() > u' ' && c.unicode() < 0x7f;
        if (QStringView(u"/?#@\\%[]:").contains(c)) {
            return host.toUtf8().toLower();
        }
    }
    if (plain) {
        return host.toLatin1().toLower();
    }
    // The same conversion as the request's own, so both sides agree.
    const RequestUrl url = resolveRequestUrl(QString(u"http://" + host + u'/'), {});
    return url.url.isEmpty() ? host.toUtf8().toLower() : url.host;
}

RequestUrl resolveRequestUrl(QStringView address, const QByteArray& base) {
    QString text = address.toString();
    text.replace(u'\\', u'/');
    UrlHandle url(curl_url());
    if (!url) {
        return {{}, {}, 0, QStringLiteral("out of memory")};
    }
    if (!hasScheme(text)) {
        if (base.isEmpty()) {
            return {{},
                    {},
                    0,
                    QStringLiteral("no scheme, and no earlier address to resolve it against")};
        }
        if (const CURLUcode rc = curl_url_set(url.get(), CURLUPART_URL, base.constData(), 0)) {
            return {{}, {}, 0, curlError(rc)};
        }
        // A relative reference whose first segment holds ":" would read as a
        // scheme; it is a path here.
        const qsizetype colon = text.indexOf(u':');
        qsizetype end = text.size();
        for (const char16_t stop : {u'/', u'?', u'#'}) {
            const qsizetype at = text.indexOf(QChar(stop));
            if (at >= 0 && at < end) {
                end = at;
            }
        }
        if (colon >= 0 && colon < end) {
            text.prepend(u"./");
        }
    }
    const QByteArray utf8 = text.toUtf8();
    if (const CURLUcode rc =
            curl_url_set(url.get(), CURLUPART_URL, utf8.constData(), CURLU_URLENCODE)) {
        return {{}, {}, 0, curlError(rc), false, rc == CURLUE_NO_HOST};
    }
    CurlText scheme;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme.text, 0) != CURLUE_OK ||
        (qstrcmp(scheme.text, "http") != 0 && qstrcmp(scheme.text, "https") != 0)) {
        return {{}, {}, 0, u"scheme not supported: " + QString::fromUtf8(scheme.text), true};
    }
    CurlText host;
    if (const CURLUcode rc = curl_url_get(url.get(), CURLUPART_HOST, &host.text, CURLU_PUNYCODE)) {
        return {{}, {}, 0, curlError(rc)};
    }
    if (const CURLUcode rc = curl_url_set(url.get(), CURLUPART_HOST, host.text, 0)) {
        return {{}, {}, 0, curlError(rc)};
    }
    CurlText full;
    if (const CURLUcode rc = curl_url_get(url.get(), CURLUPART_URL, &full.text, 0)) {
        return {{}, {}, 0, curlError(rc)};
    }
    CurlText port;
    if (const CURLUcode rc =
            curl_url_get(url.get(), CURLUPART_PORT, &port.text, CURLU_DEFAULT_PORT)) {
        return {{}, {}, 0, curlError(rc)};
    }
    return {QByteArray(full.text), QByteArray(host.text).toLower(), QByteArray(port.text).toInt(),
            QString()};
}

std::optional<FailureReason> unaskableAddress(QStringView partnerUrl) {
    if (hasScheme(partnerUrl)) {
        const QStringView scheme = partnerUrl.first(partnerUrl.indexOf(u':'));
        if (scheme.compare(u"http", Qt::CaseInsensitive) != 0 &&
            scheme.compare(u"https", Qt::CaseInsensitive) != 0) {
            return FailureReason(FailureReason::Kind::Scheme);
        }
    }
    if (resolveRequestUrl(firstAddressOf(partnerUrl), {}).noHost) {
        return FailureReason(FailureReason::Kind::NoHost);
    }
    return std::nullopt;
}

}  // namespace quorvel
