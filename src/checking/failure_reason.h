#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace quorvel {

// Why a request or an attempt failed, by a category that stays the same
// whatever the library's wording, plus the status or the certificate problem.
// The short codes below are what the command line prints and the history
// keeps; they never change, so that histories written before stay readable.
struct FailureReason {
    enum class Kind {
        None,
        Dns,        // the host name cannot be resolved, or the address names no host
        Connect,    // no connection, or it broke off before a whole answer
        Timeout,    // a time limit ran out
        Tls,        // the TLS handshake or the server's certificate failed
        Http,       // a final status outside 200 to 299
        TooLarge,   // the body or the header is over its limit
        Redirects,  // a 15th redirect
        Scheme,     // neither http nor https, or a step down from https to http
        Aborted,    // cut off on purpose (a stop, the window closing)
        Challenge,  // a bot wall answered instead of the site
        Encoding,   // the body's Content-Encoding could not be undone
        NoHost,     // the address names no host: nothing to look up or ask
        // A new kind goes last and becomes kLastKind; it needs a code here
        // and words in the history's table.
    };
    static constexpr Kind kLastKind = Kind::NoHost;

    FailureReason() = default;
    explicit FailureReason(Kind k, int finalStatus = 0) : kind(k), status(finalStatus) {}

    Kind kind = Kind::None;
    int status = 0;       // Http and Challenge: the final status
    QString tlsProblem;   // Tls: what is wrong with the certificate, when that is the cause
    int retryAfter = -1;  // Http: the wait in seconds that a Retry-After header asked for

    // The short code: "dns", "connect", "timeout", "tls" (or "tls " and the
    // certificate problem, as in "tls certificate has expired"), "http 404",
    // "too-large", "redirects", "scheme", "aborted", "encoding", "no-host";
    // a bot wall is "blocked
    // challenge", a rate limit "blocked http 429" (with " retry-after N" when
    // the server named its wait); empty for None.
    QString code() const;
    // The reason a code stands for, as far as the code tells; nothing for a
    // text that code() never writes.
    static std::optional<FailureReason> fromCode(QStringView code);
    // The same, also for a text that code() writes otherwise, read as what it
    // says (an older program wrote a rate limit as "http 429"): for showing a
    // stored reason in words, never for deciding what it means.
    static std::optional<FailureReason> readCode(QStringView code);

    // A bot wall or a rate limit (429) turned us away: such a check says
    // nothing of the page, so it is no evidence for the history.
    bool isBlocked() const;
    // A rate limit (429 or 503) that named its wait: worth a second look at
    // the end of the run, once that wait is over.
    bool retryAtEnd() const;

    friend bool operator==(const FailureReason&, const FailureReason&) = default;
};

// The codes of a fetch's failed attempts, in order, joined by "; "
// ("http 404; dns"); attempts that did not fail are left out.
QString failureCodes(const QList<FailureReason>& attempts);

// When every attempt failed in a way worth a second look at the end of the
// run (retryAtEnd): the longest of the waits they named, in seconds.
std::optional<int> retryAtEndAfter(const QList<FailureReason>& attempts);

// Whether a reason text as the history keeps it (codes joined by "; ")
// names an attempt that was blocked. One is enough: the other address
// failing for a plain reason (often a "www." host that does not exist) does
// not make the partner's page look down.
bool namesBlockedAttempt(QStringView reasonCodes);

}  // namespace quorvel
