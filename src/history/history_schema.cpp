#include "history/history_schema.h"

#include <sqlite3.h>

#include <QByteArray>

#include <iterator>

namespace quorvel {

namespace {

// Times are seconds since 1970 UTC; 0 or NULL is "no time". Statuses are
// CheckStatus values; states and changes are their names.
constexpr char kVersion1[] = R"sql(
CREATE TABLE runs (
    id INTEGER PRIMARY KEY,
    started INTEGER NOT NULL
);

-- One row per identity (partner address and link, exactly as typed): its
-- last check, the current streak, and the confirmed state with the streaks
-- of evidence that move it.
CREATE TABLE records (
    id INTEGER PRIMARY KEY,
    partner_url TEXT NOT NULL,
    link TEXT NOT NULL,
    checks INTEGER NOT NULL DEFAULT 0,
    last_run INTEGER,
    last_time INTEGER,
    last_status INTEGER,
    last_reason TEXT,
    streak INTEGER,
    state TEXT NOT NULL DEFAULT '',
    since INTEGER,
    state_reason TEXT NOT NULL DEFAULT '',
    missing_streak INTEGER NOT NULL DEFAULT 0,
    missing_streak_since INTEGER,
    failed_streak INTEGER NOT NULL DEFAULT 0,
    failed_streak_since INTEGER,
    last_found INTEGER,
    UNIQUE (partner_url, link)
);

-- The individual results of each record's last runs.
CREATE TABLE results (
    record INTEGER NOT NULL REFERENCES records (id),
    run INTEGER NOT NULL REFERENCES runs (id),
    time INTEGER NOT NULL,
    status INTEGER NOT NULL,
    count INTEGER NOT NULL,
    over_limit INTEGER NOT NULL,
    reason TEXT NOT NULL,
    PRIMARY KEY (record, run)
) WITHOUT ROWID;

-- Checks in a row with the same status and reason, kept forever.
CREATE TABLE streaks (
    id INTEGER PRIMARY KEY,
    record INTEGER NOT NULL REFERENCES records (id),
    status INTEGER NOT NULL,
    reason TEXT NOT NULL,
    first_time INTEGER NOT NULL,
    last_time INTEGER NOT NULL,
    checks INTEGER NOT NULL
);
CREATE INDEX streaks_by_record ON streaks (record, id);

-- Moves of the confirmed state, kept forever.
CREATE TABLE events (
    id INTEGER PRIMARY KEY,
    record INTEGER NOT NULL REFERENCES records (id),
    run INTEGER NOT NULL REFERENCES runs (id),
    time INTEGER NOT NULL,
    change TEXT NOT NULL,
    previous TEXT NOT NULL,
    state TEXT NOT NULL,
    since INTEGER NOT NULL,
    reason TEXT NOT NULL
);
CREATE INDEX events_by_run ON events (run);
CREATE INDEX events_by_record ON events (record, id);
)sql";

// More facts per check, and the evidence for the states they move. Every
// new column has a default, so adding it leaves the rows in place (no table
// is copied) and the checks recorded before read as checks without them.
constexpr char kVersion2[] = R"sql(
-- What a check learnt beyond its verdict: the partner page's signals (their
-- names, comma-joined, '' for none), the status of the user's own page (a
-- CheckStatus, 0 when not looked at) and whether the partner was overdue.
ALTER TABLE results ADD COLUMN signals TEXT NOT NULL DEFAULT '';
ALTER TABLE results ADD COLUMN reciprocal INTEGER NOT NULL DEFAULT 0;
ALTER TABLE results ADD COLUMN overdue INTEGER NOT NULL DEFAULT 0;
ALTER TABLE records ADD COLUMN last_signals TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN last_reciprocal INTEGER NOT NULL DEFAULT 0;
ALTER TABLE records ADD COLUMN last_overdue INTEGER NOT NULL DEFAULT 0;

-- Checks in a row kept from the page by a bot wall or a rate limit.
ALTER TABLE records ADD COLUMN blocked_streak INTEGER NOT NULL DEFAULT 0;
ALTER TABLE records ADD COLUMN blocked_streak_since INTEGER;

-- The confirmed state of the user's own page and the streak that moves it.
ALTER TABLE records ADD COLUMN reciprocal_state TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN reciprocal_since INTEGER;
ALTER TABLE records ADD COLUMN reciprocal_missing_streak INTEGER NOT NULL DEFAULT 0;
ALTER TABLE records ADD COLUMN reciprocal_missing_streak_since INTEGER;
)sql";

// Which program ran each run, for the record's table of checks. Runs
// recorded before read as ''.
constexpr char kVersion3[] = R"sql(
ALTER TABLE runs ADD COLUMN source TEXT NOT NULL DEFAULT '';
)sql";

