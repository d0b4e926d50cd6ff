#include "checking/html_text.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "checking/character_references.h"
#include "checking/html_tags.h"

namespace quorvel {

namespace {

// Text with its white space collapsed, trimmed, up to a number of characters.
class CollapsedText {
  public:
    void append(QChar c) {
        if (c.isSpace()) {
            space_ = !text_.isEmpty();
            return;
        }
        if (space_) {
            text_ += u' ';
            space_ = false;
        }
        text_ += c;
        // A pair counts once, at its second half.
        if (!c.isHighSurrogate()) {
            ++characters_;
        }
    }
    void append(QStringView s) {
        for (const QChar c : s) {
            append(c);
        }
    }
    bool full() const { return characters_ >= kAnchorTextLimit; }
    const QString& text() const { return text_; }

  private:
    QString text_;
    int characters_ = 0;
    bool space_ = false;
};

bool startsWithAt(QStringView text, qsizetype at, QStringView word) {
    return text.size() - at >= word.size() && text.sliced(at, word.size()) == word;
}

}  // namespace

QString anchorTextAfter(QStringView rest) {
    CollapsedText text;
    std::optional<QString> imageAlt;
    const qsizetype n = rest.size();
    QString decoded;
    for (qsizetype i = 0; i < n && !text.full();) {
        const QChar c = rest[i];
        if (c == u'&') {
            decoded.clear();
            if (const qsizetype taken = characterReferenceAt(rest, i, false, &decoded)) {
                text.append(QStringView(decoded));
                i += taken;
                continue;
            }
        }
        if (c != u'<') {
            text.append(c);
            ++i;
            continue;
        }
        if (startsWithAt(rest, i, u"<!--")) {
            const qsizetype close = rest.indexOf(u"-->", i + 4);
            i = close < 0 ? n : close + 3;
            continue;
        }
        const bool endTag = i + 1 < n && rest[i + 1] == u'/';
        const qsizetype nameStart = i + (endTag ? 2 : 1);
        const bool named = nameStart < n && (rest[nameStart].unicode() | 0x20) >= u'a' &&
                           (rest[nameStart].unicode() | 0x20) <= u'z' &&
                           rest[nameStart].unicode() < 0x80;
        if (!named) {
            text.append(c);  // a "<" of the text
            ++i;
            continue;
        }
        qsizetype nameEnd = 0;
        const qsizetype gt = htmlTagEnd(rest, nameStart, &nameEnd);
        const QStringView name = rest.sliced(nameStart, nameEnd - nameStart);
        if (gt < 0 || (name.size() == 1 && (name[0] == u'a' || name[0] == u'A'))) {
            break;  // the link's end, or the next link
        }
        const QStringView attributes = rest.sliced(nameEnd, gt - nameEnd);
        i = gt + 1;
        if (endTag) {
            continue;
        }
        if (!imageAlt && name.compare(u"img", Qt::CaseInsensitive) == 0) {
            imageAlt = htmlAttribute(attributes, u"alt").value_or(QString());
        } else if (const QStringView raw = rawTextElement(name); !raw.isEmpty()) {
            const qsizetype end = rawTextEnd(rest, i, raw);
            i = end < 0 ? n : end;
        }
    }
    if (!text.text().isEmpty() || !imageAlt) {
        return text.text();
    }
    CollapsedText image;
    image.append(u"[img] ");
    image.append(QStringView(*imageAlt));
    return image.text();
}

}  // namespace quorvel
