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
    return isOverdue(parseDeadline(deadline), lastStatus, firstChecked, today);
}

bool isOverdue(std::optional<QDate> deadline, CheckStatus lastStatus, QDate firstChecked,
               QDate today) {
    if (lastStatus == CheckStatus::Found || lastStatus == CheckStatus::Hidden || !deadline ||
        !firstChecked.isValid()) {
        return false;
    }
    return *deadline < today && *deadline >= firstChecked;
}

}  // namespace quorvel
