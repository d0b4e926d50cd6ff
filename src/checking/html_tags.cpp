#include "checking/html_tags.h"

#include <string_view>

#include "checking/char_search.h"
#include "checking/character_references.h"

namespace quorvel {

namespace {

bool isAsciiLetter(char16_t c) {
    return (c | 0x20) >= u'a' && (c | 0x20) <= u'z';
}

bool isHtmlSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c | 0x20) : c;
}

bool sameAsciiName(QStringView text, QStringView lowerName) {
    if (text.size() != lowerName.size()) {
        return false;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (asciiLower(text[i].unicode()) != lowerName[i].unicode()) {
            return false;
        }
    }
    return true;
}

// Elements whose text holds no tags until their own end tag.
constexpr QStringView kRawTextElements[] = {u"script", u"style",   u"textarea", u"title",    u"xmp",
                                            u"iframe", u"noembed", u"noframes", u"plaintext"};

// The position of `needle` in `page` from `from`, or -1.
qsizetype find(QStringView page, qsizetype from, std::u16string_view needle) {
    const std::u16string_view text(page.utf16(), size_t(page.size()));
    const size_t at = text.find(needle, size_t(from));
    return at == std::u16string_view::npos ? -1 : qsizetype(at);
}

// Calls `take(name, value)` for each attribute of a tag's attribute text, in
// order, until it returns true. Values are raw (character references kept).
template <typename Take>
void forEachAttribute(QStringView a, Take take) {
    const qsizetype n = a.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (isHtmlSpace(a[i].unicode()) || a[i] == u'/')) {
            ++i;
        }
        if (i >= n) {
            return;
        }
        // A name may begin with "=".
        const qsizetype nameStart = i++;
        while (i < n && !isHtmlSpace(a[i].unicode()) && a[i] != u'/' && a[i] != u'=') {
            ++i;
        }
        const QStringView name = a.sliced(nameStart, i - nameStart);
        while (i < n && isHtmlSpace(a[i].unicode())) {
            ++i;
        }
        QStringView value;
        if (i < n && a[i] == u'=') {
            ++i;
            while (i < n && isHtmlSpace(a[i].unicode())) {
                ++i;
            }
            if (i < n && (a[i] == u'"' || a[i] == u'\'')) {
                const QChar quote = a[i];
                const qsizetype close = a.indexOf(quote, i + 1);
                const qsizetype end = close < 0 ? n : close;
                value = a.sliced(i + 1, end - i - 1);
                i = end + 1;
            } else {
                const qsizetype start = i;
                while (i < n && !isHtmlSpace(a[i].unicode())) {
                    ++i;
                }
                value = a.sliced(start, i - start);
            }
        }
        if (take(name, value)) {
            return;
        }
    }
}

}  // namespace

bool HtmlTag::is(QStringView lowerName) const {
    return sameAsciiName(name, lowerName);
}

qsizetype HtmlTagReader::nextOpening(qsizetype from) {
    if (opening_ < from) {
        const char16_t* s = page_.utf16();
        opening_ = findEither(s + from, s + page_.size(), u'<', u'<') - s;
    }
    return opening_;
}

qsizetype htmlTagEnd(QStringView page, qsizetype nameStart, qsizetype* nameEnd) {
    const char16_t* const s = page.utf16();
    const qsizetype n = page.size();
    qsizetype i = nameStart;
    while (i < n && !isHtmlSpace(s[i]) && s[i] != u'/' && s[i] != u'>') {
        ++i;
    }
    *nameEnd = i;
    // The tokenizer's attribute states: a quote opens a value only where a
    // value begins, and outside quoted values the first ">" ends the tag.
    enum class State { BeforeName, Name, AfterName, BeforeValue, Unquoted };
    State state = State::BeforeName;
    for (; i < n; ++i) {
        const char16_t c = s[i];
        const bool space = isHtmlSpace(c);
        if (c == u'>') {
            return i;  // a missing value too
        }
        switch (state) {
            case State::BeforeName:
                if (!space && c != u'/') {
                    state = State::Name;  // a name may begin with "="
                }
                break;
            case State::Name:
            case State::AfterName:  // anything else after a name begins the next one
                state = space       ? State::AfterName
                        : c == u'/' ? State::BeforeName
                        : c == u'=' ? State::BeforeValue
                                    : State::Name;
                break;
            case State::BeforeValue:
                if (c == u'"' || c == u'\'') {
                    const char16_t* close = findEither(s + i + 1, s + n, c, c);
                    if (close == s + n) {
                        return -1;
                    }
                    i = close - s;
                    state = State::BeforeName;
                } else if (!space) {
                    state = State::Unquoted;
                }
                break;
            case State::Unquoted:
                if (space) {
                    state = State::BeforeName;
                }
                break;
        }
    }
    return -1;
}

