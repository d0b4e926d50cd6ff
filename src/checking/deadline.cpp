#include "checking/deadline.h"

#include "records/record_line.h"

namespace quorvel {

bool isOverdue(QStringView deadline, CheckStatus lastStatus, QDate today) {
    if (lastStatus == CheckStatus::Found || lastStatus == CheckStatus::Hidden) {
        return false;
    }
    const std::optional<QDate> date = parseDeadline(deadline);
    return date && *date < today;
}

}  // namespace quorvel
