#include "checking/check_outcome.h"

namespace quorvel {

QStringView verdictReasonCode(VerdictReason reason) {
    switch (reason) {
        case VerdictReason::None:
            break;
        case VerdictReason::Nofollow:
            return u"nofollow";
        case VerdictReason::Noindex:
            return u"noindex";
        case VerdictReason::NoLink:
            return u"no-link";
    }
    return {};
}

std::optional<VerdictReason> verdictReasonFromCode(QStringView code) {
    for (const VerdictReason reason :
         {VerdictReason::Nofollow, VerdictReason::Noindex, VerdictReason::NoLink}) {
        if (code == verdictReasonCode(reason)) {
            return reason;
        }
    }
    return std::nullopt;
}

QString RecordCheck::reasonCode() const {
    if (outcome.status == CheckStatus::FetchFailed) {
        return failureCodes(failures);
    }
    return verdictReasonCode(verdictReason).toString();
}

std::optional<int> RecordCheck::retryAfter() const {
    if (outcome.status != CheckStatus::FetchFailed) {
        return std::nullopt;
    }
    return retryAtEndAfter(failures);
}

}  // namespace quorvel
