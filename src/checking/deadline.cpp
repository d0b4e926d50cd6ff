#include "checking/deadline.h"

#include "records/record_line.h"

namespace quorvel {

bool isOverdue(QStringView deadline, CheckStatus lastStatus, QDate today) {
    return isOverdue(parseDeadline(deadline).value_or(QDate()), lastStatus, today);
}

bool isOverdue(QDate deadline, CheckStatus lastStatus, QDate today) {
    if (lastStatus == CheckStatus::Found || lastStatus == CheckStatus::Hidden) {
        return false;
    }
    return deadline.isValid() && deadline < today;
}

bool isOverdue(QStringView deadline, CheckStatus lastStatus, QDate firstChecked, QDate today) {
    return isOverdue(parseDeadline(deadline).value_or(QDate()), lastStatus, firstChecked, today);
}

bool isOverdue(QDate deadline, CheckStatus lastStatus, QDate firstChecked, QDate today) {
    return firstChecked.isValid() && isOverdue(deadline, lastStatus, today) &&
           deadline >= firstChecked;
}

}  // namespace quorvel
