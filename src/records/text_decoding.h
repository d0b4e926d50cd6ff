#pragma once

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

// Decodes the bytes of a record file or a page body in their form (see
// detectTextForm); a byte order mark is dropped.
DecodedText decodeText(QByteArrayView bytes);

// Strict UTF-8 check (no overlong forms, no surrogates, nothing above
// U+10FFFF). `hasMultiByte` tells whether any non-ASCII sequence was seen.
bool isValidUtf8(QByteArrayView bytes, bool* hasMultiByte = nullptr);

}  // namespace quorvel
