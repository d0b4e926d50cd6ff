#include "checking/link_scanner.h"

#include <QVarLengthArray>

#include <algorithm>
#include <bit>
#include <limits>

#include "checking/char_search.h"
#include "checking/html_tags.h"
#include "checking/html_text.h"
#include "checking/link_set.h"
#include "checking/page_facts.h"
#include "checking/page_signals.h"
#include "checking/text_helpers.h"

namespace quorvel {

namespace {

// A tag's closing ">" must stand within this many positions after its "<".
constexpr qsizetype kTagWindow = 1188;

// Whether the text at `s` is `lowerWord` after ToLowerRuLat.
bool matchesLowered(const char16_t* s, qsizetype available, QStringView lowerWord) {
    if (available < lowerWord.size()) {
        return false;
    }
    for (qsizetype i = 0; i < lowerWord.size(); ++i) {
        if (lowerRuLatChar(s[i]) != lowerWord[i].unicode()) {
            return false;
        }
    }
    return true;
}

// Whether the tag text holds "nofollow" in any letter case.
bool hasNofollow(QStringView tag) {
    const char16_t* const s = tag.utf16();
    const char16_t* const end = s + tag.size();
    for (const char16_t* c = findEither(s, end, u'n', u'N'); end - c >= 8;
         c = findEither(c + 1, end, u'n', u'N')) {
        if (matchesLowered(c, 8, u"nofollow")) {
            return true;
        }
    }
    return false;
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
            if (d.size() <= n - i && std::equal(d.begin(), d.end(), s + i)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool isTagNamedA(QStringView tag) {
    // The stream is the padded tag text without slashes; after quote removal
    // it must hold " a ". Without a quote in the probe, the same test before
    // quote removal can never succeed alone, so one check suffices.
    char16_t prev2 = 0;
    char16_t prev1 = u' ';
    bool outside = true;
    for (const QChar ch : tag) {
        const char16_t c = ch.unicode() == u'A' ? u'a' : ch.unicode();
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

namespace {

// The state of one scan, and what happens to one tag text.
class Scan {
  public:
    // With `facts`, the page's real tags are read along the walk for them.
    Scan(QStringView page, QStringView yourLink, QStringView partnerUrl, bool listMode,
         PageFactsCollector* facts = nullptr)
        : page_(page),
          loweredLink_(listMode ? QString() : ToLowerRuLat(yourLink)),
          yourKey_(withoutSchemeAndWww(loweredLink_)),
          slashedPartner_(partnerUrl.toString()),
          pending_(!listMode),
          robotsMeta_(!listMode),
          links_(listMode),
          tags_(page),
          facts_(facts) {
        // The site key loses one trailing segment per candidate link.
        // Backslashes become slashes at the first reduction; after that none
        // is left, so every reduction is a view.
        slashedPartner_.replace(u'\\', u'/');
        siteKey_ = slashedPartner_;
    }

    // At the "<" at `pos`: the two noindex tests, and the real tags before it.
    void atOpening(qsizetype pos) {
        const char16_t* const s = page_.utf16() + pos;
        const qsizetype available = page_.size() - pos;
        if (facts_) {
            readTags(pos);
        }
        if (available > 1) {
            const char16_t c1 = s[1];
            if ((c1 == u'n' || c1 == u'N') && matchesLowered(s, available, u"<noindex")) {
                noindex_ = true;
            } else if (c1 == u'/' && matchesLowered(s, available, u"</noindex")) {
                noindex_ = false;
            } else if ((c1 == u'm' || c1 == u'M') && robotsMeta_ && !facts_ &&
                       matchesLowered(s, available, u"<meta")) {
                readTags(pos + 1);  // this one too, when it is a real tag
            }
        }
    }

    // The page's end: the real tags not read yet.
    void atEnd() {
        if (facts_) {
            readTags(page_.size());
        }
    }

    // A tag text whose first "href=" (in any letter case) stands at `href`.
    void examine(QStringView tag, qsizetype href) {
        if (!isTagNamedA(tag)) {
            return;
        }
        // Quotes and spaces bound the value; letter case does not change
        // them, so only the value itself is lower-cased.
        qsizetype start = href + 5;
        if (start < tag.size() && (tag[start] == u'"' || tag[start] == u'\'')) {
            ++start;
        }
        qsizetype end = start;
        while (end < tag.size() && tag[end] != u'"' && tag[end] != u'\'' && tag[end] != u' ') {
            ++end;
        }
        lowered_.resize(end - start);
        lowerRuLatInto(tag.sliced(start, end - start), lowered_.data());
        const QStringView h(lowered_.constData(), lowered_.size());

        int nofollow = -1;  // computed once per tag, when needed
        auto tagIsNofollow = [&] {
            if (nofollow < 0) {
                nofollow = hasNofollow(tag) ? 1 : 0;
            }
            return nofollow == 1;
        };
        if (isCandidate(h)) {
            if (!siteKeySettled_) {
                const QStringView reduced = siteKeyOf(siteKey_);
                siteKeySettled_ = reduced.size() == siteKey_.size();
                siteKey_ = reduced;
            }
            if (!containsText(h, siteKey_) && !noindex_ && !tagIsNofollow()) {
                links_.add(h);
            }
        }
        if (anchors_) {
            anchors_->add(h, tagIsNofollow() || noindex_);
        }
        if (pending_ && containsText(h, yourKey_)) {
            pending_ = false;
            decidedAt_ = tag.utf16() - 1 - page_.utf16();
            if (facts_) {
                anchor_ = anchorTextAfter(page_.sliced(decidedAt_ + tag.size() + 2));
            }
            signals_ |= relSignals(tag);
            hiddenBy_ = tagIsNofollow() ? HiddenBy::Nofollow
                        : noindex_      ? HiddenBy::Noindex
                                        : HiddenBy::Nothing;
            verdict_ =
                hiddenBy_ != HiddenBy::Nothing ? BacklinkVerdict::Hidden : BacklinkVerdict::Yep;
        }
    }

    LinkScanResult result(bool listMode) {
        LinkScanResult r;
        if (facts_) {
            r.facts = facts_->finish(decidedAt_, std::move(anchor_));
        }
        r.verdict = verdict_;
        r.hiddenBy = hiddenBy_;
        r.pageSignals = signals_;
        r.count = links_.size();
        if (listMode) {
            r.links = links_.sorted();
        }
        return r;
    }

  private:
    // Robots meta tags count only as real tags; the facts come from them too.
    void readTags(qsizetype limit) {
        HtmlTag tag;
        while (tags_.next(limit, &tag)) {
            if (robotsMeta_ && !tag.end && tag.is(u"meta")) {
                signals_ |= metaTagSignals(tag.attributes);
            }
            if (facts_) {
                facts_->take(tag);
            }
        }
    }

    QStringView page_;
    QString loweredLink_;
    QStringView yourKey_;
    QString slashedPartner_;
    QStringView siteKey_;
    bool siteKeySettled_ = false;  // reducing it once more would change nothing
    BacklinkVerdict verdict_ = BacklinkVerdict::Nil;
    HiddenBy hiddenBy_ = HiddenBy::Nothing;
    PageSignals signals_ = 0;
    bool pending_;
    bool robotsMeta_;
    bool noindex_ = false;
    LinkSet links_;
    QVarLengthArray<char16_t, kTagWindow> lowered_;
    HtmlTagReader tags_;
    PageFactsCollector* facts_;
    qsizetype decidedAt_ = -1;  // the "<" of the link that decided
    QString anchor_;

  public:
    PageAnchors* anchors_ = nullptr;  // every anchor's value, for a page scanned once
};

}  // namespace

namespace {

void walkPage(Scan& scan, QStringView pageText);

}  // namespace

void PageAnchors::add(QStringView value, bool hidden) {
    if (text_.size() + value.size() > std::numeric_limits<int32_t>::max()) {
        return;  // beyond any page within the size limit
    }
    entries_.push_back({uint32_t(text_.size()), uint32_t(value.size()), hidden ? 1u : 0u});
    text_.append(value);
}

void PageAnchors::squeeze() {
    text_.squeeze();
    entries_.shrink_to_fit();
}

BacklinkVerdict PageAnchors::verdictFor(QStringView yourLink) const {
    const QString lowered = ToLowerRuLat(yourLink);
    const QStringView key = withoutSchemeAndWww(lowered);
    for (const Entry& e : entries_) {
        if (containsText(QStringView(text_).sliced(e.offset, e.length), key)) {
            return e.hidden ? BacklinkVerdict::Hidden : BacklinkVerdict::Yep;
        }
    }
    return BacklinkVerdict::Nil;
}

LinkScanResult scanLinks(QStringView pageText, QStringView yourLink, QStringView partnerUrl,
                         bool listMode) {
    Scan scan(pageText, yourLink, partnerUrl, listMode);
    walkPage(scan, pageText);
    return scan.result(listMode);
}

LinkScanResult scanWithFacts(QStringView pageText, QStringView yourLink, QStringView partnerUrl,
                             QStringView pageAddress) {
    PageFactsCollector facts(yourLink, pageAddress);
    Scan scan(pageText, yourLink, partnerUrl, false, &facts);
    walkPage(scan, pageText);
    return scan.result(false);
}

PageAnchors collectAnchors(QStringView pageText) {
    PageAnchors anchors;
    Scan scan(pageText, {}, {}, false);
    scan.anchors_ = &anchors;
    walkPage(scan, pageText);
    anchors.squeeze();
    return anchors;
}

namespace {

void walkPage(Scan& scan, QStringView pageText) {
    // One pass over the page that stops only at "<", ">" and "=". A "<"
    // opens a candidate tag (and abandons an open one); a ">" within the
    // window closes it; an "=" may end its first "href". A tag without
    // "href=" cannot matter, so only those are examined. Letter case is dealt
    // with where it matters; the page is never copied.
    const char16_t* const s = pageText.utf16();
    const qsizetype n = pageText.size();
    qsizetype open = -1;  // position of the open candidate's "<"
    qsizetype href = -1;  // its first "href=", relative to the tag text

    auto event = [&](qsizetype pos) {
        const char16_t c = s[pos];
        if (c == u'<') {
            scan.atOpening(pos);
            open = pos;
            href = -1;
        } else if (open < 0 || pos - open > kTagWindow) {
            open = -1;  // no candidate, or its window has passed
        } else if (c == u'>') {
            const QStringView tag(s + open + 1, pos - open - 1);
            if (href >= 0) {
                scan.examine(tag, href);
            }
            open = -1;
        } else if (href < 0 && pos - open > 4 && matchesLowered(s + pos - 4, 4, u"href")) {
            href = pos - 4 - (open + 1);  // c is "="
        }
    };

    // An "=" matters only behind an "f" (of "href"), so the others are not
    // even reported.
    qsizetype i = 0;
    for (; i < std::min<qsizetype>(n, 1); ++i) {
        if (s[i] == u'<' || s[i] == u'>') {
            event(i);
        }
    }
#ifdef QUORVEL_SSE2
    const __m128i lt = _mm_set1_epi16(short(u'<'));
    const __m128i gt = _mm_set1_epi16(short(u'>'));
    const __m128i eq = _mm_set1_epi16(short(u'='));
    const __m128i f = _mm_set1_epi16(short(u'f'));
    const __m128i caseBit = _mm_set1_epi16(0x20);
    for (; n - i >= 8; i += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i - 1));
        const __m128i hrefEq = _mm_and_si128(_mm_cmpeq_epi16(x, eq),
                                             _mm_cmpeq_epi16(_mm_or_si128(before, caseBit), f));
        unsigned mask = unsigned(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(x, lt), _mm_cmpeq_epi16(x, gt)), hrefEq)));
        while (mask != 0) {
            const int bit = std::countr_zero(mask);
            event(i + (bit >> 1));
            mask &= ~(3u << bit);
        }
    }
#endif
    for (; i < n; ++i) {
        const char16_t c = s[i];
        if (c == u'<' || c == u'>' || (c == u'=' && (s[i - 1] | 0x20) == u'f')) {
            event(i);
        }
    }
    scan.atEnd();
}

}  // namespace

QString verdictText(const LinkScanResult& result) {
    const char16_t* verdict = result.verdict == BacklinkVerdict::Yep      ? u"YEP@"
                              : result.verdict == BacklinkVerdict::Hidden ? u"HIDDEN@"
                                                                          : u"NIL@";
    return QStringView(verdict) + QString::number(result.count);
}

QString ScanBacklink(QStringView pageText, QStringView yourLink, QStringView partnerUrl) {
    return verdictText(scanLinks(pageText, yourLink, partnerUrl, false));
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
