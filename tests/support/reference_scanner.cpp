#include "support/reference_scanner.h"

#include <QCollator>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <vector>

#include "checking/text_helpers.h"

namespace quorvel::test {

namespace {

bool contains(const QString& haystack, const QString& needle) {
    return !needle.isEmpty() && haystack.contains(needle);
}

}  // namespace

LinkScanResult referenceScanLinks(QStringView pageText, QStringView yourLink,
                                  QStringView partnerUrl, bool listMode) {
    const QString page = ToLowerRuLat(pageText);
    QString yourKey = ToLowerRuLat(yourLink);
    for (const char16_t* prefix : {u"http://", u"https://", u"www."}) {
        if (yourKey.startsWith(QStringView(prefix))) {
            yourKey.remove(0, QStringView(prefix).size());
        }
    }
    QString siteKey = partnerUrl.toString();
    BacklinkVerdict verdict = BacklinkVerdict::Nil;
    bool pending = true;
    bool noindex = false;
    std::vector<std::pair<QString, QString>> set;  // folded, first spelling

    auto examine = [&](const QString& t) {
        if (!IsAnchorTag(t, u"a")) {
            return;
        }
        const qsizetype at = t.indexOf(u"href=");
        if (at < 0) {
            return;
        }
        qsizetype start = at + 5;
        if (start < t.size() && (t[start] == u'"' || t[start] == u'\'')) {
            ++start;
        }
        qsizetype end = start;
        while (end < t.size() && t[end] != u'"' && t[end] != u'\'' && t[end] != u' ') {
            ++end;
        }
        const QString h = t.mid(start, end - start);
        bool candidate = false;
        for (const char16_t* d : {u".ru", u".com", u".org", u".de", u".uk", u".ua", u".net", u".tk",
                                  u".info", u".biz", u".name", u".us", u".eu", u".ws"}) {
            candidate = candidate || h.contains(QStringView(d));
        }
        if (candidate) {
            siteKey = SiteKey(siteKey);
            if (!contains(h, siteKey) && !noindex && !t.contains(u"nofollow")) {
                const QString folded = h.toCaseFolded();
                if (std::none_of(set.begin(), set.end(),
                                 [&](const auto& e) { return e.first == folded; })) {
                    set.emplace_back(folded, h);
                }
            }
        }
        if (pending && contains(h, yourKey)) {
            pending = false;
            verdict = (t.contains(u"nofollow") || noindex) ? BacklinkVerdict::Hidden
                                                           : BacklinkVerdict::Yep;
        }
    };

    for (qsizetype p = 0; p < page.size(); ++p) {
        if (page.mid(p, 8) == u"<noindex") {
            noindex = true;
        }
        if (page.mid(p, 9) == u"</noindex") {
            noindex = false;
        }
        if (page[p] != u'<') {
            continue;
        }
        for (qsizetype q = p + 1; q < page.size(); ++q) {
            if (page[q] == u'<') {
                break;
            }
            if (page[q] == u'>') {
                examine(page.mid(p + 1, q - p - 1));
                break;
            }
            if (q - p > 1187) {
                break;
            }
        }
    }

    LinkScanResult result;
    result.verdict = listMode ? BacklinkVerdict::Nil : verdict;
    result.count = int(set.size());
    if (listMode) {
        QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::sort(set.begin(), set.end(), [&](const auto& a, const auto& b) {
            const int c = collator.compare(a.second, b.second);
            return c != 0 ? c < 0 : a.first < b.first;
        });
        for (const auto& e : set) {
            result.links += e.second;
        }
    }
    return result;
}

}  // namespace quorvel::test
