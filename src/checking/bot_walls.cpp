#include "checking/bot_walls.h"

#include <QString>

#include <algorithm>
#include <limits>

namespace quorvel {

namespace {

// Texts that only a bot wall's challenge page carries. Compared without
// regard to letter case.
constexpr QByteArrayView kChallengeMarkers[] = {
    // The title of the common "checking your browser" interstitial.
    "<title>just a moment...</title>",
    // The script path of that interstitial's challenge platform.
    "/cdn-cgi/challenge-platform/",
    // The options object its challenge script reads.
    "_cf_chl_opt",
    // The hidden form field of an older version of the same challenge.
    "cf-browser-verification",
    // The script host of a captcha wall served in place of the page.
    "captcha-delivery.com",
};

bool startsWithNoCase(QByteArrayView text, QByteArrayView prefix) {
    return text.size() >= prefix.size() &&
           text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

}  // namespace

bool hasChallengeMarker(QByteArrayView body) {
    const QByteArrayView head = body.first(std::min(body.size(), kChallengeSniffBytes));
    // Lower-cased once: the markers are ASCII.
    const QByteArray lowered = head.toByteArray().toLower();
    return std::any_of(std::begin(kChallengeMarkers), std::end(kChallengeMarkers),
                       [&](QByteArrayView marker) { return lowered.contains(marker); });
}

bool isChallengeHeader(QByteArrayView line) {
    if (!startsWithNoCase(line, "cf-mitigated:")) {
        return false;
    }
    return line.sliced(13).trimmed().compare("challenge", Qt::CaseInsensitive) == 0;
}

std::optional<int> retryAfterSeconds(QByteArrayView value, const QDateTime& now) {
    const QByteArrayView trimmed = value.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    bool digits = true;
    for (const char c : trimmed) {
        digits = digits && c >= '0' && c <= '9';
    }
    if (digits) {
        bool ok = false;
        const qlonglong seconds = trimmed.toLongLong(&ok);
        return ok ? std::optional<int>(
                        int(std::min<qlonglong>(seconds, std::numeric_limits<int>::max())))
                  : std::optional<int>(std::numeric_limits<int>::max());
    }
    // An HTTP date names its zone "GMT", which Qt's reader wants as a number.
    QString date = QString::fromLatin1(trimmed);
    if (date.endsWith(u" GMT") || date.endsWith(u" UTC")) {
        date.chop(4);
        date += u" +0000";
    }
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!when.isValid()) {
        return std::nullopt;
    }
    return int(std::clamp<qint64>(now.secsTo(when), 0, std::numeric_limits<int>::max()));
}

}  // namespace quorvel
