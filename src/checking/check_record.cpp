#include "checking/check_record.h"

#include "checking/canonical.h"
#include "checking/page_fetch.h"
#include "records/int_text.h"
#include "records/record_line.h"

namespace quorvel {

CheckStatus statusOf(BacklinkVerdict verdict) {
    switch (verdict) {
        case BacklinkVerdict::Yep:
            return CheckStatus::Found;
        case BacklinkVerdict::Hidden:
            return CheckStatus::Hidden;
        case BacklinkVerdict::Nil:
            break;
    }
    return CheckStatus::Missing;
}

RecordFields RecordFields::of(QStringView recordLine) {
    return {ExtractField(recordLine, QChar(u'U')), ExtractField(recordLine, QChar(u'6')),
            ExtractField(recordLine, QChar(u'5')), ExtractField(recordLine, QChar(u'4')),
            ExtractField(recordLine, QChar(u'D'))};
}

RecordOutcome outcomeOf(const LinkScanResult& scan, QStringView maximum) {
    const std::optional<int32_t> max = parseInt32Text(maximum);
    return {statusOf(scan.verdict), scan.count, max && *max < scan.count};
}

RecordCheck checkRecord(const RecordFields& fields, const FetchSettings& settings,
                        const std::atomic<bool>& stop, const QByteArray& admittedHost) {
    RecordCheck check;
    check.partnerUrl = fields.partnerUrl;
    check.link = fields.link;
    const FetchResult page = FetchPage(fields.partnerUrl, settings, admittedHost);
    if (!page.success) {
        if (settings.abort && settings.abort->isSet()) {
            check.outcome.status = CheckStatus::None;  // cut off: like a record never taken
            return check;
        }
        check.outcome = {CheckStatus::FetchFailed, 0, false};
        for (const FetchAttempt& attempt : page.attempts) {
            check.failures += attempt.reason;
        }
        return check;
    }
    if (stop.load(std::memory_order_relaxed)) {
        check.outcome.status = CheckStatus::None;  // a page that loaded after a stop
        return check;
    }
    // One walk gives the verdict, the rule that hid a link, what the page
    // says to search engines and the facts beside the verdict.
    const LinkScanResult scan =
        scanWithFacts(page.pageText, fields.link, page.firstAddress, page.finalAddress);
    if (fields.link.isEmpty()) {
        // Nothing to look for: no verdict, and no count.
        check.outcome = {CheckStatus::Missing, 0, false};
        check.verdictReason = VerdictReason::NoLink;
    } else {
        check.outcome = outcomeOf(scan, fields.maximum);
        check.pageSignals = scan.pageSignals;
        if (check.outcome.status == CheckStatus::Hidden) {
            check.verdictReason = scan.hiddenBy == HiddenBy::Nofollow ? VerdictReason::Nofollow
                                                                      : VerdictReason::Noindex;
        }
    }
    check.pageSignals |=
        robotsHeaderSignals(page.robotsTags) | (page.challengeMarker ? ChallengeMarker : 0);
    check.pageAddress = page.finalAddress;
    check.external = scan.facts.external;
    check.anchor = scan.facts.anchor;
    if (!scan.facts.nearLink.isEmpty()) {
        check.nearLink = scan.facts.nearLink;
        check.pageSignals |= OtherLinkToYou;
    }
    check.canonical = canonicalElsewhere(scan.facts.canonical, canonicalFromLinkHeaders(page.links),
                                         page.finalAddress);
    if (!check.canonical.isEmpty()) {
        check.pageSignals |= CanonicalElsewhere;
    }
    return check;
}

}  // namespace quorvel
