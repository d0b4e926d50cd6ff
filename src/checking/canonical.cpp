#include "checking/canonical.h"

#include <QUrl>

#include "checking/html_tags.h"

namespace quorvel {

namespace {

QUrl comparable(QStringView address) {
    QUrl url(address.toString());
    url =
        url.adjusted(QUrl::RemoveFragment | QUrl::StripTrailingSlash | QUrl::NormalizePathSegments);
    if ((url.scheme() == u"http" && url.port() == 80) ||
        (url.scheme() == u"https" && url.port() == 443)) {
        url.setPort(-1);
    }
    return url;
}

}  // namespace

QString resolveAddress(QStringView href, QStringView base) {
    const QUrl baseUrl(base.toString());
    if (!baseUrl.isValid() || baseUrl.isRelative()) {
        return href.toString();
    }
    return baseUrl.resolved(QUrl(href.toString())).toString();
}

bool sameAddress(QStringView a, QStringView b) {
    return comparable(a).toString(QUrl::FullyEncoded) == comparable(b).toString(QUrl::FullyEncoded);
}

QString canonicalElsewhere(QStringView fromPage, QStringView fromHeader, QStringView pageAddress) {
    if (!fromPage.isEmpty() && !sameAddress(fromPage, pageAddress)) {
        return fromPage.toString();
    }
    if (!fromHeader.isEmpty()) {
        const QString resolved = resolveAddress(fromHeader, pageAddress);
        if (!sameAddress(resolved, pageAddress)) {
            return resolved;
        }
    }
    return QString();
}

QString canonicalFromLinkHeaders(const QList<QByteArray>& values) {
    for (const QByteArray& raw : values) {
        // "<address>; param=value; ..., <address>; ...": a comma outside the
        // angle brackets and quotes starts the next link.
        const QString value = QString::fromUtf8(raw);
        qsizetype i = 0;
        while (i < value.size()) {
            const qsizetype open = value.indexOf(u'<', i);
            if (open < 0) {
                break;
            }
            const qsizetype close = value.indexOf(u'>', open + 1);
            if (close < 0) {
                break;
            }
            const QStringView address = QStringView(value).sliced(open + 1, close - open - 1);
            qsizetype end = close + 1;
            bool quoted = false;
            while (end < value.size() && (quoted || value[end] != u',')) {
                quoted = value[end] == u'"' ? !quoted : quoted;
                ++end;
            }
            const QStringView params = QStringView(value).sliced(close + 1, end - close - 1);
            for (QStringView param : params.split(u';')) {
                param = param.trimmed();
                const qsizetype eq = param.indexOf(u'=');
                if (eq < 0 || param.first(eq).trimmed().compare(u"rel", Qt::CaseInsensitive) != 0) {
                    continue;
                }
                QStringView rel = param.sliced(eq + 1).trimmed();
                if (rel.size() >= 2 && rel.startsWith(u'"') && rel.endsWith(u'"')) {
                    rel = rel.sliced(1, rel.size() - 2);
                }
                if (hasToken(rel, u"canonical")) {
                    return address.trimmed().toString();
                }
            }
            i = end + 1;
        }
    }
    return QString();
}

}  // namespace quorvel
