#include "checking/link_scanner.h"

#include <QCollator>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <deque>
#include <unordered_set>
#include <vector>

#include "checking/text_helpers.h"

namespace quorvel {

namespace {

// A tag's closing ">" must stand within this many positions after its "<".
constexpr qsizetype kTagWindow = 1188;

bool startsAt(const char16_t* s, qsizetype available, QStringView word) {
    return available >= word.size() && std::equal(word.utf16(), word.utf16() + word.size(), s);
}

// Plain containment of any of the fourteen domain texts. All of them begin
// with ".", so only the dots of the value need a look.
bool isCandidate(QStringView h) {
    static constexpr QStringView kDomains[] = {u".ru",   u".com", u".org", u".de",   u".uk",
                                               u".ua",   u".net", u".tk",  u".info", u".biz",
                                               u".name", u".us",  u".eu",  u".ws"};
    const char16_t* s = h.utf16();
    const qsizetype n = h.size();
    for (qsizetype i = 0; i + 2 < n; ++i) {
        if (s[i] != u'.') {
            continue;
        }
        for (QStringView d : kDomains) {
            if (startsAt(s + i, n - i, d)) {
                return true;
            }
        }
    }
    return false;
}

struct ViewHash {
    size_t operator()(QStringView v) const noexcept { return qHash(v); }
};

// Distinct links, two links being the same when their case-folded forms are
// equal. Keys are views into the lower-cased page where folding changes
// nothing (all ASCII links), else into folded copies kept here.
class LinkSet {
  public:
    explicit LinkSet(bool keepLinks) : keepLinks_(keepLinks) {}

    void add(QStringView link) {
        QStringView key = link;
        bool ascii = true;
        for (const QChar c : link) {
            if (c.unicode() >= 0x80) {
                ascii = false;
                break;
            }
        }
        if (!ascii) {
            QString folded = link.toString().toCaseFolded();
            if (folded != link) {
                if (keys_.contains(QStringView(folded))) {
                    return;
                }
                key = folded_.emplace_back(std::move(folded));
            }
        }
        if (keys_.insert(key).second && keepLinks_) {
            links_.push_back({link, key});
        }
    }

    int size() const { return int(keys_.size()); }

    QStringList sorted() const {
        QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        struct Keyed {
            QCollatorSortKey sortKey;
            const Entry* entry;
        };
        std::vector<Keyed> keyed;
        keyed.reserve(links_.size());
        for (const Entry& e : links_) {
            keyed.push_back({collator.sortKey(e.link.toString()), &e});
        }
        std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
            const int c = a.sortKey.compare(b.sortKey);
            return c != 0 ? c < 0 : a.entry->key < b.entry->key;
        });
        QStringList out;
        out.reserve(qsizetype(keyed.size()));
        for (const Keyed& k : keyed) {
            out += k.entry->link.toString();
        }
        return out;
    }

  private:
    struct Entry {
        QStringView link;
        QStringView key;
    };
    bool keepLinks_;
    std::unordered_set<QStringView, ViewHash> keys_;
    std::deque<QString> folded_;
    std::vector<Entry> links_;
};

QStringView yourKeyOf(const QString& loweredLink) {
    QStringView key = loweredLink;
    if (key.startsWith(u"http://")) {
        key = key.sliced(7);
    }
    if (key.startsWith(u"https://")) {
        key = key.sliced(8);
    }
    if (key.startsWith(u"www.")) {
        key = key.sliced(4);
    }
    return key;
}

// Finds the first "<" or ">" in [from, to); `to` if none.
const char16_t* findAngle(const char16_t* from, const char16_t* to) {
    while (from < to && *from != u'<' && *from != u'>') {
        ++from;
    }
    return from;
}

}  // namespace

bool isLoweredAnchorTag(QStringView tag) {
    // The stream is the padded tag text without slashes; after quote removal
    // it must hold " a ". Without a quote in the probe, the same test before
    // quote removal can never succeed alone, so one check suffices.
    char16_t prev2 = 0;
    char16_t prev1 = u' ';
    bool outside = true;
    for (const QChar ch : tag) {
        const char16_t c = ch.unicode();
        if (c == u'/') {
            continue;
        }
        if (c == u'"') {
            outside = !outside;
        }
        if (outside) {
            if (c == u' ' && prev1 == u'a' && prev2 == u' ') {
                return true;
            }
            prev2 = prev1;
            prev1 = c;
        }
    }
    return outside && prev1 == u'a' && prev2 == u' ';
}