// What a check learnt of the link beside its verdict. Checks recorded
// before read as checks without these facts; found_anchor stays NULL until
// a check that found the link keeps its text, so the first such check is no
// change of text.
constexpr char kLinkFacts[] = R"sql(
ALTER TABLE results ADD COLUMN anchor TEXT NOT NULL DEFAULT '';
ALTER TABLE results ADD COLUMN near_link TEXT NOT NULL DEFAULT '';
ALTER TABLE results ADD COLUMN canonical TEXT NOT NULL DEFAULT '';
ALTER TABLE results ADD COLUMN robots_agent TEXT NOT NULL DEFAULT '';
ALTER TABLE results ADD COLUMN external INTEGER;  -- NULL: the page did not load
ALTER TABLE results ADD COLUMN rendered INTEGER NOT NULL DEFAULT 0;
ALTER TABLE records ADD COLUMN last_anchor TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN last_near_link TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN last_canonical TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN last_robots_agent TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN last_external INTEGER;

-- The text of the link at the last check that found it, and whether the
-- confirmed state stands on a rendering (the link only after scripts ran).
ALTER TABLE records ADD COLUMN found_anchor TEXT;
ALTER TABLE records ADD COLUMN render_found INTEGER NOT NULL DEFAULT 0;

-- anchor-changed: the link's text before and after.
ALTER TABLE events ADD COLUMN previous_anchor TEXT NOT NULL DEFAULT '';
ALTER TABLE events ADD COLUMN anchor TEXT NOT NULL DEFAULT '';
)sql";

// Notices of a run's changes and their delivery. A run that asked for a
// notice says so when it is registered and when its last check is written,
// so that a notice is built for it even when the program that ran it was
// stopped before it got to that.
constexpr char kDeliveries[] = R"sql(
-- 1 when the run's changes are to be sent out, and the record file it
-- checked (as named); the time its last check was written (NULL while it
-- runs, and for runs recorded before).
ALTER TABLE runs ADD COLUMN notify INTEGER NOT NULL DEFAULT 0;
ALTER TABLE runs ADD COLUMN list TEXT NOT NULL DEFAULT '';
ALTER TABLE runs ADD COLUMN ended INTEGER;

-- The notice of a run that asked for one, as it is sent ('' when the run
-- changed nothing): kept, so that a delivery tried again sends the same text.
CREATE TABLE notices (
    run INTEGER PRIMARY KEY REFERENCES runs (id),
    notice TEXT NOT NULL
);

-- Each channel's delivery of a notice: pending, sending (a send under way,
-- or cut off before its answer was noted: it counts as not sent), sent or
-- failed. `parts` counts the messages accepted, for a channel that takes a
-- notice in several; `claimed_by` names the program that sends it.
CREATE TABLE deliveries (
    run INTEGER NOT NULL REFERENCES runs (id),
    channel TEXT NOT NULL,
    state TEXT NOT NULL,
    attempts INTEGER NOT NULL DEFAULT 0,
    parts INTEGER NOT NULL DEFAULT 0,
    last_error TEXT NOT NULL DEFAULT '',
    last_time INTEGER,
    claimed_by TEXT NOT NULL DEFAULT '',
    PRIMARY KEY (run, channel)
) WITHOUT ROWID;
CREATE INDEX deliveries_open ON deliveries (state, run);
)sql";

// Step i takes a file from version i to version i + 1. A later version adds
// its step here; steps that need more than SQL can be functions of their own.
using SchemaStep = int (*)(SqliteDatabase&);
constexpr SchemaStep kSteps[] = {
    [](SqliteDatabase& db) { return db.exec(kVersion1); },
    [](SqliteDatabase& db) { return db.exec(kVersion2); },
    [](SqliteDatabase& db) { return db.exec(kVersion3); },
    [](SqliteDatabase& db) { return db.exec(kDeliveries); },
    [](SqliteDatabase& db) { return db.exec(kLinkFacts); },
};
static_assert(std::size(kSteps) == kHistorySchemaVersion);
static_assert(kFirstVersionWithLinkFacts == kHistorySchemaVersion,
              "the link facts are the last step");

}  // namespace

int migrateHistorySchema(SqliteDatabase& db, int fromVersion, int toVersion) {
    for (int version = fromVersion; version < toVersion; ++version) {
        if (const int rc = kSteps[version](db); rc != SQLITE_OK) {
            return rc;
        }
    }
    const QByteArray setVersion = "PRAGMA user_version = " + QByteArray::number(toVersion);
    return db.exec(setVersion.constData());
}

}  // namespace quorvel
