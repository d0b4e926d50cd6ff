#include "checking/page_facts.h"

#include <QUrl>

#include "checking/canonical.h"

namespace quorvel {

namespace {

bool isSlash(QChar c) {
    return c == u'/' || c == u'\\';
}

// "www." taken off the front of a host in normal form.
QStringView withoutWww(QStringView host) {
    return host.startsWith(u"www.") ? host.sliced(4) : host;
}

// The scheme at the front of a link ("http" of "HTTP://..."), lower-cased;
// empty when the text does not begin with one and a ":".
QString schemeOf(QStringView text, qsizetype* colon) {
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t c = text[i].unicode();
        const bool letter = (c | 0x20) >= u'a' && (c | 0x20) <= u'z';
        const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!letter && !(i > 0 && other)) {
            break;
        }
        ++i;
    }
    if (i == 0 || i >= text.size() || text[i] != u':') {
        return QString();
    }
    *colon = i;
    return text.first(i).toString().toLower();
}

// The host part of an authority ("user@host:port"): from `*start` to the
// returned end.
qsizetype hostIn(QStringView authority, qsizetype* start) {
    const qsizetype at = authority.lastIndexOf(u'@');
    *start = at + 1;
    if (*start < authority.size() && authority[*start] == u'[') {
        const qsizetype close = authority.indexOf(u']', *start);
        return close < 0 ? authority.size() : close + 1;
    }
    const qsizetype colon = authority.indexOf(u':', *start);
    return colon < 0 ? authority.size() : colon;
}

bool isHeadElement(const HtmlTag& tag) {
    for (QStringView name : {u"html", u"head", u"title", u"meta", u"link", u"base", u"script",
                             u"style", u"noscript", u"template"}) {
        if (tag.is(name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

QString normalHost(QStringView host) {
    while (host.endsWith(u'.')) {
        host.chop(1);
    }
    bool ascii = true;
    for (const QChar c : host) {
        ascii = ascii && c.unicode() < 0x80;
    }
    if (ascii) {
        return host.toString().toLower();
    }
    const QByteArray ace = QUrl::toAce(host.toString());
    return ace.isEmpty() ? host.toString().toLower() : QString::fromLatin1(ace).toLower();
}

std::optional<LinkTarget> linkTargetOf(QStringView href, QStringView pageScheme) {
    QString cleaned;
    href = href.trimmed();
    // A browser drops tabs and line breaks anywhere in an address.
    if (href.contains(u'\t') || href.contains(u'\n') || href.contains(u'\r')) {
        cleaned = href.toString();
        cleaned.remove(u'\t').remove(u'\n').remove(u'\r');
        href = cleaned;
    }
    QString scheme;
    qsizetype i = 0;
    if (href.size() >= 2 && isSlash(href[0]) && isSlash(href[1])) {
        scheme = pageScheme.isEmpty() ? QStringLiteral("http") : pageScheme.toString();
        i = 2;
    } else {
        qsizetype colon = 0;
        scheme = schemeOf(href, &colon);
        if (scheme != u"http" && scheme != u"https") {
            return std::nullopt;
        }
        i = colon + 1;
        if (href.size() < i + 2 || !isSlash(href[i]) || !isSlash(href[i + 1])) {
            return std::nullopt;
        }
        i += 2;
    }
    qsizetype end = i;
    while (end < href.size() && !isSlash(href[end]) && href[end] != u'?' && href[end] != u'#') {
        ++end;
    }
    const QStringView authority = href.sliced(i, end - i);
    qsizetype hostStart = 0;
    const qsizetype hostEnd = hostIn(authority, &hostStart);
    LinkTarget target;
    target.host = normalHost(authority.sliced(hostStart, hostEnd - hostStart));
    if (target.host.isEmpty()) {
        return std::nullopt;
    }
    QStringView rest = href.sliced(end);
    const qsizetype fragment = rest.indexOf(u'#');
    if (fragment >= 0) {
        rest = rest.first(fragment);
    }
    target.key = scheme + u"://" + authority.first(hostStart) + target.host +
                 authority.sliced(hostEnd) + rest;
    return target;
}

QString siteOf(QStringView address) {
    address = address.trimmed();
    qsizetype colon = 0;
    if (!schemeOf(address, &colon).isEmpty() && address.sliced(colon).startsWith(u"://")) {
        address = address.sliced(colon + 3);
    } else if (address.size() >= 2 && isSlash(address[0]) && isSlash(address[1])) {
        address = address.sliced(2);
    }
    qsizetype end = 0;
    while (end < address.size() && !isSlash(address[end]) && address[end] != u'?' &&
           address[end] != u'#') {
        ++end;
    }
    const QStringView authority = address.first(end);
    qsizetype hostStart = 0;
    const qsizetype hostEnd = hostIn(authority, &hostStart);
    return withoutWww(normalHost(authority.sliced(hostStart, hostEnd - hostStart))).toString();
}

PageFactsCollector::PageFactsCollector(QStringView yourLink, QStringView pageAddress)
    : userSite_(siteOf(yourLink)),
      pageSite_(siteOf(pageAddress)),
      pageAddress_(pageAddress.toString()) {
    qsizetype colon = 0;
    pageScheme_ = schemeOf(pageAddress, &colon);
}

void PageFactsCollector::take(const HtmlTag& tag) {
    if (tag.end) {
        if (!headEnded_) {
            headEnded_ = tag.is(u"head");
        }
        return;
    }
    if (!headEnded_) {
        headEnded_ = !isHeadElement(tag);
    }
    if (tag.name.size() > 4) {
        return;  // none of a, link, base
    }
    if (tag.is(u"a")) {
        const std::optional<QString> href = htmlAttribute(tag.attributes, u"href");
        const std::optional<LinkTarget> target =
            href ? linkTargetOf(*href, pageScheme_) : std::nullopt;
        if (!target) {
            return;
        }
        const QStringView host = target->host;
        if (host != pageSite_ && !(host.endsWith(pageSite_) && !pageSite_.isEmpty() &&
                                   host[host.size() - pageSite_.size() - 1] == u'.')) {
            targets_.add(target->key);
        }
        if (nearLink_.isEmpty() && !userSite_.isEmpty() && withoutWww(host) == userSite_) {
            nearLink_ = href->trimmed();
        }
    } else if (tag.is(u"link") && !canonical_) {
        const std::optional<QString> rel = htmlAttribute(tag.attributes, u"rel");
        const std::optional<QString> href = htmlAttribute(tag.attributes, u"href");
        if (rel && href && hasToken(*rel, u"canonical")) {
            canonical_ = href->trimmed();
            canonicalAt_ = tag.at;
            canonicalInHead_ = !headEnded_;
        }
    } else if (tag.is(u"base") && !base_) {
        base_ = htmlAttribute(tag.attributes, u"href");
    }
}

PageFacts PageFactsCollector::finish(qsizetype decidedAt, QString anchor) {
    PageFacts facts;
    facts.anchor = std::move(anchor);
    facts.external = targets_.size();
    if (decidedAt < 0) {
        facts.nearLink = nearLink_;
    }
    if (canonical_ && (canonicalInHead_ || decidedAt < 0 || canonicalAt_ < decidedAt)) {
        const QString base = base_ ? resolveAddress(*base_, pageAddress_) : pageAddress_;
        facts.canonical = resolveAddress(*canonical_, base);
    }
    return facts;
}

}  // namespace quorvel
