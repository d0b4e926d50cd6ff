#pragma once

#include <QString>
#include <QStringView>

namespace quorvel {

// At most this many characters of a link's text are kept.
inline constexpr int kAnchorTextLimit = 200;

// The text of a link whose start tag ends just before `rest` (the rest of the
// page): up to its end tag or the next link, tags left out, character
// references decoded, white space collapsed to single spaces and trimmed, cut
// at 200 characters. A link that holds no text but an image gives "[img] "
// and the image's alt text ("[img]" without one).
QString anchorTextAfter(QStringView rest);

}  // namespace quorvel
