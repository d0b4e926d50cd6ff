#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

namespace quorvel {

// `href` resolved against the absolute address `base`; `href` itself when
// `base` is not absolute.
QString resolveAddress(QStringView href, QStringView base);

// Whether two absolute addresses name the same page: the fragment, a trailing
// slash, the letter case of scheme and host and a port that is the scheme's
// own do not count.
bool sameAddress(QStringView a, QStringView b);

// The first address that Link headers name with rel "canonical"
// ("<https://example.ru/page>; rel=\"canonical\""), as written; empty when
// none does.
QString canonicalFromLinkHeaders(const QList<QByteArray>& values);

// The canonical address that names another page than the page's own final
// address: the page's link tag first (`fromPage`, resolved already), then
// the Link header's (`fromHeader`, resolved here); empty when neither does.
QString canonicalElsewhere(QStringView fromPage, QStringView fromHeader, QStringView pageAddress);

}  // namespace quorvel
