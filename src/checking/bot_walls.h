#pragma once

#include <QByteArrayView>
#include <QDateTime>

#include <optional>

namespace quorvel {

// How much of a page or of a refused answer is looked at for the marks of a
// bot wall; a challenge page is small.
inline constexpr qsizetype kChallengeSniffBytes = 64 * 1024;

// Whether a body (its first kChallengeSniffBytes) carries a mark of a bot
// wall's challenge page rather than of the page asked for.
bool hasChallengeMarker(QByteArrayView body);

// Whether a response header line says that a bot wall answered instead of
// the site ("cf-mitigated: challenge").
bool isChallengeHeader(QByteArrayView headerLine);

// The wait a Retry-After header value asks for, in whole seconds from `now`:
// a number of seconds, or an HTTP date (a date already past is 0). Nothing
// for a value that is neither.
std::optional<int> retryAfterSeconds(QByteArrayView value,
                                     const QDateTime& now = QDateTime::currentDateTimeUtc());

}  // namespace quorvel
