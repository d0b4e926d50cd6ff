#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <optional>

#include "history/history.h"
#include "notify/notice.h"

namespace quorvel {

// What a notice tells of a record beyond its identity: its place in the
// list and how to reach the partner.
struct DigestRecord {
    int index = -1;
    QString email;
};
// The records of these identities in the list as it is now (the first of
// each); an identity the list no longer holds is left out. Asked once per
// notice, so that a long list is read once.
using DigestLookup =
    std::function<QHash<RecordIdentity, DigestRecord>(const QSet<RecordIdentity>&)>;

struct DigestInput {
    QString list;  // the record file as named
    QDateTime runStarted;
    std::map<CheckStatus, int> totals;  // the run's checks by status
    QList<RunEvent> events;             // the run's changes
    DigestLookup lookup;
};

// The order of a notice's groups: the worst news first, then the good news.
QList<ChangeKind> digestOrder();

// One notice per run: a first line with the list, the run's time and its
// totals; then a group per kind of change, with its count, and a line per
// change (the partner page, the e-mail when there is one, since when, the
// reason). Empty (no lines) when the run changed nothing. The subject counts
// the groups; the payload carries the same facts for a webhook.
Notice buildDigest(const DigestInput& input);

}  // namespace quorvel
