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

// Whether a promise lapsed while the program watched: as above, and the
// deadline is not before `firstChecked`, the day of the record's first
// check (a deadline on that very day counts). A deadline that had passed
// before the program ever saw the record is no news; a record never checked
// (an invalid `firstChecked`) is never overdue.
bool isOverdue(QStringView deadline, CheckStatus lastStatus, QDate firstChecked, QDate today);
// The same for a deadline already read (null: none, or unreadable).
bool isOverdue(QDate deadline, CheckStatus lastStatus, QDate firstChecked, QDate today);

}  // namespace quorvel
