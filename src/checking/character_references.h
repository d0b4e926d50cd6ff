#pragma once

#include <QString>
#include <QStringView>

namespace quorvel {

// An attribute value with its character references decoded ("&amp;",
// "&#1084;", "&#x43C;", "&nbsp;" and the other common names), as a browser
// decodes them; a reference it does not know stays as written.
QString decodeCharacterReferences(QStringView value);

// The reference at `at` (its "&"): how many units it takes, its text
// appended to `out`; 0 when none is there. In an attribute value, a name
// without ";" followed by a letter, digit or "=" is text ("?a=1&copy=2").
qsizetype characterReferenceAt(QStringView text, qsizetype at, bool attribute, QString* out);

}  // namespace quorvel
