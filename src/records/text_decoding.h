#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace quorvel {

struct DecodedText {
    QString text;
    // Some bytes could not be decoded and were replaced by U+FFFD (or, for
    // UTF-16, the text holds an unpaired surrogate or the byte count is odd).
    bool lossy = false;
};

// How decodeText reads bytes: a byte order mark (FF FE, FE FF, EF BB BF)
// decides; without one, valid UTF-8 that holds at least one multi-byte
// sequence is UTF-8, pure ASCII reads the same in every form, and anything
// else is the 8-bit code page. A writer asks this rule, so that what it
// writes in one form is never read back in another.
enum class TextForm { Utf16LE, Utf16BE, Utf8WithMark, Utf8, Ascii, CodePage };
TextForm detectTextForm(QByteArrayView bytes);

// The same rule for bytes that come in pieces (a file written as it is
// made): add every piece in order, then ask the form of them all.
class TextFormDetector {
  public:
    void add(QByteArrayView piece);
    TextForm form() const;

  private:
    QByteArray head_;   // the first bytes, which may be a byte order mark
    QByteArray carry_;  // a UTF-8 sequence cut at a piece's end
    bool utf8Valid_ = true;
    bool multiByte_ = false;
};

// Decodes the bytes of a record file or a page body in their form (see
// detectTextForm); a byte order mark is dropped.
DecodedText decodeText(QByteArrayView bytes);

// The length of `bytes` without a UTF-8 sequence that is cut off at their
// end (at most 3 bytes), so that text checked in pieces is checked whole.
qsizetype wholeUtf8Prefix(QByteArrayView bytes);

// Strict UTF-8 check (no overlong forms, no surrogates, nothing above
// U+10FFFF). `hasMultiByte` tells whether any non-ASCII sequence was seen.
bool isValidUtf8(QByteArrayView bytes, bool* hasMultiByte = nullptr);

}  // namespace quorvel
