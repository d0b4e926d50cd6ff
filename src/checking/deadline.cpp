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

bool isOverdue(QStringView deadline, CheckStatus lastStatus, QDate firstChecked, QDate today) {
    if (!firstChecked.isValid() || !isOverdue(deadline, lastStatus, today)) {
        return false;
    }
    return *parseDeadline(deadline) >= firstChecked;
}

}  // namespace quorvel
