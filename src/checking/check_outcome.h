#pragma once

// What one check of a record comes to, as plain values: no threads, no
// shared state. The check run fills them, the window and the command line
// show them, the history keeps them.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

#include "checking/failure_reason.h"
#include "checking/page_signals.h"

namespace quorvel {

enum class CheckStatus : int32_t {
    None = 0,         // not checked
    Found = 1,        // the link is there and indexable
    Hidden = 2,       // there, but nofollow or inside noindex
    Missing = 3,      // not there, or no link to look for
    FetchFailed = 4,  // the page could not be downloaded
};

// Whether the page of a check with this status loaded: only then is there a
// verdict, and a count of its outgoing links.
constexpr bool pageLoaded(CheckStatus status) {
    return status == CheckStatus::Found || status == CheckStatus::Hidden ||
           status == CheckStatus::Missing;
}

// Why a page that loaded got its verdict, where there is a why.
enum class VerdictReason : uint8_t {
    None,
    Nofollow,  // Hidden: the anchor's own rel=nofollow
    Noindex,   // Hidden: inside a noindex region
    NoLink,    // Missing: the record gives no link to look for
};
// "nofollow", "noindex", "no-link"; empty for None. Kept in the history.
QStringView verdictReasonCode(VerdictReason reason);
// The reason of a code that verdictReasonCode writes; nothing for any other text.
std::optional<VerdictReason> verdictReasonFromCode(QStringView code);

// The verdict of one record: its status, the outgoing links counted on the
// partner page, and whether they are more than the record allows.
struct RecordOutcome {
    CheckStatus status = CheckStatus::Missing;
    int32_t count = 0;
    bool overLimit = false;
};

// One record checked to the end.
struct RecordCheck {
    int index = 0;  // the record's position when it was handed out
    RecordOutcome outcome;
    QString partnerUrl;  // the record's QV_U and QV_6 when it was handed out
    QString link;
    // FetchFailed: why each attempt failed, in order.
    QList<FailureReason> failures;
    // A page that loaded: why its verdict is what it is.
    VerdictReason verdictReason = VerdictReason::None;
    // What the partner page says to search engines beyond the verdict, and
    // what else the check learnt of the link (see PageSignal).
    PageSignals pageSignals = 0;
    // A page that loaded: where it came from, redirects followed.
    QString pageAddress;
    // Found or Hidden: the text of the link that decided ("[img] ALT" for an
    // image link).
    QString anchor;
    // With OtherLinkToYou: the first other link to the user's site.
    QString nearLink;
    // With CanonicalElsewhere: the address the page names as canonical.
    QString canonical;
    // With RobotsDisallow: the search engine robots.txt forbids the page to
    // ("Googlebot", "Yandex", or "*" when the file names neither).
    QString robotsAgent;
    // A page that loaded: its distinct external link targets (-1 otherwise).
    int external = -1;
    // A rendering asked for that gave nothing: why.
    QString renderFailure;
    // Missing: a browser rendered the page (the signals say whether the
    // link was there).
    bool rendered = false;
    // Whether the user's own page (QV_4) links to the partner's site: None
    // when QV_4 is empty, or when a stop came first or cut it off.
    CheckStatus reciprocal = CheckStatus::None;
    // The deadline (QV_D), read where reading a date is safe; null when the
    // record has none or it cannot be read.
    QDate deadline;
    // It ended after a stop, in a run that leaves such records without a
    // result (see CheckRunOptions::finishTakenRecords): its row may show
    // what it got, but it is no check to keep.
    bool afterStop = false;

    // Why, as a code: for FetchFailed each attempt's ("dns", "http 404", two
    // attempts joined by "; "), else the verdict's reason; empty when there
    // is no why.
    QString reasonCode() const;
    // FetchFailed because every attempt met a rate limit that named its
    // wait: the longest wait, in seconds.
    std::optional<int> retryAfter() const;
};

}  // namespace quorvel
