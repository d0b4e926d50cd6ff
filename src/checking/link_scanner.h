#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace quorvel {

enum class BacklinkVerdict { Nil, Yep, Hidden };

struct LinkScanResult {
    BacklinkVerdict verdict = BacklinkVerdict::Nil;
    int count = 0;      // distinct outgoing links counted
    QStringList links;  // list mode only: those links, sorted
};

// One walk over a page for both questions: is your link there (and may
// search engines follow it), and which external links leave the page. With
// `listMode` the links themselves are collected and sorted; the verdict is
// then not computed.
LinkScanResult scanLinks(QStringView pageText, QStringView yourLink, QStringView partnerUrl,
                         bool listMode);

// "YEP@12", "HIDDEN@3" or "NIL@0": the verdict and the count of outgoing links.
QString ScanBacklink(QStringView pageText, QStringView yourLink, QStringView partnerUrl);

// The counted outgoing links, sorted, each followed by CR LF.
QString CollectOutgoingLinks(QStringView pageText, QStringView partnerUrl);

// IsAnchorTag with the name "a", in one pass without copying.
bool isTagNamedA(QStringView tagText);

}  // namespace quorvel