qsizetype rawTextEnd(QStringView page, qsizetype from, QStringView element) {
    if (sameAsciiName(element, u"plaintext")) {
        return -1;
    }
    // "</name" followed by white space, "/" or ">", in any letter case.
    for (qsizetype at = from;; at += 2) {
        at = find(page, at, u"</");
        if (at < 0) {
            return -1;
        }
        const qsizetype after = at + 2 + element.size();
        if (after < page.size() && sameAsciiName(page.sliced(at + 2, element.size()), element) &&
            (isHtmlSpace(page[after].unicode()) || page[after] == u'/' || page[after] == u'>')) {
            return at;
        }
    }
}

QStringView rawTextElement(QStringView name) {
    // Most tags are none of them: a look at the first letter settles it.
    const char16_t first = name.isEmpty() ? u'\0' : asciiLower(name[0].unicode());
    if (first != u's' && first != u't' && first != u'x' && first != u'i' && first != u'n' &&
        first != u'p') {
        return {};
    }
    for (QStringView element : kRawTextElements) {
        if (sameAsciiName(name, element)) {
            return element;
        }
    }
    return {};
}

bool HtmlTagReader::next(qsizetype limit, HtmlTag* tag) {
    const char16_t* const s = page_.utf16();
    const qsizetype n = page_.size();
    for (;;) {
        if (!rawTextElement_.isEmpty()) {
            if (pos_ >= limit) {
                return false;
            }
            const qsizetype end = rawTextEnd(page_, pos_, rawTextElement_);
            rawTextElement_ = {};
            pos_ = end < 0 ? n : end;
        }
        const qsizetype lt = nextOpening(pos_);
        if (lt >= n || lt >= limit) {
            return false;
        }
        const char16_t c = lt + 1 < n ? s[lt + 1] : u'\0';
        if (c == u'!' && page_.sliced(lt).startsWith(u"<!--")) {
            // "<!-->" and "<!--->" close at once.
            qsizetype end = lt + 4;
            if (end < n && s[end] == u'>') {
                pos_ = end + 1;
            } else if (end + 1 < n && s[end] == u'-' && s[end + 1] == u'>') {
                pos_ = end + 2;
            } else {
                end = find(page_, lt + 4, u"-->");
                pos_ = end < 0 ? n : end + 3;
            }
            continue;
        }
        const bool endTag = c == u'/';
        const qsizetype nameStart = lt + (endTag ? 2 : 1);
        const bool named = nameStart < n && isAsciiLetter(s[nameStart]);
        if (c == u'!' || c == u'?' || (endTag && !named)) {
            // A bogus comment ("<!DOCTYPE ...>", "<?xml ...?>", "</ x>") up
            // to the next ">"; "</>" is nothing at all.
            const qsizetype gt = page_.indexOf(u'>', lt + 1);
            pos_ = gt < 0 ? n : gt + 1;
            continue;
        }
        if (!named) {
            pos_ = lt + 1;  // a "<" of the text
            continue;
        }
        qsizetype nameEnd = 0;
        const qsizetype gt = htmlTagEnd(page_, nameStart, &nameEnd);
        if (gt < 0) {
            pos_ = n;
            return false;
        }
        pos_ = gt + 1;
        tag->at = lt;
        tag->name = page_.sliced(nameStart, nameEnd - nameStart);
        tag->attributes = page_.sliced(nameEnd, gt - nameEnd);
        tag->end = endTag;
        if (!endTag) {
            rawTextElement_ = rawTextElement(tag->name);
        }
        return true;
    }
}

std::optional<QString> htmlAttribute(QStringView attributes, QStringView lowerName) {
    std::optional<QString> found;
    forEachAttribute(attributes, [&](QStringView name, QStringView value) {
        if (!sameAsciiName(name, lowerName)) {
            return false;
        }
        found = decodeCharacterReferences(value);
        return true;
    });
    return found;
}

bool hasToken(QStringView value, QStringView lowerToken) {
    qsizetype i = 0;
    while (i < value.size()) {
        while (i < value.size() && isHtmlSpace(value[i].unicode())) {
            ++i;
        }
        const qsizetype start = i;
        while (i < value.size() && !isHtmlSpace(value[i].unicode())) {
            ++i;
        }
        if (i > start && sameAsciiName(value.sliced(start, i - start), lowerToken)) {
            return true;
        }
    }
    return false;
}

}  // namespace quorvel