LinkScanResult scanLinks(QStringView pageText, QStringView yourLink, QStringView partnerUrl,
                         bool listMode) {
    const QString page = ToLowerRuLat(pageText);
    const QString loweredLink = listMode ? QString() : ToLowerRuLat(yourLink);
    const QStringView yourKey = yourKeyOf(loweredLink);

    // The site key loses one trailing segment per candidate link. Backslashes
    // become slashes at the first reduction; after that no backslash is left,
    // so later reductions are views.
    QString slashedPartner = partnerUrl.toString();
    slashedPartner.replace(u'\\', u'/');
    QStringView siteKey = slashedPartner;
    bool siteKeySettled = false;  // reducing it once more would change nothing

    BacklinkVerdict verdict = BacklinkVerdict::Nil;
    bool pending = !listMode;
    bool noindex = false;
    LinkSet links(listMode);

    const char16_t* const s = reinterpret_cast<const char16_t*>(page.constData());
    const qsizetype n = page.size();
    qsizetype p = 0;
    while (p < n) {
        const qsizetype lt = QStringView(s + p, n - p).indexOf(u'<');
        if (lt < 0) {
            break;
        }
        p += lt;
        if (startsAt(s + p, n - p, u"<noindex")) {
            noindex = true;
        }
        if (startsAt(s + p, n - p, u"</noindex")) {
            noindex = false;
        }
        const char16_t* windowEnd = s + std::min(n, p + 1 + kTagWindow);
        const char16_t* q = findAngle(s + p + 1, windowEnd);
        if (q == windowEnd || *q == u'<') {
            p = q - s;  // no tag here, and no "<" before q to try
            continue;
        }
        const QStringView tag(s + p + 1, q - (s + p + 1));
        p = (q - s) + 1;

        if (!isLoweredAnchorTag(tag)) {
            continue;
        }
        const qsizetype href = tag.indexOf(u"href=");
        if (href < 0) {
            continue;
        }
        qsizetype start = href + 5;
        if (start < tag.size() && (tag[start] == u'"' || tag[start] == u'\'')) {
            ++start;
        }
        qsizetype end = start;
        while (end < tag.size() && tag[end] != u'"' && tag[end] != u'\'' && tag[end] != u' ') {
            ++end;
        }
        const QStringView h = tag.sliced(start, end - start);

        int nofollow = -1;  // computed once per tag, when needed
        auto tagIsNofollow = [&] {
            if (nofollow < 0) {
                nofollow = tag.contains(u"nofollow") ? 1 : 0;
            }
            return nofollow == 1;
        };
        if (isCandidate(h)) {
            if (!siteKeySettled) {
                const QStringView reduced = siteKeyView(siteKey);
                siteKeySettled = reduced.size() == siteKey.size();
                siteKey = reduced;
            }
            if (!containsText(h, siteKey) && !noindex && !tagIsNofollow()) {
                links.add(h);
            }
        }
        if (pending && containsText(h, yourKey)) {
            pending = false;
            verdict = (tagIsNofollow() || noindex) ? BacklinkVerdict::Hidden : BacklinkVerdict::Yep;
        }
    }

    LinkScanResult result;
    result.verdict = verdict;
    result.count = links.size();
    if (listMode) {
        result.links = links.sorted();
    }
    return result;
}

QString ScanBacklink(QStringView pageText, QStringView yourLink, QStringView partnerUrl) {
    const LinkScanResult r = scanLinks(pageText, yourLink, partnerUrl, false);
    const char16_t* verdict = r.verdict == BacklinkVerdict::Yep      ? u"YEP@"
                              : r.verdict == BacklinkVerdict::Hidden ? u"HIDDEN@"
                                                                     : u"NIL@";
    return QStringView(verdict) + QString::number(r.count);
}

QString CollectOutgoingLinks(QStringView pageText, QStringView partnerUrl) {
    const LinkScanResult r = scanLinks(pageText, {}, partnerUrl, true);
    QString out;
    for (const QString& link : r.links) {
        out += link;
        out += u"\r\n";
    }
    return out;
}

}  // namespace quorvel
