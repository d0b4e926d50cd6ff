#pragma once

#include <QDate>
#include <QStringView>

#include "checking/check_outcome.h"

namespace quorvel {

// Whether a partner is late with the link: the deadline (QV_D) parses, lies
// before `today`, and the record's last status is neither Found nor Hidden.
// An empty or unreadable deadline is never overdue.
bool isOverdue(QStringView deadline, CheckStatus lastStatus, QDate today = QDate::currentDate());
// The same for a deadline already read (null: none, or unreadable).
bool isOverdue(QDate deadline, CheckStatus lastStatus, QDate today = QDate::currentDate());

}  // namespace quorvel
