#pragma once

#include <QString>
#include <QStringView>

namespace quorvel {

// At most this many characters of a link's text are kept.
inline constexpr int kAnchorTextLimit = 200;

// An attribute value with its character references decoded ("&amp;",
// "&#1084;", "&#x43C;", "&nbsp;" and the other common names), as a browser
// decodes them; a reference it does not know stays as written.
QString decodeCharacterReferences(QStringView value);

// The text of a link whose start tag ends just before `rest` (the rest of the
// page): up to its end tag or the next link, tags left out, character
// references decoded, white space collapsed to single spaces and trimmed, cut
// at 200 characters. A link that holds no text but an image gives "[img] "
// and the image's alt text ("[img]" without one).
QString anchorTextAfter(QStringView rest);

}  // namespace quorvel
