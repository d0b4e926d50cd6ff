#pragma once

#include <QString>
#include <QStringView>

#include <string_view>

namespace quorvel {

// Lower-cases exactly 59 letters: Latin A-Z, Russian А-Я and Ё. Every other
// character passes unchanged; the length stays the same.
QString ToLowerRuLat(QStringView text);
// The same into a caller's buffer of text.size() units, without allocating.
void lowerRuLatInto(QStringView text, char16_t* out);
// The same for one UTF-16 unit.
inline char16_t lowerRuLatChar(char16_t c) {
    if (c < 0x80) {
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 0x20) : c;
    }
    if (c >= 0x0410 && c <= 0x042F) {
        return char16_t(c + 0x20);
    }
    return c == 0x0401 ? char16_t(0x0451) : c;
}

// The key by which links into the partner's own site are recognised: "\" read
// as "/", then "http://", "https://" and "www." taken off the front (each once,
// case-sensitively, in that order), then the last "/" and what follows cut off.
// Applied to its own result it takes off one more segment.
QString SiteKey(QStringView url);
// The key of a text that holds no backslash, as a view into that text.
QStringView siteKeyOf(QStringView url);
// "http://", then "https://", then "www." taken off the front, each at most
// once, case-sensitively: the start of both SiteKey and the scanner's key of
// your link.
QStringView withoutSchemeAndWww(QStringView text);

// Whether the text between "<" and ">" is a tag of that name: the name must
// stand as a word between spaces (the ends count as spaces), outside
// double-quoted parts, slashes ignored, letter case by ToLowerRuLat.
bool IsAnchorTag(QStringView tagText, QStringView name);

// Text containment as the link checker uses it: an empty text is contained in
// nothing. Exact, code unit by code unit. The texts are short (a link, a tag),
// where a plain search beats one with a costly set-up.
inline bool containsText(QStringView haystack, QStringView needle) {
    if (needle.isEmpty()) {
        return false;
    }
    const std::u16string_view h(haystack.utf16(), size_t(haystack.size()));
    return h.find(std::u16string_view(needle.utf16(), size_t(needle.size()))) !=
           std::u16string_view::npos;
}

}  // namespace quorvel
