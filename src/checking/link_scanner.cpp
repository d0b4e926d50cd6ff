#include "checking/link_scanner.h"

#include <QCollator>
#include <QLocale>
#include <QVarLengthArray>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QUORVEL_SSE2 1
#endif

#include "checking/page_signals.h"
#include "checking/text_helpers.h"

namespace quorvel {

namespace {

// A tag's closing ">" must stand within this many positions after its "<".
constexpr qsizetype kTagWindow = 1188;

// The first of `a` or `b` in [from, to); `to` when neither is there.
const char16_t* findEither(const char16_t* from, const char16_t* to, char16_t a, char16_t b) {
#ifdef QUORVEL_SSE2
    const __m128i va = _mm_set1_epi16(short(a));
    const __m128i vb = _mm_set1_epi16(short(b));
    while (to - from >= 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const unsigned mask = unsigned(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(x, va), _mm_cmpeq_epi16(x, vb))));
        if (mask != 0) {
            return from + (std::countr_zero(mask) >> 1);
        }
        from += 8;
    }
#endif
    while (from < to && *from != a && *from != b) {
        ++from;
    }
    return from;
}

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

// Stable storage for the texts of the link set, so that the set can hold
// views without an allocation per link.
class TextArena {
  public:
    QStringView store(QStringView text) {
        if (chunks_.empty() || left_ < text.size()) {
            const qsizetype size = std::max<qsizetype>(kChunk, text.size());
            chunks_.push_back(std::make_unique_for_overwrite<char16_t[]>(size_t(size)));
            next_ = chunks_.back().get();
            left_ = size;
        }
        std::copy(text.utf16(), text.utf16() + text.size(), next_);
        const QStringView stored(next_, text.size());
        next_ += text.size();
        left_ -= text.size();
        return stored;
    }

  private:
    static constexpr qsizetype kChunk = 32 * 1024;
    std::vector<std::unique_ptr<char16_t[]>> chunks_;
    char16_t* next_ = nullptr;
    qsizetype left_ = 0;
};

// A hash of a text, eight bytes at a time.
size_t hashText(QStringView text) {
    const char16_t* s = text.utf16();
    qsizetype n = text.size();
    uint64_t h = 0x9E3779B97F4A7C15ull ^ uint64_t(n);
    for (; n >= 4; n -= 4, s += 4) {
        uint64_t w;
        std::memcpy(&w, s, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    for (; n > 0; --n, ++s) {
        h = (h ^ *s) * 0x94D049BB133111EBull;
    }
    h ^= h >> 29;
    return size_t(h * 0xBF58476D1CE4E5B9ull);
}

// Distinct links, two links being the same when their case-folded forms are
// equal. The first spelling of each is kept for list mode. An open-addressing
// table of views into an arena: no allocation per link.
class LinkSet {
  public:
    explicit LinkSet(bool keepLinks) : keepLinks_(keepLinks), slots_(64) {}

    // `link` may point into a buffer that is reused after the call.
    void add(QStringView link) {
        bool ascii = true;
        for (const QChar c : link) {
            if (c.unicode() >= 0x80) {
                ascii = false;
                break;
            }
        }
        // Lower-case ASCII is its own case fold.
        const QString folded = ascii ? QString() : link.toString().toCaseFolded();
        const QStringView key = ascii ? link : QStringView(folded);
        const size_t hash = hashText(key);
        Slot* slot = find(key, hash);
        if (slot->used) {
            return;
        }
        const QStringView storedKey = arena_.store(key);
        *slot = Slot{hash, storedKey, true};
        ++size_;
        if (keepLinks_) {
            links_.push_back({ascii ? storedKey : arena_.store(link), storedKey});
        }
        if (size_ * 2 > slots_.size()) {
            grow();
        }
    }

    int size() const { return int(size_); }

    QStringList sorted() const {
        QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
#ifdef Q_OS_WIN
        // Windows collates with the system's own comparison: compared one
        // pair at a time, since Wine's sort keys do not always order as its
        // comparison does.
        std::vector<const Entry*> entries;
        entries.reserve(links_.size());
        for (const Entry& e : links_) {
            entries.push_back(&e);
        }
        std::sort(entries.begin(), entries.end(), [&](const Entry* a, const Entry* b) {
            const int c = collator.compare(a->link, b->link);
            return c != 0 ? c < 0 : a->key < b->key;
        });
        QStringList out;
        out.reserve(qsizetype(entries.size()));
        for (const Entry* e : entries) {
            out += e->link.toString();
        }
        return out;
#else
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
#endif
    }

  private:
    struct Slot {
        size_t hash = 0;
        QStringView key;
        bool used = false;
    };
    struct Entry {
        QStringView link;
        QStringView key;
    };

    // The slot holding `key`, or the free slot where it belongs.
    Slot* find(QStringView key, size_t hash) {
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (!slot.used || (slot.hash == hash && slot.key == key)) {
                return &slot;
            }
        }
    }

    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        for (const Slot& slot : old) {
            if (slot.used) {
                *find(slot.key, slot.hash) = slot;
            }
        }
    }

    bool keepLinks_;
    TextArena arena_;
    std::vector<Slot> slots_;  // a power of two, at most half full
    size_t size_ = 0;
    std::vector<Entry> links_;
};

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
    Scan(QStringView yourLink, QStringView partnerUrl, bool listMode)
        : loweredLink_(listMode ? QString() : ToLowerRuLat(yourLink)),
          yourKey_(withoutSchemeAndWww(loweredLink_)),
          slashedPartner_(partnerUrl.toString()),
          pending_(!listMode),
          links_(listMode) {
        // The site key loses one trailing segment per candidate link.
        // Backslashes become slashes at the first reduction; after that none
        // is left, so every reduction is a view.
        slashedPartner_.replace(u'\\', u'/');
        siteKey_ = slashedPartner_;
    }

    // At a "<": the two noindex tests. Returns whether a meta tag opens.
    bool atOpening(const char16_t* s, qsizetype available) {
        if (available > 1) {
            const char16_t c1 = s[1];
            if ((c1 == u'n' || c1 == u'N') && matchesLowered(s, available, u"<noindex")) {
                noindex_ = true;
            } else if (c1 == u'/' && matchesLowered(s, available, u"</noindex")) {
                noindex_ = false;
            } else if ((c1 == u'm' || c1 == u'M') && matchesLowered(s, available, u"<meta") &&
                       available > 5 &&
                       (s[5] == u' ' || s[5] == u'\t' || s[5] == u'\n' || s[5] == u'\r' ||
                        s[5] == u'/')) {
                return true;
            }
        }
        return false;
    }

    // A meta tag's text, after "<".
    void examineMeta(QStringView tag) { signals_ |= metaTagSignals(tag.sliced(4)); }

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
            signals_ |= relSignals(tag);
            hiddenBy_ = tagIsNofollow() ? HiddenBy::Nofollow
                        : noindex_      ? HiddenBy::Noindex
                                        : HiddenBy::Nothing;
            verdict_ =
                hiddenBy_ != HiddenBy::Nothing ? BacklinkVerdict::Hidden : BacklinkVerdict::Yep;
        }
    }

    LinkScanResult result(bool listMode) const {
        LinkScanResult r;
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
    QString loweredLink_;
    QStringView yourKey_;
    QString slashedPartner_;
    QStringView siteKey_;
    bool siteKeySettled_ = false;  // reducing it once more would change nothing
    BacklinkVerdict verdict_ = BacklinkVerdict::Nil;
    HiddenBy hiddenBy_ = HiddenBy::Nothing;
    PageSignals signals_ = 0;
    bool pending_;
    bool noindex_ = false;
    LinkSet links_;
    QVarLengthArray<char16_t, kTagWindow> lowered_;

  public:
    PageAnchors* anchors_ = nullptr;  // every anchor's value, for a page scanned once
};

}  // namespace

