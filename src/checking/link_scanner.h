#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <vector>

#include "checking/page_facts.h"
#include "checking/page_signals.h"

namespace quorvel {

enum class BacklinkVerdict { Nil, Yep, Hidden };

// Which rule hid a link that is there: the anchor's own nofollow comes first,
// then a noindex region around it.
enum class HiddenBy { Nothing, Nofollow, Noindex };

struct LinkScanResult {
    BacklinkVerdict verdict = BacklinkVerdict::Nil;
    HiddenBy hiddenBy = HiddenBy::Nothing;  // for Hidden
    // Robots meta tags, and the rel values of the anchor that decided.
    PageSignals pageSignals = 0;
    int count = 0;      // distinct outgoing links counted
    QStringList links;  // list mode only: those links, sorted
    PageFacts facts;    // scanWithFacts only
};

// One walk over a page for both questions: is your link there (and may
// search engines follow it), and which external links leave the page. With
// `listMode` the links themselves are collected and sorted; the verdict is
// then not computed.
LinkScanResult scanLinks(QStringView pageText, QStringView yourLink, QStringView partnerUrl,
                         bool listMode);

// The verdict scan, and in the same walk what the page says beside the
// verdict: the anchor of the link that decided, a near miss, the canonical
// link and every external link. `pageAddress` is the page's final address.
LinkScanResult scanWithFacts(QStringView pageText, QStringView yourLink, QStringView partnerUrl,
                             QStringView pageAddress);

// "YEP@12", "HIDDEN@3" or "NIL@0": the verdict and the count of outgoing links.
QString ScanBacklink(QStringView pageText, QStringView yourLink, QStringView partnerUrl);
// The same text for a scan already made.
QString verdictText(const LinkScanResult& result);

// The counted outgoing links, sorted, each followed by CR LF.
QString CollectOutgoingLinks(QStringView pageText, QStringView partnerUrl);

// The anchor values of a page, in order, as the scanner reads them (lower
// case), each with whether it is hidden from search engines: what it takes
// to give the verdict for any number of links on a page scanned once.
class PageAnchors {
  public:
    void add(QStringView value, bool hidden);
    // The verdict the scanner would give for `yourLink`: the first anchor
    // that holds its key decides.
    BacklinkVerdict verdictFor(QStringView yourLink) const;
    // Gives back the room kept for more anchors, once all are in.
    void squeeze();

  private:
    // Eight bytes an anchor besides its text: a page's text is far below
    // 2^31 characters (pages stop at 16 MiB).
    struct Entry {
        uint32_t offset;
        uint32_t length : 31;
        uint32_t hidden : 1;
    };
    QString text_;
    std::vector<Entry> entries_;
};

// Every anchor of a page, in one pass (the same pass as the verdict's), kept
// in as little room as they need.
PageAnchors collectAnchors(QStringView pageText);

// IsAnchorTag with the name "a", in one pass without copying.
bool isTagNamedA(QStringView tagText);

}  // namespace quorvel
