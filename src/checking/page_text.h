#pragma once

#include <QByteArrayView>
#include <QString>

namespace quorvel {

// Turns a response body into the page text the scanner reads: decoded like a
// record file (byte order marks; UTF-8 without a mark when it is valid UTF-8
// with a multi-byte sequence; otherwise Windows-1251; invalid UTF-8 after a
// mark becomes U+FFFD), cut at the first NUL, every line ended by CR LF.
// Besides the body, it holds the decoded text only: the line ends are put
// right in place.
QString pageTextFromBody(QByteArrayView body);

// The line end normalisation alone, in place: CR LF, lone CR and lone LF
// each become CR LF, a last line without an end gets one, a NUL ends the
// text.
void normalizeLineEnds(QString& text);

}  // namespace quorvel