namespace {

void scanPage(Scan& scan, QStringView pageText);

}  // namespace

void PageAnchors::add(QStringView value, bool hidden) {
    entries_.push_back({text_.size(), value.size(), hidden});
    text_.append(value);
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

qint64 PageAnchors::bytes() const {
    return qint64(text_.capacity()) * 2 + qint64(entries_.capacity() * sizeof(Entry));
}

LinkScanResult scanLinks(QStringView pageText, QStringView yourLink, QStringView partnerUrl,
                         bool listMode) {
    Scan scan(yourLink, partnerUrl, listMode);
    scanPage(scan, pageText);
    return scan.result(listMode);
}

PageAnchors collectAnchors(QStringView pageText) {
    PageAnchors anchors;
    Scan scan({}, {}, false);
    scan.anchors_ = &anchors;
    scanPage(scan, pageText);
    return anchors;
}

namespace {

void scanPage(Scan& scan, QStringView pageText) {
    // One pass over the page that stops only at "<", ">" and "=". A "<"
    // opens a candidate tag (and abandons an open one); a ">" within the
    // window closes it; an "=" may end its first "href". A tag without
    // "href=" cannot matter, so only those are examined. Letter case is dealt
    // with where it matters; the page is never copied.
    const char16_t* const s = pageText.utf16();
    const qsizetype n = pageText.size();
    qsizetype open = -1;  // position of the open candidate's "<"
    qsizetype href = -1;  // its first "href=", relative to the tag text
    bool meta = false;    // the open candidate is a meta tag

    auto event = [&](qsizetype pos) {
        const char16_t c = s[pos];
        if (c == u'<') {
            meta = scan.atOpening(s + pos, n - pos);
            open = pos;
            href = -1;
        } else if (open < 0 || pos - open > kTagWindow) {
            open = -1;  // no candidate, or its window has passed
        } else if (c == u'>') {
            const QStringView tag(s + open + 1, pos - open - 1);
            if (href >= 0) {
                scan.examine(tag, href);
            }
            if (meta) {
                scan.examineMeta(tag);
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
