#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace quorvel {

// One tag as a browser reads it.
struct HtmlTag {
    qsizetype at = 0;        // the position of its "<" in the page
    QStringView name;        // as written
    QStringView attributes;  // what follows the name, up to the closing ">"
    bool end = false;        // "</name ...>"

    // Whether the name is `lowerName` (ASCII letters in any case).
    bool is(QStringView lowerName) const;
};

// Reads a page's tags as a browser's HTML tokenizer does, as far as telling a
// real tag from text goes: a comment, the text of script, style, title and
// textarea, and a quoted attribute value hold no tags, and a tag ends at the
// first ">" outside its quotes however long it is. A tag left open at the end
// of the page is no tag. Forward only: every character is read once.
class HtmlTagReader {
  public:
    explicit HtmlTagReader(QStringView page) : page_(page) {}

    // The next tag that begins before `limit`; false (and nothing read) when
    // none does.
    bool next(qsizetype limit, HtmlTag* tag);

  private:
    // From `from` in text: the position of the next "<", or the page's size.
    qsizetype nextOpening(qsizetype from);

    QStringView page_;
    qsizetype pos_ = 0;           // reading text from here
    qsizetype opening_ = -1;      // the next "<" from pos_, once looked for
    QStringView rawTextElement_;  // the text that follows this start tag holds no tags
};

// From the first character of a tag's name in `page`: the ">" that closes
// the tag (outside quoted values), or -1 when the page ends first. `nameEnd`
// gets the end of the name.
qsizetype htmlTagEnd(QStringView page, qsizetype nameStart, qsizetype* nameEnd);
// When the text after a start tag of this name holds no tags until its end
// tag (script, style, title, textarea, ...): that name in lower case; an
// empty text otherwise.
QStringView rawTextElement(QStringView name);
// From `from`: the "<" of the end tag "</element" (`element` in lower case),
// or -1 when none follows.
qsizetype rawTextEnd(QStringView page, qsizetype from, QStringView element);

// The value of an attribute in a tag's attribute text, read as a browser reads
// it (the first of that name counts; letter case of the name ignored; quoted
// with " or ', or unquoted), with character references decoded; nothing when
// the tag has none.
std::optional<QString> htmlAttribute(QStringView attributes, QStringView lowerName);

// Whether an attribute's value holds `lowerToken` as one of its tokens
// separated by white space, letter case ignored ("rel").
bool hasToken(QStringView value, QStringView lowerToken);

}  // namespace quorvel
