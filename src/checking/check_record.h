#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <atomic>

#include "checking/check_outcome.h"
#include "checking/http_client.h"
#include "checking/link_scanner.h"

namespace quorvel {

// The fields of a record that a check reads.
struct RecordFields {
    QString partnerUrl;  // QV_U
    QString link;        // QV_6, the user's link to look for
    QString maximum;     // QV_5, the most outgoing links accepted
    QString ownPage;     // QV_4, the user's page with the partner's link
    QString deadline;    // QV_D, as typed

    static RecordFields of(QStringView recordLine);
};

// The status a scanner's verdict comes to: Found, Hidden, or Missing for no link.
CheckStatus statusOf(BacklinkVerdict verdict);

// The outcome of one scan: its verdict and count, and whether that count is
// more than `maximum` (when that is a number at all).
RecordOutcome outcomeOf(const LinkScanResult& scan, QStringView maximum);

// Checks one record's partner page: downloads it (two attempts, see
// FetchPage), scans it for the user's link and counts its outgoing links.
// The result has no index and no deadline, and its reciprocal is None: those
// are the run's to fill. Its status is None when the download was cut off by
// the abort flag of `settings`, or when `stop` was set by the time a page
// had loaded: nothing is to be written for such a record. `admittedHost`
// names a host the caller has already been let in for (see FetchPage).
RecordCheck checkRecord(const RecordFields& fields, const FetchSettings& settings,
                        const std::atomic<bool>& stop, const QByteArray& admittedHost = {});

}  // namespace quorvel
