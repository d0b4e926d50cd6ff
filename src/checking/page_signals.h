#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QStringView>

#include <cstdint>

namespace quorvel {

// What a page and its response say to search engines beyond the rules of the
// verdict (which follows the anchor's nofollow and noindex regions only):
// robots meta tags, X-Robots-Tag headers, the rel values of the anchor that
// decided the verdict, a bot wall's mark; then what else the check learnt of
// the link: another link to the user's site where the rule found none, a
// canonical page elsewhere, robots.txt forbidding the page, and the link seen
// only in the page a browser renders. Reported in this order.
enum PageSignal : uint16_t {
    MetaNoindex = 1 << 0,
    MetaNofollow = 1 << 1,
    HeaderNoindex = 1 << 2,
    HeaderNofollow = 1 << 3,
    RelSponsored = 1 << 4,
    RelUgc = 1 << 5,
    ChallengeMarker = 1 << 6,     // the page carries a mark of a bot wall's challenge
    OtherLinkToYou = 1 << 7,      // no verdict, but a link to the user's site is there
    CanonicalElsewhere = 1 << 8,  // the page names another page as canonical
    RobotsDisallow = 1 << 9,      // robots.txt forbids the page to a search engine
    RenderedFound = 1 << 10,      // no verdict, but the rendered page carries the link
    RenderedHidden = 1 << 11,     // ... carries it nofollow or inside noindex
};
using PageSignals = uint16_t;

// "meta-noindex", "meta-nofollow", "header-noindex", "header-nofollow",
// "rel-sponsored", "rel-ugc", "challenge-marker", "other-link-to-you",
// "canonical-elsewhere", "robots-disallow", "rendered-found",
// "rendered-hidden": the names of the signals set, in that order.
QStringList signalNames(PageSignals mask);

// The signals of a real <meta ...> tag's attributes (what follows "meta"):
// its name is robots, googlebot or yandex (any letter case) and its content
// holds noindex, nofollow or none (both), separated by commas and/or spaces.
PageSignals metaTagSignals(QStringView attributes);
// The signals of the X-Robots-Tag header values of a response. A value may
// begin with a crawler's name and a colon ("googlebot: noindex"); a name
// other than googlebot or yandex makes the value count for nobody.
PageSignals robotsHeaderSignals(const QList<QByteArray>& values);
// RelSponsored and RelUgc for the tokens of an anchor tag's rel attribute.
PageSignals relSignals(QStringView tagText);

// The value of an attribute of a tag's text (any letter case, quoted with
// " or ' or not quoted at all), or a null view when the tag has none.
QStringView attributeValue(QStringView tagText, QStringView lowerName);

}  // namespace quorvel
