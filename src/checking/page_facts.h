#pragma once

#include <QString>
#include <QStringView>

#include <optional>

#include "checking/html_tags.h"
#include "checking/link_set.h"

namespace quorvel {

// What a page says about the user's link beyond the verdict.
struct PageFacts {
    // The text of the link that decided a Found or Hidden verdict ("[img] ALT"
    // for an image link).
    QString anchor;
    // With no verdict: the first link to the user's site (its host, "www."
    // ignored) that the rule missed, as the page writes it.
    QString nearLink;
    // The page's first canonical link tag, resolved against the page's
    // address, when it stands in the head or before the link that decided.
    QString canonical;
    // Distinct http and https link targets on hosts other than the page's
    // site and its subdomains.
    int external = 0;
};

// A host in one normal form: lower case, no trailing dot, IDN as punycode.
QString normalHost(QStringView host);

// An absolute http or https link target ("//host/path" takes the page's
// scheme): the host in normal form, and the target as one key, lower-cased
// in scheme and host and without its fragment.
struct LinkTarget {
    QString host;
    QString key;
};
std::optional<LinkTarget> linkTargetOf(QStringView href, QStringView pageScheme);

// The host of an address as the user writes it (with or without a scheme),
// in normal form and without a leading "www.".
QString siteOf(QStringView address);

// Gathers the facts from the page's real tags, in the order of the page.
class PageFactsCollector {
  public:
    PageFactsCollector(QStringView yourLink, QStringView pageAddress);

    void take(const HtmlTag& tag);
    // `decidedAt`: the position of the link that decided, or -1.
    PageFacts finish(qsizetype decidedAt, QString anchor);

  private:
    QString userSite_;    // empty: no near miss to look for
    QString pageSite_;    // the page's host without "www."
    QString pageScheme_;  // for scheme-relative links
    QString pageAddress_;
    LinkSet targets_{false, LinkSet::Compare::Exact};
    QString nearLink_;
    std::optional<QString> base_;
    std::optional<QString> canonical_;
    qsizetype canonicalAt_ = -1;
    bool canonicalInHead_ = false;
    bool headEnded_ = false;
};

}  // namespace quorvel
