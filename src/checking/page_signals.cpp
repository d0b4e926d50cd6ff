#include "checking/page_signals.h"

#include "checking/html_tags.h"
#include "checking/text_helpers.h"

namespace quorvel {

namespace {

bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

// Whether `text` at `at` is `lowerWord` in any letter case.
bool wordAt(QStringView text, qsizetype at, QStringView lowerWord) {
    if (at + lowerWord.size() > text.size()) {
        return false;
    }
    for (qsizetype i = 0; i < lowerWord.size(); ++i) {
        if (lowerRuLatChar(text[at + i].unicode()) != lowerWord[i].unicode()) {
            return false;
        }
    }
    return true;
}

// Calls `take` with each token of a list separated by commas and/or spaces.
template <typename Take>
void forEachToken(QStringView list, Take take) {
    qsizetype i = 0;
    while (i < list.size()) {
        while (i < list.size() && (isSpace(list[i].unicode()) || list[i] == u',')) {
            ++i;
        }
        const qsizetype start = i;
        while (i < list.size() && !isSpace(list[i].unicode()) && list[i] != u',') {
            ++i;
        }
        if (i > start) {
            take(list.sliced(start, i - start));
        }
    }
}

bool sameWord(QStringView token, QStringView lowerWord) {
    return token.size() == lowerWord.size() && wordAt(token, 0, lowerWord);
}

// noindex and nofollow (none is both) of a robots directive list.
void robotsTokens(QStringView list, bool* noindex, bool* nofollow) {
    forEachToken(list, [&](QStringView token) {
        const bool none = sameWord(token, u"none");
        *noindex = *noindex || none || sameWord(token, u"noindex");
        *nofollow = *nofollow || none || sameWord(token, u"nofollow");
    });
}

bool isOurCrawler(QStringView name) {
    return sameWord(name, u"robots") || sameWord(name, u"googlebot") || sameWord(name, u"yandex");
}

}  // namespace

QStringList signalNames(PageSignals mask) {
    static const char16_t* const kNames[] = {
        u"meta-noindex",        u"meta-nofollow",   u"header-noindex",   u"header-nofollow",
        u"rel-sponsored",       u"rel-ugc",         u"challenge-marker", u"other-link-to-you",
        u"canonical-elsewhere", u"robots-disallow", u"rendered-found",   u"rendered-hidden"};
    QStringList names;
    for (size_t bit = 0; bit < std::size(kNames); ++bit) {
        if (mask & (1u << bit)) {
            names += QString::fromUtf16(kNames[bit]);
        }
    }
    return names;
}

QStringView attributeValue(QStringView tag, QStringView lowerName) {
    for (qsizetype i = 0; i + lowerName.size() <= tag.size(); ++i) {
        // The name stands as a word of its own: after a space or a quote
        // (or at the start), and before "=" (spaces allowed around it).
        const bool starts = i == 0 || isSpace(tag[i - 1].unicode()) || tag[i - 1] == u'"' ||
                            tag[i - 1] == u'\'' || tag[i - 1] == u'/';
        if (!starts || !wordAt(tag, i, lowerName)) {
            continue;
        }
        qsizetype j = i + lowerName.size();
        while (j < tag.size() && isSpace(tag[j].unicode())) {
            ++j;
        }
        if (j >= tag.size() || tag[j] != u'=') {
            continue;
        }
        ++j;
        while (j < tag.size() && isSpace(tag[j].unicode())) {
            ++j;
        }
        if (j < tag.size() && (tag[j] == u'"' || tag[j] == u'\'')) {
            const QChar quote = tag[j];
            const qsizetype end = tag.indexOf(quote, j + 1);
            return tag.sliced(j + 1, (end < 0 ? tag.size() : end) - j - 1);
        }
        qsizetype end = j;
        while (end < tag.size() && !isSpace(tag[end].unicode())) {
            ++end;
        }
        return tag.sliced(j, end - j);
    }
    return QStringView();
}

PageSignals metaTagSignals(QStringView attributes) {
    const std::optional<QString> name = htmlAttribute(attributes, u"name");
    if (!name || !isOurCrawler(QStringView(*name).trimmed())) {
        return 0;
    }
    bool noindex = false;
    bool nofollow = false;
    robotsTokens(htmlAttribute(attributes, u"content").value_or(QString()), &noindex, &nofollow);
    return PageSignals((noindex ? MetaNoindex : 0) | (nofollow ? MetaNofollow : 0));
}

PageSignals robotsHeaderSignals(const QList<QByteArray>& values) {
    bool noindex = false;
    bool nofollow = false;
    for (const QByteArray& raw : values) {
        const QString value = QString::fromLatin1(raw);
        QStringView rest = value;
        // "googlebot: noindex": a crawler's name, unless the colon belongs
        // to a directive of its own ("unavailable_after: 25 Jun 2010").
        const qsizetype colon = rest.indexOf(u':');
        if (colon > 0) {
            const QStringView name = rest.first(colon).trimmed();
            bool oneWord = !name.isEmpty();
            for (const QChar c : name) {
                oneWord = oneWord && !isSpace(c.unicode()) && c != u',';
            }
            const bool directive =
                sameWord(name, u"unavailable_after") || sameWord(name, u"max-snippet") ||
                sameWord(name, u"max-image-preview") || sameWord(name, u"max-video-preview");
            if (oneWord && !directive) {
                if (!sameWord(name, u"googlebot") && !sameWord(name, u"yandex")) {
                    continue;  // for another crawler
                }
                rest = rest.sliced(colon + 1);
            }
        }
        robotsTokens(rest, &noindex, &nofollow);
    }
    return PageSignals((noindex ? HeaderNoindex : 0) | (nofollow ? HeaderNofollow : 0));
}

PageSignals relSignals(QStringView tagText) {
    PageSignals found = 0;
    forEachToken(attributeValue(tagText, u"rel"), [&](QStringView token) {
        if (sameWord(token, u"sponsored")) {
            found |= RelSponsored;
        } else if (sameWord(token, u"ugc")) {
            found |= RelUgc;
        }
    });
    return found;
}

}  // namespace quorvel
