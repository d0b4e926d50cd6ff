#include "checking/failure_reason.h"

#include <QStringList>

#include <algorithm>

namespace quorvel {

namespace {

using Kind = FailureReason::Kind;

constexpr int kRateLimited = 429;
constexpr int kUnavailable = 503;

// A whole number as code() writes one; nothing for anything else.
std::optional<int> numberOf(QStringView text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

std::optional<FailureReason> FailureReason::readCode(QStringView code) {
    static constexpr struct {
        QStringView code;
        Kind kind;
    } kPlain[] = {
        {u"dns", Kind::Dns},
        {u"connect", Kind::Connect},
        {u"timeout", Kind::Timeout},
        {u"tls", Kind::Tls},
        {u"too-large", Kind::TooLarge},
        {u"redirects", Kind::Redirects},
        {u"scheme", Kind::Scheme},
        {u"aborted", Kind::Aborted},
        {u"blocked challenge", Kind::Challenge},
        {u"encoding", Kind::Encoding},
        {u"no-host", Kind::NoHost},
    };
    for (const auto& plain : kPlain) {
        if (code == plain.code) {
            return FailureReason(plain.kind);
        }
    }
    static constexpr QStringView kTls = u"tls ";
    static constexpr QStringView kHttp = u"http ";
    static constexpr QStringView kRateLimit = u"blocked http 429";
    static constexpr QStringView kWait = u" retry-after ";
    if (code.startsWith(kTls)) {
        FailureReason reason(Kind::Tls);
        reason.tlsProblem = code.sliced(kTls.size()).toString();
        return reason;
    }
    if (code.startsWith(kHttp)) {
        const std::optional<int> status = numberOf(code.sliced(kHttp.size()));
        return status ? std::optional(FailureReason(Kind::Http, *status)) : std::nullopt;
    }
    if (code.startsWith(kRateLimit)) {
        FailureReason reason(Kind::Http, kRateLimited);
        const QStringView rest = code.sliced(kRateLimit.size());
        if (rest.startsWith(kWait)) {
            const std::optional<int> wait = numberOf(rest.sliced(kWait.size()));
            if (!wait) {
                return std::nullopt;
            }
            reason.retryAfter = *wait;
        }
        return reason;
    }
    return std::nullopt;
}

QString FailureReason::code() const {
    switch (kind) {
        case Kind::None:
            break;
        case Kind::Dns:
            return QStringLiteral("dns");
        case Kind::Connect:
            return QStringLiteral("connect");
        case Kind::Timeout:
            return QStringLiteral("timeout");
        case Kind::Tls:
            return tlsProblem.isEmpty() ? QStringLiteral("tls") : u"tls " + tlsProblem;
        case Kind::Http:
            if (status == kRateLimited) {
                return retryAfter >= 0
                           ? u"blocked http 429 retry-after " + QString::number(retryAfter)
                           : QStringLiteral("blocked http 429");
            }
            return u"http " + QString::number(status);
        case Kind::Challenge:
            return QStringLiteral("blocked challenge");
        case Kind::TooLarge:
            return QStringLiteral("too-large");
        case Kind::Redirects:
            return QStringLiteral("redirects");
        case Kind::Scheme:
            return QStringLiteral("scheme");
        case Kind::Aborted:
            return QStringLiteral("aborted");
        case Kind::Encoding:
            return QStringLiteral("encoding");
        case Kind::NoHost:
            return QStringLiteral("no-host");
    }
    return QString();
}

std::optional<FailureReason> FailureReason::fromCode(QStringView code) {
    std::optional<FailureReason> reason = readCode(code);
    if (reason && reason->code() != code) {
        return std::nullopt;  // "http 0404", "tls ", "blocked http 429 retry-after -1", ...
    }
    return reason;
}

bool FailureReason::isBlocked() const {
    return kind == Kind::Challenge || (kind == Kind::Http && status == kRateLimited);
}

bool FailureReason::retryAtEnd() const {
    return kind == Kind::Http && (status == kRateLimited || status == kUnavailable) &&
           retryAfter >= 0;
}

QString failureCodes(const QList<FailureReason>& attempts) {
    QStringList codes;
    for (const FailureReason& reason : attempts) {
        if (reason.kind != Kind::None) {
            codes += reason.code();
        }
    }
    return codes.join(u"; ");
}

std::optional<int> retryAtEndAfter(const QList<FailureReason>& attempts) {
    if (attempts.isEmpty()) {
        return std::nullopt;
    }
    int longest = 0;
    for (const FailureReason& reason : attempts) {
        if (!reason.retryAtEnd()) {
            return std::nullopt;
        }
        longest = std::max(longest, reason.retryAfter);
    }
    return longest;
}

bool namesBlockedAttempt(QStringView reasonCodes) {
    for (const QStringView code : reasonCodes.tokenize(u"; ")) {
        const std::optional<FailureReason> reason = FailureReason::fromCode(code);
        if (reason && reason->isBlocked()) {
            return true;
        }
    }
    return false;
}

}  // namespace quorvel
